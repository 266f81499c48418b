#include "forms/Application.h"
#include "framework/Exception.h"
#include "forms/Hourglass.h"
#include "framework/Streams.h"
#include "platform/Messages.h"
#include "support/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <cstring>
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

TEST(MessagesTest, MessagesPostedFromAnotherThreadArriveInOrderOnTheWindowsThread)
{
    std::vector<std::pair<UINT, LPARAM>> seen;
    QThread* uiThread = QThread::currentThread();
    bool allOnUiThread = true;
    TMessageWindow window([&](const TMessage& m) {
        allOnUiThread = allOnUiThread && QThread::currentThread() == uiThread;
        seen.emplace_back(m.Msg, m.LParam);
    });
    std::unique_ptr<QThread> poster(QThread::create([&] {
        for (int i = 0; i < 100; ++i)
            PostMessage(&window, MM_WOM_DONE, 0, i);
    }));
    poster->start();
    poster->wait();
    EXPECT_TRUE(seen.empty()) << "nothing is handled before the loop runs";
    QCoreApplication::sendPostedEvents(&window);
    ASSERT_EQ(seen.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(seen[i], std::make_pair(MM_WOM_DONE, LPARAM(i)));
    EXPECT_TRUE(allOnUiThread);
    EXPECT_FALSE(PostMessage(nullptr, MM_WOM_DONE, 0, 0));
}

TEST(MemoryStreamTest, ReadWriteSeekAndSizeBehaveAsAByteBuffer)
{
    TMemoryStream m;
    EXPECT_EQ(m.Write("abcdef", 6), 6);
    EXPECT_EQ(m.Size(), 6);
    m.Seek(-2, TSeekOrigin::End);
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 8), 2) << "fewer bytes near the end";
    EXPECT_EQ(std::string(buf, 2), "ef");
    EXPECT_EQ(m.Read(buf, 8), 0);
    m.Seek(10, TSeekOrigin::Beginning);
    EXPECT_EQ(m.Read(buf, 1), 0) << "a position past the end reads nothing";
    m.Write("Z", 1);
    EXPECT_EQ(m.Size(), 11);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), 11), std::string("abcdef\0\0\0\0Z", 11));
    m.SetSize(3);
    EXPECT_EQ(m.Position(), 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), 3), "abc");
    EXPECT_THROW(m.ReadBuffer(buf, 1), EReadError);

    TMemoryStream copy;
    m.SetPosition(1);
    EXPECT_EQ(copy.CopyFrom(m, 2), 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy.Memory()), 2), "bc");
    m.Clear();
    EXPECT_EQ(m.Size(), 0);
    EXPECT_EQ(m.Position(), 0);
}

}  // namespace
