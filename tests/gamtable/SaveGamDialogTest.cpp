#include "GamTestSupport.h"
#include "gamtable/GamSoundFrame.h"
#include "gamtable/frmSaveGam.h"
#include "platform/Registry.h"
#include "support/ScriptedDialogs.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString settingsKey = QStringLiteral("\\Software\\Jeerbox");

QString StoredGamFileName()
{
    TRegistry registry;
    return registry.OpenKey(settingsKey, false) ? registry.ReadString("GamFileName") : QStringLiteral("<no key>");
}

// The dialog as the user meets it: shown, with scripted message boxes and a settings store
// of the test's own.
class SaveGamDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<TForm3>();
        form->ClosePlayer = [this] { ++playerCloses; };
        Show();
    }
    // Shows the dialog as the active window, so that focus and the default button work as for the user.
    void Show() const
    {
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    void TearDown() override { form.reset(); }

    template <typename T = QLineEdit>
    T* Control(const char* name) const
    {
        T* control = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    QString Text(const char* edit) const { return Control(edit)->text(); }
    void Type(const char* edit, const QString& text) const
    {
        Control(edit)->clear();
        QTest::keyClicks(Control(edit), text);
    }
    void ClickOk() const { QTest::mouseClick(Control<QPushButton>("BitBtn1"), Qt::LeftButton); }
    void ClickCheckBox(const char* name) const
    {
        QCheckBox* box = Control<QCheckBox>(name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    // OK stopped at message box `index`, which asked or said `text`; the dialog is still open
    // with the focus on `focus`.
    void ExpectStopped(size_t index, const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                       const char* focus) const
    {
        ASSERT_EQ(dialogs.boxes.size(), index + 1);
        const ScriptedDialogs::Box& box = dialogs.boxes[index];
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, "Orvalis Jeerbox");
        EXPECT_EQ(box.type, type);
        EXPECT_EQ(box.buttons, buttons);
        EXPECT_EQ(form->focusWidget(), Control<QWidget>(focus));
        EXPECT_TRUE(form->isVisible());
    }
    // Fills every field with a valid value unlike the start values.
    void FillValid(const QString& gamFile) const
    {
        Type("edGamFile", gamFile);
        Type("edSoundName", "Roar");
        Type("edFileName", "roar.wav");
        Type("edLoopStart", "5");
        Type("edLoopEnd", "999");
        Type("edOuterVolume", "0.5");
        Type("edInnerCone", "90");
        Type("edOuterCone", "180");
        Type("edMaxDist", "100.25");
        Type("edMinDist", "2");
        Type("edImportAdj", "0.75");
    }

    ScopedSettingsFolder settings;
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    std::unique_ptr<TForm3> form;
    int playerCloses = 0;
};

TEST_F(SaveGamDialogTest, FirstShowingDisplaysTheStartValues)
{
    EXPECT_EQ(Text("edGamFile"), "") << "no table file remembered yet";
    EXPECT_EQ(Text("edSoundName"), "");
    EXPECT_EQ(Text("edFileName"), "");
    EXPECT_EQ(Text("edLoopStart"), "0");
    EXPECT_EQ(Text("edLoopEnd"), "0");
    EXPECT_EQ(Text("edOuterVolume"), "1.000");
    EXPECT_EQ(Text("edInnerCone"), "360");
    EXPECT_EQ(Text("edOuterCone"), "360");
    EXPECT_EQ(Text("edMaxDist"), "256.000");
    EXPECT_EQ(Text("edMinDist"), "10.000");
    EXPECT_EQ(Text("edImportAdj"), "1.000");
    for (int i = 1; i <= 9; ++i) {
        const QByteArray name = "CheckBox" + QByteArray::number(i);
        EXPECT_EQ(Control<QCheckBox>(name.constData())->isChecked(), i == 8) << name.constData();
    }
    EXPECT_EQ(form->GetFlags(), 128u);
    EXPECT_EQ(form->GetImportAdjust(), 1.0f);
}

TEST_F(SaveGamDialogTest, LayoutCaptionsAndLimits)
{
    EXPECT_EQ(form->windowTitle(), "Save To GAM File");
    EXPECT_EQ(form->size(), QSize(392, 293));
    EXPECT_EQ(form->pos(), QPoint(531, 355));
    const std::pair<const char*, QRect> places[] = {
        {"FrmSnd", {8, 32, 377, 229}},       {"edGamFile", {60, 0, 301, 21}},     {"Button1", {360, 0, 21, 21}},
        {"BitBtn1", {72, 268, 75, 25}},      {"BitBtn2", {212, 268, 105, 25}},    {"Bevel1", {4, 28, 385, 237}},
        {"gbFlags", {4, 52, 365, 77}},       {"CheckBox1", {8, 16, 105, 17}},     {"CheckBox5", {120, 36, 117, 17}},
        {"CheckBox9", {244, 56, 113, 17}},   {"edLoopStart", {108, 132, 73, 21}}, {"edInnerCone", {108, 204, 73, 21}},
        {"edOuterCone", {296, 132, 73, 21}}, {"edImportAdj", {296, 204, 73, 21}},
    };
    for (const auto& [name, rect] : places)
        EXPECT_EQ(Control<QWidget>(name)->geometry(), rect) << name;
    EXPECT_EQ(Control("edSoundName")->geometry().topLeft(), QPoint(72, 0));
    EXPECT_EQ(Control("edFileName")->geometry(), QRect(72, 24, 296, 21)) << "widened in this dialog";
    const TFrmGamSound designed;
    EXPECT_EQ(designed.size(), QSize(372, 227));
    EXPECT_EQ(Control("edSoundName")->width() - designed.findChild<QLineEdit*>("edSoundName")->width(), 5)
        << "stretches with the frame";

    EXPECT_EQ(Control<QLabel>("Label1")->text(), "GAM-File:");
    EXPECT_EQ(Control<QPushButton>("Button1")->text(), "...");
    EXPECT_EQ(Control<QPushButton>("BitBtn1")->text(), "OK");
    EXPECT_TRUE(Control<QPushButton>("BitBtn1")->isDefault());
    EXPECT_EQ(Control<QPushButton>("BitBtn2")->text(), "Cancel");
    EXPECT_EQ(Control<QGroupBox>("gbFlags")->title(), "Flags");
    const char* flags[] = {"Looped",     "Fixed frequency", "Object update",   "Forever",        "Plays exclusively",
                           "Plays once", "Use cone",        "Listener update", "Once per object"};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(Control<TFrmGamSound>("FrmSnd")->FlagBox(i)->text(), flags[i]);
    QStringList labels;
    for (const QLabel* label : Control<TFrmGamSound>("FrmSnd")->findChildren<QLabel*>())
        labels << label->text();
    EXPECT_EQ(
        labels,
        QStringList({"Sound name:", "Filename:", "Loop start:", "Loop end:", "Outer cone volume:", "Inner cone angle:",
                     "Outer cone angle:", "Maximum distance:", "Minimum distance:", "Import adjust:"}));

    EXPECT_EQ(Control("edSoundName")->maxLength(), 34);
    EXPECT_EQ(Control("edFileName")->maxLength(), 34);
    QTest::keyClicks(Control("edSoundName"), QString(40, QLatin1Char('n')));
    EXPECT_EQ(Text("edSoundName").size(), 34);
}

TEST_F(SaveGamDialogTest, TabOrder)
{
    QStringList order;
    QWidget* start = Control("edGamFile");
    QWidget* w = start;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != start);
    EXPECT_EQ(order.join(' ').toStdString(),
              "edGamFile Button1 edSoundName edFileName CheckBox1 CheckBox2 CheckBox3 CheckBox4 CheckBox5 CheckBox6 "
              "CheckBox7 CheckBox8 CheckBox9 edLoopStart edLoopEnd edOuterVolume edInnerCone edOuterCone edMaxDist "
              "edMinDist edImportAdj BitBtn1 BitBtn2");
}

TEST_F(SaveGamDialogTest, RemembersTheTableFileAcrossRunsAndShowingLeavesItAlone)
{
    const QString path = dir.filePath("taunts.gam");
    FillValid(path);
    ClickOk();
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(StoredGamFileName(), path);

    TForm3 nextRun;
    EXPECT_EQ(nextRun.GetGamFile(), path) << "read when the dialog is made";
    nextRun.findChild<QLineEdit*>("edGamFile")->setText("typed.gam");
    nextRun.show();
    EXPECT_EQ(nextRun.GetGamFile(), "typed.gam") << "showing does not refill the table path";
}

TEST_F(SaveGamDialogTest, ShowingTakesWhatTheWorkbenchPreset)
{
    form->hide();
    form->SoundName = "New Sound";
    form->FileName = "a_very_long_file_name_of_forty_chars.wav";
    form->Params.LoopStart = 0;
    form->Params.LoopEnd = 22049;
    form->Params.Flags = 0x1FF;
    form->Params.MaxDistance = 12345.678f;
    Show();
    EXPECT_EQ(Text("edSoundName"), "New Sound");
    EXPECT_EQ(Text("edFileName"), "a_very_long_file_name_of_forty_cha");
    EXPECT_EQ(Text("edLoopEnd"), "22049");
    EXPECT_EQ(Text("edMaxDist"), "12345.680");
    for (int i = 0; i < 9; ++i)
        EXPECT_TRUE(Control<TFrmGamSound>("FrmSnd")->FlagBox(i)->isChecked());
}

TEST_F(SaveGamDialogTest, AcceptedValuesAreStoredAsEachOneParses)
{
    FillValid(dir.filePath("new.gam"));
    ClickCheckBox("CheckBox1");
    ClickCheckBox("CheckBox8");
    ClickCheckBox("CheckBox9");
    ClickOk();
    EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.Texts().join('|').toStdString();
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->GetSoundName().ToString(), "Roar");
    EXPECT_EQ(form->GetFileName().ToString(), "roar.wav");
    EXPECT_EQ(form->GetFlags(), 0x101u);
    EXPECT_EQ(form->GetLoopStart(), 5);
    EXPECT_EQ(form->GetLoopEnd(), 999);
    EXPECT_EQ(form->GetOuterConeVolume(), 0.5f);
    EXPECT_EQ(form->GetInnerConeAngle(), 90);
    EXPECT_EQ(form->GetOuterConeAngle(), 180);
    EXPECT_EQ(form->GetMaxDistance(), 100.25f);
    EXPECT_EQ(form->GetMinDistance(), 2.0f);
    EXPECT_EQ(form->GetImportAdjust(), 0.75f);
}

