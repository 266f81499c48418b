#include "sound/ACMConvertor.h"
#include "sound/TauntFormat.h"
#include "sound/Wavs_ex.h"
#include "support/Files.h"
#include "support/Signal.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Platform calls that pass through to the real ones unless a failure is planned for them,
// and a log of what was called.
struct Plan {
    static inline MMRESULT Open, Size, Prepare, Convert, Reset, Unprepare, Close;
    static inline uint32_t OpenFlags;
    static inline std::vector<std::string> Log;
    static void Clear()
    {
        Open = Size = Prepare = Convert = Reset = Unprepare = Close = MMSYSERR_NOERROR;
        OpenFlags = 0;
        Log.clear();
    }
    static int Count(const std::string& call) { return int(std::count(Log.begin(), Log.end(), call)); }
};

TACMStreamCalls PlannedCalls()
{
    TACMStreamCalls calls;
    calls.Open = [](HACMSTREAM* h, HACMDRIVER d, const WAVEFORMATEX* s, const WAVEFORMATEX* t, const WAVEFILTER* f,
                    uintptr_t cb, uintptr_t inst, uint32_t flags) {
        Plan::Log.push_back("open");
        Plan::OpenFlags = flags;
        return Plan::Open ? Plan::Open : acmStreamOpen(h, d, s, t, f, cb, inst, flags);
    };
    calls.Size = [](HACMSTREAM h, uint32_t in, uint32_t* out, uint32_t flags) {
        Plan::Log.push_back("size");
        return Plan::Size ? Plan::Size : acmStreamSize(h, in, out, flags);
    };
    calls.PrepareHeader = [](HACMSTREAM h, ACMSTREAMHEADER* hdr, uint32_t flags) {
        Plan::Log.push_back("prepare");
        return Plan::Prepare ? Plan::Prepare : acmStreamPrepareHeader(h, hdr, flags);
    };
    calls.Convert = [](HACMSTREAM h, ACMSTREAMHEADER* hdr, uint32_t flags) {
        Plan::Log.push_back("convert" + std::to_string(flags));
        return Plan::Convert ? Plan::Convert : acmStreamConvert(h, hdr, flags);
    };
    calls.Reset = [](HACMSTREAM h, uint32_t flags) {
        Plan::Log.push_back("reset");
        return Plan::Reset ? Plan::Reset : acmStreamReset(h, flags);
    };
    calls.UnprepareHeader = [](HACMSTREAM h, ACMSTREAMHEADER* hdr, uint32_t flags) {
        Plan::Log.push_back("unprepare");
        return Plan::Unprepare ? Plan::Unprepare : acmStreamUnprepareHeader(h, hdr, flags);
    };
    calls.Close = [](HACMSTREAM h, uint32_t flags) {
        Plan::Log.push_back("close");
        return Plan::Close ? Plan::Close : acmStreamClose(h, flags);
    };
    return calls;
}

std::string BlockBytes(const TWaveFormatBlock& block)
{
    return std::string(reinterpret_cast<const char*>(&block), int(sizeof block));
}

const std::string TauntBlock = FromHex("010001002256000022560000010008008100") + std::string(111, 0);

class ACMConvertorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Plan::Clear();
        c.Calls = PlannedCalls();
    }
    std::string ErrorOf(void (*action)(TACMConvertor&))
    {
        try {
            action(c);
        } catch (const EACMConvertor& e) {
            return e.Message();
        }
        return "no error";
    }
    TACMConvertor c;
};

TEST_F(ACMConvertorTest, NewConvertorIsInactiveWithTauntFormatsInBothBlocks)
{
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(c.InputBufferSize(), 2048u);
    EXPECT_FALSE(c.UseRealTime());
    EXPECT_EQ(c.InputBuffer, nullptr);
    EXPECT_EQ(c.OutputBuffer, nullptr);
    EXPECT_EQ(c.StreamHandle, nullptr);
    EXPECT_EQ(BlockBytes(c.FormatIn), TauntBlock);
    EXPECT_EQ(BlockBytes(c.FormatOut), TauntBlock);
}

