#include "app/ClipWorkbench.h"
#include "app/frmrec.h"
#include "sound/ACMConvertor.h"
#include "sound/Wavs_ex.h"
#include "support/WaveTesting.h"
#include "ui_frmrec.h"

#include <QCheckBox>
#include <QLabel>
#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>
#include <functional>

namespace {

const QString NoDriver = "A suitable driver is not available to provide valid format selections.";

// Counts how often a window is shown.
class ShowCounter : public QObject {
public:
    int Shows = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        Shows += event->type() == QEvent::Show;
        return false;
    }
};

// The workbench with its recording dialog wired as start-up wires it, the microphone and the
// speaker scripted.
class RecordingTest : public ClipTest {
protected:
    RecordingTest()
    {
        Form().OKRightDlg = &dlg;
        dlg.installEventFilter(&shows);
    }
    ~RecordingTest() override { Form().OKRightDlg = nullptr; }

    // The Record command; `user` acts inside the modal dialog and must close it.
    void RunRecord(const std::function<void()>& user)
    {
        bool acted = false;
        QTimer::singleShot(0, &dlg, [&] {
            acted = true;
            EXPECT_TRUE(dlg.isVisible() && dlg.isModal());
            user();
            if (dlg.isVisible()) {
                ADD_FAILURE() << "the dialog stayed open";
                dlg.Recording = false;
                dlg.reject();
            }
        });
        ClickTool("ToolButton5");
        EXPECT_TRUE(acted);
    }
    // The microphone hears these bytes; their notices are handled.
    void Hear(const QByteArray& bytes)
    {
        driver.Feed(bytes);
        for (int i = 0; i < 4; ++i)
            QCoreApplication::sendPostedEvents();
    }
    void ClickRecord() { QTest::mouseClick(dlg.ui->BtnRecord, Qt::LeftButton); }
    void TogglePassThrough() { QTest::mouseClick(dlg.ui->PassOut, Qt::LeftButton); }
    QString Caption() const { return dlg.ui->BtnRecord->text(); }
    // Nothing of the dialog's devices is left open.
    void ExpectDevicesClosed()
    {
        EXPECT_EQ(driver.NewestOpen(TWaveDirection::Input), nullptr);
        EXPECT_EQ(driver.NewestOpen(TWaveDirection::Output), nullptr);
        EXPECT_FALSE(dlg.FACMIn->Active());
        EXPECT_FALSE(dlg.FACMOut->Active());
    }

    TOKRightDlg dlg{&Form()};
    ShowCounter shows;
};

TEST_F(RecordingTest, TheLayoutKeepsItsPlacesAndShowsEveryTextWhole)
{
    EXPECT_EQ(dlg.windowTitle(), "Dialog");
    EXPECT_EQ(dlg.size(), QSize(297, 105));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize()) << "a dialog border: no resizing";
    const std::pair<QWidget*, QRect> places[] = {
        {dlg.ui->Bevel1, {8, 8, 281, 89}},
        {dlg.ui->Label1, {16, 16, 260, 13}},
        {dlg.ui->PassOut, {16, 40, 105, 17}},
        {dlg.ui->BtnRecord, {96, 64, 105, 25}},
    };
    for (const auto& [control, place] : places)
        EXPECT_EQ(control->geometry(), place) << control->objectName().toStdString();
    EXPECT_EQ(dlg.ui->Label1->text(), "Take your microphone, press record and sing like Zarnik!");
    EXPECT_EQ(dlg.ui->PassOut->text(), "Pass Through");
    EXPECT_FALSE(dlg.ui->PassOut->isChecked());
    EXPECT_EQ(Caption(), "Record");
    EXPECT_FALSE(dlg.ui->BtnRecord->icon().isNull());
    EXPECT_EQ(dlg.ui->PassOut->nextInFocusChain(), dlg.ui->BtnRecord);

    const QLabel* prompt = dlg.ui->Label1;
    EXPECT_LE(prompt->fontMetrics().horizontalAdvance(prompt->text()), prompt->width());
    for (const QAbstractButton* button :
         {static_cast<QAbstractButton*>(dlg.ui->PassOut), static_cast<QAbstractButton*>(dlg.ui->BtnRecord)})
        EXPECT_LE(button->sizeHint().width(), button->width()) << button->objectName().toStdString();
}

