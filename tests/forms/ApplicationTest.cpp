#include "forms/Application.h"
#include "forms/Hourglass.h"
#include "framework/Exception.h"
#include "platform/Messages.h"
#include "support/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(ErrorDisplayTest, AppendsAFullStopOnlyAfterCharactersThatSortAfterIt)
{
    EXPECT_EQ(TApplication::ErrorText("Disk full"), "Disk full.");
    EXPECT_EQ(TApplication::ErrorText("Done."), "Done.");
    EXPECT_EQ(TApplication::ErrorText("Really!"), "Really!") << "'!' sorts before '.'";
    EXPECT_EQ(TApplication::ErrorText("code (7)"), "code (7)") << "')' sorts before '.'";
    EXPECT_EQ(TApplication::ErrorText("code #7"), "code #7.");
    EXPECT_EQ(TApplication::ErrorText("a-"), "a-");
    EXPECT_EQ(TApplication::ErrorText("path/"), "path/.");
    EXPECT_EQ(TApplication::ErrorText(""), "");
}

TEST(ErrorDisplayTest, ErrorFromAClickHandlerIsShownAndTheProgramRunsOn)
{
    ScriptedDialogs dialogs;
    QPushButton button;
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, Guarded([&] {
        ++clicks;
        throw Exception("Something broke");
    }));
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[0].caption, "Orvalis Jeerbox");
    EXPECT_EQ(dialogs.boxes[0].text, "Something broke.");
    EXPECT_EQ(dialogs.boxes[0].type, TMsgDlgType::Error);
    EXPECT_EQ(dialogs.boxes[0].buttons, TMsgDlgButtons(mbOK));
}

TEST(ErrorDisplayTest, ErrorLeavingAMessageHandlerReachesTheDisplay)
{
    ScriptedDialogs dialogs;
    TMessageWindow window([](const TMessage& m) {
        if (m.Msg == WM_USER + 7)
            throw std::runtime_error("plain runtime error");
    });
    PostMessage(&window, WM_USER + 7, 0, 0);
    QCoreApplication::sendPostedEvents(&window);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "plain runtime error.");

    // Caught where it happens, without the application object's help.
    TMessageEvent message(TMessage{WM_USER + 7, 0, 0});
    EXPECT_TRUE(static_cast<QObject&>(window).event(&message));
    EXPECT_EQ(dialogs.boxes.size(), 2u);
}

TEST(HourglassTest, CursorIsRestoredWhenAnErrorLeavesTheScope)
{
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    try {
        THourglass hourglass;
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        throw Exception("x");
    } catch (const Exception&) {
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
