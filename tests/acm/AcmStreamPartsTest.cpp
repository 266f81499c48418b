#include "acm/MSAcm.h"
#include "sound/TauntFormat.h"
#include "sound/Wavs_ex.h"
#include "support/AcmRun.h"
#include "support/Signal.h"

#include "support/TempDir.h"
#include <gtest/gtest.h>
#include <sndfile.h>

namespace {

// A sound as a WAV file of the given kind would hold it: its format record with the extra
// bytes, and its samples.
struct Sound {
    std::string Format;
    std::string Samples;
};

Sound MakeSound(int kind, int rate, int channels, double seconds)
{
    TempDir dir;
    const std::string path = dir.FilePath("s.wav");
    std::vector<int16_t> samples = Sine16(440, 0.3, rate, seconds, channels);
    const std::vector<int16_t> high = Sine16(2999, 0.3, rate, seconds, channels);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(samples[i] + high[i] + int(i * 7919 % 301) - 150);
    WriteWithSndfile(path, SF_FORMAT_WAV | kind, rate, channels, samples);
    TWavStream wave;
    wave.LoadFromFile(path);
    Sound sound{Record(wave.Format), std::string(reinterpret_cast<const char*>(wave.Memory()), size_t(wave.Size()))};
    sound.Format.append(reinterpret_cast<const char*>(wave.FormatExtra.data()), wave.FormatExtra.size());
    return sound;
}

// The sound handed over in parts of `part` bytes, each result taken into `room` bytes: what is
// left of a part (a partial block) goes again with the next, what does not fit comes later.
// `alignLast` false: the last part goes without the block-align flag.
std::vector<uint8_t> ConvertInParts(const Sound& sound, uint32_t part, uint32_t room, bool alignLast = true)
{
    HACMSTREAM stream = nullptr;
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, reinterpret_cast<const WAVEFORMATEX*>(sound.Format.data()), &TauntFormat,
                            nullptr, 0, 0, 0),
              MMSYSERR_NOERROR);
    std::vector<uint8_t> out;
    std::vector<uint8_t> dst(room);
    auto convert = [&](const char* src, uint32_t count, uint32_t flags) {
        std::vector<uint8_t> piece(src, src + count);
        ACMSTREAMHEADER header{};
        header.cbStruct = sizeof header;
        header.pbSrc = piece.data();
        header.cbSrcLength = count;
        header.pbDst = dst.data();
        header.cbDstLength = room;
        EXPECT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
        EXPECT_EQ(acmStreamConvert(stream, &header, flags), MMSYSERR_NOERROR);
        EXPECT_LE(header.cbDstLengthUsed, room);
        out.insert(out.end(), dst.begin(), dst.begin() + header.cbDstLengthUsed);
        acmStreamUnprepareHeader(stream, &header, 0);
        return header;
    };
    uint32_t at = 0;
    uint32_t flags = ACM_STREAMCONVERTF_START;
    const uint32_t size = uint32_t(sound.Samples.size());
    for (uint32_t left = 0; at < size;) {
        // A part shorter than a block carries over whole to the next.
        const uint32_t count = std::min(part + left, size - at);
        const bool last = at + count == size;
        const uint32_t align = last && !alignLast ? 0 : ACM_STREAMCONVERTF_BLOCKALIGN;
        const uint32_t used =
            convert(sound.Samples.data() + at, count, flags | align | (last ? ACM_STREAMCONVERTF_END : 0))
                .cbSrcLengthUsed;
        at += used;
        left = count - used;
        flags = 0;
        if (last)
            break;
    }
    while (convert(nullptr, 0, ACM_STREAMCONVERTF_END).cbDstLengthUsed > 0) {}
    acmStreamClose(stream, 0);
    return out;
}