TEST_F(RecordingTest, RecordThenStopPutsTheCapturedBytesInPlaceOfTheConvertedSound)
{
    ConvertTaunt(Pattern(3000, 1));
    Click(Qt::LeftButton, 100);
    gam.SoundName = "Kept";
    const int plays = Plays();
    const qsizetype before = driver.CallNames().size();
    const QByteArray voice = Pattern(3 * 2048 + 100, 2);

    RunRecord([&] {
        // The player stopped, then the capture started before the output opened.
        EXPECT_EQ(driver.CallNames().mid(before, 3), (QStringList{"waveOutReset", "waveOutClose", "waveInOpen"}));
        EXPECT_EQ(driver.CallNames().mid(driver.CallNames().indexOf("waveInStart", before) + 1),
                  QStringList{"waveOutOpen"});
        const auto* input = driver.NewestOpen(TWaveDirection::Input);
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(input->Format.nSamplesPerSec, 22050u);
        EXPECT_EQ(input->Format.wBitsPerSample, 8);
        EXPECT_EQ(input->Queue.size(), 2u);
        EXPECT_EQ(input->Queue.front()->dwBufferLength, 2048u);

        Hear(Pattern(2048, 3));  // heard before "Record": not kept
        ClickRecord();
        EXPECT_EQ(Caption(), "Stop");
        EXPECT_EQ(Form().Workbench.ConvertedSize, 0u);
        EXPECT_EQ(Form().Workbench.ClipWave->Size(), 0);
        EXPECT_EQ(Form().Workbench.ClipWave->Format.nSamplesPerSec, 22050u) << "the clip keeps its format";
        Hear(voice);

        dlg.close();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        EXPECT_TRUE(dlg.isVisible()) << "no way out while recording";
        ClickRecord();
    });

    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(Form().Workbench.ConvertedSize, 3u * 2048);
    EXPECT_EQ(Converted(), voice.left(3 * 2048)) << "the buffer still filling when Stop came is not kept";
    EXPECT_EQ(SizeLabel(), "(6144 Bytes)");
    const int width = View()->width();
    EXPECT_EQ(Form().Workbench.SelStartX, 1);
    EXPECT_EQ(Form().Workbench.SelEndX, width - 1);
    EXPECT_EQ(Form().Workbench.SelStartOffset, uint32_t(6144 / width));
    EXPECT_TRUE(PlayEnabled());
    EXPECT_FALSE(Control<QPushButton>("BtnConvert")->isEnabled());
    EXPECT_EQ(Plays(), plays) << "a recording does not play by itself";
    EXPECT_EQ(gam.GetSoundName().ToString(), "Kept");
    EXPECT_FALSE(dlg.Recording);
    EXPECT_EQ(dlg.RecordBuffer, nullptr);
    ExpectDevicesClosed();

    QTest::mouseClick(Control<QPushButton>("Btn_Play"), Qt::LeftButton);
    EXPECT_EQ(Plays(), plays + 1);
    const QByteArray played = LastPlayed();
    EXPECT_EQ(played, voice.mid(Form().Workbench.SelStartOffset, played.size()));
    EXPECT_EQ(played.size(), (width - 2) * 6144 / width);
}

