#include "Workbench.h"

#include "devices/ACMWaveOut.h"
#include "support/QtFiles.h"
#include "support/WaveTesting.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <cstring>
#include <sndfile.h>

namespace {

// What a load plays is checked at the sound device: the calls that reached it, in order,
// and the bytes it was given.
class AutoPlayTest : public WorkbenchTest {
protected:
    QStringList CallsSince(qsizetype& mark)
    {
        const QStringList names = driver.CallNames().mid(mark);
        mark = driver.CallNames().size();
        return names;
    }
    void ClickAutoPlay() { QTest::mouseClick(Control<QCheckBox>("AutoPlay"), Qt::LeftButton); }

    const QByteArray taunt = Pattern(300, 1);
    const QByteArray stereo = Pattern(400, 2);
    QString a = MakeTaunt("a.wav", taunt);
    QString b = MakeWave("b.wav", 2, 8000, 32000, 16, stereo);
    const QStringList play = {"waveOutOpen", "waveOutPrepareHeader", "waveOutWrite"};
    const QStringList stop = {"waveOutReset", "waveOutClose"};
};

TEST_F(AutoPlayTest, EveryLoadClosesThePlayingFileAndPlaysTheNewOneFromItsStart)
{
    OpenFiles(QStringList{a, b});
    qsizetype mark = 0;

    ClickItem(0);
    EXPECT_EQ(CallsSince(mark), play) << "one click, one load, one sound";
    ASSERT_EQ(driver.Devices.size(), 1u);
    EXPECT_EQ(driver.Devices[0]->Format.nSamplesPerSec, 22050u);
    EXPECT_EQ(driver.Devices[0]->Written, taunt);

    ClickItem(1);
    EXPECT_EQ(CallsSince(mark), stop + play) << "the old sound is cut off before the new one opens";
    ASSERT_EQ(driver.Devices.size(), 2u);
    EXPECT_FALSE(driver.Devices[0]->Open);
    const WAVEFORMATEX& format = driver.Devices[1]->Format;
    EXPECT_EQ(format.nChannels, 2);
    EXPECT_EQ(format.nSamplesPerSec, 8000u);
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_EQ(driver.Devices[1]->Written, stereo) << "played unconverted, in its own format";

    ClickItem(1);
    EXPECT_EQ(CallsSince(mark), stop + play) << "clicking the same file again restarts it";
    EXPECT_EQ(driver.Devices[2]->Written, stereo);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(AutoPlayTest, ClearingAutoPlayStopsAtOnceAndCheckingItPlaysNothingByItself)
{
    OpenFiles(QStringList{a, b});
    ClickItem(0);
    qsizetype mark = driver.CallNames().size();

    ClickAutoPlay();
    EXPECT_FALSE(Control<QCheckBox>("AutoPlay")->isChecked());
    EXPECT_EQ(CallsSince(mark), stop);

    ClickItem(1);
    EXPECT_EQ(CallsSince(mark), QStringList{}) << "loading without AutoPlay plays nothing";
    EXPECT_EQ(InfoLines().value(0), b);

    ClickAutoPlay();
    EXPECT_EQ(CallsSince(mark), QStringList{});
    ClickItem(0);
    EXPECT_EQ(CallsSince(mark), play);
}

TEST_F(AutoPlayTest, AFailedLoadStopsThePlayingFileAndPlaysNothing)
{
    const QString gone = MakeTaunt("gone.wav");
    OpenFiles(QStringList{a, gone});
    QFile::remove(gone);
    ClickItem(0);
    qsizetype mark = driver.CallNames().size();

    ClickItem(1);
    EXPECT_EQ(CallsSince(mark), stop);
    EXPECT_EQ(StatusText(), "Error opening " + gone);
}

TEST_F(AutoPlayTest, ADeviceThatRefusesTheFormatIsReportedByThePlayerAndTheLoadStands)
{
    OpenFiles(QStringList{b});
    driver.Takes = [](const WAVEFORMATEX&) { return false; };
    ClickItem(0);

    EXPECT_EQ(dialogs.Texts(), QStringList{"Problem creating playing handle32"});
    EXPECT_EQ(InfoLines().size(), 5);
    EXPECT_EQ(StatusText(), "");
    EXPECT_TRUE(Control<QPushButton>("BtnConvert")->isEnabled());
}

TEST_F(AutoPlayTest, AnExtensibleFileIsPlayedThroughTheMapperWithItsSubformat)
{
    // The format record alone does not say whether the 32-bit samples are integers or floats;
    // the extra format bytes behind it do, and the mapper needs them to convert.
    const QString floats = dir.filePath(QStringLiteral("floats.wav"));
    WriteWithSndfile(floats, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 22050, 2, Sine16(440, 0.5, 22050, 0.1, 2));
    OpenFiles(QStringList{floats});
    driver.Takes = [](const WAVEFORMATEX& f) { return f.wFormatTag == WAVE_FORMAT_PCM && f.wBitsPerSample == 16; };
    ClickItem(0);

    EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.Texts().join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(driver.Devices.size(), 1u);
    EXPECT_EQ(driver.Devices[0]->Format.wBitsPerSample, 16);
    EXPECT_EQ(driver.Devices[0]->Written.size(), 2205 * 2 * 2) << "every frame arrives, as 16-bit stereo";
}

// The window releases each finished buffer itself when the device's notice arrives: an
// open device unprepares it first; after Close the device is gone and it is only freed.
TEST_F(AutoPlayTest, FinishedBuffersComeBackThroughTheWindow)
{
    OpenFiles(QStringList{a, b});
    ClickItem(0);
    ASSERT_EQ(driver.CompleteOutput(), 1u);
    qsizetype mark = driver.CallNames().size();
    NoticeWindow::Deliver();
    EXPECT_EQ(CallsSince(mark), QStringList{"waveOutUnprepareHeader"});

    ClickItem(1);
    CallsSince(mark);
    ClickItem(0);
    NoticeWindow::Deliver();
    EXPECT_EQ(CallsSince(mark), stop + play) << "the cut-off buffer is freed without a device call";
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(AutoPlayTest, ClosingTheWindowStopsThePlayer)
{
    OpenFiles(QStringList{a});
    ClickItem(0);
    qsizetype mark = driver.CallNames().size();
    form.reset();
    EXPECT_EQ(CallsSince(mark), stop);
    EXPECT_EQ(Form().Player->PlayerHandle, nullptr);
}

}
