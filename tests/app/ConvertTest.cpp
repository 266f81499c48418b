#include "ClipWorkbench.h"

#include "sound/ACMConvertor.h"
#include "support/QtFiles.h"

#include <sndfile.h>

#include <QApplication>
#include <QPushButton>
#include <cstring>
#include <functional>

namespace {

using ConvertTest = ClipTest;

// The worked numbers of a one-second taunt in the 283-column view.
TEST_F(ConvertTest, OneSecondInTheViewIsSelectedWholeAndPlayed)
{
    QByteArray samples(22050, '\0');
    for (int i = 0; i < samples.size(); ++i)
        samples[i] = char(i * 7);
    gam.FileName = "old.wav";
    ConvertTaunt(samples);

    EXPECT_EQ(SizeLabel(), "(22050 Bytes)");
    EXPECT_EQ(Form().Workbench.SelStartX, 1);
    EXPECT_EQ(Form().Workbench.SelEndX, 282);
    EXPECT_EQ(Form().Workbench.SelStartOffset, 77u);
    EXPECT_TRUE(PlayEnabled());
    EXPECT_FALSE(Control<QPushButton>("BtnConvert")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass is gone";
    // Played at once: columns 1 to 282 hold 281 × 22050 div 283 bytes.
    EXPECT_EQ(Plays(), 1);
    EXPECT_EQ(LastPlayed(), samples.mid(77, 21894));
    EXPECT_EQ(gam.GetSoundName().ToString(), "New Sound");
    EXPECT_TRUE(gam.GetFileName().IsEmpty());
    EXPECT_EQ(gam.GetLoopEnd(), 21893);

    // A click that moves no edge shows what the selection holds.
    Click(Qt::LeftButton, 282);
    EXPECT_EQ(SizeLabel(), "(21894 Bytes)");
    EXPECT_EQ(Form().Workbench.SelStartOffset, 77u);
    EXPECT_EQ(LastPlayed(), samples.mid(77, 21894));
}

TEST_F(ConvertTest, StereoSourceIsReadAfreshAndConvertedFromItsOwnFormat)
{
    const QString path = dir.filePath("stereo.wav");
    WriteWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, Sine16(440, 0.5, 44100, 0.5, 2));
    OpenFiles(QStringList{path});
    ClickItem(0);
    // The file changes on disk after it was clicked: Convert reads what is there now.
    WriteWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, Sine16(440, 0.5, 44100, 1.0, 2));
    QTest::mouseClick(Control<QPushButton>("BtnConvert"), Qt::LeftButton);

