#include "acm/Riff.h"
#include "gamtable/GamTestSupport.h"
#include "sound/ACMConvertor.h"
#include "sound/SoundFile.h"
#include "support/QtFiles.h"
#include "support/Signal.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <ebur128.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace {

// The samples of a WAV file read with the window's helpers.
QByteArray SampleBytes(const QByteArray& wav)
{
    return ToQt(SplitWav(ToStd(wav)).Data);
}

class JeerboxBatchTest : public ::testing::Test {
protected:
    int Run(const QStringList& args, QString* errors = nullptr, QString* out = nullptr)
    {
        QProcess p;
        p.start(QStringLiteral(JEERBOX_BUILD_DIR "/jeerbox-convert"), args);
        EXPECT_TRUE(p.waitForFinished(120000));
        if (errors)
            *errors = QString::fromLocal8Bit(p.readAllStandardError());
        if (out)
            *out = QString::fromLocal8Bit(p.readAllStandardOutput());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Wav(const char* name, const std::vector<int16_t>& samples, int rate = 44100, int channels = 1)
    {
        WriteWithSndfile(Path(QLatin1String(name)), SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, channels, samples);
        return Path(QLatin1String(name));
    }
    // The samples of a taunt the tool wrote.
    QByteArray Taunt(const char* name)
    {
        return SampleBytes(ReadFile(Path(QStringLiteral("out/") + QLatin1String(name))));
    }
    QTemporaryDir dir;
};

// The same bytes as the workbench's conversion of the file.
QByteArray ConvertedWhole(const QString& path)
{
    TWavStream source;
    LoadSoundFile(source, path.toStdString());
    TACMConvertor convertor;
    const uint32_t size = ConvertWave(convertor, source);
    return QByteArray(reinterpret_cast<const char*>(convertor.OutputBuffer), int(size));
}

std::vector<int16_t> Joined(std::initializer_list<std::vector<int16_t>> parts)
{
    std::vector<int16_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Integrated loudness of a taunt, measured by libebur128 as any loudness meter would.
double Lufs(const QByteArray& taunt)
{
    ebur128_state* meter = ebur128_init(1, 22050, EBUR128_MODE_I);
    std::vector<float> samples;
    for (const char b : taunt)
        samples.push_back(float(int(uint8_t(b)) - 128) / 128.0f);
    ebur128_add_frames_float(meter, samples.data(), samples.size());
    double lufs = 0;
    ebur128_loudness_global(meter, &lufs);
    ebur128_destroy(&meter);
    return lufs;
}

// The level of each harmonic of a tone, relative to the tone, in dB (Goertzel over whole
// cycles); the worst of harmonics 2 to 10.
double WorstHarmonic(const QByteArray& taunt, double hz)
{
    auto level = [&](double f) {
        const double w = 2 * M_PI * f / 22050;
        double re = 0;
        double im = 0;
        for (int i = 0; i < taunt.size(); ++i) {
            const double v = int(uint8_t(taunt[i])) - 128;
            re += v * std::cos(w * i);
            im += v * std::sin(w * i);
        }
        return std::hypot(re, im);
    };
    const double tone = level(hz);
    double worst = -1000;
    for (int h = 2; h <= 10; ++h)
        worst = std::max(worst, 20 * std::log10(level(h * hz) / tone));
    return worst;
}

// Two tones and a noise, so that many samples fall near a rounding step.
std::vector<int16_t> Busy(int rate, int channels, double seconds)
{
    std::vector<int16_t> samples = Sine16(440, 0.3, rate, seconds, channels);
    const std::vector<int16_t> high = Sine16(3001, 0.2, rate, seconds, channels);
    uint32_t noise = 12345;
    for (size_t i = 0; i < samples.size(); ++i) {
        noise = noise * 1664525u + 1013904223u;
        samples[i] = int16_t(samples[i] + high[i] + int16_t(noise >> 20) - 2048);
    }
    return samples;
}

TEST_F(JeerboxBatchTest, BlockByBlockGivesTheBytesOfTheWholeSoundConversion)
{
    struct Case {
        const char* Name;
        int Format;
        int Rate;
        int Channels;
        double Seconds;
    };
    // Long enough for several blocks each; the 16-bit and FLAC ones also for two halves.
    const Case cases[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 30.0},
        {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 96000, 2, 2.0},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1, 6.0},
        {"ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1, 40.0},
        {"ima.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 44100, 2, 8.0},
        {"ms.wav", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 22050, 1, 30.0},
        {"gsm.wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1, 200.0},
        {"flac.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 30.0},
        // 262,144 frames: exactly two blocks, so that what the last one leaves comes after it.
        {"blocks.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, 262144.0 / 44100},
    };
    QStringList args{QStringLiteral("-o"), Path(QStringLiteral("out"))};
    for (const Case& c : cases) {
        WriteWithSndfile(Path(QLatin1String(c.Name)), c.Format, c.Rate, c.Channels,
                         Busy(c.Rate, c.Channels, c.Seconds));
        args << Path(QLatin1String(c.Name));
    }
    QString errors;
    ASSERT_EQ(Run(args, &errors), 0) << errors.toStdString();

    for (const Case& c : cases) {
        TWavStream source;
        LoadSoundFile(source, Path(QLatin1String(c.Name)).toStdString());
        TACMConvertor convertor;
        const uint32_t size = ConvertWave(convertor, source);
        const QByteArray whole(reinterpret_cast<const char*>(convertor.OutputBuffer), int(size));
        const QByteArray streamed = SampleBytes(
            ReadFile(Path(QStringLiteral("out/") + QFileInfo(QLatin1String(c.Name)).completeBaseName() + ".wav")));
        ASSERT_EQ(streamed.size(), whole.size()) << c.Name;
        EXPECT_TRUE(streamed == whole) << c.Name << ": the first difference at "
                                       << std::mismatch(whole.begin(), whole.end(), streamed.begin()).first -
                whole.begin();
    }
}

TEST_F(JeerboxBatchTest, NormalizeRaisesTheLargestDeviationFrom128AndLeavesSilenceAlone)
{
    // A tone one step either side of silence comes out 102 steps either side; silence stays.
    const QString step = Wav("step.wav", Sine16(1000, 1.0 / 128, 22050, 1.0, 1), 22050);
    const QString silent = Wav("silent.wav", std::vector<int16_t>(22050, 0), 22050);
    QString out;
    ASSERT_EQ(Run({QStringLiteral("-o"), Path(QStringLiteral("out")), QStringLiteral("--normalize"), step, silent},
                  nullptr, &out),
              0);
    const QByteArray made = Taunt("step.wav");
    EXPECT_TRUE(made.contains(char(26)) && made.contains(char(230)));
    EXPECT_FALSE(made.contains(char(25)) || made.contains(char(231)));
    EXPECT_EQ(Taunt("silent.wav"), QByteArray(22050, char(128)));
    EXPECT_TRUE(out.contains(QStringLiteral("silent.wav: nothing to normalize: the sound is silent")))
        << out.toStdString();
}

TEST_F(JeerboxBatchTest, LoudnessLandsWithinOneLuOfTheTargetWithoutClipping)
{
    // A quiet tone is raised; a loud noise with high peaks is lowered; raising speech-like
    // bursts far needs the limiter so that no byte reaches the ends of the range.
    const QString tone = Wav("tone.wav", Sine16(1000, 0.02, 44100, 3.0, 1));
    const QString loud = Wav("loud.wav", Busy(48000, 2, 3.0), 48000, 2);
    std::vector<int16_t> bursts = Sine16(300, 0.05, 44100, 3.0, 1);
    for (size_t i = 0; i < bursts.size(); i += 4410)
        bursts[i] = -30000;
    const QString peaky = Wav("peaky.wav", bursts);
    for (const double target : {-16.0, -23.0}) {
        QString out;
        ASSERT_EQ(Run({QStringLiteral("-o"), Path(QStringLiteral("out")), QStringLiteral("--loudness=%1").arg(target),
                       tone, loud, peaky},
                      nullptr, &out),
                  0);
        for (const char* name : {"tone.wav", "loud.wav", "peaky.wav"}) {
            const QByteArray made = Taunt(name);
            EXPECT_NEAR(Lufs(made), target, 1.0) << name;
            // Rounding reaches 0 only from below -127.5 steps: only a clipped sample gets there.
            EXPECT_FALSE(made.contains(char(0))) << name;
        }
        EXPECT_TRUE(out.contains(QStringLiteral("tone.wav: ")) && out.contains(QStringLiteral(" LUFS")))
            << out.toStdString();
    }
}

TEST_F(JeerboxBatchTest, TrimCutsTheSilenceAtBothEndsAndLeavesAFewMilliseconds)
{
    // Half a second of near silence (-60 dBFS), a second of loud sound, then a second of
    // quieter sound at -40 dBFS and one of silence; at the taunt's own rate, so that every
    // edge falls on a known sample.
    auto level = [](int16_t peak, int count) {
        std::vector<int16_t> samples(size_t(count), peak);
        for (size_t i = 1; i < samples.size(); i += 2)
            samples[i] = int16_t(-peak);
        return samples;
    };
    const QString sound =
        Wav("spoken.wav",
            Joined({level(33, 11025), level(16384, 22050), level(328, 22050), std::vector<int16_t>(22050, 0)}), 22050);
    const struct {
        QString Option;
        double Seconds;
    } cases[] = {{QStringLiteral("--trim"), 2.0}, {QStringLiteral("--trim=-30"), 1.0}};
    for (const auto& c : cases) {
        // Without its fades (--fade=0), trimming only cuts: 5 ms, 110 samples, before and after what is kept.
        ASSERT_EQ(Run({QStringLiteral("-o"), Path(QStringLiteral("out")), c.Option, QStringLiteral("--fade=0"), sound}),
                  0);
        const QByteArray made = Taunt("spoken.wav");
        EXPECT_EQ(made.size(), int(c.Seconds * 22050) + 2 * 110) << c.Option.toStdString();
        EXPECT_TRUE(made == ConvertedWhole(sound).mid(11025 - 110, made.size())) << c.Option.toStdString();
        // With them the ends are silence.
        ASSERT_EQ(Run({QStringLiteral("-o"), Path(QStringLiteral("out")), c.Option, sound}), 0);
        const QByteArray faded = Taunt("spoken.wav");
        EXPECT_EQ(faded.size(), made.size());
        EXPECT_TRUE(faded.front() == char(128) && faded.back() == char(128)) << c.Option.toStdString();
    }
}

TEST_F(JeerboxBatchTest, DitherTurnsTheHarmonicsOfAQuietToneIntoNoise)
{
    const QString tone = Wav("tone.wav", Sine16(1000, std::pow(10.0, -34.0 / 20), 22050, 1.0, 1), 22050);
    ASSERT_EQ(Run({QStringLiteral("-o"), Path(QStringLiteral("plain")), tone}), 0);
    ASSERT_EQ(Run({QStringLiteral("-o"), Path(QStringLiteral("out")), QStringLiteral("--dither"), tone}), 0);
    EXPECT_GT(WorstHarmonic(SampleBytes(ReadFile(Path(QStringLiteral("plain/tone.wav")))), 1000), -30);
    const QByteArray dithered = Taunt("tone.wav");
    EXPECT_EQ(dithered.size(), 22050);
    EXPECT_LT(WorstHarmonic(dithered, 1000), -40);

    // The noise it leaves is the dither's (a sixth of a step squared) and the rounding's (a
    // twelfth): a quarter of a step squared, no more.
    const std::vector<int16_t> source = Sine16(1000, std::pow(10.0, -34.0 / 20), 22050, 1.0, 1);
    double power = 0;
    for (int i = 0; i < dithered.size(); ++i)
        power += std::pow(int(uint8_t(dithered[i])) - 128 - source[size_t(i)] / 256.0, 2);
    EXPECT_NEAR(power / dithered.size(), 0.25, 0.03);
}

TEST_F(JeerboxBatchTest, GamWritesOnePagePerConvertedSoundInTheOrderOfTheFiles)
{
    const QString first = Wav("Roar of the Beast.wav", Busy(22050, 1, 0.5), 22050);
    const QString missing = Path(QStringLiteral("missing.wav"));
    const QString second = Wav("a_name_much_longer_than_thirty_four_characters.wav", Busy(22050, 1, 0.25), 22050);
    const QString table = Path(QStringLiteral("taunts.gam"));
    QString errors;
    EXPECT_EQ(Run({QStringLiteral("-o"), Path(QStringLiteral("out")), QStringLiteral("--gam=") + table, first, missing,
                   QStringLiteral("--gam-flags=5"), QStringLiteral("--gam-min-distance"), QStringLiteral("2.5"),
                   QStringLiteral("--gam-inner-cone=90"), QStringLiteral("--gam-outer-cone=270"),
                   QStringLiteral("--gam-outer-volume=0.5"), QStringLiteral("--gam-max-distance=300"),
                   QStringLiteral("--gam-import-adjust=2"), second, QStringLiteral("-j"), QStringLiteral("3")},
                  &errors),
              1);
    EXPECT_TRUE(errors.startsWith(missing + QStringLiteral(": "))) << errors.toStdString();
    EXPECT_TRUE(errors.contains(second + QStringLiteral(": the name "))) << "a page cannot refer to it";

    // Flags 5, loop start 0, the loop end 11024, outer volume 0.5, cones 90 and 270, distances
    // 300 and 2.5, import adjust 2.
    const QByteArray expected = SoundPage("Roar of the Beast", "Roar of the Beast.wav",
                                          QByteArray::fromHex("05000000"
                                                              "00000000"
                                                              "102b0000"
                                                              "0000003f"
                                                              "5a000000"
                                                              "0e010000"
                                                              "00009643"
                                                              "00002040"
                                                              "00000040"));
    EXPECT_EQ(ReadFile(table).toHex(), expected.toHex());
    EXPECT_EQ(Taunt("Roar of the Beast.wav").size(), 11025);
}

TEST_F(JeerboxBatchTest, BadValuesAndAnExistingTableStopTheRunBeforeAnythingIsWritten)
{
    const QString sound = Wav("sound.wav", Busy(22050, 1, 0.1), 22050);
    const QString table = Path(QStringLiteral("old.gam"));
    WriteFile(table, "old table");
    const QString gam = QStringLiteral("--gam=") + table;
    const QStringList refused[] = {
        {gam},
        {gam, QStringLiteral("--force"), QStringLiteral("--gam-inner-cone=12.5")},
        {gam, QStringLiteral("--force"), QStringLiteral("--gam-outer-cone=3000000000")},
        {gam, QStringLiteral("--force"), QStringLiteral("--gam-import-adjust=1e39")},
        {gam, QStringLiteral("--force"), QStringLiteral("--gam-max-distance=nan")},
        {gam, QStringLiteral("--force"), QStringLiteral("--gam-flags=512")},
        {QStringLiteral("--gam-flags=1")},
        {QStringLiteral("--loudness=-16"), QStringLiteral("--normalize")},
        {QStringLiteral("--loudness=5")},
        {QStringLiteral("--trim=loud")},
        {QStringLiteral("-j"), QStringLiteral("0")},
        {QStringLiteral("--dither=shaped")},
        {QStringLiteral("--gam")},
        {QStringLiteral("--highpass=0")},
        {QStringLiteral("--fade=-5")},
        {QStringLiteral("--fade=5000")},
        {QStringLiteral("--compress=nan")},
        {QStringLiteral("--gam=") + Path(QStringLiteral("out/sound.wav"))},
        {QStringLiteral("--gam=")},
        {QStringLiteral("--force"), QStringLiteral("--gam=") + sound},
        {QStringLiteral("--gam=") + Path(QStringLiteral("loop/x.gam"))},
        {QStringLiteral("-o"), Path(QStringLiteral("loop/x"))},
        {QStringLiteral("-o"), Path(QString(300, 'o'))},
    };
    std::filesystem::create_symlink("loop", Path(QStringLiteral("loop")).toStdString());
    std::filesystem::create_directory(Path(QStringLiteral("out")).toStdString());
    for (const QStringList& options : refused) {
        QString errors;
        EXPECT_EQ(
            Run(QStringList{QStringLiteral("-o"), Path(QStringLiteral("out"))} + options + QStringList{sound}, &errors),
            2)
            << options.join(' ').toStdString();
        EXPECT_TRUE(errors.startsWith(QStringLiteral("jeerbox-convert: "))) << errors.toStdString();
        EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("out/sound.wav")))) << options.join(' ').toStdString();
        EXPECT_EQ(ReadFile(table), "old table");
    }
    EXPECT_EQ(Run({QStringLiteral("-o"), Path(QStringLiteral("out")), gam, QStringLiteral("--force"), sound}), 0);
    EXPECT_EQ(ReadFile(table).at(0), 7) << "--force replaces the table";

    // Both ends of every range are taken (of an option given twice, the last counts).
    const QStringList ends[] = {
        {gam, QStringLiteral("--force"), QStringLiteral("--trim=0"), QStringLiteral("--trim=-120"),
         QStringLiteral("--gam-flags=511"), QStringLiteral("--gam-flags=0"), QStringLiteral("-j1024"),
         QStringLiteral("-j1"), QStringLiteral("--gam-inner-cone=-2147483648"),
         QStringLiteral("--gam-outer-cone=2147483647")},
        {QStringLiteral("--loudness=0"), QStringLiteral("--loudness=-70")},
    };
    for (const QStringList& options : ends) {
        QString errors;
        EXPECT_EQ(
            Run(QStringList{QStringLiteral("-o"), Path(QStringLiteral("out"))} + options + QStringList{sound}, &errors),
            0)
            << options.join(' ').toStdString() << ": " << errors.toStdString();
    }
}

TEST_F(JeerboxBatchTest, ParallelJobsKeepTheirMessagesInTheOrderOfTheFilesAndShowNoProgressOffATerminal)
{
    QStringList args{QStringLiteral("-o"), Path(QStringLiteral("out")), QStringLiteral("-j"), QStringLiteral("4")};
    QStringList failing;
    for (int i = 0; i < 8; ++i) {
        const QString name = QStringLiteral("f%1.wav").arg(i);
        if (i % 3 == 1) {
            WriteFile(Path(name), "no sound");
            failing << Path(name);
        } else {
            Wav(name.toLatin1().constData(), Busy(44100, 2, 0.2 * (8 - i)), 44100, 2);
        }
        args << Path(name);
    }
    QString errors;
    EXPECT_EQ(Run(args, &errors), 1);
    QStringList expected;
    for (const QString& file : failing)
        expected << file + QStringLiteral(": Not a valid WAV file.");
    EXPECT_EQ(errors, expected.join('\n') + '\n');
    for (int i : {0, 2, 3, 5, 6})
        EXPECT_EQ(Taunt(QStringLiteral("f%1.wav").arg(i).toLatin1().constData()).size(),
                  int(0.2 * (8 - i) * 22050 + 0.5))
            << i;
}

TEST_F(JeerboxBatchTest, HelpHasTheShapeOfAManualPage)
{
    QString out;
    ASSERT_EQ(Run({QStringLiteral("--help")}, nullptr, &out), 0);
    for (const char* part : {"Usage: jeerbox-convert ", "\nOptions:\n", "  -o, --output=OUTDIR ", "  -j, --jobs=N ",
                             "--trim[=DB] ", "--highpass[=HZ] ", "--fade[=MS] ", "--compress[=RATIO] ",
                             "--gam=FILE.gam ", "\nExit status:\n", "\nExamples:\n"})
        EXPECT_TRUE(out.contains(QLatin1String(part))) << part;
    ASSERT_EQ(Run({QStringLiteral("--version")}, nullptr, &out), 0);
    EXPECT_TRUE(out.startsWith(QStringLiteral("jeerbox-convert (Orvalis Jeerbox) "))) << out.toStdString();
}

TEST_F(JeerboxBatchTest, AWavFileIsReadWhereverItsChunksLie)
{
    // A list chunk of odd size (with its pad byte) before the samples, a chunk after them:
    // the samples start at no page boundary and end before the file does.
    const std::string samples = Bytes(Busy(44100, 2, 1.0));
    const QString odd = Path(QStringLiteral("odd.wav"));
    WriteFile(
        odd,
        ToQt(RiffWave(Chunk("LIST", std::string(4093, 'x')) + Chunk("fmt ", FmtPayload(1, 2, 44100, 176400, 4, 16)) +
                      Chunk("data", samples) + Chunk("junk", "after"))));
    ASSERT_EQ(Run({QStringLiteral("-o"), Path(QStringLiteral("out")), odd}), 0);
    EXPECT_TRUE(Taunt("odd.wav") == ConvertedWhole(odd));
}

TEST_F(JeerboxBatchTest, OnATerminalAProgressLineSaysWhichFileAndHowFar)
{
    const QString first = Wav("first.wav", Busy(44100, 2, 2.0), 44100, 2);
    const QString second = Wav("second.wav", Busy(44100, 2, 2.0), 44100, 2);
    auto quoted = [](const QString& path) { return QLatin1Char('\'') + path + QLatin1Char('\''); };
    const QString command = QStringLiteral(JEERBOX_BUILD_DIR "/jeerbox-convert -j 1 -o ") +
        quoted(Path(QStringLiteral("out"))) + QLatin1Char(' ') + quoted(first) + QLatin1Char(' ') + quoted(second);
    QProcess script;
    script.start(QStringLiteral("script"), {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")});
    ASSERT_TRUE(script.waitForFinished(60000));
    const QString seen = QString::fromLocal8Bit(script.readAllStandardOutput());
    EXPECT_EQ(script.exitCode(), 0);
    EXPECT_TRUE(seen.contains(QStringLiteral("1 of 2: first.wav ")) &&
                seen.contains(QStringLiteral("2 of 2: second.wav ")))
        << seen.toStdString();
    EXPECT_TRUE(seen.contains(QStringLiteral("%"))) << seen.toStdString();
    EXPECT_TRUE(seen.endsWith(QStringLiteral("\r\033[K"))) << "the line is cleared at the end";
}

}
