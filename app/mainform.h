#pragma once

#include <QMainWindow>
#include <memory>

namespace Ui {
class TForm1;
}

// The workbench window: the program's main window and the owner of its working state.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // "Orvalis Jeerbox" followed by the notice line.
    static QString WindowTitle();

private:
    std::unique_ptr<Ui::TForm1> ui;
};
