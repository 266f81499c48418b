#include "acm/MSAcm.h"
#include "sound/TauntFormat.h"
#include "support/AcmRun.h"
#include "support/Signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace {

// An open stream with one prepared header over buffers of its own.
struct OpenStream {
    explicit OpenStream(const WAVEFORMATEX& from, const WAVEFORMATEX& to = TauntFormat, uint32_t srcBytes = 64)
        : src(srcBytes, 0x80), dst(4096)
    {
        EXPECT_EQ(acmStreamOpen(&handle, nullptr, &from, &to, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
        header.cbStruct = sizeof header;
        header.pbSrc = src.data();
        header.cbSrcLength = uint32_t(src.size());
        header.pbDst = dst.data();
        header.cbDstLength = uint32_t(dst.size());
    }
    ~OpenStream()
    {
        if (handle) {
            acmStreamUnprepareHeader(handle, &header, 0);
            acmStreamClose(handle, 0);
        }
    }
    HACMSTREAM handle = nullptr;
    std::vector<uint8_t> src;
    std::vector<uint8_t> dst;
    ACMSTREAMHEADER header{};
};

MMRESULT OpenResult(const WAVEFORMATEX& from, const WAVEFORMATEX& to = TauntFormat, uint32_t flags = 0)
{
    HACMSTREAM handle = reinterpret_cast<HACMSTREAM>(uintptr_t(1));
    const MMRESULT result = acmStreamOpen(&handle, nullptr, &from, &to, nullptr, 0, 0, flags);
    if (result == MMSYSERR_NOERROR)
        acmStreamClose(handle, 0);
    else
        EXPECT_EQ(handle, nullptr) << "a failed open leaves no handle behind";
    return result;
}

TEST(AcmStreamTest, NonsenseAndUndecodableFormatsAreRefusedWithACode)
{
    WAVEFORMATEX noChannels = Pcm(2, 44100, 16);
    noChannels.nChannels = 0;
    WAVEFORMATEX noRate = Pcm(2, 44100, 16);
    noRate.nSamplesPerSec = 0;
    WAVEFORMATEX noAlign = Pcm(2, 44100, 16);
    noAlign.nBlockAlign = 0;
    WAVEFORMATEX wrongAlign = Pcm(2, 44100, 16);
    wrongAlign.nBlockAlign = 3;
    WAVEFORMATEX oddBits = Pcm(1, 44100, 16);
    oddBits.wBitsPerSample = 13;
    WAVEFORMATEX absurdRate = Pcm(1, 44100, 16);
    absurdRate.nSamplesPerSec = 4000000000u;
    WAVEFORMATEX tooManyChannels = Pcm(1, 44100, 8);
    tooManyChannels.nChannels = 5000;
    tooManyChannels.nBlockAlign = 5000;
    WAVEFORMATEX unknownTag = Pcm(1, 44100, 16);
    unknownTag.wFormatTag = 0x1234;
    WAVEFORMATEX gsmStereo{0x31, 2, 8000, 1625, 65, 0, 0};

    for (const WAVEFORMATEX& bad :
         {noChannels, noRate, noAlign, wrongAlign, oddBits, absurdRate, tooManyChannels, unknownTag, gsmStereo})
        EXPECT_EQ(OpenResult(bad), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(OpenResult(Pcm(2, 44100, 16), noRate), ACMERR_NOTPOSSIBLE) << "the target is checked too";
    WAVEFORMATEX floatTarget = Pcm(1, 22050, 32);
    floatTarget.wFormatTag = 3;
    EXPECT_EQ(OpenResult(Pcm(2, 44100, 16), floatTarget), ACMERR_NOTPOSSIBLE) << "targets are PCM";
}

TEST(AcmStreamTest, OpenChecksItsArgumentsAndFlags)
{
    const WAVEFORMATEX src = Pcm(2, 44100, 16);
    HACMSTREAM handle = nullptr;
    EXPECT_EQ(acmStreamOpen(&handle, nullptr, nullptr, &TauntFormat, nullptr, 0, 0, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &src, &TauntFormat, nullptr, 0, 0, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmStreamOpen(&handle, nullptr, &src, &TauntFormat, nullptr, 0, 0, 0x100), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamOpen(&handle, reinterpret_cast<HACMDRIVER>(uintptr_t(8)), &src, &TauntFormat, nullptr, 0, 0, 0),
              MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamOpen(&handle, nullptr, &src, &TauntFormat, nullptr, 0, 0, ACM_STREAMOPENF_ASYNC),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &src, &TauntFormat, nullptr, 0, 0, ACM_STREAMOPENF_QUERY),
              MMSYSERR_NOERROR)
        << "a query needs no handle";
    EXPECT_EQ(OpenResult(src, TauntFormat, ACM_STREAMOPENF_NONREALTIME), MMSYSERR_NOERROR);
}

TEST(AcmStreamTest, ClosedOrMadeUpHandlesAreAnsweredNotUsed)
{
    HACMSTREAM handle = nullptr;
    const WAVEFORMATEX src = Pcm(1, 22050, 8);
    ASSERT_EQ(acmStreamOpen(&handle, nullptr, &src, &TauntFormat, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamClose(handle, 0), MMSYSERR_NOERROR);

    uint32_t size = 0;
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    const HACMSTREAM madeUp = reinterpret_cast<HACMSTREAM>(uintptr_t(0x1000));
    for (HACMSTREAM h : {handle, madeUp, HACMSTREAM(nullptr)}) {
        EXPECT_EQ(acmStreamSize(h, 100, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(acmStreamPrepareHeader(h, &header, 0), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(acmStreamConvert(h, &header, 0), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(acmStreamReset(h, 0), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(acmStreamUnprepareHeader(h, &header, 0), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(acmStreamClose(h, 0), MMSYSERR_INVALHANDLE);
    }
}

TEST(AcmStreamTest, HeadersMustBeThisPlatformsSizeAndPreparedWithTheirBuffers)
{
    OpenStream s(Pcm(2, 44100, 16));
    s.header.cbStruct = 84;
    EXPECT_EQ(acmStreamPrepareHeader(s.handle, &s.header, 0), MMSYSERR_INVALPARAM)
        << "84 bytes is another platform's header";
    s.header.cbStruct = sizeof(ACMSTREAMHEADER);
    EXPECT_EQ(acmStreamConvert(s.handle, &s.header, 0), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamUnprepareHeader(s.handle, &s.header, 0), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamPrepareHeader(s.handle, &s.header, 1), MMSYSERR_INVALFLAG);

    ASSERT_EQ(acmStreamPrepareHeader(s.handle, &s.header, 0), MMSYSERR_NOERROR);
    EXPECT_TRUE(s.header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);
    EXPECT_EQ(acmStreamPrepareHeader(s.handle, &s.header, 0), MMSYSERR_NOERROR) << "preparing twice does nothing";
    EXPECT_EQ(acmStreamConvert(s.handle, &s.header, 0x1000), MMSYSERR_INVALFLAG);

    s.header.cbDstLength += 1;
    EXPECT_EQ(acmStreamConvert(s.handle, &s.header, 0), MMSYSERR_INVALPARAM) << "a buffer grown after preparing";
    EXPECT_EQ(acmStreamUnprepareHeader(s.handle, &s.header, 0), MMSYSERR_INVALPARAM);
    s.header.cbDstLength -= 1;

    EXPECT_EQ(acmStreamConvert(s.handle, &s.header, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
    EXPECT_TRUE(s.header.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
    EXPECT_EQ(acmStreamReset(s.handle, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamReset(s.handle, 1), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamUnprepareHeader(s.handle, &s.header, 0), MMSYSERR_NOERROR);
    EXPECT_FALSE(s.header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);
    EXPECT_EQ(acmStreamConvert(s.handle, &s.header, 0), ACMERR_UNPREPARED);
}

TEST(AcmStreamTest, SizeIsEnoughAndRefusesWhatCannotBeCounted)
{
    OpenStream s(Pcm(2, 8000, 16));
    uint32_t size = 1;
    EXPECT_EQ(acmStreamSize(s.handle, 0, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(acmStreamSize(s.handle, 100, nullptr, ACM_STREAMSIZEF_SOURCE), MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmStreamSize(s.handle, 100, &size, 7), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamSize(s.handle, 1000000000u, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_GE(size, 689062500u) << "counted without overflowing 32 bits on the way";

    // 8 kHz 8-bit to 22050 Hz makes 2.76 times as many bytes: 2 GB of source has no 32-bit size.
    OpenStream up(Pcm(1, 8000, 8));
    EXPECT_EQ(acmStreamSize(up.handle, 0x80000000u, &size, ACM_STREAMSIZEF_SOURCE), ACMERR_NOTPOSSIBLE);
}

TEST(AcmStreamTest, IdenticalFormatsCopyTheBytesUnchanged)
{
    std::string bytes(100001, 0);
    std::mt19937 random(7);
    for (char& b : bytes)
        b = char(random());
    const AcmRun run = ConvertBlock(Record(TauntFormat), TauntFormat, bytes);
    ASSERT_EQ(run.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(run.DestinationSize, uint32_t(bytes.size()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(run.Output.data()), int(run.Output.size())), bytes);

    const WAVEFORMATEX stereo16 = Pcm(2, 44100, 16);
    const AcmRun wide = ConvertBlock(Record(stereo16), stereo16, bytes.substr(0, 40000));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(wide.Output.data()), int(wide.Output.size())),
              bytes.substr(0, 40000));
}

TEST(AcmStreamTest, ZeroBytesGiveZeroBytesAndPartialFramesAreLeftOver)
{
    const AcmRun none = ConvertBlock(Record(Pcm(2, 44100, 16)), TauntFormat, std::string());
    EXPECT_EQ(none.Result, MMSYSERR_NOERROR);
    EXPECT_TRUE(none.Output.empty());

    const AcmRun partial = ConvertBlock(Record(Pcm(2, 22050, 16)), TauntFormat, std::string(4 * 10 + 3, 0));
    EXPECT_EQ(partial.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(partial.SourceUsed, 40u) << "only whole frames are converted";
    EXPECT_EQ(partial.Output, std::vector<uint8_t>(10, 128));
}

TEST(AcmStreamTest, WidthAndChannelChangesRoundAverageAndClamp)
{
    // Same rate: 16-bit stereo frames to one unsigned byte each, the average rounded to nearest (ties to even).
    const std::vector<int16_t> frames = {0, 0,     256,   256,    128,    128,   384,    384, -256,
                                         0, 32767, 32767, -32768, -32768, 32767, -32768, 100, 200};
    const AcmRun run = ConvertBlock(Record(Pcm(2, 22050, 16)), TauntFormat, Bytes(frames));
    ASSERT_EQ(run.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(run.Output, (std::vector<uint8_t>{128, 129, 128, 130, 128, 255, 0, 128, 129}));

    // 8-bit to 16-bit keeps every sample exactly, scaled by 256.
    const std::string eight("\x00\x80\xff\x7f", 4);
    const AcmRun wide = ConvertBlock(Record(Pcm(1, 22050, 8)), Pcm(1, 22050, 16), eight);
    const std::vector<int16_t> expected = {-32768, 0, 32512, -256};
    ASSERT_EQ(wide.Output.size(), 8u);
    EXPECT_EQ(std::memcmp(wide.Output.data(), expected.data(), 8), 0);

    // Float at and beyond full scale clamps to the 16-bit ends, never wrapping to the other one.
    const float full[] = {1.0f, 1.5f, -1.0f, -1.5f};
    const AcmRun sixteen = ConvertBlock(Record(WAVEFORMATEX{3, 1, 22050, 22050 * 4, 4, 32, 0}), Pcm(1, 22050, 16),
                                        std::string(reinterpret_cast<const char*>(full), sizeof full));
    const std::vector<int16_t> ends = {32767, 32767, -32768, -32768};
    ASSERT_EQ(sixteen.Output.size(), 8u);
    EXPECT_EQ(std::memcmp(sixteen.Output.data(), ends.data(), 8), 0);

    // One channel to two repeats it.
    const AcmRun twice = ConvertBlock(Record(Pcm(1, 22050, 8)), Pcm(2, 22050, 8), eight);
    EXPECT_EQ(twice.Output, (std::vector<uint8_t>{0, 0, 0x80, 0x80, 0xff, 0xff, 0x7f, 0x7f}));
}

TEST(AcmStreamTest, EverySampleOfALongBlockIsRoundedAndClamped)
{
    // Blocks long enough for the bulk of the work, with lengths that leave a remainder:
    // every 16-bit value, and floats far beyond full scale, each to its nearest 8-bit step.
    auto expected = [](double x) { return uint8_t(std::clamp(std::nearbyint(x * 128.0), -128.0, 127.0) + 128.0); };
    std::vector<int16_t> integers;
    for (int v = -32768; v <= 32767; ++v)
        integers.push_back(int16_t(v));
    integers.insert(integers.end(), {128, 384, -128, 32767, -32768});
    const AcmRun run = ConvertBlock(Record(Pcm(1, 22050, 16)), TauntFormat, Bytes(integers));
    ASSERT_EQ(run.Result, MMSYSERR_NOERROR);
    ASSERT_EQ(run.Output.size(), integers.size());
    size_t wrong = 0;
    for (size_t i = 0; i < integers.size(); ++i)
        wrong += run.Output[i] != expected(integers[i] / 32768.0);
    EXPECT_EQ(wrong, 0u);

    const float loud[] = {1e30f, -1e30f, 1.5f, -1.5f, 0.99f, -0.99f, 1.0f / 256, 3.0f / 256, -1.0f / 256};
    std::vector<float> floats;
    for (int i = 0; i < 1003; ++i)
        floats.push_back(loud[i % std::size(loud)]);
    const WAVEFORMATEX f{3, 1, 22050, 22050 * 4, 4, 32, 0};
    const AcmRun clamped = ConvertBlock(
        Record(f), TauntFormat, std::string(reinterpret_cast<const char*>(floats.data()), int(floats.size() * 4)));
    ASSERT_EQ(clamped.Result, MMSYSERR_NOERROR);
    ASSERT_EQ(clamped.Output.size(), floats.size());
    wrong = 0;
    for (size_t i = 0; i < floats.size(); ++i)
        wrong += clamped.Output[i] != expected(floats[i]);
    EXPECT_EQ(wrong, 0u);
}

TEST(AcmStreamTest, IntegerAndFloatSourcesOfTheSameSoundConvertAlike)
{
    // Integer samples are scaled to floats by the stream itself; the same sound given as
    // floats must come out as the very same bytes, whether mixed and resampled or not.
    std::mt19937 random(5);
    std::vector<int16_t> sixteen(2 * 10007);
    for (int16_t& s : sixteen)
        s = int16_t(random());
    std::vector<uint8_t> eight(3 * 5003);
    for (uint8_t& s : eight)
        s = uint8_t(random());
    std::vector<float> sixteenAsFloat;
    for (int16_t s : sixteen)
        sixteenAsFloat.push_back(float(s) / 32768.0f);
    std::vector<float> eightAsFloat;
    for (uint8_t s : eight)
        eightAsFloat.push_back(float(int(s) - 128) / 128.0f);
    auto asBytes = [](const auto& v) {
        return std::string(reinterpret_cast<const char*>(v.data()), int(v.size() * sizeof v[0]));
    };
    auto floatFormat = [](uint16_t channels) {
        return WAVEFORMATEX{3, channels, 44100, 44100u * 4 * channels, uint16_t(4 * channels), 32, 0};
    };
    for (const WAVEFORMATEX& target : {TauntFormat, Pcm(2, 44100, 16), Pcm(3, 44100, 16)}) {
        const AcmRun fromInt = ConvertBlock(Record(Pcm(2, 44100, 16)), target, asBytes(sixteen));
        const AcmRun fromFloat = ConvertBlock(Record(floatFormat(2)), target, asBytes(sixteenAsFloat));
        ASSERT_EQ(fromInt.Result, MMSYSERR_NOERROR);
        EXPECT_FALSE(fromInt.Output.empty());
        EXPECT_EQ(fromInt.Output, fromFloat.Output) << "16-bit to " << target.nChannels << " channels";

        const AcmRun fromByte = ConvertBlock(Record(Pcm(3, 44100, 8)), target, asBytes(eight));
        const AcmRun fromByteFloat = ConvertBlock(Record(floatFormat(3)), target, asBytes(eightAsFloat));
        ASSERT_EQ(fromByte.Result, MMSYSERR_NOERROR);
        EXPECT_FALSE(fromByte.Output.empty());
        EXPECT_EQ(fromByte.Output, fromByteFloat.Output) << "8-bit to " << target.nChannels << " channels";
    }
}

TEST(AcmStreamTest, RateChangesGiveTheWholeSoundWithinThePromisedSize)
{
    std::mt19937 random(11);
    const uint32_t rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 96000};
    for (uint32_t rate : rates)
        for (int channels : {1, 2}) {
            const uint32_t frames = random() % 30000;
            const auto src = Sine16(440, 0.5, int(rate), frames / double(rate), channels);
            const AcmRun run = ConvertBlock(Record(Pcm(uint16_t(channels), rate, 16)), TauntFormat, Bytes(src));
            ASSERT_EQ(run.Result, MMSYSERR_NOERROR) << rate;
            EXPECT_FALSE(run.WroteBeyond) << rate;
            const double expected = double(src.size() / size_t(channels)) * 22050.0 / rate;
            EXPECT_NEAR(double(run.Output.size()), expected, 1.0) << rate << " Hz, " << channels << " channels";
            EXPECT_LE(run.Output.size(), run.DestinationSize);
        }
}

}