TEST_F(SaveGamDialogTest, MissingTableFileIsReportedFirst)
{
    Type("edGamFile", "");
    Type("edSoundName", "");
    ClickOk();
    ExpectStopped(0, "No gam file specified!", TMsgDlgType::Custom, mbOK, "edGamFile");
}

TEST_F(SaveGamDialogTest, MissingNamesAskAndNoSendsTheUserBack)
{
    FillValid(dir.filePath("names.gam"));
    Type("edSoundName", "");
    Type("edFileName", "");

    dialogs.PlanAnswer(mrNo);
    ClickOk();
    ExpectStopped(0, "No sound name specified. Continue?", TMsgDlgType::Warning, mbYes | mbNo, "edSoundName");

    dialogs.PlanAnswer(mrYes);
    dialogs.PlanAnswer(mrNo);
    ClickOk();
    ExpectStopped(2, "No file name specified. Continue?", TMsgDlgType::Warning, mbYes | mbNo, "edFileName");
    EXPECT_EQ(form->GetLoopStart(), 0) << "nothing is stored before the questions are through";
    EXPECT_EQ(StoredGamFileName(), "<no key>");

    dialogs.PlanAnswer(mrYes);
    dialogs.PlanAnswer(mrYes);
    ClickOk();
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_TRUE(form->GetSoundName().IsEmpty());
    EXPECT_TRUE(form->GetFileName().IsEmpty());
}

