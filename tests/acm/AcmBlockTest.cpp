#include "acm/AcmBlock.h"
#include "sound/TauntFormat.h"

#include <gtest/gtest.h>

namespace {

// A failure planned for one call of a block; the others pass through.
MMRESULT PrepareFails, ConvertFails, UnprepareFails;

TEST(AcmBlockTest, AFailedBlockNamesTheCallThatFailed)
{
    struct Case {
        MMRESULT Prepare, Convert, Unprepare, Result;
        const char* Call;
    } cases[] = {
        {ACMERR_BUSY, 0, 0, ACMERR_BUSY, "acmStreamPrepareHeader:"},
        {0, ACMERR_NOTPOSSIBLE, MMSYSERR_INVALPARAM, ACMERR_NOTPOSSIBLE, "acmStreamConvert:"},
        {0, 0, MMSYSERR_INVALPARAM, MMSYSERR_INVALPARAM, "acmStreamUnPrepareHeader:"},
    };
    for (const Case& c : cases) {
        PrepareFails = c.Prepare, ConvertFails = c.Convert, UnprepareFails = c.Unprepare;
        TAcmStream stream;
        stream.Calls.PrepareHeader = [](HACMSTREAM h, ACMSTREAMHEADER* header, uint32_t flags) {
            return PrepareFails ? PrepareFails : acmStreamPrepareHeader(h, header, flags);
        };
        stream.Calls.Convert = [](HACMSTREAM h, ACMSTREAMHEADER* header, uint32_t flags) {
            return ConvertFails ? ConvertFails : acmStreamConvert(h, header, flags);
        };
        stream.Calls.UnprepareHeader = [](HACMSTREAM h, ACMSTREAMHEADER* header, uint32_t flags) {
            const MMRESULT result = acmStreamUnprepareHeader(h, header, flags);
            return UnprepareFails ? UnprepareFails : result;
        };
        ASSERT_EQ(stream.Open(&TauntFormat, &TauntFormat), MMSYSERR_NOERROR);
        uint8_t in[8] = {}, out[8];
        const TAcmBlock block = stream.ConvertInto(in, 8, out, 8);
        EXPECT_EQ(block.Result, c.Result) << c.Call;
        EXPECT_STREQ(block.Call, c.Call);
    }
}

}  // namespace
