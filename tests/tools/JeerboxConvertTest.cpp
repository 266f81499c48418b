#include "forms/FilePaths.h"
#include "sound/Wavs_ex.h"
#include "support/Files.h"
#include "support/Signal.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>

namespace {

struct Outcome {
    int Status;
    QString Out;
    QStringList ErrorLines;
};

class JeerboxConvertTest : public ::testing::Test {
protected:
    Outcome Run(const QStringList& args)
    {
        QProcess p;
        p.start(QStringLiteral(JEERBOX_BUILD_DIR "/jeerbox-convert"), args);
        EXPECT_TRUE(p.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
                err.split(QLatin1Char('\n'), Qt::SkipEmptyParts)};
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Sine(const QString& name, int format, int rate, int channels, double seconds)
    {
        WriteWithSndfile(Path(name), format, rate, channels, Sine16(440, 0.5, rate, seconds, channels));
        return Path(name);
    }
    QTemporaryDir dir;
};

TEST_F(JeerboxConvertTest, HelpAndMisuse)
{
    const Outcome help = Run({QStringLiteral("--help")});
    EXPECT_EQ(help.Status, 0);
    EXPECT_TRUE(help.Out.startsWith(QStringLiteral("Usage: jeerbox-convert -o OUTDIR [OPTION]... FILE...")));

    EXPECT_EQ(Run({}).Status, 2);
    EXPECT_EQ(Run({QStringLiteral("-o"), Path(QStringLiteral("out"))}).Status, 2) << "no file";
    EXPECT_EQ(Run({QStringLiteral("--fast"), QStringLiteral("a.wav")}).Status, 2);
}

TEST_F(JeerboxConvertTest, WritesEachFileAsATauntNamedAfterIt)
{
    const QString cd = Sine(QStringLiteral("cd.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.5);
    const QString phone = Sine(QStringLiteral("phone.call.WAV"), SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1, 1.0);
    const QString out = Path(QStringLiteral("made/here"));

    const Outcome run = Run({QStringLiteral("-o"), out, cd, phone});
    EXPECT_EQ(run.Status, 0);
    EXPECT_TRUE(run.ErrorLines.isEmpty()) << run.ErrorLines.join(QLatin1Char('\n')).toStdString();

    const WAVEFORMATEX taunt{1, 1, 22050, 22050, 1, 8, 0};
    for (const auto& [name, bytes] : {std::pair{"cd.wav", 11025}, std::pair{"phone.call.wav", 22050}}) {
        TWavStream made;
        made.LoadFromFile(LocalPath(out + QLatin1Char('/') + QLatin1String(name)));
        EXPECT_EQ(std::memcmp(&made.Format, &taunt, 16), 0) << name;
        EXPECT_EQ(made.Size(), bytes) << name;
        const SineFit fit = FitSine(made.Memory(), size_t(made.Size()), 440, 22050, 300);
        EXPECT_NEAR(fit.Amplitude, 64.0, 3.0) << name;
    }
}

TEST_F(JeerboxConvertTest, ReportsEachFailedFileAndConvertsTheRest)
{
    const QString good = Sine(QStringLiteral("good.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 0.2);
    const QString missing = Path(QStringLiteral("missing.wav"));
    const QString junk = Path(QStringLiteral("junk.wav"));
    WriteFile(junk, "this is no sound");
    const QString odd = Path(QStringLiteral("odd.wav"));
    WriteFile(odd, RiffWave(Chunk("fmt ", FmtPayload(0x1234, 1, 8000, 8000, 1, 8)) + Chunk("data", "abcd")));
    const QString out = Path(QStringLiteral("out"));

    const Outcome run = Run({QStringLiteral("-o"), out, missing, good, junk, odd});
    EXPECT_EQ(run.Status, 1);
    ASSERT_EQ(run.ErrorLines.size(), 3) << run.ErrorLines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(run.ErrorLines[0].startsWith(missing + QStringLiteral(": Cannot open file"))) << run.ErrorLines[0].toStdString();
    EXPECT_EQ(run.ErrorLines[1], junk + QStringLiteral(": Not a valid WAV file."));
    EXPECT_EQ(run.ErrorLines[2], odd + QStringLiteral(": acmStreamOpen: The requested operation cannot be performed."));
    EXPECT_EQ(ReadFile(out + QStringLiteral("/good.wav")).size(), 44 + 4410);
    EXPECT_FALSE(QFile::exists(out + QStringLiteral("/junk.wav")));
}

TEST_F(JeerboxConvertTest, NeverWritesOverItsSource)
{
    const QString source = Sine(QStringLiteral("same.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.1);
    const QByteArray before = ReadFile(source);
    const Outcome run = Run({QStringLiteral("-o"), dir.path(), source});
    EXPECT_EQ(run.Status, 1);
    ASSERT_EQ(run.ErrorLines.size(), 1);
    EXPECT_TRUE(run.ErrorLines[0].startsWith(source + QStringLiteral(": the converted file would replace the source")));
    EXPECT_EQ(ReadFile(source), before);
}

TEST_F(JeerboxConvertTest, NeverWritesOverAFileItWroteInTheSameRun)
{
    QDir(dir.path()).mkpath(QStringLiteral("a"));
    QDir(dir.path()).mkpath(QStringLiteral("b"));
    const QString first = Sine(QStringLiteral("a/x.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 0.2);
    const QString second = Sine(QStringLiteral("b/x.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 0.5);
    const QString shouting = Sine(QStringLiteral("b/x.WAV"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 0.7);
    const QString other = Sine(QStringLiteral("b/y.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 0.1);
    const QString out = Path(QStringLiteral("out"));

    const Outcome run = Run({QStringLiteral("-o"), out, first, second, other, shouting, first});
    EXPECT_EQ(run.Status, 1);
    ASSERT_EQ(run.ErrorLines.size(), 3) << run.ErrorLines.join(QLatin1Char('\n')).toStdString();
    for (const auto& [line, source] : {std::pair{0, second}, std::pair{1, shouting}, std::pair{2, first}})
        EXPECT_TRUE(run.ErrorLines[line].startsWith(source + QStringLiteral(": the converted file would replace ") + out +
                                                    QStringLiteral("/x.wav, which this run already wrote")))
            << run.ErrorLines[line].toStdString();
    EXPECT_EQ(ReadFile(out + QStringLiteral("/x.wav")).size(), 44 + 4410) << "the first file's sound stays";
    EXPECT_EQ(ReadFile(out + QStringLiteral("/y.wav")).size(), 44 + 2205) << "files after a refused one still convert";

    const Outcome again = Run({QStringLiteral("-o"), out, second});
    EXPECT_EQ(again.Status, 0) << "a new run may replace what an earlier run wrote";
    EXPECT_EQ(ReadFile(out + QStringLiteral("/x.wav")).size(), 44 + 11025);
}

TEST_F(JeerboxConvertTest, FilesWithoutDataOrWithLessThanOneFrameGiveAnEmptyTaunt)
{
    const QByteArray stereo16 = FmtPayload(1, 2, 44100, 176400, 4, 16);
    const QString noData = Path(QStringLiteral("nodata.wav"));
    WriteFile(noData, RiffWave(Chunk("fmt ", stereo16)));
    const QString partial = Path(QStringLiteral("partial.wav"));
    WriteFile(partial, RiffWave(Chunk("fmt ", stereo16) + Chunk("data", "abc")));
    const QString out = Path(QStringLiteral("out"));

    const Outcome run = Run({QStringLiteral("-o"), out, noData, partial});
    EXPECT_EQ(run.Status, 0) << run.ErrorLines.join(QLatin1Char('\n')).toStdString();
    for (const char* name : {"/nodata.wav", "/partial.wav"}) {
        const QByteArray made = ReadFile(out + QLatin1String(name));
        ASSERT_EQ(made.size(), 44) << name;
        EXPECT_EQ(made.mid(40, 4), Le32(0)) << name;
    }
}

TEST_F(JeerboxConvertTest, ConvertsTheExtensibleFilesOtherProgramsWriteForWideSamples)
{
    const QString ints = Sine(QStringLiteral("ints.wav"), SF_FORMAT_WAVEX | SF_FORMAT_PCM_32, 48000, 2, 0.5);
    const QString floats = Sine(QStringLiteral("floats.wav"), SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 44100, 6, 0.5);
    const QString out = Path(QStringLiteral("out"));
    const Outcome run = Run({QStringLiteral("-o"), out, ints, floats});
    EXPECT_EQ(run.Status, 0) << run.ErrorLines.join(QLatin1Char('\n')).toStdString();
    for (const char* name : {"/ints.wav", "/floats.wav"}) {
        TWavStream made;
        made.LoadFromFile(LocalPath(out + QLatin1String(name)));
        EXPECT_NEAR(double(made.Size()), 11025.0, 2.0) << name;
        const SineFit fit = FitSine(made.Memory(), size_t(made.Size()), 440, 22050, 300);
        EXPECT_NEAR(fit.Amplitude, 64.0, 3.0) << name;
    }
}

TEST_F(JeerboxConvertTest, FlacOggAndMp3BecomeTheTauntOfTheSameSignalAsWav)
{
    const std::vector<int16_t> tones = TwoTones();
    QStringList args{QStringLiteral("-o"), Path(QStringLiteral("out"))};
    WriteWithSndfile(Path(QStringLiteral("reference.wav")), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, tones);
    args << Path(QStringLiteral("reference.wav"));
    for (const SoundFileKind& kind : FlacOggMp3) {
        const QString name = QStringLiteral("tones-%1.%1").arg(QLatin1String(kind.Extension));
        WriteWithSndfile(Path(name), kind.Format, 44100, 2, tones, 0.0);
        args << Path(name);
    }
    const Outcome run = Run(args);
    EXPECT_EQ(run.Status, 0);
    EXPECT_TRUE(run.ErrorLines.isEmpty()) << run.ErrorLines.join(QLatin1Char('\n')).toStdString();

    const WavParts reference = SplitWav(ReadFile(Path(QStringLiteral("out/reference.wav"))));
    ASSERT_EQ(reference.Data.size(), 17640);
    for (const SoundFileKind& kind : FlacOggMp3) {
        // Always NAME.wav, whatever the source was.
        const WavParts made = SplitWav(ReadFile(Path(QStringLiteral("out/tones-%1.wav").arg(QLatin1String(kind.Extension)))));
        EXPECT_EQ(made.Fmt, reference.Fmt) << kind.Extension;
        if (!kind.Lossy) {
            EXPECT_EQ(made.Data, reference.Data) << kind.Extension;
            continue;
        }
        const TauntAlignment aligned = AlignTaunts(reference.Data, made.Data, 2000, 220);
        EXPECT_LE(aligned.MaxStep, 1) << kind.Extension << " shifted by " << aligned.Shift;
    }
}

}
