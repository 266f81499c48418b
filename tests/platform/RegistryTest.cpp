#include "platform/Registry.h"
#include "support/QtFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString key = QStringLiteral("\\Software\\Jeerbox");

// Points the store at a folder of the test's own for as long as it lives.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", saved); }
    QTemporaryDir dir;
    QByteArray saved;
};

TEST_F(RegistryTest, MissingKeyIsNotOpenedWithoutCreatingIt)
{
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(key, false));
    EXPECT_TRUE(reg.ReadString("OpenDir").isEmpty());
    EXPECT_FALSE(QFileInfo::exists(TRegistry::StorePath())) << "reading creates nothing";
}

TEST_F(RegistryTest, ValuesSurviveANewRegistryObjectAndMissingValuesReadEmpty)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(key, true));
        reg.WriteString("OpenDir", "/home/user/sounds with blanks/");
        reg.WriteString("GamFileName", "C:\\Games\\taunts=1;2.gam");
        reg.CloseKey();
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(key, false));
    EXPECT_EQ(reg.ReadString("OpenDir"), "/home/user/sounds with blanks/");
    EXPECT_EQ(reg.ReadString("GamFileName"), "C:\\Games\\taunts=1;2.gam");
    EXPECT_EQ(reg.ReadString("SaveDir"), "");
    EXPECT_FALSE(reg.OpenKey("\\Software\\Other", false)) << "keys are separate";
}

TEST_F(RegistryTest, CreatedKeyExistsBeforeItHoldsAValue)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.CloseKey();
    EXPECT_TRUE(reg.OpenKey(key, false));
}

TEST_F(RegistryTest, StoreThatCannotBeUsedMeansTheKeyCannotBeOpened)
{
    // The folder for the store is taken by a plain file: nothing can be created there.
    WriteFile(dir.filePath("Jeerbox"), "not a folder");
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(key, true));
    EXPECT_FALSE(reg.OpenKey(key, false));
    reg.WriteString("OpenDir", "x");  // silently nothing
    EXPECT_TRUE(reg.ReadString("OpenDir").isEmpty());

    // The store's own name is taken by a folder: it can be neither read nor written.
    QFile::remove(dir.filePath("Jeerbox"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("Jeerbox/registry.ini"));
    EXPECT_FALSE(reg.OpenKey(key, true));
    EXPECT_FALSE(reg.OpenKey(key, false));
}

}  // namespace
