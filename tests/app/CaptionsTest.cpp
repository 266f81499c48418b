#include "app/Startup.h"
#include "app/mainform.h"
#include "forms/Application.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedWaveDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QStyleOptionButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// A button's text as drawn: "&&" shows one ampersand, a lone "&" marks the shortcut key.
QString Shown(const QString& text)
{
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        shown += text[i];
    }
    return shown;
}

// How many pixels the control's text runs past the room the control gives it (0 or less
// when it fits), measured with the control's own font and style.
int Overflow(QWidget* control)
{
    const QFontMetrics metrics(control->font());
    if (auto* label = qobject_cast<QLabel*>(control)) {
        if (label->text().isEmpty() || label->textFormat() == Qt::RichText)
            return 0;
        const QString text = label->buddy() ? Shown(label->text()) : label->text();
        const int margin = label->margin() + std::max(label->indent(), 0);
        const QRect room = label->contentsRect().adjusted(margin, margin, -margin, -margin);
        if (label->wordWrap()) {
            const QRect needed = metrics.boundingRect(room, Qt::TextWordWrap | label->alignment(), text);
            return std::max(needed.width() - room.width(), needed.height() - room.height());
        }
        return metrics.horizontalAdvance(text) - room.width();
    }
    if (auto* box = qobject_cast<QGroupBox*>(control))
        return metrics.horizontalAdvance(Shown(box->title())) - box->width();
    auto* button = qobject_cast<QAbstractButton*>(control);
    if (!button || button->text().isEmpty())
        return 0;
    if (auto* tool = qobject_cast<QToolButton*>(button); tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly)
        return 0;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<QCheckBox*>(button))
        contents = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<QRadioButton*>(button))
        contents = QStyle::SE_RadioButtonContents;
    const QRect room = button->style()->subElementRect(contents, &option, button);
    const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
    return metrics.horizontalAdvance(Shown(button->text())) + icon - room.width();
}

// Every window that start-up makes, laid out as it first shows, with every label, check box,
// button and group box caption measured against its control: whatever windows start-up
// comes to make, and whatever controls they hold, are measured the same way.
TEST(CaptionsTest, EveryCaptionOfEveryStartUpWindowFitsItsControl)
{
    ScriptedDialogs dialogs;
    ScriptedWaveDriver driver;
    const QWidgetList before = QApplication::topLevelWidgets();
    TWindows windows;
    QWidgetList made;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = window->windowType();
        if (!before.contains(window) && type != Qt::Popup && type != Qt::ToolTip)
            made << window;
    }
    EXPECT_GE(made.size(), 4) << "the workbench window and its three dialogs";

    int measured = 0;
    for (QWidget* window : made) {
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        EXPECT_EQ(window->font().family(), TApplication::LayoutFont().family()) << window->objectName().toStdString();
        for (QWidget* control : window->findChildren<QWidget*>()) {
            if (!control->isVisibleTo(window))
                continue;
            const int overflow = Overflow(control);
            ++measured;
            EXPECT_LE(overflow, 0) << window->objectName().toStdString() << "/" << control->objectName().toStdString()
                                   << ": the text runs " << overflow << " pixels past its control";
        }
        window->hide();
    }
    EXPECT_GT(measured, 40);
}

// The measure itself: it finds a caption that does not fit, in a label, a check box and a
// button alike, and passes one that does.
TEST(CaptionsTest, TheMeasureSeesATextWiderThanItsControl)
{
    QWidget window;
    QLabel label(QStringLiteral("Outer cone volume:"), &window);
    QCheckBox box(QStringLiteral("Fixed frequency"), &window);
    QPushButton button(QStringLiteral("Save Converted"), &window);
    for (QWidget* control :
         {static_cast<QWidget*>(&label), static_cast<QWidget*>(&box), static_cast<QWidget*>(&button)}) {
        control->resize(control->sizeHint().width() + 20, 20);
        EXPECT_LE(Overflow(control), 0) << control->metaObject()->className();
        control->resize(control->sizeHint().width() - 12, 20);
        EXPECT_GT(Overflow(control), 0) << control->metaObject()->className();
    }
}

}
