#include "Workbench.h"

#include "forms/Settings.h"
#include "support/QtFiles.h"

#include <QApplication>
#include <QLabel>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>

namespace {

using WaveListTest = WorkbenchTest;

TEST_F(WaveListTest, FirstStartReadsNothingAndTheFirstOpenCreatesTheKey)
{
    ASSERT_FALSE(SettingsKeyExists());
    const QString a = MakeTaunt("a.wav");
    OpenFiles(QStringList{a});

    ASSERT_EQ(dialogs.fileRuns.size(), 1u);
    const auto& run = dialogs.fileRuns[0];
    EXPECT_EQ(run.kind, TFileDialogKind::Open);
    EXPECT_EQ(run.title, "Open Wave File");
    EXPECT_EQ(run.filter,
              "Wave Files|*.wav|All Sound Files|*.wav;*.flac;*.ogg;*.oga;*.opus;*.mp3;*.aif;*.aiff;*.caf;*.w64");
    EXPECT_EQ(run.options, ofAllowMultiSelect | ofPathMustExist | ofFileMustExist | ofEnableSizing);
    EXPECT_EQ(run.initialDir, "");
    EXPECT_EQ(Form().SaveWave.InitialDir, "");
    EXPECT_EQ(StoredSetting("OpenDir"), dir.path() + "/");
    EXPECT_EQ(StoredSetting("SaveDir"), "");
}

TEST_F(WaveListTest, RememberedFoldersAreReadIntoBothDialogsAtCreation)
{
    WriteSetting("OpenDir", "/music/in/");
    WriteSetting("SaveDir", "/music/out/");
    OpenFiles(std::nullopt);

    ASSERT_EQ(dialogs.fileRuns.size(), 1u);
    EXPECT_EQ(dialogs.fileRuns[0].initialDir, "/music/in/");
    EXPECT_EQ(Form().SaveWave.InitialDir, "/music/out/");
    EXPECT_EQ(Form().SaveWave.Title, "Save Wave File");
    EXPECT_EQ(Form().SaveWave.Filter, "WAVE Audion Files (*.wav)|*.wav");
    EXPECT_EQ(Form().SaveWave.DefaultExt, ".wav");
    EXPECT_EQ(Form().SaveWave.Options, ofOverwritePrompt | ofPathMustExist | ofEnableSizing);
}

TEST_F(WaveListTest, ThreeFilesInOneOpenAreAppendedInDialogOrder)
{
    QDir(dir.path()).mkdir("second");
    const QString first = MakeTaunt("second/z.wav");
    const QString b = MakeTaunt("b.wav");
    const QString a = MakeTaunt("a.wav");
    OpenFiles(QStringList{b});
    ClickItem(0);
    ASSERT_TRUE(Control<QPushButton>("BtnConvert")->isEnabled());

    OpenFiles(QStringList{first, b, a});

    EXPECT_EQ(ListedPaths(), (QStringList{b, first, b, a}));
    EXPECT_FALSE(Control<QPushButton>("BtnConvert")->isEnabled()) << "Open files disables Convert";
    EXPECT_EQ(StoredSetting("OpenDir"), dir.path() + "/second/");
    EXPECT_EQ(dialogs.fileRuns.back().initialDir, dir.path() + "/") << "the folder of the previous Open";
    EXPECT_EQ(WaveList()->currentRow(), 0) << "adding keeps the current item";
    EXPECT_EQ(WaveList()->selectedItems().size(), 1);
    EXPECT_TRUE(WaveList()->item(0)->isSelected());
}

TEST_F(WaveListTest, CancelledOpenChangesNothing)
{
    const QString a = MakeTaunt("a.wav");
    OpenFiles(QStringList{a});
    ClickItem(0);
    WriteSetting("OpenDir", "/elsewhere/");

    OpenFiles(std::nullopt);

    EXPECT_EQ(ListedPaths(), QStringList{a});
    EXPECT_TRUE(Control<QPushButton>("BtnConvert")->isEnabled());
    EXPECT_EQ(StoredSetting("OpenDir"), "/elsewhere/");
}

TEST_F(WaveListTest, ClickLoadsTheFileAndDescribesItsFormat)
{
    const QString stereo = MakeWave("stereo.wav", 2, 44100, 3000000000u, 16, QByteArray(400, '\0'));
    OpenFiles(QStringList{stereo});
    ClickItem(0);

    // The rates are shown as stored, even where they disagree, and read as unsigned.
    EXPECT_EQ(InfoLines(),
              (QStringList{stereo, "Channels: 2", "Samples per sec: 44100", "Average Bytes/sec: 3000000000",
                           "Bits per sample: 16"}));
    EXPECT_EQ(Form().Workbench.SourceWave->Size(), 400);
    EXPECT_EQ(Form().Workbench.SourceWave->Format.nBlockAlign, 4);
    EXPECT_TRUE(Control<QPushButton>("BtnConvert")->isEnabled());
    EXPECT_EQ(StatusText(), "");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WaveListTest, TheItemHoldingTheFocusIsLoadedAndTwoSelectedDisableConvert)
{
    const QString a = MakeTaunt("a.wav");
    const QString b = MakeWave("b.wav", 2, 8000, 32000, 16);
    OpenFiles(QStringList{a, b});
    ClickItem(0);
    ClickItem(1, Qt::ControlModifier);

    EXPECT_EQ(WaveList()->selectedItems().size(), 2);
    EXPECT_EQ(InfoLines().value(0), b);
    EXPECT_EQ(InfoLines().value(1), "Channels: 2");
    EXPECT_FALSE(Control<QPushButton>("BtnConvert")->isEnabled());
}

TEST_F(WaveListTest, ControlClickThatDeselectsStillLoadsTheClickedItem)
{
    const QString a = MakeTaunt("a.wav");
    const QString b = MakeWave("b.wav", 2, 8000, 32000, 16);
    const QString c = MakeTaunt("c.wav");
    OpenFiles(QStringList{a, b, c});
    ClickItem(0);
    ClickItem(1, Qt::ControlModifier);
    ClickItem(2, Qt::ControlModifier);
    ASSERT_FALSE(Control<QPushButton>("BtnConvert")->isEnabled());

    ClickItem(1, Qt::ControlModifier);  // three selected become two: still disabled
    EXPECT_FALSE(WaveList()->item(1)->isSelected());
    EXPECT_EQ(InfoLines().value(0), b);
    EXPECT_FALSE(Control<QPushButton>("BtnConvert")->isEnabled());

    ClickItem(2, Qt::ControlModifier);  // only a stays selected; c holds the focus
    EXPECT_EQ(WaveList()->currentRow(), 2);
    EXPECT_EQ(WaveList()->selectedItems(), QList<QListWidgetItem*>{WaveList()->item(0)});
    EXPECT_EQ(InfoLines().value(0), c);
    EXPECT_TRUE(Control<QPushButton>("BtnConvert")->isEnabled());
}

TEST_F(WaveListTest, ArrowKeysLoadTheNewCurrentItem)
{
    const QString a = MakeTaunt("a.wav");
    const QString b = MakeWave("b.wav", 2, 8000, 32000, 16);
    OpenFiles(QStringList{a, b});
    ClickItem(0);
    PressKey(Qt::Key_Down);
    EXPECT_EQ(InfoLines().value(0), b);
    PressKey(Qt::Key_Up);
    EXPECT_EQ(InfoLines().value(0), a);
}

TEST_F(WaveListTest, AFileNameThatLooksLikeMarkupIsReportedAsItStands)
{
    const QString odd = dir.filePath("<b>x<i> &lt;.wav");
    WriteFile(odd, "no sound");
    OpenFiles(QStringList{odd});
    ClickItem(0);
    const QLabel* panel = Control<QLabel>("StatusPanel0");
    EXPECT_EQ(panel->text(), "Error opening " + odd);
    EXPECT_EQ(panel->textFormat(), Qt::PlainText);
}

TEST_F(WaveListTest, AFileThatCannotBeLoadedIsReportedAndTheReportStays)
{
    const QString gone = MakeTaunt("gone.wav");
    const QString bad = dir.filePath("bad.wav");
    WriteFile(bad, ToQt(RiffWave(std::string())).replace(0, 4, "RIFX"));
    const QString good = MakeTaunt("good.wav");
    OpenFiles(QStringList{gone, bad, good});
    QFile::remove(gone);

    ClickItem(0);
    EXPECT_EQ(StatusText(), "Error opening " + gone);
    ASSERT_EQ(InfoLines().size(), 1);
    EXPECT_TRUE(InfoLines()[0].contains(gone)) << InfoLines()[0].toStdString();
    EXPECT_TRUE(Control<QPushButton>("BtnConvert")->isEnabled()) << "set before the load, kept after its failure";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    ClickItem(1);
    EXPECT_EQ(StatusText(), "Error opening " + bad);
    EXPECT_EQ(InfoLines(), QStringList{"Not a valid WAV file."});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    ClickItem(2);
    EXPECT_EQ(InfoLines().value(0), good);
    EXPECT_EQ(StatusText(), "Error opening " + bad) << "a later success leaves the report";
    EXPECT_TRUE(dialogs.boxes.empty()) << "load errors are reported in the window, not in a box";
}

TEST_F(WaveListTest, ClearListEmptiesOnlyTheList)
{
    const QString gone = MakeTaunt("gone.wav");
    const QString a = MakeWave("a.wav", 2, 8000, 32000, 16);
    OpenFiles(QStringList{gone, a});
    QFile::remove(gone);
    ClickItem(0);
    ClickItem(1);
    const QStringList info = InfoLines();

    ClickTool("ToolButton2");

    EXPECT_EQ(WaveList()->count(), 0);
    EXPECT_EQ(InfoLines(), info);
    EXPECT_EQ(StatusText(), "Error opening " + gone);
    EXPECT_TRUE(Control<QPushButton>("BtnConvert")->isEnabled());
    EXPECT_EQ(Form().Workbench.SourceWave->Format.nChannels, 2);

    // With no current item a click in the list loads nothing.
    QTest::mouseClick(WaveList()->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(InfoLines(), info);
}

}
