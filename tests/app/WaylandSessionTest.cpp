#include "about/Unit2.h"
#include "app/Startup.h"
#include "app/frmrec.h"
#include "app/mainform.h"
#include "sound/Wavs_ex.h"
#include "support/QtFiles.h"
#include "support/ScriptedDialogs.h"
#include "support/Signal.h"
#include "support/SoundServer.h"
#include "support/WhenShown.h"

#include <QCheckBox>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <sndfile.h>

// The program in a Wayland session of its own (scripts/wayland-session.sh, run by CTest as the
// test WaylandSession): the real windows under a headless compositor, sounding through the test
// sound server.
namespace {

using WaylandSessionTest = SoundServerTest;

// The bytes that are not silence: what a server that fills a late stream's gaps with silence
// cannot change.
QByteArray Audible(QByteArray bytes)
{
    return bytes.removeIf([](char byte) { return byte == '\x80'; });
}

TEST_F(WaylandSessionTest, TheWindowAndItsDialogsOpenAndItsSoundIsHeard)
{
    ASSERT_EQ(QApplication::platformName(), "wayland") << "runs in scripts/wayland-session.sh";
    ScriptedDialogs dialogs;
    TWindows windows;
    TForm1& form = *windows.Form1;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, 30000)) << "the compositor never showed the window";

    const struct {
        const char* command;
        QDialog* dialog;
    } commands[] = {{"ToolButton11", windows.AboutBox.get()}, {"ToolButton5", windows.OKRightDlg.get()}};
    for (const auto& [command, dialog] : commands) {
        bool exposed = false;
        WhenShown shown(*dialog, [&] {
            exposed = QTest::qWaitForWindowExposed(dialog, 30000);
            // As the close button of its title bar does.
            dialog->close();
        });
        QTest::mouseClick(form.findChild<QToolButton*>(command), Qt::LeftButton);
        EXPECT_TRUE(exposed) << command << " did not show its dialog";
        EXPECT_FALSE(dialog->isVisible()) << command << "'s dialog did not close";
    }
    EXPECT_EQ(dialogs.Texts(), QStringList{});

    QTemporaryDir dir;
    const QString source = dir.filePath("tone.wav");
    WriteWithSndfile(source, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, Sine16(330, 0.5, 44100, 0.4, 1));
    dialogs.PlanFiles(QStringList{source});
    QTest::mouseClick(form.findChild<QToolButton*>("ToolButton1"), Qt::LeftButton);
    form.findChild<QCheckBox*>("AutoPlay")->setChecked(false);
    QListWidget* list = form.findChild<QListWidget*>("WaveList");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    ServerRecorder monitor;
    ASSERT_TRUE(monitor.Start("out.monitor"));
    QTest::mouseClick(form.findChild<QPushButton*>("BtnConvert"), Qt::LeftButton);
    const TWavStream& clip = *form.Workbench.ClipWave;
    const QByteArray sound = Audible(QByteArray(reinterpret_cast<const char*>(clip.Memory()), clip.Size()));
    ASSERT_GT(sound.size(), 4000);
    // How many times the sound has been heard, once it has been heard `times` times or 10 s are up.
    const auto heard = [&](qsizetype times) {
        const auto enough = [&](const QByteArray& bytes) { return Audible(bytes).count(sound) >= times; };
        return Audible(monitor.ReadWhileLoopRuns(enough, 10000)).count(sound);
    };
    EXPECT_EQ(heard(1), 1) << "Convert was not heard";
    // A headless compositor has no keyboard to give the window, as a person's click on it does.
    QApplication::setActiveWindow(&form);
    QTest::keyClick(list, Qt::Key_F2);
    EXPECT_EQ(heard(2), 2) << "F2 was not heard";
    EXPECT_EQ(dialogs.Texts(), QStringList{});
}

}  // namespace
