#include "forms/Application.h"

#include "framework/Exception.h"
#include "forms/Dialogs.h"
#include "platform/Messages.h"

#include <QFontDatabase>

// The font lives in the program's library; naming it here keeps the linker from dropping it.
static void InitFonts()
{
    Q_INIT_RESOURCE(fonts);
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setFont(LayoutFont());
    SetMessageErrorDisplay(&TApplication::HandleException);
}

QFont TApplication::LayoutFont()
{
    static const QString family = [] {
        InitFonts();
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/LiberationSans-Regular.ttf"));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QStringLiteral("Liberation Sans") : families.first();
    }();
    QFont font(family);
    font.setPixelSize(11);
    return font;
}

QString TApplication::Title()
{
    return DialogTitle();
}

void TApplication::SetTitle(const QString& title)
{
    SetDialogTitle(title);
    QApplication::setApplicationName(title);
}

QString TApplication::ErrorText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

QString ExceptionMessage(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

void TApplication::ShowException(const std::exception& e)
{
    Dialogs().MessageBox(Title(), ErrorText(ExceptionMessage(e)), TMsgDlgType::Error, mbOK);
}

void TApplication::HandleException()
{
    try {
        throw;
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        Dialogs().MessageBox(Title(), QStringLiteral("Unknown error."), TMsgDlgType::Error, mbOK);
    }
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException();
        return false;
    }
}