TEST_F(ACMConvertorTest, ActivationOpensOncePreparesBothBuffersAndDeactivationReleasesThem)
{
    c.SetActive(false);
    EXPECT_TRUE(Plan::Log.empty()) << "deactivating an inactive convertor does nothing";

    c.SetActive(true);
    c.SetActive(true);
    EXPECT_EQ(Plan::Log, (std::vector<std::string>{"open", "size", "prepare"}));
    EXPECT_EQ(Plan::OpenFlags, ACM_STREAMOPENF_NONREALTIME);
    ASSERT_TRUE(c.Active());
    ASSERT_NE(c.InputBuffer, nullptr);
    ASSERT_NE(c.OutputBuffer, nullptr);
    EXPECT_EQ(c.OutputBufferSize, 2048u);
    EXPECT_EQ(c.StreamHeader.cbStruct, sizeof(ACMSTREAMHEADER));
    EXPECT_EQ(c.StreamHeader.pbSrc, c.InputBuffer);
    EXPECT_EQ(c.StreamHeader.cbSrcLength, 2048u);
    EXPECT_EQ(c.StreamHeader.pbDst, c.OutputBuffer);
    EXPECT_EQ(c.StreamHeader.cbDstLength, 2048u);

    Plan::Log.clear();
    c.SetActive(false);
    EXPECT_EQ(Plan::Log, (std::vector<std::string>{"unprepare", "close"}));
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(c.InputBuffer, nullptr);
    EXPECT_EQ(c.OutputBuffer, nullptr);

    c.SetUseRealTime(true);
    c.SetActive(true);
    EXPECT_EQ(Plan::OpenFlags, 0u) << "real time only";
}

TEST_F(ACMConvertorTest, BufferSizeAndRealTimeFlagChangeOnlyWhileInactive)
{
    c.SetInputBufferSize(100);
    c.SetUseRealTime(true);
    c.SetUseRealTime(false);
    c.SetActive(true);
    EXPECT_EQ(ErrorOf([](TACMConvertor& c) { c.SetInputBufferSize(5); }),
              "You cannot change the buffer size while active.");
    EXPECT_EQ(ErrorOf([](TACMConvertor& c) { c.SetUseRealTime(true); }),
              "You cannot change the real time flag while active.");
    EXPECT_EQ(c.InputBufferSize(), 100u);
    EXPECT_FALSE(c.UseRealTime());
    EXPECT_TRUE(c.Active());
}

TEST(ACMConvertorResultTest, CodesBecomeTheirTextsAfterTheLabel)
{
    const std::pair<MMRESULT, const char*> known[] = {
        {5, "x: The specified handle is invalid."},
        {6, "x: A suitable driver is not available to provide valid format selections."},
        {7, "x: The system is unable to allocate resources."},
        {10, "x: At least one flag is invalid."},
        {11, "x: At least one parameter is invalid."},
        {512, "x: The requested operation cannot be performed."},
        {513, "x: The conversion stream is already in use."},
        {514, "x: Cannot perform this action on a header that has not been prepared."},
    };
    for (const auto& [code, text] : known) {
        try {
            TACMConvertor::Check(code, "x:");
            ADD_FAILURE() << code << " raised nothing";
        } catch (const EACMConvertor& e) {
            EXPECT_EQ(e.Message(), text);
        }
    }
    EXPECT_NO_THROW(TACMConvertor::Check(MMSYSERR_NOERROR, "x:"));
    for (MMRESULT code : {1u, 2u, 4u, 8u, 32u, 35u, 515u}) {
        try {
            TACMConvertor::Check(code, "acmStreamOpen:");
            ADD_FAILURE() << code << " raised nothing";
        } catch (const EACMConvertor& e) {
            EXPECT_EQ(e.Message(), "acmStreamOpen: raised an unknown error (code #" + std::to_string(code) + ")");
        }
    }
}

