#include "ClipWorkbench.h"

#include <cmath>
#include <vector>

namespace {

using WaveViewTest = ClipTest;

// The red pixels of one column, top to bottom.
std::vector<int> RedRows(const QImage& view, int x)
{
    std::vector<int> rows;
    for (int y = 0; y < view.height(); ++y)
        if (view.pixel(x, y) == Red)
            rows.push_back(y);
    return rows;
}

TEST_F(WaveViewTest, NothingConvertedShowsTheBlueOutlineOnly)
{
    const QImage view = Grab();
    ASSERT_EQ(view.size(), QSize(283, 73));
    for (int x = 0; x < 283; ++x) {
        ASSERT_EQ(view.pixel(x, 0), Blue) << x;
        ASSERT_EQ(view.pixel(x, 72), Blue) << x;
    }
    for (int y = 0; y < 73; ++y) {
        ASSERT_EQ(view.pixel(0, y), Blue) << y;
        ASSERT_EQ(view.pixel(282, y), Blue) << y;
    }
    for (int y = 1; y < 72; ++y)
        for (int x = 1; x < 282; ++x)
            ASSERT_EQ(view.pixel(x, y), Face()) << x << "," << y;
}

// 73 rows: 128 × 73/256 is 36.5 and goes to the even 36, 127 gives 36.2, 0 the top row.
TEST_F(WaveViewTest, SamplesLandOnTheirRoundedRows)
{
    const std::vector<std::pair<char, int>> cases{{'\x80', 36}, {'\x7f', 36}, {'\0', 0}, {'\xfe', 72}};
    for (const auto& [sample, row] : cases) {
        ConvertTaunt(QByteArray(1000, sample));
        const QImage view = Grab();
        for (int x = 10; x < 270; x += 37)
            EXPECT_EQ(RedRows(view, x), std::vector<int>{row}) << "sample " << int(uint8_t(sample)) << " column " << x;
    }
}

TEST_F(WaveViewTest, WaveStartsFromTheMidlineAndSelectionLinesAreYellow)
{
    ConvertTaunt(QByteArray(1000, '\0'));
    const QImage view = Grab();
    // From the left end of the midline up to the first sample, on the top row.
    for (int y = 0; y <= 36; ++y)
        EXPECT_EQ(view.pixel(0, y), Red) << y;
    EXPECT_EQ(view.pixel(0, 37), Blue);
    for (int y = 0; y < 73; ++y) {
        EXPECT_EQ(view.pixel(1, y), Yellow) << y;
        EXPECT_EQ(view.pixel(282, y), Yellow) << y;
    }
    EXPECT_EQ(view.pixel(140, 0), Red) << "the wave lies over the outline";
    EXPECT_EQ(view.pixel(140, 72), Blue);
}

// Each column draws the one byte where it begins, x × 425 / 283 rounded down, and nothing
// of the bytes between: with quiet even bytes and loud odd ones, rounding the index or
// drawing a column's range would show in the row the column reaches.
TEST_F(WaveViewTest, OneSamplePerColumnWithTheIndexTruncated)
{
    QByteArray alternating(425, '\0');
    for (int i = 1; i < alternating.size(); i += 2)
        alternating[i] = '\xfe';
    ConvertTaunt(alternating);
    const QImage view = Grab();
    for (int x = 5; x < 280; x += 6) {
        const bool loud = x * 425 / 283 % 2 == 1;
        EXPECT_EQ(view.pixel(x, loud ? 72 : 0), Red) << x;
        EXPECT_NE(view.pixel(x, loud ? 0 : 72), Red) << x;
    }
}

}  // namespace
