#include "forms/ListBox.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The list box reports user changes of the selection, once each, and nothing the program does.
class ListBoxTest : public ::testing::Test {
protected:
    ListBoxTest() : clicks(&list, &TListBox::Click)
    {
        list.setSelectionMode(QAbstractItemView::ExtendedSelection);
        list.resize(200, 200);
        list.addItems({"a", "b", "c"});
        list.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&list));
    }
    void Click(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, list.visualItemRect(list.item(row)).center());
    }

    TListBox list;
    QSignalSpy clicks;
};

TEST_F(ListBoxTest, ProgramChangesRaiseNoClick)
{
    list.addItems({"d", "e"});
    list.setCurrentRow(1);
    list.clear();
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(ListBoxTest, EveryClickOnAnItemCountsOnceEvenWhenNothingChanges)
{
    Click(1);
    EXPECT_EQ(clicks.count(), 1);
    Click(1);
    EXPECT_EQ(clicks.count(), 2);
    Click(2, Qt::ControlModifier);
    EXPECT_EQ(clicks.count(), 3);
    EXPECT_EQ(list.selectedItems().size(), 2);
    // A plain click on one of two selected items settles the selection at the release.
    Click(2);
    EXPECT_EQ(clicks.count(), 4);
    EXPECT_EQ(list.selectedItems(), QList<QListWidgetItem*>{list.item(2)});
}

TEST_F(ListBoxTest, AClickBelowTheItemsCountsOnlyWhenItChangesTheSelection)
{
    const QPoint below(10, list.visualItemRect(list.item(2)).bottom() + 20);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(clicks.count(), 0);
    Click(0);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(list.selectedItems().size(), 0);
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(ListBoxTest, KeysCountWhenTheyMoveTheFocusOrTheSelection)
{
    Click(0);
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(clicks.count(), 2);
    QTest::keyClick(&list, Qt::Key_Down, Qt::ControlModifier);  // moves the focus only
    EXPECT_EQ(list.currentRow(), 2);
    EXPECT_EQ(clicks.count(), 3);
    QTest::keyClick(&list, Qt::Key_Down);  // already at the end
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(clicks.count(), 3) << "a key that changes nothing is no click";
    QTest::keyClick(&list, Qt::Key_Space, Qt::ControlModifier);  // selects the focused item
    EXPECT_EQ(clicks.count(), 4);
}

}
