#include "GamTestSupport.h"
#include "gamtable/GamExport.h"
#include "gamtable/frmSaveGam.h"
#include "support/FileSizeLimit.h"
#include "support/RunAsNobody.h"
#include "support/ScriptedDialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

namespace {

class GamExportTest : public ::testing::Test {
protected:
    void SetUp() override { form = std::make_unique<TForm3>(); }

    QLineEdit* Edit(const char* name) const { return form->findChild<QLineEdit*>(QString::fromLatin1(name)); }
    void Type(const char* edit, const QString& text) const
    {
        Edit(edit)->clear();
        QTest::keyClicks(Edit(edit), text);
    }
    void ClickOk() const { QTest::mouseClick(form->findChild<QPushButton*>("BitBtn1"), Qt::LeftButton); }

    // Runs the export command; `user` acts inside the modal dialog and must close it.
    void RunExport(const std::function<void()>& user)
    {
        bool acted = false;
        QTimer::singleShot(0, form.get(), [&] {
            acted = true;
            user();
            if (form->isVisible()) {
                ADD_FAILURE() << "the dialog stayed open";
                form->reject();
            }
        });
        ExportToGamFile(*form);
        EXPECT_TRUE(acted);
    }
    // The user fills in everything and confirms.
    void ExportTo(const QString& path)
    {
        RunExport([&] {
            Type("edGamFile", path);
            Type("edSoundName", "Roar");
            Type("edFileName", "roar.wav");
            Type("edLoopEnd", "4410");
            Type("edMaxDist", "100.5");
            Type("edInnerCone", "90");
            Type("edOuterCone", "270");
            ClickOk();
        });
    }
    // The page of what the user filled in, named "Roar".
    static QByteArray RoarPage(const QByteArray& name = "Roar", const QByteArray& fileName = "roar.wav")
    {
        return SoundPage(name, fileName,
                         QByteArray::fromHex("80000000"  // flags: Listener update
                                             "00000000"  // loop start
                                             "3a110000"  // loop end 4410
                                             "0000803f"  // outer cone volume 1.0
                                             "5a000000"  // inner cone angle 90
                                             "0e010000"  // outer cone angle 270
                                             "0000c942"  // maximum distance 100.5
                                             "00002041"  // minimum distance 10.0
                                             "0000803f"));  // import adjust 1.0
    }
    QStringList Entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System); }
    std::vector<ScriptedDialogs::Box> Errors() const
    {
        std::vector<ScriptedDialogs::Box> errors;
        for (const ScriptedDialogs::Box& box : dialogs.boxes)
            if (box.type == TMsgDlgType::Error)
                errors.push_back(box);
        return errors;
    }

    ScopedSettingsFolder settings;
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    std::unique_ptr<TForm3> form;
};

TEST_F(GamExportTest, WritesAFileHoldingExactlyOnePage)
{
    const QString path = dir.filePath("taunts.gam");
    ExportTo(path);
    EXPECT_TRUE(dialogs.boxes.empty()) << "no message confirms an export";
    EXPECT_EQ(ReadFile(path).toHex(), RoarPage().toHex());
    EXPECT_EQ(ReadFile(path).size(), 45 + 4 + 8);
    EXPECT_EQ(Entries(), QStringList{"taunts.gam"}) << "nothing left beside it";
}

TEST_F(GamExportTest, OverwritingReplacesTheWholeOldFile)
{
    const QString path = dir.filePath("old.gam");
    WriteFile(path, QByteArray(500, 'x'));
    dialogs.PlanAnswer(mrYes);
    ExportTo(path);
    ASSERT_EQ(dialogs.Texts(), QStringList{"\"" + path + "\" exists. Overwrite?"});
    EXPECT_EQ(ReadFile(path), RoarPage());
    EXPECT_EQ(Entries(), QStringList{"old.gam"});
}

TEST_F(GamExportTest, ConfirmedEmptyNamesAndWorkbenchPresetsReachThePage)
{
    const QString path = dir.filePath("empty.gam");
    form->SoundName = "Preset";
    form->FileName = "preset.wav";
    form->Params.LoopEnd = -1;
    RunExport([&] {
        Type("edGamFile", path);
        Type("edSoundName", "");
        Type("edFileName", "");
        QTest::mouseClick(form->findChild<QCheckBox*>("CheckBox1"), Qt::LeftButton, {}, QPoint(6, 8));
        ClickOk();
    });
    EXPECT_EQ(dialogs.boxes.size(), 2u) << "both questions answered Yes";
    const QByteArray expected = QByteArray::fromHex("81000000"  // Looped and Listener update
                                                    "00000000"
                                                    "ffffffff"  // the preset loop end
                                                    "0000803f"
                                                    "68010000"  // both cone angles 360
                                                    "68010000"
                                                    "00008043"  // 256.0
                                                    "00002041"  // 10.0
                                                    "0000803f");
    EXPECT_EQ(ReadFile(path).toHex(), SoundPage("New Sound", "", expected).toHex());
}