TEST_F(RecordingTest, PassThroughHoldsBackTwoBuffersThenFollowsTheMicrophoneAndStoresNothing)
{
    ConvertTaunt(Pattern(3000, 4));
    Click(Qt::LeftButton, 100);
    const int32_t selStart = Form().Workbench.SelStartX;
    const uint32_t offset = Form().Workbench.SelStartOffset;
    const QByteArray clip = QByteArray(reinterpret_cast<const char*>(Form().Workbench.ClipWave->Memory()),
                                       qsizetype(Form().Workbench.ClipWave->Size()));

    RunRecord([&] {
        Hear(Pattern(2048, 5));
        TogglePassThrough();
        ASSERT_TRUE(dlg.ui->PassOut->isChecked());
        Hear(Pattern(2048, 6) + Pattern(2048, 7));
        EXPECT_TRUE(driver.NewestOpen(TWaveDirection::Output)->Written.isEmpty()) << "two buffers held back";
        Hear(Pattern(2048, 8));
        EXPECT_EQ(driver.NewestOpen(TWaveDirection::Output)->Written,
                  Pattern(2048, 6) + Pattern(2048, 7) + Pattern(2048, 8));
        TogglePassThrough();
        Hear(Pattern(2048, 9));
        TogglePassThrough();
        Hear(Pattern(2048, 10));
        EXPECT_EQ(driver.NewestOpen(TWaveDirection::Output)->Written.right(2048), Pattern(2048, 10))
            << "ticked again, the next buffer goes out at once";
        dlg.close();
    });

    // Nothing recorded: the workbench is as it was.
    EXPECT_EQ(Form().Workbench.ConvertedSize, 3000u);
    EXPECT_EQ(Converted(), Pattern(3000, 4));
    EXPECT_EQ(Form().Workbench.SelStartX, selStart);
    EXPECT_EQ(Form().Workbench.SelStartOffset, offset);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(Form().Workbench.ClipWave->Memory()),
                         qsizetype(Form().Workbench.ClipWave->Size())),
              clip);
    ExpectDevicesClosed();

    // Every showing starts afresh.
    RunRecord([&] {
        EXPECT_EQ(Caption(), "Record");
        EXPECT_FALSE(dlg.ui->PassOut->isChecked());
        Hear(Pattern(2048 * 4, 11));
        EXPECT_TRUE(driver.NewestOpen(TWaveDirection::Output)->Written.isEmpty());
        QTest::keyClick(&dlg, Qt::Key_Escape);
    });
    EXPECT_EQ(shows.Shows, 2);
}

// The sound server goes away under a recording with pass-through: first the output, then the
// microphone. Each shows its error once, and each closes; "Stop" keeps every byte heard.
TEST_F(RecordingTest, ARecordingOutlivesItsDevicesGoingAway)
{
    const QByteArray voice = Pattern(4 * 2048 + 700, 13);
    RunRecord([&] {
        TogglePassThrough();
        ClickRecord();
        Hear(voice.left(3 * 2048));
        driver.Lose(TWaveDirection::Output);
        Hear(voice.mid(3 * 2048, 2048));
        EXPECT_EQ(dialogs.Texts(), QStringList{"WaveOut-Write " + NoDriver});
        EXPECT_FALSE(dlg.FACMOut->Active());
        EXPECT_FALSE(dlg.ui->PassOut->isChecked());
        EXPECT_TRUE(dlg.FACMIn->Active()) << "the capture runs on";

        Hear(voice.mid(4 * 2048));
        driver.Lose(TWaveDirection::Input);
        Hear({});
        EXPECT_EQ(dialogs.Texts().mid(1), QStringList{"WaveInAddBuffer " + NoDriver});
        EXPECT_EQ(Caption(), "Stop");
        ExpectDevicesClosed();
        ClickRecord();
    });
    EXPECT_EQ(Converted(), voice);
}

// A capture that lost its device records nothing: "Record" waits for the next Record command to
// open one, and the workbench keeps its sound meanwhile.
TEST_F(RecordingTest, AfterTheMicrophoneIsLostRecordWaitsForTheNextOpening)
{
    ConvertTaunt(Pattern(500, 16));
    RunRecord([&] {
        driver.Lose(TWaveDirection::Input);
        Hear({});
        ClickRecord();
        dlg.close();
    });
    EXPECT_EQ(Converted(), Pattern(500, 16));
    RunRecord([&] {
        ClickRecord();
        Hear(Pattern(2048, 17));
        ClickRecord();
    });
    EXPECT_EQ(Converted(), Pattern(2048, 17));
}

