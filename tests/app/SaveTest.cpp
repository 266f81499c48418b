#include "ClipWorkbench.h"

#include "support/FileSizeLimit.h"
#include "support/QtFiles.h"

#include <QDir>
#include <QPushButton>

namespace {

// A converted sound with the selection of columns 50 to 100, which holds 50 × 2830 / 283
// = 500 bytes from byte 500.
class SaveTest : public ClipTest {
protected:
    void SetUp() override
    {
        sound.resize(2830);
        for (int i = 0; i < sound.size(); ++i)
            sound[i] = char(i * 3);
        ConvertTaunt(sound);
        Click(Qt::LeftButton, 50);
        Click(Qt::RightButton, 100);
        gam.Params.LoopStart = 7;
        gam.FileName = "before.wav";
    }
    // Clicks Save Converted; the save dialog answers with the path, or Cancel.
    void Save(const std::optional<QString>& path)
    {
        dialogs.PlanFiles(path ? std::optional<QStringList>(QStringList{*path}) : std::nullopt);
        QTest::mouseClick(Control<QPushButton>("BtnSave"), Qt::LeftButton);
    }
    const ScriptedDialogs::FileRun& LastRun() { return dialogs.fileRuns.back(); }
    static QByteArray TauntFile(const QByteArray& samples)
    {
        return ToQt(RiffWave(Chunk("fmt ", FmtPayload(1, 1, 22050, 22050, 1, 8)) + Chunk("data", ToStd(samples))));
    }
    QStringList Entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System); }

    QByteArray sound;
};

TEST_F(SaveTest, WritesTheSelectedClipAndHandsItsNameToTheGamDialog)
{
    QDir(dir.path()).mkdir("out");
    const QString path = dir.filePath("out/roar.wav");
    const int plays = Plays();
    Save(path);

    EXPECT_EQ(Plays(), plays + 1) << "saving plays the selection first";
    EXPECT_EQ(LastRun().kind, TFileDialogKind::Save);
    EXPECT_EQ(LastRun().title, "Save Wave File");
    EXPECT_EQ(LastRun().fileName, "taunt0.wav") << "the current file's name is proposed";
    EXPECT_EQ(ReadFile(path), TauntFile(sound.mid(500, 500)));
    EXPECT_EQ(gam.GetLoopStart(), 0);
    EXPECT_EQ(gam.GetFileName().ToString(), "roar.wav");
    EXPECT_EQ(gam.GetLoopEnd(), 499);
    EXPECT_EQ(Form().SaveWave.InitialDir, dir.path() + "/out/");
    EXPECT_EQ(StoredSetting("SaveDir"), dir.path() + "/out/");

    // The next save starts in that folder.
    Save(std::nullopt);
    EXPECT_EQ(LastRun().initialDir, dir.path() + "/out/");
}

TEST_F(SaveTest, CancelStillPlaysButWritesAndChangesNothing)
{
    const int plays = Plays();
    Save(std::nullopt);
    EXPECT_EQ(Plays(), plays + 1);
    EXPECT_EQ(Entries(), QStringList{"taunt0.wav"});
    EXPECT_EQ(gam.GetLoopStart(), 7);
    EXPECT_EQ(gam.GetFileName().ToString(), "before.wav");
    EXPECT_EQ(StoredSetting("SaveDir"), "");
}

TEST_F(SaveTest, WithTheListEmptiedTheDialogKeepsTheNameItLastHeld)
{
    const QString first = dir.filePath("first.wav");
    Save(first);
    ClickTool("ToolButton2");
    const QString second = dir.filePath("second.wav");
    Save(second);
    EXPECT_EQ(LastRun().fileName, first);
    EXPECT_EQ(ReadFile(second), TauntFile(sound.mid(500, 500)));
}

TEST_F(SaveTest, ALongFileNameReachesTheGamDialogCutTo34Characters)
{
    const QString name = "abcdefghijklmnopqrstuvwxyz012345.wav";
    const QString forty = "0123" + name;
    ASSERT_EQ(forty.size(), 40);
    Save(dir.filePath(forty));
    EXPECT_EQ(gam.GetFileName().ToString(), forty.left(34).toStdString());
    EXPECT_TRUE(QFile::exists(dir.filePath(forty)));
}

TEST_F(SaveTest, WithoutAnOpenFolderTheDialogStartsInTheFirstOpenedFilesFolder)
{
    Form().OpenWave.InitialDir.clear();
    Form().OpenWave.FileName = "/music/in/first.wav";
    Save(std::nullopt);
    EXPECT_EQ(LastRun().initialDir, "/music/in/");
}

TEST_F(SaveTest, AFailedWriteLeavesTheExistingFileWholeAndNoScraps)
{
    const QString path = dir.filePath("precious.wav");
    const QByteArray old = TauntFile(QByteArray(3000, '\x55'));
    WriteFile(path, old);
    dialogs.boxes.clear();
    {
        // Room for the header and part of the clip only.
        ScopedFileSizeLimit limit(200);
        Save(path);
    }
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, TMsgDlgType::Error);
    EXPECT_EQ(dialogs.boxes[0].text, "Stream write error.");
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(Entries(), (QStringList{"precious.wav", "taunt0.wav"}));
    EXPECT_EQ(gam.GetLoopStart(), 7);
    EXPECT_EQ(gam.GetFileName().ToString(), "before.wav");
    EXPECT_EQ(StoredSetting("SaveDir"), "");
}

using ExitTest = ClipTest;

TEST_F(ExitTest, ClosesTheWindowAskingNothing)
{
    ASSERT_TRUE(Form().isVisible());
    ClickTool("ToolButton12");
    EXPECT_FALSE(Form().isVisible());
    EXPECT_TRUE(dialogs.boxes.empty());
}

}  // namespace