// Each numeric edit in turn holds text that is no number of its kind: the edits before it
// are stored, it and the ones after keep their old values.
TEST_F(SaveGamDialogTest, IllegalInputStopsAtTheFirstBadEdit)
{
    const char* edits[] = {"edLoopStart", "edLoopEnd", "edOuterVolume", "edInnerCone",
                           "edOuterCone", "edMaxDist", "edMinDist",     "edImportAdj"};
    const bool integer[] = {true, true, false, true, true, false, false, false};
    auto stored = [this] {
        return std::vector<double>{double(form->GetLoopStart()),       double(form->GetLoopEnd()),
                                   double(form->GetOuterConeVolume()), double(form->GetInnerConeAngle()),
                                   double(form->GetOuterConeAngle()),  double(form->GetMaxDistance()),
                                   double(form->GetMinDistance()),     double(form->GetImportAdjust())};
    };
    const std::vector<double> before = stored();
    const std::vector<double> typed = {5, 999, 0.5, 90, 180, 100.25, 2, 0.75};
    for (int bad = 0; bad < 8; ++bad) {
        SCOPED_TRACE(edits[bad]);
        for (const QString& text : integer[bad] ? QStringList{"12abc", "1.5", "4294967296", ""}
                                                : QStringList{"x", "nan", "inf", "1e39", "2.5.1"}) {
            form->hide();
            form->FormCreate();
            Show();
            dialogs.boxes.clear();
            FillValid(dir.filePath("bad.gam"));
            ClickCheckBox("CheckBox2");
            Type(edits[bad], text);
            ClickOk();
            SCOPED_TRACE(text.toStdString());
            ExpectStopped(0, "Illegal Input!", TMsgDlgType::Custom, mbOK, edits[bad]);
            const std::vector<double> now = stored();
            for (int i = 0; i < 8; ++i)
                EXPECT_EQ(now[i], i < bad ? typed[i] : before[i]) << "field " << i << " after " << text.toStdString();
            EXPECT_EQ(form->GetSoundName().ToString(), "Roar");
            EXPECT_EQ(form->GetFlags(), 0x82u) << "flags are stored before the numbers";
            EXPECT_EQ(StoredGamFileName(), "<no key>") << "the path is remembered only once all parsed";
        }
    }
}