TEST_F(RecordingTest, StopRightAfterRecordGivesAnEmptySound)
{
    ConvertTaunt(Pattern(500, 12));
    RunRecord([&] {
        ClickRecord();
        ClickRecord();
    });
    EXPECT_EQ(Form().Workbench.ConvertedSize, 0u);
    EXPECT_EQ(SizeLabel(), "(0 Bytes)");
    EXPECT_FALSE(PlayEnabled());
    ExpectDevicesClosed();
}

// The capture opened but the pass-through output did not: the capture is closed before the
// error shows, so the microphone is never open while the dialog is hidden.
TEST_F(RecordingTest, WhenTheOutputFailsToOpenTheCaptureClosesAndTheDialogStaysHidden)
{
    driver.Plan("waveOutOpen", MMSYSERR_ALLOCATED);
    ClickTool("ToolButton5");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "WaveOutOpen The specified resource is already in use.");
    EXPECT_EQ(dialogs.boxes[0].caption, "Orvalis Jeerbox");
    EXPECT_EQ(dialogs.boxes[0].type, TMsgDlgType::Error);
    EXPECT_EQ(shows.Shows, 0);
    EXPECT_TRUE(driver.CallNames().contains("waveInClose"));
    ExpectDevicesClosed();

    // The next Record command starts afresh.
    RunRecord([&] {
        EXPECT_TRUE(dlg.FACMIn->Active());
        dlg.close();
    });
    ExpectDevicesClosed();
}

TEST_F(RecordingTest, WithoutAnInputDeviceTheCommandShowsTheErrorAndOpensNothing)
{
    ConvertTaunt(Pattern(500, 13));
    driver.InputDevices = 0;
    ClickTool("ToolButton5");
    EXPECT_EQ(dialogs.Texts(),
              QStringList{"WaveIn-Open A suitable driver is not available to provide valid format selections."});
    EXPECT_EQ(shows.Shows, 0);
    EXPECT_FALSE(driver.CallNames().contains("waveInPrepareHeader"));
    EXPECT_EQ(driver.CallNames().count("waveOutOpen"), 1) << "only the player's, before";
    ExpectDevicesClosed();
    // The program runs on: the converted sound still plays.
    QTest::mouseClick(Control<QPushButton>("Btn_Play"), Qt::LeftButton);
    EXPECT_EQ(Plays(), 2);
}

// "Stop" fails in the convertor: the dialog stays with "Stop" on its button; "Record" again
// starts a new recording, and only that one lands in the workbench.
TEST_F(RecordingTest, AfterAFailedStopRecordStartsAfreshFromAnEmptyRecording)
{
    TACMConvertor& convertor = *Form().Workbench.Convertor;
    RunRecord([&] {
        ClickRecord();
        Hear(Pattern(2048, 14));
        convertor.Calls.Open = [](HACMSTREAM*, HACMDRIVER, const WAVEFORMATEX*, const WAVEFORMATEX*, const WAVEFILTER*,
                                  DWORD_PTR, DWORD_PTR, DWORD) -> MMRESULT { return ACMERR_NOTPOSSIBLE; };
        ClickRecord();
        EXPECT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(Caption(), "Stop");
        EXPECT_FALSE(dlg.Recording);
        EXPECT_EQ(Form().Workbench.ConvertedSize, 0u);

        convertor.Calls.Open = acmStreamOpen;
        ClickRecord();
        EXPECT_EQ(dlg.RecordBuffer->Size(), 0);
        Hear(Pattern(2048, 15));
        ClickRecord();
    });
    EXPECT_EQ(Converted(), Pattern(2048, 15));
    ExpectDevicesClosed();
}

}  // namespace
