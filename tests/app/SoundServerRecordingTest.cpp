#include "app/mainform.h"
#include "app/frmrec.h"
#include "devices/ACMWaveOut.h"
#include "platform/SdlStream.h"
#include "platform/SdlWaveDriver.h"
#include "platform/WaveDriver.h"
#include "sound/ACMConvertor.h"
#include "sound/Wavs_ex.h"
#include "support/ScriptedDialogs.h"
#include "support/SoundServer.h"
#include "ui_frmrec.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

namespace {

// The workbench and its recording dialog on the test sound server: what is played into
// "micfeed" is what the microphone hears, and what the program plays reaches "out".
class SoundServerRecordingTest : public SoundServerLossTest {
protected:
    void SetUp() override
    {
        SoundServerLossTest::SetUp();
        if (IsSkipped())
            return;
        form = std::make_unique<TForm1>();
        form->findChild<QCheckBox*>("AutoPlay")->setChecked(false);
        dlg = std::make_unique<TOKRightDlg>(form.get());
        form->OKRightDlg = dlg.get();
        form->show();
    }
    void TearDown() override
    {
        dlg.reset();
        form.reset();
        SoundServerLossTest::TearDown();
    }

    void ClickRecordCommand() { QTest::mouseClick(form->findChild<QToolButton*>("ToolButton5"), Qt::LeftButton); }
    // The Record command; `user` acts inside the modal dialog and must close it.
    void RunRecord(const std::function<void()>& user)
    {
        bool acted = false;
        QTimer::singleShot(0, dlg.get(), [&] {
            acted = true;
            user();
            if (dlg->isVisible()) {
                ADD_FAILURE() << "the dialog stayed open";
                dlg->Recording = false;
                dlg->reject();
            }
        });
        ClickRecordCommand();
        EXPECT_TRUE(acted);
    }
    QByteArray Recorded() const
    {
        return QByteArray(reinterpret_cast<const char*>(dlg->RecordBuffer->Memory()),
                          qsizetype(dlg->RecordBuffer->Size()));
    }

    ScriptedDialogs dialogs;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TOKRightDlg> dlg;
};

TEST_F(SoundServerRecordingTest, BytesPlayedIntoTheFeedLandInTheConvertedSoundExactly)
{
    const QByteArray sound = Pattern(11025, 21);
    RunRecord([&] {
        QTest::mouseClick(dlg->ui->BtnRecord, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->RecordBuffer->Size() >= 4096; }, 5000)) << "the capture runs";
        ASSERT_TRUE(PlayIntoServerWhileLoopRuns("micfeed", sound));
        EXPECT_TRUE(QTest::qWaitFor([&] { return HoldsSoundAndMore(Recorded(), sound, 4096); }, 5000));
        QTest::mouseClick(dlg->ui->BtnRecord, Qt::LeftButton);
    });
    EXPECT_TRUE(dialogs.boxes.empty());
    const QByteArray converted(reinterpret_cast<const char*>(form->Workbench.Convertor->OutputBuffer),
                               qsizetype(form->Workbench.ConvertedSize));
    ExpectHeardAmidSilence(converted, sound);
    EXPECT_FALSE(dlg->FACMIn->Active());
}

// The pass-through runs on two blocks of slack: a machine busy enough to hold the program up
// for longer than that lets the output run dry, and the server fills the gap with silence.
// So the sound may be played up to three times; it must arrive whole, byte for byte, once.
TEST_F(SoundServerRecordingTest, WithPassThroughTheCapturedBytesReachTheOutputExactly)
{
    ServerRecorder monitor;
    ASSERT_TRUE(monitor.Start("out.monitor"));
    const QByteArray sound = Pattern(11025, 22);
    QByteArray heard;
    RunRecord([&] {
        QTest::mouseClick(dlg->ui->PassOut, Qt::LeftButton);
        ASSERT_TRUE(dlg->ui->PassOut->isChecked());
        for (int attempt = 0; attempt < 3 && !HoldsSoundAndMore(heard, sound, 2205); ++attempt) {
            ASSERT_TRUE(PlayIntoServerWhileLoopRuns("micfeed", sound));
            heard = monitor.ReadWhileLoopRuns(
                [&](const QByteArray& bytes) { return HoldsSoundAndMore(bytes, sound, 2205); }, 3000);
        }
        dlg->close();
    });
    EXPECT_TRUE(HoldsSoundAndMore(heard, sound, 2205)) << "the sound never arrived whole";
    EXPECT_TRUE(dialogs.boxes.empty());
}

// The server goes away while the user records with pass-through: the error shows, the
// devices close, Play shows its own error while no server answers, and once the server is back
// "Stop" still hands what was recorded to the workbench.
TEST_F(SoundServerRecordingTest, ARecordingOutlivesTheServer)
{
    const QByteArray sound = Pattern(11025, 24);
    RunRecord([&] {
        QTest::mouseClick(dlg->ui->PassOut, Qt::LeftButton);
        QTest::mouseClick(dlg->ui->BtnRecord, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->RecordBuffer->Size() >= 4096; }, 5000)) << "the capture runs";
        ASSERT_TRUE(PlayIntoServerWhileLoopRuns("micfeed", sound));
        ASSERT_TRUE(QTest::qWaitFor([&] { return HoldsSoundAndMore(Recorded(), sound, 0); }, 5000));
        ASSERT_TRUE(Server("kill"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg->FACMIn->Active() && SdlOpenDevices() == 0; }, 5000));
        EXPECT_FALSE(dlg->FACMOut->Active());
        const WAVEFORMATEX taunt = TauntFormat;
        form->Player->Open(&taunt);
        // The pass-through may have shown its own error first, if its loss was seen first.
        EXPECT_TRUE(dialogs.Texts().contains(
            "WaveInAddBuffer A suitable driver is not available to provide valid format selections."));
        EXPECT_EQ(dialogs.Texts().last(), "Problem creating playing handle6");
        ASSERT_TRUE(Server("restart"));
        EXPECT_TRUE(ServerPlayers("source-outputs").isEmpty()) << "something records from the server that came back";
        QTest::mouseClick(dlg->ui->BtnRecord, Qt::LeftButton);
    });
    ExpectHeardAmidSilence(QByteArray(reinterpret_cast<const char*>(form->Workbench.Convertor->OutputBuffer),
                                      qsizetype(form->Workbench.ConvertedSize)),
                           sound);
}

// A server whose default source is not there: as if there were no microphone at all.
TEST_F(SoundServerRecordingTest, WithoutASourceTheCommandShowsTheErrorAndTheDialogStaysHidden)
{
    if (OnPipeWire())
        GTEST_SKIP() << "pipewire-pulse records from the default source when the one asked for is missing";
    ScopedEnvironment environment;
    environment.Set("PULSE_SOURCE", "no.such.source");
    SetWaveDriver(nullptr);
    bool shown = false;
    QTimer::singleShot(0, dlg.get(), [&] {
        shown = dlg->isVisible();
        dlg->reject();
    });
    ClickRecordCommand();
    QTest::qWait(0);
    EXPECT_FALSE(shown);
    EXPECT_EQ(dialogs.Texts(), QStringList{"WaveIn-Open The specified resource does not exist."});
    EXPECT_FALSE(dlg->FACMIn->Active());
    EXPECT_FALSE(dlg->FACMOut->Active());
    EXPECT_TRUE(dlg->FACMIn->Headers().empty());
}

}  // namespace
