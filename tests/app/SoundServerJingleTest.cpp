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

namespace {

using SoundServerJingleTest = SoundServerTest;

// The About command on the program's real sound path: every byte of the jingle reaches the
// speaker, and nothing else does.
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
        heard = monitor.ReadUntil([&](const QByteArray& bytes) { return HoldsSoundAndMore(bytes, jingle, 2205); }, 10000);
        about.ui->OKButton->click();
    });
    QTest::mouseClick(windows.Form1->findChild<QToolButton*>("ToolButton11"), Qt::LeftButton);
    EXPECT_TRUE(dialogs.boxes.empty());
    ExpectSoundAmidSilence(heard, jingle);
}

}  // namespace
