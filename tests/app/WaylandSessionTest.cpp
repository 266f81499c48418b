#include "about/Unit2.h"
#include "app/Startup.h"
#include "app/frmrec.h"
#include "app/mainform.h"
#include "forms/QtDialogs.h"
#include "support/QtFiles.h"
#include "support/ScriptedDialogs.h"
#include "support/SoundServer.h"
#include "support/WhenShown.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QTimer>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <sndfile.h>

// The real windows in a Wayland session of their own: CTest's WaylandSession runs these tests there.
using WaylandSessionTest = SoundServerTest;

TEST_F(WaylandSessionTest, TheWindowAndItsDialogsOpenAndItsSoundIsHeard)
{
    ScriptedDialogs dialogs;
    TWindows windows;
    TForm1& form = *windows.Form1;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, 30000)) << "the compositor never showed the window";
    // A dialog of fixed size has the title bar the program gives it, with its caption and a
    // close button (the toolkit's own would offer to maximize it); the button closes it.
    const auto closeByTitleBar = [](QDialog* dialog) {
        const auto* caption = dialog->findChild<QLabel*>("TitleCaption");
        auto* close = dialog->findChild<QToolButton*>("TitleClose");
        if (!QTest::qWaitForWindowExposed(dialog, 30000) || !close || !caption ||
            !dialog->windowFlags().testFlag(Qt::FramelessWindowHint) || caption->text() != dialog->windowTitle())
            return false;
        QTest::mouseClick(close, Qt::LeftButton);
        return true;
    };
    using Command = std::pair<const char*, QDialog*>;
    for (auto [command, dialog] :
         {Command{"ToolButton11", windows.AboutBox.get()}, {"ToolButton5", windows.OKRightDlg.get()}}) {
        bool closed = false;
        WhenShown shown(*dialog, [&] { closed = closeByTitleBar(dialog); });
        QTest::mouseClick(form.findChild<QToolButton*>(command), Qt::LeftButton);
        EXPECT_TRUE(closed && !dialog->isVisible()) << command;
    }
    bool boxClosed = false;
    QTimer::singleShot(0,
                       [&] { boxClosed = closeByTitleBar(qobject_cast<QDialog*>(QApplication::activeModalWidget())); });
    TQtDialogs().MessageBox("Jeerbox", "A message", TMsgDlgType::Information, mbOK);
    EXPECT_TRUE(boxClosed) << "a message box";
    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav");
    WriteWithSndfile(tone, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, Sine16(330, 0.5, 44100, 0.4, 1));
    dialogs.PlanFiles(QStringList{tone});
    QTest::mouseClick(form.findChild<QToolButton*>("ToolButton1"), Qt::LeftButton);
    form.findChild<QCheckBox*>("AutoPlay")->setChecked(false);
    QListWidget* list = form.findChild<QListWidget*>("WaveList");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    ServerRecorder monitor;
    ASSERT_TRUE(monitor.Start("out.monitor"));
    QTest::mouseClick(form.findChild<QPushButton*>("BtnConvert"), Qt::LeftButton);
    // What a server that fills a late stream's gaps with silence cannot change.
    const auto audible = [](QByteArray bytes) { return bytes.removeIf([](char byte) { return byte == '\x80'; }); };
    const TWavStream& clip = *form.Workbench.ClipWave;
    const QByteArray sound = audible(QByteArray(reinterpret_cast<const char*>(clip.Memory()), clip.Size()));
    const auto heard = [&](qsizetype times) {  // once heard so often, or after 10 s
        const auto enough = [&](const QByteArray& bytes) { return audible(bytes).count(sound) >= times; };
        return audible(monitor.ReadWhileLoopRuns(enough, 10000)).count(sound);
    };
    EXPECT_EQ(heard(1), 1) << "Convert was not heard";
    // A headless compositor has no keyboard to give the window, as a person's click on it does.
    QApplication::setActiveWindow(&form);
    QTest::keyClick(list, Qt::Key_F2);
    EXPECT_EQ(heard(2), 2) << "F2 was not heard";
}
