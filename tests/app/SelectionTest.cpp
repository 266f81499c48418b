#include "ClipWorkbench.h"

#include <QLabel>

namespace {

// One second of converted sound in the 283-column view; every byte differs from its
// neighbours, so a clip shows exactly where it was cut.
class SelectionTest : public ClipTest {
protected:
    void SetUp() override
    {
        sound.resize(22050);
        for (int i = 0; i < sound.size(); ++i)
            sound[i] = char((i * 131) >> 3);
        ConvertTaunt(sound);
    }
    // The bytes between two columns, as the view maps columns to bytes.
    QByteArray Clip(int startX, int endX) const
    {
        return sound.mid(startX * 22050 / 283, (endX - startX) * 22050 / 283);
    }
    QString LabelOf(int startX, int endX) const
    {
        return QStringLiteral("(%1 Bytes)").arg((endX - startX) * 22050 / 283);
    }
    void Select(int startX, int endX)
    {
        Click(Qt::LeftButton, startX);
        Click(Qt::RightButton, endX);
        ASSERT_EQ(Form().Workbench.SelStartX, startX);
        ASSERT_EQ(Form().Workbench.SelEndX, endX);
    }
    void ExpectSelection(int startX, int endX)
    {
        EXPECT_EQ(Form().Workbench.SelStartX, startX);
        EXPECT_EQ(Form().Workbench.SelEndX, endX);
        EXPECT_EQ(Form().Workbench.SelStartOffset, uint32_t(startX * 22050 / 283));
        EXPECT_EQ(SizeLabel(), LabelOf(startX, endX));
    }
    void ClearLabel() { Control<QLabel>("LbSize")->setText("-"); }

