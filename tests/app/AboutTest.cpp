#include "ClipWorkbench.h"

#include "about/Unit2.h"
#include "app/Startup.h"
#include "app/frmrec.h"
#include "devices/ACMWaveOut.h"
#include "support/QtFiles.h"
#include "support/ScriptedShell.h"
#include "support/WaveTesting.h"
#include "support/WhenShown.h"
#include "ui_Unit2.h"

#include <QFile>
#include <QPushButton>
#include <QToolButton>
#include <functional>
#include <utility>

// The jingle's resource, taken away and given back as if the program had been built without
// it. Qt's resource macros work at global scope only.
static void RemoveJingle()
{
    Q_CLEANUP_RESOURCE(jingle);
}
static void RestoreJingle()
{
    Q_INIT_RESOURCE(jingle);
}

namespace {

// The played part of the jingle: the embedded file from byte 100 on.
QByteArray JingleSound()
{
    QFile file(QStringLiteral(":/RT_RCDATA/piano"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll().mid(100);
}

// The workbench window with an about box wired to it, as start-up wires it.
class AboutTest : public ClipTest {
protected:
    AboutTest()
    {
        Form().AboutBox = &about;
        about.ClosePlayer = [this] { Form().Player->Close(); };
    }
    // Clicks About; once the box is up and the posted jingle has been handled, `whileUp` runs
    // inside the box's loop; then OK closes the box.
    void About(const std::function<void()>& whileUp = [] {})
    {
        callsBeforeShow = -1;
        WhenShown up(
            about,
            [&] {
                whileUp();
                if (about.isVisible())
                    QTest::mouseClick(about.ui->OKButton, Qt::LeftButton);
            },
            [this] { callsBeforeShow = int(driver.Calls.size()); });
        ClickTool("ToolButton11");
        EXPECT_TRUE(up.Ran);
        EXPECT_FALSE(about.isVisible());
    }
    QStringList CallsSince(int from) const { return driver.CallNames().mid(from); }

    TAboutBox about;
    ScriptedShell shell;
    int callsBeforeShow = -1;
};

TEST_F(AboutTest, TheJinglePlaysInTheTauntFormatOnceTheBoxIsUpAndStopsWithIt)
{
    const QByteArray jingle = JingleSound();
    ASSERT_EQ(jingle.size(), 72530);
    bool modal = false;
    QByteArray written;
    WAVEFORMATEX format{};
    About([&] {
        modal = about.isModal();
        written = driver.Written();
        format = driver.NewestOpen(TWaveDirection::Output)->Format;
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(Form().Workbench.ClipWave->Memory()),
                             Form().Workbench.ClipWave->Size()),
                  jingle);
    });
    EXPECT_EQ(callsBeforeShow, 0) << "nothing plays before the box is up";
    EXPECT_TRUE(modal);
    EXPECT_EQ(written, jingle);
    const WAVEFORMATEX taunt = TauntFormat;
    EXPECT_EQ(std::memcmp(&format, &taunt, 16), 0);
    EXPECT_EQ(driver.CallNames(),
              (QStringList{"waveOutOpen", "waveOutPrepareHeader", "waveOutWrite", "waveOutReset", "waveOutClose"}))
        << "OK closed the player";
    EXPECT_EQ(Form().Workbench.ClipWave->Format.wFormatTag, 0) << "the clip's format record is left alone";
}

TEST_F(AboutTest, ClosingEarlyCutsTheJingleOffAndEachShowingPlaysItFromItsStart)
{
    const QByteArray jingle = JingleSound();
    About();
    ASSERT_EQ(driver.Devices.size(), 1u);
    EXPECT_FALSE(driver.Devices[0]->Open);
    EXPECT_TRUE(driver.Devices[0]->Queue.empty()) << "the cut-off buffer came back";

    // The second time the jingle plays to its end before the box closes.
    About([&] { EXPECT_EQ(driver.CompleteOutput(), 1u); });
    ASSERT_EQ(driver.Devices.size(), 2u);
    EXPECT_EQ(driver.Devices[1]->Written, jingle);
    EXPECT_EQ(driver.Written(), jingle + jingle);
    EXPECT_FALSE(driver.Devices[1]->Open);
}

TEST_F(AboutTest, AfterTheBoxPlayAndSavePlayTheClipNotTheJingle)
{
    QByteArray clip(300, '\0');
    for (int i = 0; i < clip.size(); ++i)
        clip[i] = char(40 + i % 100);
    ConvertTaunt(clip);
    QTest::mouseClick(Control<QPushButton>("Btn_Play"), Qt::LeftButton);
    const QByteArray selection = LastPlayed();
    ASSERT_GT(selection.size(), 250);

    About();
    EXPECT_EQ(LastPlayed(), JingleSound());
    QTest::mouseClick(Control<QPushButton>("Btn_Play"), Qt::LeftButton);
    EXPECT_EQ(LastPlayed(), selection);

    About();
    const QString saved = dir.filePath("after.wav");
    dialogs.PlanFiles(QStringList{saved});
    QTest::mouseClick(Control<QPushButton>("BtnSave"), Qt::LeftButton);
    EXPECT_EQ(ReadFile(saved),
              ToQt(RiffWave(Chunk("fmt ", FmtPayload(1, 1, 22050, 22050, 1, 8)) + Chunk("data", ToStd(selection)))));
}

TEST_F(AboutTest, AMissingJingleShowsTheResourceErrorAndLeavesThePlayerAlone)
{
    const QByteArray clip(500, '\x30');
    ConvertTaunt(clip);
    const int callsBefore = int(driver.Calls.size());
    ASSERT_NE(Form().Player->PlayerHandle, nullptr) << "the converted sound still plays";

    RemoveJingle();
    QStringList callsWhileUp{"none yet"};
    bool stillUp = false;
    About([&] {
        callsWhileUp = CallsSince(callsBefore);
        stillUp = about.isVisible();
    });
    RestoreJingle();

    EXPECT_TRUE(callsWhileUp.isEmpty()) << callsWhileUp.join(", ").toStdString();
    EXPECT_TRUE(stillUp);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "Orvalis Jeerbox");
    EXPECT_EQ(dialogs.boxes[0].text, "Resource piano not found.");
    EXPECT_EQ(dialogs.boxes[0].type, TMsgDlgType::Error);
    EXPECT_EQ(CallsSince(callsBefore), (QStringList{"waveOutReset", "waveOutClose"}))
        << "hiding the box closes the player";