TEST_F(ACMConvertorTest, FailedOpeningOrSizingLeavesNothingOpenOrAllocated)
{
    Plan::Open = 1;
    EXPECT_EQ(ErrorOf([](TACMConvertor& c) { c.SetActive(true); }), "acmStreamOpen: raised an unknown error (code #1)");
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(Plan::Count("close"), 0) << "nothing was opened";

    Plan::Clear();
    Plan::Size = MMSYSERR_INVALPARAM;
    EXPECT_EQ(ErrorOf([](TACMConvertor& c) { c.SetActive(true); }),
              "acmStreamSize: At least one parameter is invalid.");
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(c.InputBuffer, nullptr);
    EXPECT_EQ(c.OutputBuffer, nullptr);
    EXPECT_EQ(Plan::Count("close"), 1) << "the stream opened for it is closed again";
    EXPECT_EQ(c.StreamHandle, nullptr);

    Plan::Clear();
    Plan::Prepare = ACMERR_BUSY;
    EXPECT_EQ(ErrorOf([](TACMConvertor& c) { c.SetActive(true); }),
              "acmStreamPrepareHeader: The conversion stream is already in use.");
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(c.InputBuffer, nullptr);
    EXPECT_EQ(c.OutputBuffer, nullptr);
    EXPECT_EQ(Plan::Count("close"), 1);

    Plan::Clear();
    c.SetActive(true);
    EXPECT_TRUE(c.Active()) << "a failed activation can be tried again";
}

TEST_F(ACMConvertorTest, FailedConvertingOrResettingStaysActiveWithAZeroedOutput)
{
    c.SetActive(true);
    std::memset(c.OutputBuffer, 0xEE, c.OutputBufferSize);
    Plan::Convert = ACMERR_UNPREPARED;
    EXPECT_EQ(ErrorOf([](TACMConvertor& c) { c.Convert(); }),
              "acmStreamConvert: Cannot perform this action on a header that has not been prepared.");
    EXPECT_TRUE(c.Active());
    EXPECT_EQ(std::count(c.OutputBuffer, c.OutputBuffer + c.OutputBufferSize, 0), 2048);
    EXPECT_EQ(Plan::Count("reset"), 0);

    Plan::Convert = MMSYSERR_NOERROR;
    Plan::Reset = MMSYSERR_INVALHANDLE;
    EXPECT_EQ(ErrorOf([](TACMConvertor& c) { c.Convert(); }), "acmStreamReset The specified handle is invalid.");
    EXPECT_TRUE(c.Active());
    EXPECT_EQ(Plan::Count("convert4"), 2) << "every conversion passes the block-align flag alone";
}

TEST_F(ACMConvertorTest, FailedUnpreparingOrClosingKeepsItActiveUntilATryThatWorks)
{
    c.SetActive(true);
    Plan::Unprepare = MMSYSERR_INVALFLAG;
    EXPECT_EQ(ErrorOf([](TACMConvertor& c) { c.SetActive(false); }),
              "acmStreamUnPrepareHeader: At least one flag is invalid.");
    EXPECT_TRUE(c.Active());
    EXPECT_NE(c.InputBuffer, nullptr);
    EXPECT_NE(c.OutputBuffer, nullptr);

    Plan::Clear();
    Plan::Close = MMSYSERR_NOMEM;
    EXPECT_EQ(ErrorOf([](TACMConvertor& c) { c.SetActive(false); }),
              "acmStreamClose: The system is unable to allocate resources.");
    EXPECT_TRUE(c.Active());
    EXPECT_NE(c.OutputBuffer, nullptr);

    Plan::Clear();
    c.SetActive(false);
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(Plan::Log, (std::vector<std::string>{"close"})) << "the header was unprepared already";
}

TEST_F(ACMConvertorTest, DestroyingAnActiveConvertorClosesItsStream)
{
    auto owner = std::make_unique<TComponent>();
    auto* owned = new TACMConvertor(owner.get());
    owned->Calls = PlannedCalls();
    owned->SetActive(true);
    const HACMSTREAM handle = owned->StreamHandle;
    owner.reset();
    EXPECT_EQ(Plan::Count("close"), 1);
    EXPECT_EQ(acmStreamClose(handle, 0), MMSYSERR_INVALHANDLE) << "already closed";

    // A stream that will not close cannot stop the destructor, nor keep the buffers.
    auto stubborn = std::make_unique<TACMConvertor>();
    stubborn->Calls = PlannedCalls();
    stubborn->SetActive(true);
    const HACMSTREAM kept = stubborn->StreamHandle;
    Plan::Close = MMSYSERR_ERROR;
    EXPECT_NO_THROW(stubborn.reset());
    EXPECT_EQ(acmStreamClose(kept, 0), MMSYSERR_NOERROR);
}