TEST_F(SaveGamDialogTest, FractionsOnlyForReals)
{
    FillValid(dir.filePath("f.gam"));
    Type("edOuterVolume", "0.125");
    Type("edLoopEnd", "10.5");
    ClickOk();
    EXPECT_EQ(dialogs.Texts(), QStringList{"Illegal Input!"});
    EXPECT_EQ(form->focusWidget(), Control("edLoopEnd"));
    Type("edLoopEnd", "10");
    ClickOk();
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(form->GetOuterConeVolume(), 0.125f);
}

TEST_F(SaveGamDialogTest, DeclinedOverwriteKeepsTheDialogOpenWithEverythingStored)
{
    const QString path = dir.filePath("old.gam");
    WriteFile(path, "old content");
    FillValid(path);
    dialogs.PlanAnswer(mrNo);
    ClickOk();
    ExpectStopped(0, "\"" + path + "\" exists. Overwrite?", TMsgDlgType::Warning, mbYes | mbNo, "BitBtn1");
    EXPECT_EQ(StoredGamFileName(), path);
    EXPECT_EQ(form->GetSoundName().ToString(), "Roar");
    EXPECT_EQ(form->GetImportAdjust(), 0.75f);
    EXPECT_EQ(ReadFile(path), "old content");

    dialogs.PlanAnswer(mrYes);
    ClickOk();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
}