    TACMConvertor& convertor = *Form().Workbench.Convertor;
    EXPECT_EQ(convertor.InputBufferSize(), 176400u);
    EXPECT_EQ(std::memcmp(&convertor.FormatIn.Format, &Form().Workbench.SourceWave->Format, sizeof(WAVEFORMATEX)), 0);
    EXPECT_EQ(+convertor.FormatIn.Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(+convertor.FormatOut.Format.nSamplesPerSec, 22050u);
    EXPECT_EQ(+convertor.FormatOut.Format.nChannels, 1);
    EXPECT_NEAR(double(Form().Workbench.ConvertedSize), 22050.0, 2.0);
    EXPECT_EQ(SizeLabel(), QStringLiteral("(%1 Bytes)").arg(Form().Workbench.ConvertedSize));
    // A tone that reaches half of full scale: the bytes swing well around silence.
    const QByteArray sound = Converted();
    const auto [low, high] =
        std::minmax_element(sound.begin(), sound.end(), [](char a, char b) { return uint8_t(a) < uint8_t(b); });
    EXPECT_LT(uint8_t(*low), 80);
    EXPECT_GT(uint8_t(*high), 176);
}

// Wide samples in the extensible format, as other programs write them: the sample type
// that follows the format record reaches the convertor.
TEST_F(ConvertTest, ExtensibleFilesOfWideSamplesConvert)
{
    for (const int subformat : {SF_FORMAT_PCM_32, SF_FORMAT_FLOAT}) {
        const QString path = dir.filePath(QStringLiteral("wide%1.wav").arg(subformat));
        WriteWithSndfile(path, SF_FORMAT_WAVEX | subformat, 44100, 2, Sine16(440, 0.5, 44100, 0.5, 2));
        Convert(path);
        ASSERT_EQ(dialogs.boxes.size(), 0u) << "no \"Error converting\" box";
        EXPECT_NEAR(double(Form().Workbench.ConvertedSize), 11025.0, 2.0);
        const QByteArray sound = Converted();
        const SineFit fit =
            FitSine(reinterpret_cast<const uint8_t*>(sound.constData()), size_t(sound.size()), 440, 22050, 300);
        EXPECT_NEAR(fit.Amplitude, 64.0, 3.0);
    }
}

TEST_F(ConvertTest, SoundOfNoBytesLeavesNothingToPlay)
{
    Convert(MakeTaunt("empty.wav", QByteArray()));
    EXPECT_EQ(Form().Workbench.ConvertedSize, 0u);
    EXPECT_FALSE(PlayEnabled());
    EXPECT_EQ(SizeLabel(), "(0 Bytes)");
    EXPECT_EQ(Plays(), 0);
    EXPECT_EQ(gam.GetSoundName().ToString(), "New Sound");
    const QImage view = Grab();
    EXPECT_EQ(view.pixel(141, 36), Face()) << "no waveform";
    EXPECT_EQ(view.pixel(1, 20), Face()) << "no selection line";
    EXPECT_EQ(view.pixel(141, 0), Blue);
}

class FailedConvertTest : public ClipTest {
protected:
    // A sound converted and played, then a second file selected whose Convert fails.
    void ConvertThenFail(const QString& failing, const std::function<void()>& beforeConvert = {})
    {
        ConvertTaunt(QByteArray(5000, '\x10'));
        if (beforeConvert)
            beforeConvert();
        gam.FileName = "kept.wav";
        OpenFiles(QStringList{failing});
        ClickItem(1);
        playsBefore = Plays();
        dialogs.boxes.clear();
        QTest::mouseClick(Control<QPushButton>("BtnConvert"), Qt::LeftButton);
    }
    // After the failure the window shows nothing converted and no command reads the old sound.
    void ExpectNothingConverted()
    {
        EXPECT_EQ(Form().Workbench.ConvertedSize, 0u);
        EXPECT_FALSE(PlayEnabled());
        EXPECT_EQ(SizeLabel(), "(0 Bytes)");
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        const QImage view = Grab();
        EXPECT_EQ(view.pixel(141, 0), Blue);
        for (int y = 1; y < 72; ++y)
            ASSERT_EQ(view.pixel(141, y), Face()) << "row " << y;

        dialogs.boxes.clear();
        // Even with bytes in the clip (the about box's jingle leaves some), Save has nothing to save.
        Form().Workbench.ClipWave->SetSize(100);
        PressKey(Qt::Key_F2);
        ClickTool("ToolButton7");
        QTest::mouseClick(Control<QPushButton>("BtnSave"), Qt::LeftButton);
        Click(Qt::LeftButton, 100);
        EXPECT_EQ(Plays(), playsBefore);
        EXPECT_EQ(dialogs.fileRuns.size(), 2u) << "Save asks for no file";
        EXPECT_TRUE(dialogs.boxes.empty());
        EXPECT_EQ(gam.GetFileName().ToString(), "kept.wav");
        EXPECT_EQ(gam.GetSoundName().ToString(), "New Sound");
    }
    int playsBefore = 0;
};

TEST_F(FailedConvertTest, UnreadableFileIsReportedWithItsPathAndTheOldSoundIsGone)
{
    const QString broken = dir.filePath("broken.wav");
    WriteFile(broken, "RIFX but not a wave");
    ConvertThenFail(broken);

    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Error converting " + broken + ": Not a valid WAV file.");
    EXPECT_EQ(dialogs.boxes[0].type, TMsgDlgType::Custom);
    EXPECT_EQ(dialogs.boxes[0].buttons, TMsgDlgButtons(mbOK));
    EXPECT_TRUE(Control<QPushButton>("BtnConvert")->isEnabled()) << "only a success disables Convert";
    ExpectNothingConverted();
}

TEST_F(FailedConvertTest, FormatWithoutConversionGivesTheConvertorsMessage)
{
    const QString path = dir.filePath("mp3.wav");
    WriteFile(
        path,
        ToQt(RiffWave(Chunk("fmt ", FmtPayload(0x55, 1, 22050, 2000, 1, 0)) + Chunk("data", std::string(100, 1)))));
    ConvertThenFail(path);

    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text,
              "Error converting " + path + ": acmStreamOpen: The requested operation cannot be performed.");
    EXPECT_FALSE(Form().Workbench.Convertor->Active());
    ExpectNothingConverted();
}

TEST_F(FailedConvertTest, FailureAfterActivationLeavesNoStaleCountOverTheNewBuffers)
{
    const QString path = MakeTaunt("short.wav", QByteArray(10, '\x70'));
    ConvertThenFail(path, [this] {
        Form().Workbench.Convertor->Calls.Convert = [](HACMSTREAM, ACMSTREAMHEADER*, uint32_t) -> MMRESULT {
            return ACMERR_BUSY;
        };
    });

    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text,
              "Error converting " + path + ": acmStreamConvert: The conversion stream is already in use.");
    EXPECT_TRUE(Form().Workbench.Convertor->Active());
    EXPECT_EQ(Form().Workbench.Convertor->OutputBufferSize, 10u);
    ExpectNothingConverted();
}

}  // namespace
