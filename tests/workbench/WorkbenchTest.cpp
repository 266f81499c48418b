#include "sound/TauntFormat.h"
#include "workbench/Workbench.h"

#include <gtest/gtest.h>

namespace {

constexpr int Width = 283;  // the waveform view's columns

TEST(WorkbenchTest, ColumnsMapToBytesInProportionRoundedDownPast32Bits)
{
    struct Case {
        uint32_t size;
        int64_t columns;
        int64_t bytes;
    };
    for (const Case& c : {Case{22050, 1, 77}, Case{22050, 282, 21972}, Case{22050, Width, 22050}, Case{0, 100, 0},
                          Case{16'000'000, 282, 15'943'462}, Case{UINT32_MAX, 282, 4'279'790'732}}) {
        TWorkbench bench;
        bench.ConvertedSize = c.size;
        EXPECT_EQ(bench.ColumnsToBytes(c.columns, Width), c.bytes) << c.size << " bytes, " << c.columns << " columns";
    }
}

TEST(WorkbenchTest, EditsKeepTheEdgesApartAndInsideTheView)
{
    struct Case {
        int32_t start, end;
        TSelectionEdit edit;
        int x;
        int32_t newStart, newEnd;
    };
    using enum TSelectionEdit;
    const Case cases[] = {
        {0, 0, Start, 60, 60, 282},  // the first start also sets the end
        {50, 100, Start, 100, 50, 100},  // never onto or past the end
        {50, 100, Start, -30, 1, 100},  {50, 100, End, 50, 50, 100},    {50, 100, End, 400, 50, 282},
        {50, 100, Move, 100, 30, 80},  // a move that began at column 120
        {50, 100, Move, 0, 1, 51},      {50, 100, Move, 400, 232, 282}, {50, 100, None, 10, 50, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "edit " << int(c.edit) << " at " << c.x);
        TWorkbench bench;
        bench.ConvertedSize = 22050;
        bench.SelStartX = c.start;
        bench.SelEndX = c.end;
        bench.BeginMove(120);
        bench.EditSelection(c.edit, c.x, Width);
        EXPECT_EQ(bench.SelStartX, c.newStart);
        EXPECT_EQ(bench.SelEndX, c.newEnd);
        EXPECT_EQ(bench.SelStartOffset, uint32_t(c.newStart * 22050 / Width));
    }
}

TEST(WorkbenchTest, TheClipIsTheSelectedBytesAndNeverReachesPastTheSound)
{
    TWorkbench bench;
    bench.Convertor->FormatOut.Format = TauntFormat;
    TWavStream recording;
    recording.SetFormat(TauntFormat);
    recording.SetSize(22050);
    for (int i = 0; i < 22050; ++i)
        recording.Memory()[i] = uint8_t(i * 7);
    bench.TakeRecording(recording);
    ASSERT_EQ(bench.ConvertedSize, 22050u);
    bench.SelectWholeView(Width);
    EXPECT_EQ(bench.SelStartOffset, 77u);

    struct Case {
        int32_t start, end;
        uint32_t offset;
        int64_t clipSize;
    };
    // An offset left over from another sound stays within this one.
    for (const Case& c :
         {Case{50, 100, 3895, 3895}, Case{1, 282, 77, 21894}, Case{200, 282, 22000, 50}, Case{200, 282, 30000, 0}}) {
        bench.SelStartX = c.start;
        bench.SelEndX = c.end;
        bench.SelStartOffset = c.offset;
        bench.CutClip(Width);
        ASSERT_EQ(bench.ClipWave->Size(), c.clipSize) << c.offset;
        EXPECT_EQ(bench.ClipWave->Format.nSamplesPerSec, 22050u);
        for (int64_t i = 0; i < c.clipSize; ++i)
            ASSERT_EQ(bench.ClipWave->Memory()[i], uint8_t((c.offset + i) * 7)) << c.offset << " byte " << i;
    }
}

}  // namespace
