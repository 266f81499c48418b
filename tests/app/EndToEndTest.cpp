#include "ClipWorkbench.h"
#include "forms/FilePaths.h"

#include "gamtable/GamTestSupport.h"
#include "support/QtFiles.h"

#include <sndfile.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

namespace {

using EndToEndTest = ClipTest;

// A user's whole way from a CD-quality file to a taunt and its sound page.
TEST_F(EndToEndTest, FromAStereoFileToASavedClipAndItsGamPage)
{
    const QString source = dir.filePath("laugh.wav");
    WriteWithSndfile(source, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, Sine16(300, 0.25, 44100, 2.0, 2));
    OpenFiles(QStringList{source});
    ClickItem(0);
    QTest::mouseClick(Control<QPushButton>("BtnConvert"), Qt::LeftButton);
    const uint32_t size = Form().Workbench.ConvertedSize;
    ASSERT_NEAR(double(size), 44100.0, 2.0);

    // The span: the start dragged in from column 60 to 40, the end out from 150 to 180.
    Press(Qt::LeftButton, 60);
    Move(50, Qt::LeftButton);
    Release(Qt::LeftButton, 40);
    Press(Qt::RightButton, 150);
    Move(180, Qt::RightButton);
    Release(Qt::RightButton, 180);
    ASSERT_EQ(Form().Workbench.SelStartX, 50) << "the release does not move the edge";
    ASSERT_EQ(Form().Workbench.SelEndX, 180);
    const uint32_t offset = uint32_t(uint64_t(50) * size / 283);
    const uint32_t clipSize = uint32_t(uint64_t(130) * size / 283);

    ClickTool("ToolButton7");
    const QByteArray normalized = Converted();
    const auto [low, high] = std::minmax_element(normalized.begin(), normalized.end(),
                                                 [](char a, char b) { return uint8_t(a) < uint8_t(b); });
    EXPECT_TRUE(uint8_t(*low) == 26 || uint8_t(*high) == 228) << "the peak reaches 101 from 127";

    const QString clipPath = dir.filePath("laugh-taunt.wav");
    dialogs.PlanFiles(QStringList{clipPath});
    QTest::mouseClick(Control<QPushButton>("BtnSave"), Qt::LeftButton);

    const QString table = dir.filePath("taunts.gam");
    bool confirmed = false;
    QTimer::singleShot(0, &gam, [&] {
        gam.findChild<QLineEdit*>("edGamFile")->setText(table);
        QTest::mouseClick(gam.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
        confirmed = !gam.isVisible();
        if (!confirmed)
            gam.reject();
    });
    ClickTool("ToolButton9");
    ASSERT_TRUE(confirmed);

    TWavStream clip;
    clip.LoadFromFile(LocalPath(clipPath));
    EXPECT_EQ(+clip.Format.wFormatTag, 1);
    EXPECT_EQ(+clip.Format.nChannels, 1);
    EXPECT_EQ(+clip.Format.nSamplesPerSec, 22050u);
    EXPECT_EQ(+clip.Format.wBitsPerSample, 8);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(clip.Memory()), int(clip.Size())),
              normalized.mid(int(offset), int(clipSize)));
    EXPECT_EQ(ReadFile(clipPath).size(), 44 + int(clipSize));

    // The dialog's values, and the loop end the last Play set: the clip's last byte.
    const QByteArray params = QByteArray::fromHex("80000000"
                                                  "00000000") +
        ToQt(Le32(uint32_t(clipSize - 1))) +
        QByteArray::fromHex("0000803f"
                            "68010000"
                            "68010000"
                            "00008043"
                            "00002041"
                            "0000803f");
    EXPECT_EQ(ReadFile(table), SoundPage("New Sound", "laugh-taunt.wav", params));
}

}  // namespace
