#include "about/Unit2.h"
#include "app/Startup.h"
#include "app/mainform.h"
#include "support/ScriptedDialogs.h"
#include "support/SoundServer.h"
#include "support/WhenShown.h"
#include "ui_Unit2.h"

#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <cstdio>

namespace {

using SoundServerJingleTest = SoundServerTest;

TEST(HeardSoundTest, OnlySilenceMayStandBetweenTheBytesOfTheSound)
{
    const QByteArray sound = QByteArray::fromHex("80 81 80 7f 90");
    const QByteArray silence(5, '\x80');
    EXPECT_EQ(FillerBetween(silence + sound + silence, sound), 0);
    EXPECT_EQ(FillerBetween(silence + sound.left(3) + silence + sound.mid(3) + silence, sound), 5);
    EXPECT_EQ(FillerBetween(silence + sound.left(3) + sound.mid(4), sound), -1) << "a byte lost";
    EXPECT_EQ(FillerBetween(sound.left(2) + "\x7f" + sound.mid(2), sound), -1) << "a byte added";
    EXPECT_EQ(FillerBetween(silence + sound + "\x90", sound), -1) << "sound after it";
    EXPECT_EQ(FillerBetween(silence + sound.left(4), sound), -1) << "cut short";
    EXPECT_EQ(FillerBetween(sound.mid(1) + silence, sound), 0) << "its leading silence is silence";
}

// The About command on the program's real sound path: every byte of the jingle reaches the
// speaker, unchanged and in order, and nothing else does.
TEST_F(SoundServerJingleTest, TheJingleIsHeardByteForByte)
{
    ScriptedDialogs dialogs;
    TWindows windows;
    windows.Form1->show();
    QFile file(QStringLiteral(":/RT_RCDATA/piano"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray jingle = file.readAll().mid(100);

    ServerRecorder monitor;
    ASSERT_TRUE(monitor.Start("out.monitor"));
    QByteArray heard;
    TAboutBox& about = *windows.AboutBox;
    // Once the box is up and the jingle has started, listen until it is over, then close.
    WhenShown up(about, [&] {
        heard = monitor.ReadUntil(
            [&](const QByteArray& bytes) {
                return bytes.size() > jingle.size() + 2205 && FillerBetween(bytes.chopped(2205), jingle) >= 0;
            },
            10000);
        about.ui->OKButton->click();
    });
    QTest::mouseClick(windows.Form1->findChild<QToolButton*>("ToolButton11"), Qt::LeftButton);
    EXPECT_TRUE(up.Ran);
    EXPECT_TRUE(dialogs.boxes.empty());
    const qsizetype filler = FillerBetween(heard, jingle);
    EXPECT_GE(filler, 0) << "the jingle did not arrive whole: " << WhereItBroke(heard, jingle);
    EXPECT_LT(filler, 22050) << "the jingle stalled for a second or more";
    if (filler > 0)
        std::printf("The server filled %lld bytes of gaps with silence.\n", static_cast<long long>(filler));
}

}  // namespace
