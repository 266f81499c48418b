#include "framework/Exception.h"
#include "forms/UrlLabel.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedShell.h"

#include <QApplication>
#include <QMainWindow>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class UrlLabelTest : public ::testing::Test {
protected:
    static void Click(QWidget* label, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(label, button, Qt::NoModifier, QPoint(2, 2));
    }
    static QColor TextColour(const QLabel& label)
    {
        return label.palette().color(QPalette::Active, QPalette::WindowText);
    }
    static QColor SystemTextColour() { return QApplication::palette().color(QPalette::Active, QPalette::WindowText); }

    ScriptedShell shell;
    ScriptedDialogs dialogs;
};

TEST_F(UrlLabelTest, ALabelWithOnlyACaptionOpensItsCaptionAndStaysPlain)
{
    TUrlLabel label;
    label.SetCaption(QStringLiteral("https://orvalis.example/"));
    EXPECT_EQ(label.URL(), "https://orvalis.example/");
    EXPECT_FALSE(label.URLSet());
    label.SetCaption(QStringLiteral("<b>mailto:a@b.example</b>"));
    EXPECT_EQ(label.URL(), "<b>mailto:a@b.example</b>") << "every caption is the URL until one is given";
    EXPECT_EQ(label.textFormat(), Qt::PlainText) << "a caption is never read as markup";
    EXPECT_EQ(TextColour(label), SystemTextColour());
    EXPECT_FALSE(label.font().underline());

    label.resize(200, 20);
    label.show();
    Click(&label);
    ASSERT_EQ(shell.Requests.size(), 1u);
    const ScriptedShell::Request& r = shell.Requests[0];
    EXPECT_EQ(r.Parent, nullptr) << "a label without an owner names no window";
    EXPECT_EQ(r.Operation, "open");
    EXPECT_EQ(r.File, "<b>mailto:a@b.example</b>");
    EXPECT_EQ(r.Parameters, "");
    EXPECT_EQ(r.Directory, "");
    EXPECT_EQ(r.ShowCmd, SW_SHOWNORMAL);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(UrlLabelTest, AnExplicitUrlStaysAndSetsTheLookAnEmptyOneMakesItPlainAndInert)
{
    TUrlLabel label;
    QFont bold = label.font();
    bold.setBold(true);
    label.setFont(bold);
    label.SetCaption(QStringLiteral("Write to us"));
    label.SetURL(QStringLiteral("mailto:jeerbox@orvalis.example"));
    label.SetCaption(QStringLiteral("Mail"));
    EXPECT_TRUE(label.URLSet());
    EXPECT_EQ(label.URL(), "mailto:jeerbox@orvalis.example");
    EXPECT_EQ(label.text(), "Mail");
    EXPECT_EQ(TextColour(label), QColor(0, 0, 255));
    EXPECT_EQ(label.palette().color(QPalette::Inactive, QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(label.font().underline());
    EXPECT_TRUE(label.font().bold()) << "other styles stay";
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);

    label.Param = QStringLiteral("--subject=taunt");
    label.resize(100, 20);
    label.show();
    Click(&label);
    ASSERT_EQ(shell.Requests.size(), 1u);
    EXPECT_EQ(shell.Requests[0].File, "mailto:jeerbox@orvalis.example");
    EXPECT_EQ(shell.Requests[0].Parameters, "--subject=taunt");

    label.SetURL(QString());
    EXPECT_EQ(TextColour(label), SystemTextColour());
    EXPECT_FALSE(label.font().underline());
    EXPECT_TRUE(label.font().bold());
    EXPECT_EQ(label.cursor().shape(), Qt::ArrowCursor) << "the default cursor again";
    label.SetCaption(QStringLiteral("jeerbox@orvalis.example"));
    EXPECT_EQ(label.URL(), "") << "the URL was given: captions no longer set it";
    Click(&label);
    label.OpenURL();
    EXPECT_EQ(shell.Requests.size(), 1u) << "an empty URL opens nothing";

    label.SetURL(QStringLiteral("https://orvalis.example/"));
    EXPECT_TRUE(label.font().underline()) << "a link again";
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(UrlLabelTest, OnlyALeftClickOnTheLabelOpensIt)
{
    TUrlLabel label;
    label.SetURL(QStringLiteral("mailto:a@b.example"));
    label.resize(100, 20);
    label.show();
    Click(&label, Qt::RightButton);
    QTest::mousePress(&label, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QTest::mouseRelease(&label, Qt::LeftButton, Qt::NoModifier, QPoint(150, 2));
    EXPECT_TRUE(shell.Requests.empty()) << "a press dragged off the label is no click";
    Click(&label);
    EXPECT_EQ(shell.Requests.size(), 1u);
}

TEST_F(UrlLabelTest, AFailureGoesToTheHandlerOnceAndNothingIsRaised)
{
    TUrlLabel label;
    label.SetURL(QStringLiteral("mailto:a@b.example"));
    std::vector<int> codes;
    label.OnExecFail = [&](int WinCode) { codes.push_back(WinCode); };
    label.resize(100, 20);
    label.show();

    shell.Plan(SE_ERR_NOASSOC);
    Click(&label);
    shell.Plan(32);  // the highest failure
    EXPECT_NO_THROW(label.OpenURL());
    shell.Plan(33);  // the lowest success
    EXPECT_NO_THROW(label.OpenURL());
    EXPECT_EQ(codes, (std::vector<int>{31, 32}));
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(UrlLabelTest, WithoutAHandlerAFailureIsRaisedWithTheShellsCode)
{
    TUrlLabel label;
    label.SetURL(QStringLiteral("mailto:a@b.example"));
    shell.Plan(0);
    try {
        label.OpenURL();
        ADD_FAILURE() << "no error raised";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Action failed! Win32 error code: 0");
    }
}

TEST_F(UrlLabelTest, AClickHandlerAssignedLaterReplacesTheLink)
{
    TUrlLabel label;
    label.SetURL(QStringLiteral("mailto:a@b.example"));
    std::vector<QObject*> senders;
    label.OnClick = [&](QObject* sender) { senders.push_back(sender); };
    label.resize(100, 20);
    label.show();
    Click(&label);
    EXPECT_EQ(senders, std::vector<QObject*>{&label});
    EXPECT_TRUE(shell.Requests.empty());
}

TEST_F(UrlLabelTest, AnOwnedLabelNamesTheMainWindowToTheShell)
{
    QMainWindow main;
    QWidget page;
    (new TUrlLabel(&page))->SetURL(QStringLiteral("mailto:a@b.example"));
    page.findChild<TUrlLabel*>()->OpenURL();
    ASSERT_EQ(shell.Requests.size(), 1u);
    EXPECT_EQ(shell.Requests[0].Parent, &main);
}

TEST_F(UrlLabelTest, TheLinkLookFollowsItsWindowsFont)
{
    QWidget window;
    auto* label = new TUrlLabel(&window);
    label->SetURL(QStringLiteral("mailto:a@b.example"));
    QFont large = window.font();
    large.setPixelSize(23);
    window.setFont(large);
    EXPECT_EQ(label->font().pixelSize(), 23) << "the link keeps only its underline of its own";
    EXPECT_TRUE(label->font().underline());
}

}  // namespace
