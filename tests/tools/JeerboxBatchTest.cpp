#include "sound/ACMConvertor.h"
#include "sound/SoundFile.h"
#include "support/Files.h"
#include "support/Signal.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>

namespace {

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
    QTemporaryDir dir;
};

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
    };
    QStringList args{QStringLiteral("-o"), Path(QStringLiteral("out"))};
    for (const Case& c : cases) {
        WriteWithSndfile(Path(QLatin1String(c.Name)), c.Format, c.Rate, c.Channels, Busy(c.Rate, c.Channels, c.Seconds));
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
        const QByteArray streamed =
            SplitWav(ReadFile(Path(QStringLiteral("out/") + QFileInfo(QLatin1String(c.Name)).completeBaseName() + ".wav"))).Data;
        ASSERT_EQ(streamed.size(), whole.size()) << c.Name;
        EXPECT_TRUE(streamed == whole) << c.Name << ": the first difference at "
                                       << std::mismatch(whole.begin(), whole.end(), streamed.begin()).first - whole.begin();
    }
}

}