    dialogs.boxes.clear();
    About();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(LastPlayed(), JingleSound()) << "given back, the jingle plays again";
}

TEST_F(AboutTest, StartUpWiresTheAboutCommandToTheBoxAndTheBoxToThePlayer)
{
    TWindows windows;
    EXPECT_EQ(windows.Form1->AboutBox, windows.AboutBox.get());
    windows.Form1->show();
    const int callsBefore = int(driver.Calls.size());
    bool up = false;
    QByteArray written;
    WhenShown shown(*windows.AboutBox, [&] {
        up = windows.AboutBox->isVisible() && windows.AboutBox->isModal();
        written = driver.NewestOpen(TWaveDirection::Output)->Written;
        QTest::keyClick(windows.AboutBox.get(), Qt::Key_Return);
    });
    QTest::mouseClick(windows.Form1->findChild<QToolButton*>("ToolButton11"), Qt::LeftButton);
    EXPECT_TRUE(up);
    EXPECT_EQ(written, JingleSound());
    EXPECT_EQ(CallsSince(callsBefore).mid(CallsSince(callsBefore).size() - 2),
              (QStringList{"waveOutReset", "waveOutClose"}));
}

// The program makes its dialogs once the workbench window is on screen: made then, they are
// made once and wired as when they are made with the window.
TEST_F(AboutTest, DialogsMadeAfterTheWindowIsShownWorkAsAtStartUp)
{
    TWindows windows(false);
    windows.Form1->show();
    EXPECT_EQ(windows.Form1->AboutBox, nullptr);
    windows.CreateDialogs();
    const TAboutBox* box = windows.AboutBox.get();
    windows.CreateDialogs();
    EXPECT_EQ(windows.AboutBox.get(), box) << "made once";
    const std::pair<const QObject*, const QObject*> wired[] = {{windows.Form1->AboutBox, box},
                                                               {windows.Form1->OKRightDlg, windows.OKRightDlg.get()},
                                                               {windows.Form1->Form3, windows.Form3.get()}};
    for (auto [field, dialog] : wired) {
        EXPECT_NE(dialog, nullptr);
        EXPECT_EQ(field, dialog);
    }
    QByteArray written;
    WhenShown shown(*windows.AboutBox, [&] {
        written = driver.NewestOpen(TWaveDirection::Output)->Written;
        QTest::keyClick(windows.AboutBox.get(), Qt::Key_Return);
    });
    QTest::mouseClick(windows.Form1->findChild<QToolButton*>("ToolButton11"), Qt::LeftButton);
    EXPECT_EQ(written, JingleSound());
}

}  // namespace
