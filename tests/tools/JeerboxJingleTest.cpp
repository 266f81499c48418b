#include "support/Files.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

static void RegisterJingle()
{
    Q_INIT_RESOURCE(jingle);
}

namespace {

int RunJingle(const QStringList& args, QString* out = nullptr)
{
    QProcess p;
    p.start(QStringLiteral(JEERBOX_BUILD_DIR "/jeerbox-jingle"), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    if (out)
        *out = QString::fromLocal8Bit(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QByteArray Embedded()
{
    RegisterJingle();
    QFile file(QStringLiteral(":/RT_RCDATA/piano"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// The jingle checked in and embedded is exactly what its generator makes today.
TEST(JeerboxJingleTest, TheGeneratorStillMakesTheEmbeddedJingleByteForByte)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("piano.wav"));
    ASSERT_EQ(RunJingle({path}), 0);
    const QByteArray made = ReadFile(path);
    ASSERT_EQ(made.size(), 72630);
    const QByteArray embedded = Embedded();
    ASSERT_EQ(embedded.size(), made.size());
    qsizetype firstDifference = 0;
    while (firstDifference < made.size() && made[firstDifference] == embedded[firstDifference])
        ++firstDifference;
    EXPECT_EQ(firstDifference, made.size()) << "the files differ first at byte " << firstDifference;
}

// A 44-byte header in the taunt format, then 56 samples of silence: the 100 bytes the workbench
// skips hold nothing to hear, and the sound after them is a sound.
TEST(JeerboxJingleTest, TheJingleIsATauntWithItsFirstHundredBytesSilent)
{
    const QByteArray file = Embedded();
    ASSERT_EQ(file.size(), 72630);
    EXPECT_EQ(file, RiffWave(Chunk("fmt ", FmtPayload(1, 1, 22050, 22050, 1, 8)) + Chunk("data", file.mid(44))));
    EXPECT_EQ(file.mid(44, 56), QByteArray(56, '\x80'));
    const QByteArray sound = file.mid(100);
    const auto [low, high] = std::minmax_element(sound.begin(), sound.end(), [](char a, char b) { return uint8_t(a) < uint8_t(b); });
    EXPECT_LT(uint8_t(*low), 64);
    EXPECT_GT(uint8_t(*high), 192);
    EXPECT_EQ(uint8_t(sound.back()), 0x80) << "it fades out to silence";
}

TEST(JeerboxJingleTest, HelpAndMisuse)
{
    QString out;
    EXPECT_EQ(RunJingle({QStringLiteral("--help")}, &out), 0);
    EXPECT_TRUE(out.startsWith(QStringLiteral("Usage: jeerbox-jingle FILE")));
    EXPECT_EQ(RunJingle({}), 2);
    EXPECT_EQ(RunJingle({QStringLiteral("/no/such/folder/piano.wav")}), 1);
}

}  // namespace
