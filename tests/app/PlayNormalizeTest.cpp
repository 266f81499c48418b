#include "ClipWorkbench.h"

#include "sound/ACMConvertor.h"

#include <QPushButton>
#include <QToolButton>
#include <cstring>

namespace {

using PlayTest = ClipTest;

TEST_F(PlayTest, EveryPlayClosesThePlayerAndCutsTheClipAfreshFromTheConvertedSound)
{
    QByteArray sound(2830, '\0');
    for (int i = 0; i < sound.size(); ++i)
        sound[i] = char(i);
    ConvertTaunt(sound);
    Click(Qt::LeftButton, 100);
    Click(Qt::RightButton, 110);
    // Samples changed in the convertor after the last play are what the next one plays.
    Form().Workbench.Convertor->OutputBuffer[1000] = 'x';

    const qsizetype first = driver.CallNames().size();
    PressKey(Qt::Key_F2);
    EXPECT_EQ(driver.CallNames().mid(first),
              (QStringList{"waveOutReset", "waveOutClose", "waveOutOpen", "waveOutPrepareHeader", "waveOutWrite"}));
    QByteArray clip = sound.mid(1000, 100);
    clip[0] = 'x';
    EXPECT_EQ(LastPlayed(), clip);
    const TWavStream& wave = *Form().Workbench.ClipWave;
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(wave.Memory()), int(wave.Size())), clip);
    EXPECT_EQ(std::memcmp(&wave.Format, &Form().Workbench.Convertor->FormatOut.Format, sizeof(WAVEFORMATEX)), 0);
    EXPECT_EQ(+driver.Devices.back()->Format.nSamplesPerSec, 22050u);
    EXPECT_EQ(gam.GetLoopEnd(), 99);

    const int plays = Plays();
    QTest::mouseClick(Control<QPushButton>("Btn_Play"), Qt::LeftButton);
    QTest::mouseClick(Control<QToolButton>("ToolButton4"), Qt::LeftButton);
    EXPECT_EQ(Plays(), plays + 2);
}

TEST_F(PlayTest, ANarrowSelectionOfAShortSoundPlaysAnEmptyClip)
{
    ConvertTaunt(QByteArray(100, '\x40'));
    Click(Qt::LeftButton, 10);
    const int plays = Plays();
    Click(Qt::RightButton, 11);
    EXPECT_EQ(SizeLabel(), "(0 Bytes)");
    EXPECT_EQ(Plays(), plays + 1);
    EXPECT_TRUE(LastPlayed().isEmpty());
    EXPECT_EQ(Form().Workbench.ClipWave->Size(), 0);
    EXPECT_EQ(gam.GetLoopEnd(), -1);
}

TEST_F(PlayTest, NothingPlaysWhileTheCommandIsDisabledAndItDisablesItselfWithoutASound)
{
    PressKey(Qt::Key_F2);
    Form().PlaySoundExecute(nullptr);
    EXPECT_EQ(Plays(), 0);

    ConvertTaunt(QByteArray(500, '\x40'));
    // What a recording does as it starts: the converted sound no longer counts.
    Form().Workbench.ConvertedSize = 0;
    QTest::mouseClick(Control<QPushButton>("Btn_Play"), Qt::LeftButton);
    EXPECT_FALSE(PlayEnabled());
    EXPECT_EQ(Plays(), 1);
}

class NormalizeCommandTest : public ClipTest {
protected:
    void Normalize() { ClickTool("ToolButton7"); }
};

TEST_F(NormalizeCommandTest, LevelsTheWholeSoundRedrawsAndPlaysTheSelection)
{
    QByteArray ramp(256, '\0');
    for (int i = 0; i < 256; ++i)
        ramp[i] = char(i);
    ConvertTaunt(ramp);
    Click(Qt::LeftButton, 200);
    const int plays = Plays();
    Normalize();

    const QByteArray once = Converted();
    EXPECT_EQ(uint8_t(once[0]), 27);
    EXPECT_EQ(uint8_t(once[127]), 127);
    EXPECT_EQ(uint8_t(once[255]), 228);
    EXPECT_EQ(Form().Workbench.SelStartX, 200);
    EXPECT_EQ(Form().Workbench.SelStartOffset, 180u);
    EXPECT_EQ(Plays(), plays + 1);
    EXPECT_EQ(LastPlayed(), once.mid(180, 74));
    // Byte 0 now lies on row nearbyint(27 × 73/256) = 8.
    EXPECT_EQ(Grab().pixel(0, 8), Red);

    Normalize();
    EXPECT_EQ(Converted(), once);
}

TEST_F(NormalizeCommandTest, SilenceAt127IsAnErrorThatChangesNothing)
{
    ConvertTaunt(QByteArray(400, '\x7f'));
    const int plays = Plays();
    dialogs.boxes.clear();
    Normalize();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, TMsgDlgType::Error);
    EXPECT_EQ(dialogs.boxes[0].caption, "Orvalis Jeerbox");
    EXPECT_EQ(dialogs.boxes[0].text, "Floating point division by zero.");
    EXPECT_EQ(Converted(), QByteArray(400, '\x7f'));
    EXPECT_EQ(Plays(), plays);
}

}  // namespace