TEST_F(SaveGamDialogTest, CancelAfterARejectedOkKeepsWhatWasStoredAndForgetsTheRest)
{
    FillValid(dir.filePath("c.gam"));
    Type("edInnerCone", "wide");
    ClickOk();
    ASSERT_EQ(dialogs.Texts(), QStringList{"Illegal Input!"});
    QTest::mouseClick(Control<QPushButton>("BitBtn2"), Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_EQ(form->GetOuterConeVolume(), 0.5f);
    EXPECT_EQ(form->GetInnerConeAngle(), 360);
    EXPECT_EQ(form->GetMaxDistance(), 256.0f);

    Show();
    EXPECT_EQ(Text("edLoopEnd"), "999");
    EXPECT_EQ(Text("edOuterVolume"), "0.500");
    EXPECT_EQ(Text("edInnerCone"), "360") << "typed text that was never stored is gone";
    EXPECT_EQ(Text("edOuterCone"), "360");
}

TEST_F(SaveGamDialogTest, EveryWayOfClosingClosesThePlayer)
{
    FillValid(dir.filePath("p.gam"));
    ClickOk();
    EXPECT_EQ(playerCloses, 1) << "OK";

    Show();
    QTest::mouseClick(Control<QPushButton>("BitBtn2"), Qt::LeftButton);
    EXPECT_EQ(playerCloses, 2) << "Cancel";

    Show();
    QTest::keyClick(Control("edSoundName"), Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(playerCloses, 3) << "Escape";

    Show();
    form->close();
    EXPECT_EQ(playerCloses, 4) << "close box";
    EXPECT_EQ(form->result(), QDialog::Rejected);

    Show();
    Control("edSoundName")->setFocus();
    QTest::keyClick(Control("edSoundName"), Qt::Key_Return);
    EXPECT_FALSE(form->isVisible()) << "Enter presses OK";
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(playerCloses, 5);
}

TEST_F(SaveGamDialogTest, BrowseOffersTheCurrentPathAndTakesTheChosenOne)
{
    Type("edGamFile", "/somewhere/old.gam");
    dialogs.PlanFiles(std::nullopt);
    QTest::mouseClick(Control<QPushButton>("Button1"), Qt::LeftButton);
    EXPECT_EQ(Text("edGamFile"), "/somewhere/old.gam") << "cancelled";
    dialogs.PlanFiles(QStringList{"/elsewhere/new.gam"});
    QTest::mouseClick(Control<QPushButton>("Button1"), Qt::LeftButton);
    EXPECT_EQ(Text("edGamFile"), "/elsewhere/new.gam");

    ASSERT_EQ(dialogs.fileRuns.size(), 2u);
    const ScriptedDialogs::FileRun& run = dialogs.fileRuns[0];
    EXPECT_EQ(run.kind, TFileDialogKind::Save);
    EXPECT_EQ(run.fileName, "/somewhere/old.gam");
    EXPECT_EQ(run.defaultExt, "gam");
    EXPECT_EQ(run.filter, "Orvalis GAM file (*.gam)|*.gam");
    EXPECT_EQ(run.options, ofHideReadOnly | ofPathMustExist | ofEnableSizing) << "no overwrite question of its own";
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(SaveGamDialogTest, NumbersFollowTheUsersLocale)
{
    form->hide();
    const ScopedLocale german(QLocale::German, QLocale::Germany);
    Show();
    EXPECT_EQ(Text("edMaxDist"), "256,000");
    FillValid(dir.filePath("de.gam"));
    ClickOk();
    EXPECT_EQ(dialogs.Texts(), QStringList{"Illegal Input!"}) << "0.5 is no German number";
    EXPECT_EQ(form->focusWidget(), Control("edOuterVolume"));

    Type("edOuterVolume", "0,5");
    Type("edMaxDist", "1e3");
    Type("edMinDist", "2,5");
    Type("edImportAdj", "-0,75");
    ClickOk();
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(form->GetOuterConeVolume(), 0.5f);
    EXPECT_EQ(form->GetMaxDistance(), 1000.0f);
    EXPECT_EQ(form->GetMinDistance(), 2.5f);
    EXPECT_EQ(form->GetImportAdjust(), -0.75f);
}

}  // namespace