TEST_F(GamExportTest, CancelWritesNothing)
{
    const QString path = dir.filePath("keep.gam");
    WriteFile(path, "keep");
    RunExport([&] {
        Type("edGamFile", path);
        QTest::mouseClick(form->findChild<QPushButton*>("BitBtn2"), Qt::LeftButton);
    });
    EXPECT_EQ(ReadFile(path), "keep");
    EXPECT_EQ(Entries(), QStringList{"keep.gam"});
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(GamExportTest, WriteFailingPartWayLeavesTheOldFileAndNoScraps)
{
    const QString path = dir.filePath("precious.gam");
    const QByteArray old = RoarPage("Old", "old.wav");
    WriteFile(path, old);
    std::unique_ptr<ScopedFileSizeLimit> limit;
    RunExport([&] {
        Type("edGamFile", path);
        Type("edSoundName", "A much longer name than before");
        ClickOk();
        // Room for the first 20 bytes of the page only.
        limit = std::make_unique<ScopedFileSizeLimit>(20);
    });
    limit.reset();
    const auto errors = Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].caption, "Orvalis Jeerbox");
    EXPECT_EQ(errors[0].text, "Stream write error.");
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(Entries(), QStringList{"precious.gam"});
}

TEST_F(GamExportTest, TableFileThatCannotBeCreatedIsReportedByName)
{
    const QString missing = dir.filePath("no/such/folder/t.gam");
    ExportTo(missing);
    auto errors = Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].text.startsWith("Cannot create file \"" + missing + "\". ")) << errors[0].text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(missing));

    dialogs.boxes.clear();
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.gam"));
    ExportTo(dir.filePath("folder.gam"));
    EXPECT_TRUE(dialogs.Texts().filter("Overwrite").isEmpty()) << "a folder is no file to overwrite";
    errors = Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].text.startsWith("Cannot create file \"" + dir.filePath("folder.gam") + "\". "));
    EXPECT_TRUE(QFileInfo(dir.filePath("folder.gam")).isDir());
    EXPECT_EQ(Entries(), QStringList{});

    form->findChild<QLineEdit*>("edGamFile")->clear();
    EXPECT_THROW(ExportSoundPage(*form), EFCreateError) << "no name is no file, not a file in some folder";
}

TEST_F(GamExportTest, ReadOnlyFileIsNotReplacedAndAWritableOneInAReadOnlyFolderIsWrittenInPlace)
{
    RunAsNobody nobody(dir.path().toStdString());
    if (!nobody.Active())
        GTEST_SKIP() << "cannot leave root here; the failing write is tested with a file size limit";
    const QString path = dir.filePath("locked.gam");
    WriteFile(path, "locked");

    QFile::setPermissions(path, QFile::ReadOwner);
    ExportTo(path);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_TRUE(Errors()[0].text.startsWith("Cannot create file \"" + path + "\". "));
    EXPECT_EQ(ReadFile(path), "locked");

    dialogs.boxes.clear();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    WriteFile(path, QByteArray(300, 'x'));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    ExportTo(path);
    ExportTo(dir.filePath("new.gam"));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_EQ(Errors().size(), 1u) << "only the new file in the read-only folder fails";
    EXPECT_TRUE(Errors()[0].text.startsWith("Cannot create file \"" + dir.filePath("new.gam") + "\". "));
    EXPECT_EQ(ReadFile(path), RoarPage()) << "written in place, cut to its length";
    EXPECT_EQ(Entries(), QStringList{"locked.gam"});
}

TEST_F(GamExportTest, ReplacedFileKeepsItsPermissionsAndLinksKeepPointingAtIt)
{
    const QString real = dir.filePath("real.gam");
    const QString link = dir.filePath("link.gam");
    WriteFile(real, "old");
    ASSERT_TRUE(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QFile::Permissions permissions = QFile::permissions(real);
    ASSERT_TRUE(QFile::link(real, link));
    ExportTo(link);
    EXPECT_TRUE(Errors().empty());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadFile(real), RoarPage());
    EXPECT_EQ(QFile::permissions(real), permissions);
}

}  // namespace