    QByteArray sound;
};

TEST_F(SelectionTest, LeftSetsTheStartRightSetsTheEndAndEveryReleasePlays)
{
    Click(Qt::LeftButton, 50);
    ExpectSelection(50, 282);
    EXPECT_EQ(LastPlayed(), Clip(50, 282));
    Click(Qt::RightButton, 100);
    ExpectSelection(50, 100);
    EXPECT_EQ(LastPlayed(), Clip(50, 100));
    EXPECT_EQ(Plays(), 3);
    EXPECT_EQ(gam.GetLoopEnd(), Clip(50, 100).size() - 1);
}

TEST_F(SelectionTest, EdgesNeverCross)
{
    Select(50, 100);
    Click(Qt::LeftButton, 100);
    Click(Qt::LeftButton, 150);
    Click(Qt::RightButton, 50);
    Click(Qt::RightButton, 20);
    ExpectSelection(50, 100);
    EXPECT_EQ(LastPlayed(), Clip(50, 100));
}

TEST_F(SelectionTest, DragsPastTheViewStopAtItsEdges)
{
    Press(Qt::LeftButton, 50);
    Move(10, Qt::LeftButton);
    EXPECT_EQ(Form().Workbench.SelStartX, 10);
    Move(-30, Qt::LeftButton);
    Release(Qt::LeftButton, -30);
    ExpectSelection(1, 282);

    Select(40, 100);
    Press(Qt::RightButton, 100);
    Move(250, Qt::RightButton);
    EXPECT_EQ(Form().Workbench.SelEndX, 250);
    Move(283, Qt::RightButton);
    EXPECT_EQ(Form().Workbench.SelEndX, 282) << "the view's width is no column of it";
    Move(400, Qt::RightButton);
    Release(Qt::RightButton, 400);
    ExpectSelection(40, 282);
    EXPECT_EQ(LastPlayed(), Clip(40, 282));
}

TEST_F(SelectionTest, OtherKeysAndButtonsMoveNoEdgeButShowTheSize)
{
    Select(50, 100);
    const int plays = Plays();
    const std::vector<std::pair<Qt::MouseButton, Qt::KeyboardModifiers>> presses{
        {Qt::LeftButton, Qt::ControlModifier},
        {Qt::RightButton, Qt::AltModifier},
        {Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier}};
    for (const auto& [button, keys] : presses) {
        ClearLabel();
        Press(button, 70, keys);
        EXPECT_EQ(SizeLabel(), LabelOf(50, 100));
        Move(75, button, keys);
        Release(button, 75, keys);
        ExpectSelection(50, 100);
    }

    // Both buttons held.
    Press(Qt::LeftButton, 60);
    ClearLabel();
    Press(Qt::RightButton, 90);
    Move(95, Qt::LeftButton | Qt::RightButton);
    Release(Qt::RightButton, 95);
    Release(Qt::LeftButton, 95);
    ExpectSelection(60, 100);

    // The second press of a double click.
    ClearLabel();
    DoubleClickPress(Qt::LeftButton, 80);
    EXPECT_EQ(SizeLabel(), LabelOf(60, 100));
    Release(Qt::LeftButton, 80);
    ExpectSelection(60, 100);
    EXPECT_EQ(Plays(), plays + 6) << "every release plays";
    EXPECT_EQ(LastPlayed(), Clip(60, 100));
}

TEST_F(SelectionTest, MouseMovesWithNothingHeldAreIgnoredButAHeldKeyCounts)
{
    Select(50, 100);
    ClearLabel();
    Move(10, Qt::NoButton);
    EXPECT_EQ(SizeLabel(), "-");
    Move(10, Qt::NoButton, Qt::ShiftModifier);
    EXPECT_EQ(SizeLabel(), LabelOf(50, 100));
    ExpectSelection(50, 100);
}

TEST_F(SelectionTest, ShiftLeftOrMiddlePressPlaysAtOnceAndTheReleaseAgain)
{
    Select(50, 100);
    for (const auto& [button, keys] : {std::pair{Qt::LeftButton, Qt::KeyboardModifiers(Qt::ShiftModifier)},
                                       std::pair{Qt::MiddleButton, Qt::KeyboardModifiers()}}) {
        const int plays = Plays();
        Press(button, 70, keys);
        EXPECT_TRUE(MoveCursor());
        EXPECT_EQ(Plays(), plays + 1);
        Release(button, 70, keys);
        EXPECT_FALSE(MoveCursor());
        EXPECT_EQ(Plays(), plays + 2);
        ExpectSelection(50, 100);
        EXPECT_EQ(LastPlayed(), Clip(50, 100));
    }
}

TEST_F(SelectionTest, ShiftRightPressEntersMoveModeWithoutMovingOrPlaying)
{
    Select(50, 100);
    const int plays = Plays();
    Press(Qt::RightButton, 70, Qt::ShiftModifier);
    EXPECT_TRUE(MoveCursor());
    EXPECT_EQ(Plays(), plays);
    Move(90, Qt::RightButton, Qt::ShiftModifier);
    ExpectSelection(50, 100);
    Release(Qt::RightButton, 90, Qt::ShiftModifier);
    EXPECT_FALSE(MoveCursor());
    EXPECT_EQ(Plays(), plays + 1);
}

// A move keeps the width, stops at column 1 and at column W - 1, and plays at every step the
// clip where the selection now is.
TEST_F(SelectionTest, MovingTheSpanKeepsItsWidthAndPlaysWhereItIs)
{
    for (const auto& [button, keys] : {std::pair{Qt::MiddleButton, Qt::KeyboardModifiers()},
                                       std::pair{Qt::LeftButton, Qt::KeyboardModifiers(Qt::ShiftModifier)}}) {
        Select(50, 100);
        Press(button, 120, keys);
        const int plays = Plays();
        Move(100, button, keys);
        ExpectSelection(30, 80);
        EXPECT_EQ(Plays(), plays + 1);
        EXPECT_EQ(LastPlayed(), Clip(30, 80));
        Move(0, button, keys);
        ExpectSelection(1, 51);
        EXPECT_EQ(LastPlayed(), Clip(1, 51));
        Move(303, button, keys);  // the end exactly on the view's width
        ExpectSelection(232, 282);
        Move(400, button, keys);
        ExpectSelection(232, 282);
        EXPECT_EQ(LastPlayed(), Clip(232, 282));
        Release(button, 400, keys);
        EXPECT_EQ(Plays(), plays + 5);
        EXPECT_EQ(LastPlayed(), Clip(232, 282));
    }
}

TEST_F(SelectionTest, ADragMovesOnlyAfterAMovingPress)
{
    Select(50, 100);
    Press(Qt::LeftButton, 60);
    Move(80, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_FALSE(MoveCursor());
    ExpectSelection(60, 100);
    Release(Qt::LeftButton, 80);
}

using EarlySelectionTest = ClipTest;

TEST_F(EarlySelectionTest, LeftClickBeforeAnyConversionSetsBothEdgesButShowsNoLines)
{
    Click(Qt::LeftButton, 60);
    EXPECT_EQ(Form().Workbench.SelStartX, 60);
    EXPECT_EQ(Form().Workbench.SelEndX, 282);
    EXPECT_EQ(Form().Workbench.SelStartOffset, 0u);
    EXPECT_EQ(SizeLabel(), "(0 Bytes)");
    EXPECT_EQ(Plays(), 0);
    EXPECT_EQ(Grab().pixel(60, 10), Face());
}

// Columns times bytes passes 2^32 here: 282 × 16,000,000.
TEST_F(EarlySelectionTest, LongSoundsMapColumnsToBytesWithoutOverflow)
{
    QByteArray sound(16'000'000, '\0');
    for (int i = 0; i < sound.size(); ++i)
        sound[i] = char(i / 4099);
    ConvertTaunt(sound);
    EXPECT_EQ(Form().Workbench.SelStartOffset, 56537u);
    EXPECT_EQ(LastPlayed(), sound.mid(56537, 15886925));
    Click(Qt::RightButton, 200);
    EXPECT_EQ(SizeLabel(), "(11250883 Bytes)");
    EXPECT_EQ(LastPlayed(), sound.mid(56537, 11250883));
}

}  // namespace
