#include "app/mainform.h"

#include "framework/Application.h"
#include "ui_mainform.h"

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TForm1>())
{
    ui->setupUi(this);
    setWindowTitle(WindowTitle());
}

TForm1::~TForm1() = default;

QString TForm1::WindowTitle()
{
    return TApplication::Title() + QStringLiteral(" - (c) 2026 the Orvalis Jeerbox developers");
}
