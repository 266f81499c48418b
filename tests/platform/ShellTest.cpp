#include "platform/Shell.h"
#include "support/ScriptedShell.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The desktop's shell with a URL handler that records what it is handed instead of starting
// a program.
class DesktopShellTest : public ::testing::Test {
protected:
    intptr_t Open(const QString& file, const QString& directory = QString(),
                  const QString& verb = QStringLiteral("open"))
    {
        return shell.Execute(nullptr, verb, file, QString(), directory, SW_SHOWNORMAL);
    }
    QString MakeFile(const QString& name)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return file.fileName();
    }

    QTemporaryDir dir;
    std::vector<QUrl> handed;
    bool handlerTakes = true;
    TDesktopShell shell{[this](const QUrl& url) {
        handed.push_back(url);
        return handlerTakes;
    }};
};

TEST_F(DesktopShellTest, HandsUrlsAndExistingFilesToTheDesktopAsUrls)
{
    EXPECT_EQ(Open(QStringLiteral("mailto:jeerbox@orvalis.example")), SE_OPENED);
    EXPECT_EQ(Open(QStringLiteral("https://orvalis.example/taunts?x=1")), SE_OPENED);
    const QString file = MakeFile(QStringLiteral("read me.txt"));
    EXPECT_EQ(Open(QStringLiteral("read me.txt"), dir.path()), SE_OPENED) << "relative to the working folder";
    EXPECT_EQ(Open(file), SE_OPENED);
    EXPECT_EQ(Open(QUrl::fromLocalFile(file).toString()), SE_OPENED) << "a blank in a URL is taken as it is";
    EXPECT_EQ(Open(QString::fromLatin1(QUrl::fromLocalFile(file).toEncoded())), SE_OPENED);
    EXPECT_EQ(Open(QUrl::fromLocalFile(file).toString(), QString(), QStringLiteral("OPEN")), SE_OPENED);
    EXPECT_EQ(Open(QUrl::fromLocalFile(file).toString(), QString(), QString()), SE_OPENED) << "no verb is open";

    ASSERT_EQ(handed.size(), 8u);
    EXPECT_EQ(handed[0], QUrl(QStringLiteral("mailto:jeerbox@orvalis.example")));
    EXPECT_EQ(handed[1], QUrl(QStringLiteral("https://orvalis.example/taunts?x=1")));
    for (size_t i = 2; i < handed.size(); ++i)
        EXPECT_EQ(handed[i], QUrl::fromLocalFile(file)) << i;
}

TEST_F(DesktopShellTest, RelativePathsWithoutAFolderAreTakenFromTheCurrentOne)
{
    MakeFile(QStringLiteral("here.txt"));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const intptr_t result = Open(QStringLiteral("here.txt"));
    QDir::setCurrent(before);
    EXPECT_EQ(result, SE_OPENED);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0], QUrl::fromLocalFile(dir.filePath(QStringLiteral("here.txt"))));
}

// Every refusal is a code of 32 or less, and a target that names nothing never reaches the
// desktop: no program is started for it, nor given it as an option.
TEST_F(DesktopShellTest, SaysWhyItCouldNotOpenAndStartsNothingForTargetsThatNameNothing)
{
    EXPECT_EQ(Open(QString()), SE_ERR_FNF);
    EXPECT_EQ(Open(QStringLiteral("Hello")), SE_ERR_FNF) << "a plain word is a file name";
    EXPECT_EQ(Open(QStringLiteral("--help")), SE_ERR_FNF);
    EXPECT_EQ(Open(QStringLiteral("C:\\taunts\\a.wav")), SE_ERR_FNF) << "a drive letter is no scheme";
    EXPECT_EQ(Open(QStringLiteral("missing.txt"), dir.path()), SE_ERR_FNF);
    EXPECT_EQ(Open(QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.txt"))).toString()), SE_ERR_FNF);
    EXPECT_EQ(Open(QStringLiteral("http://exa mple.org/")), SE_ERR_FNF) << "not a valid URL";
    EXPECT_EQ(Open(QStringLiteral("a.txt"), dir.filePath(QStringLiteral("no such folder"))), SE_ERR_PNF);
    EXPECT_EQ(Open(QStringLiteral("mailto:jeerbox@orvalis.example"), QString(), QStringLiteral("print")),
              SE_ERR_NOASSOC);
    EXPECT_TRUE(handed.empty());

    handlerTakes = false;
    EXPECT_EQ(Open(QStringLiteral("gopher://orvalis.example/")), SE_ERR_NOASSOC) << "no program for the scheme";
    EXPECT_EQ(handed.size(), 1u);
    for (intptr_t code : {SE_ERR_FNF, SE_ERR_PNF, SE_ERR_NOASSOC})
        EXPECT_LE(code, 32);
    EXPECT_GT(SE_OPENED, 32);
}

TEST(ShellTest, ShellExecuteGoesThroughTheInstalledShellAndBackToTheDesktopsAfter)
{
    {
        ScriptedShell scripted;
        scripted.Plan(SE_ERR_NOASSOC);
        EXPECT_EQ(ShellExecute(nullptr, QStringLiteral("open"), QStringLiteral("mailto:a@b.example"), QString(),
                               QString(), SW_SHOWNORMAL),
                  SE_ERR_NOASSOC);
        EXPECT_EQ(scripted.Requests.size(), 1u);
    }
    EXPECT_NE(dynamic_cast<TDesktopShell*>(&Shell()), nullptr);
}

}  // namespace
