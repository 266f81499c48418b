#include "forms/FirstPaint.h"

#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// What waits for the window's first paint runs once, after it, or at the first mouse button or
// key that comes sooner, so that no command finds it undone.
TEST(FirstPaintTest, RunsOnceAfterThePaintOrAtTheFirstInput)
{
    enum class Start { Shown, KeyFirst, ClickFirst };
    for (const Start start : {Start::Shown, Start::KeyFirst, Start::ClickFirst}) {
        QWidget window;
        int runs = 0;
        WhenFirstPainted(window, [&] { ++runs; });
        if (start == Start::KeyFirst)
            QTest::keyClick(&window, Qt::Key_F2);
        if (start == Start::ClickFirst)
            QTest::mouseClick(&window, Qt::LeftButton);
        EXPECT_EQ(runs, start == Start::Shown ? 0 : 1) << int(start);
        window.show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return runs == 1; })) << int(start);
        QTest::keyClick(&window, Qt::Key_F2);
        QTest::qWait(20);
        EXPECT_EQ(runs, 1) << int(start);
    }
}

}  // namespace