TEST(AcmStreamPartsTest, ASoundInPartsComesOutAsTheBytesOfTheSoundAsOneBlock)
{
    const struct {
        const char* Name;
        int Kind;
        int Rate;
        int Channels;
        double Seconds;
    } cases[] = {
        {"16-bit", SF_FORMAT_PCM_16, 44100, 2, 1.0},       {"float", SF_FORMAT_FLOAT, 32000, 1, 1.0},
        {"IMA ADPCM", SF_FORMAT_IMA_ADPCM, 48000, 2, 1.0}, {"MS ADPCM", SF_FORMAT_MS_ADPCM, 22050, 1, 2.0},
        {"GSM 6.10", SF_FORMAT_GSM610, 8000, 1, 8.0},
    };
    for (const auto& c : cases) {
        const Sound sound = MakeSound(c.Kind, c.Rate, c.Channels, c.Seconds);
        const AcmRun whole = ConvertBlock(sound.Format, TauntFormat, sound.Samples);
        ASSERT_EQ(whole.Result, MMSYSERR_NOERROR) << c.Name;
        // Parts that split blocks and frames, and results that must wait for room.
        const uint32_t half = uint32_t(sound.Samples.size()) / 2 + 1;
        for (const auto& [part, room] : {std::pair{4096u, 65536u}, std::pair{1001u, 97u}, std::pair{half, 5000u}})
            EXPECT_TRUE(ConvertInParts(sound, part, room) == whole.Output)
                << c.Name << ", parts of " << part << ", room " << room;

        // Cut inside its last block, the end going without the block-align flag: that block is
        // converted too, in parts as in one call (the MS ADPCM decoder reads whole blocks only).
        const uint16_t align = reinterpret_cast<const WAVEFORMATEX*>(sound.Format.data())->nBlockAlign;
        if (align < 16 || c.Kind == SF_FORMAT_MS_ADPCM)
            continue;
        Sound cut = sound;
        cut.Samples.resize(cut.Samples.size() - align / 2);
        const std::vector<uint8_t> once = ConvertInParts(cut, uint32_t(cut.Samples.size()), 1 << 22, false);
        EXPECT_GT(once.size(), ConvertBlock(cut.Format, TauntFormat, cut.Samples).Output.size()) << c.Name;
        EXPECT_TRUE(ConvertInParts(cut, 4096, 65536, false) == once) << c.Name << ", cut in its last block";
    }
}

TEST(AcmStreamPartsTest, ABlockWithoutStartIsASoundOfItsOwnAndAStartDropsAnUnfinishedSound)
{
    const Sound sound = MakeSound(SF_FORMAT_PCM_16, 44100, 1, 0.5);
    const AcmRun whole = ConvertBlock(sound.Format, TauntFormat, sound.Samples);
    HACMSTREAM stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, reinterpret_cast<const WAVEFORMATEX*>(sound.Format.data()), &TauntFormat,
                            nullptr, 0, 0, 0),
              MMSYSERR_NOERROR);
    std::vector<uint8_t> src(sound.Samples.begin(), sound.Samples.end());
    std::vector<uint8_t> dst(whole.DestinationSize);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = src.data();
    header.cbSrcLength = uint32_t(src.size());
    header.pbDst = dst.data();
    header.cbDstLength = uint32_t(dst.size());
    ASSERT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    auto converted = [&](uint32_t count, uint32_t flags) {
        header.cbSrcLength = count;
        EXPECT_EQ(acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN | flags), MMSYSERR_NOERROR);
        return std::vector<uint8_t>(dst.begin(), dst.begin() + header.cbDstLengthUsed);
    };
    const uint32_t all = uint32_t(src.size());
    converted(2000, ACM_STREAMCONVERTF_START);
    EXPECT_TRUE(converted(all, ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END) == whole.Output)
        << "a start drops the unfinished sound";
    EXPECT_TRUE(converted(all, 0) == whole.Output) << "no flags: a sound of its own";
    EXPECT_TRUE(converted(all, ACM_STREAMCONVERTF_END) == whole.Output) << "an end without a start: a sound of its own";
    converted(2000, ACM_STREAMCONVERTF_START);
    EXPECT_EQ(converted(all - 2000, 0).size() + converted(0, ACM_STREAMCONVERTF_END).size(), whole.Output.size())
        << "a block without flags goes on with the sound in parts";
    acmStreamUnprepareHeader(stream, &header, 0);
    acmStreamClose(stream, 0);
}

}
