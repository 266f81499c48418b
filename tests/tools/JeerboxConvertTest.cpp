#include "framework/forms/FilePaths.h"
#include "sound/Wavs_ex.h"
#include "support/Files.h"
#include "support/Signal.h"

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
    EXPECT_TRUE(help.Out.startsWith(QStringLiteral("Usage: jeerbox-convert -o OUTDIR FILE...")));

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

}
