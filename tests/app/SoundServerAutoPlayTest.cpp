#include "Workbench.h"

#include "support/AcmRun.h"
#include "support/QtFiles.h"
#include "support/SoundServer.h"

#include <cstdlib>
#include <sndfile.h>

// Files the sound device cannot take as they stand, clicked with AutoPlay on, play through
// the wave mapper on the test sound server: what reaches its sink is the file as the
// conversion engine turns it into the taunt format, within one step a sample (the server
// does its own mixing and rounding on the way).
namespace {

class SoundServerAutoPlayTest : public WorkbenchTest {
protected:
    void SetUp() override
    {
        if (!UseTestSoundServer(environment, cookie))
            GTEST_SKIP() << "needs the test sound server that ./test.sh starts (JEERBOX_TEST_PULSE_SERVER)";
    }
    void TearDown() override
    {
        form.reset();
        SetWaveDriver(nullptr);
    }

    // Clicks the file and returns what the sink heard from before the click until the
    // expected sound and a moment after it have arrived (or the time is up).
    QByteArray HearClick(const QString& path, const std::vector<uint8_t>& expected, qsizetype& at)
    {
        OpenFiles(QStringList{path});
        ServerRecorder monitor;
        EXPECT_TRUE(monitor.Start("out.monitor"));
        ClickItem(0);
        EXPECT_TRUE(dialogs.Texts().isEmpty()) << dialogs.Texts().join(' ').toStdString();
        return monitor.ReadUntil(
            [&](const QByteArray& bytes) {
                qsizetype end = -1;
                at = FindWithinAStep(bytes, expected, end);
                return at >= 0 && bytes.size() - end > 2205;
            },
            5000);
    }

    // Where `expected` begins in `heard` with every byte within one step, and where it ends;
    // the server may have filled gaps of silence into it, a tenth of a second in all.
    static qsizetype FindWithinAStep(const QByteArray& heard, const std::vector<uint8_t>& expected, qsizetype& end)
    {
        const auto* bytes = reinterpret_cast<const uint8_t*>(heard.constData());
        for (qsizetype at = 0; at + qsizetype(expected.size()) <= heard.size(); ++at) {
            size_t i = 0;
            qsizetype filler = 0;
            for (end = at; i < expected.size() && end < heard.size(); ++end) {
                if (std::abs(int(bytes[end]) - int(expected[i])) <= 1)
                    ++i;
                else if (i == 0 || bytes[end] != 0x80 || ++filler > 2205)
                    break;
            }
            if (i == expected.size())
                return at;
        }
        return -1;
    }

    // The file's sound in the taunt format, as the conversion engine makes it from whole blocks.
    static std::vector<uint8_t> Converted(const QString& path)
    {
        const WavParts parts = SplitWav(ToStd(ReadFile(path)));
        const auto& format = *reinterpret_cast<const WAVEFORMATEX*>(parts.Fmt.data());
        const std::string whole = parts.Data.substr(0, parts.Data.size() / format.nBlockAlign * format.nBlockAlign);
        const AcmRun run = ConvertBlock(parts.Fmt, TauntFormat, whole);
        EXPECT_EQ(run.Result, MMSYSERR_NOERROR);
        return run.Output;
    }

    void ExpectHeard(int format, int channels)
    {
        const QString path = dir.filePath("source.wav");
        // Two tones, so that the sound cannot be found in the wrong place.
        std::vector<int16_t> samples = Sine16(440, 0.4, 22050, 0.3, channels);
        const std::vector<int16_t> second = Sine16(1250, 0.3, 22050, 0.3, channels);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = int16_t(samples[i] + second[i]);
        WriteWithSndfile(path, format, 22050, channels, samples);
        const std::vector<uint8_t> expected = Converted(path);
        ASSERT_GT(expected.size(), 6000u);
        qsizetype at = -1;
        const QByteArray heard = HearClick(path, expected, at);
        EXPECT_GE(at, 0) << "the file's sound, converted, is not at the sink (" << heard.size() << " bytes heard)";
    }

    QTemporaryDir cookie;
    ScopedEnvironment environment;
};

TEST_F(SoundServerAutoPlayTest, ATwentyFourBitStereoFileIsHeard)
{
    if (OnPipeWire())
        GTEST_SKIP() << "PipeWire mixes the stereo stream down to the sink its own way: its bytes are not foretold";
    ExpectHeard(SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2);
}

TEST_F(SoundServerAutoPlayTest, AnImaAdpcmFileIsHeard)
{
    ExpectHeard(SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1);
}

}  // namespace
