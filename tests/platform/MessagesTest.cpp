#include "platform/Messages.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

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

}  // namespace