TEST_F(ACMConvertorTest, IdenticalFormatsGiveTheInputBack)
{
    // The recording path: the taunt format in and out, any number of conversions.
    c.SetInputBufferSize(5000);
    std::memcpy(&c.FormatIn.Format, &c.FormatOut.Format, sizeof(WAVEFORMATEX));
    c.SetActive(true);
    for (uint32_t i = 0; i < 5000; ++i)
        c.InputBuffer[i] = uint8_t(i * 7);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(c.Convert(), 5000u);
        EXPECT_EQ(std::memcmp(c.InputBuffer, c.OutputBuffer, 5000), 0);
    }
}

TEST_F(ACMConvertorTest, ConvertingWhileInactiveIsRefusedWithoutTouchingMemory)
{
    c.SetActive(true);
    c.SetActive(false);
    EXPECT_EQ(c.OutputBufferSize, 0u) << "no size is left for a buffer that is gone";
    EXPECT_EQ(ErrorOf([](TACMConvertor& c) { c.Convert(); }), "acmStreamConvert: The specified handle is invalid.");
}

TEST_F(ACMConvertorTest, EmptyRecordingConvertsToNothing)
{
    c.SetInputBufferSize(0);
    c.SetActive(true);
    EXPECT_EQ(c.Convert(), 0u);
}

TEST_F(ACMConvertorTest, ConvertsAWholeSourceFileTheWayTheWorkbenchDoes)
{
    TempDir dir;
    const std::string path = dir.FilePath("source.wav");
    WriteWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, Sine16(440, 0.5, 44100, 1.0, 2));
    TWavStream source;
    source.LoadFromFile(path);

    c.SetActive(false);
    c.SetInputBufferSize(uint32_t(source.Size()));
    std::memcpy(&c.FormatIn.Format, &source.Format, sizeof(WAVEFORMATEX));
    c.SetActive(true);
    std::memcpy(c.InputBuffer, source.Memory(), size_t(source.Size()));
    std::memset(c.OutputBuffer, 0xEE, c.OutputBufferSize);
    const uint32_t converted = c.Convert();

    EXPECT_EQ(converted, 22050u);
    EXPECT_EQ(std::count(c.OutputBuffer + converted, c.OutputBuffer + c.OutputBufferSize, 0),
              std::ptrdiff_t(c.OutputBufferSize - converted))
        << "bytes past the count stay 0";
    const SineFit fit = FitSine(c.OutputBuffer, converted, 440, 22050, 500);
    EXPECT_NEAR(fit.Amplitude, 64.0, 1.0);
    EXPECT_GT(fit.SinadDb, 40.0);
}

}

namespace {

TEST_F(ACMConvertorTest, ConvertWaveTakesTheFilesFormatAndRefusesASoundBeyondA32BitCount)
{
    TempDir dir;
    const std::string path = dir.FilePath("source.wav");
    WriteWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, Sine16(440, 0.5, 44100, 1.0, 2));
    TWavStream source;
    source.LoadFromFile(path);
    EXPECT_EQ(ConvertWave(c, source, false), 22050u);
    EXPECT_EQ(c.FormatIn.Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(source.Size(), 0) << "the tools' way lets go of the source once the convertor holds it";

    // Sized to 32 bits, such a sound would be copied whole into a buffer of its low 32 bits.
    EXPECT_EQ(ErrorOf([](TACMConvertor& c) { LoadConvertor(c, TauntFormat, nullptr, int64_t(UINT32_MAX) + 1); }),
              "The sound is too long to convert");
    EXPECT_TRUE(c.Active()) << "the convertor is left as it was";
}

}
