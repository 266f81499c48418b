#include "about/Unit2.h"
#include "forms/UrlLabel.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedShell.h"
#include "ui_Unit2.h"

#include <QFrame>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class AboutBoxTest : public ::testing::Test {
protected:
    AboutBoxTest()
    {
        box.ClosePlayer = [this] { ++playerClosings; };
    }
    void Show()
    {
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    }

    ScriptedShell shell;
    ScriptedDialogs dialogs;
    TAboutBox box;
    int playerClosings = 0;
};

TEST_F(AboutBoxTest, LayoutHoldsItsPlacesAndTexts)
{
    EXPECT_EQ(box.objectName(), "AboutBox");
    EXPECT_EQ(box.windowTitle(), "Info");
    EXPECT_EQ(box.size(), QSize(213, 140));
    EXPECT_EQ(box.minimumSize(), box.maximumSize()) << "a dialog border: the size is fixed";

    const Ui::TAboutBox& ui = *box.ui;
    EXPECT_EQ(ui.Panel1->geometry(), QRect(8, 8, 197, 101));
    EXPECT_EQ(ui.Panel1->frameShape(), QFrame::Box);
    EXPECT_EQ(ui.Panel1->frameShadow(), QFrame::Sunken) << "a lowered outer and a raised inner bevel";
    EXPECT_EQ(ui.Panel1->frameWidth(), 2);
    EXPECT_FALSE(ui.Panel1->autoFillBackground()) << "the form's colour";

    const std::pair<QLabel*, QPoint> labels[] = {
        {ui.ProductName, {8, 8}}, {ui.Version, {8, 32}}, {ui.Copyright, {8, 56}}, {ui.UrlLabel1, {8, 80}}};
    for (auto [label, at] : labels) {
        EXPECT_EQ(label->parentWidget(), ui.Panel1) << label->objectName().toStdString();
        EXPECT_EQ(label->pos(), at) << label->objectName().toStdString();
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
    }
    EXPECT_EQ(ui.ProductName->text(), "Orvalis Jeerbox");
    EXPECT_TRUE(ui.ProductName->font().bold());
    EXPECT_EQ(ui.Version->text(), "Version 1.0");
    EXPECT_FALSE(ui.Version->font().bold());
    EXPECT_TRUE(ui.Copyright->text().contains("2026"));

    EXPECT_EQ(ui.OKButton->geometry(), QRect(67, 112, 75, 25));
    EXPECT_EQ(ui.OKButton->text(), "OK");
    EXPECT_TRUE(ui.OKButton->isDefault());

    // The mail link: its caption set first, then its URL, which stays.
    TUrlLabel* link = ui.UrlLabel1;
    EXPECT_EQ(link->text(), "jeerbox@orvalis.example");
    EXPECT_EQ(link->URL(), "mailto:jeerbox@orvalis.example");
    EXPECT_TRUE(link->URLSet());
    EXPECT_EQ(link->palette().color(QPalette::Active, QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(link->OnExecFail) << "failures go to the default error display";
}

TEST_F(AboutBoxTest, EveryCaptionIsWholeInsideThePanel)
{
    Show();
    const Ui::TAboutBox& ui = *box.ui;
    const QRect inside = ui.Panel1->contentsRect();
    QLabel* const labels[] = {ui.ProductName, ui.Version, ui.Copyright, ui.UrlLabel1};
    for (QLabel* label : labels) {
        const std::string name = label->objectName().toStdString();
        // The text's ink, where the label draws it.
        const QRect ink = label->fontMetrics().boundingRect(label->text()).translated(label->contentsRect().left(), 0);
        EXPECT_GE(ink.left(), 0) << name;
        EXPECT_LT(ink.right(), label->width()) << name;
        EXPECT_GE(label->height(), label->fontMetrics().height()) << name;
        EXPECT_TRUE(inside.contains(label->geometry())) << name << " reaches past the panel's bevel";
    }
    EXPECT_LT(ui.UrlLabel1->width(), inside.width()) << "only the address itself is a link";
    for (int i = 0; i + 1 < 4; ++i)
        EXPECT_LT(labels[i]->geometry().bottom(), labels[i + 1]->y()) << "the labels do not overlap";
    EXPECT_LE(ui.OKButton->fontMetrics().horizontalAdvance(ui.OKButton->text()) + 16, ui.OKButton->width());
}

TEST_F(AboutBoxTest, TheLabelsFollowANewFontForTheBox)
{
    TUrlLabel* link = box.ui->UrlLabel1;
    const int width = link->width();
    QFont larger = box.font();
    larger.setPixelSize(link->fontMetrics().height() + 4);
    box.setFont(larger);
    EXPECT_GT(link->width(), width);
    EXPECT_LT(link->fontMetrics().boundingRect(link->text()).right() + link->contentsRect().left(), link->width());
    EXPECT_TRUE(link->font().underline());
    EXPECT_TRUE(box.ui->ProductName->font().bold());
}

TEST_F(AboutBoxTest, ShowsCentredOnTheScreenAndModally)
{
    bool modal = false;
    QPoint centre;
    QTimer::singleShot(0, &box, [&] {
        modal = box.isModal() && box.isVisible();
        centre = box.frameGeometry().center();
        box.ui->OKButton->click();
    });
    EXPECT_EQ(box.exec(), QDialog::Accepted);
    EXPECT_TRUE(modal);
    const QPoint screenCentre = box.screen()->availableGeometry().center();
    EXPECT_LE((centre - screenCentre).manhattanLength(), 2);
    EXPECT_EQ(playerClosings, 1);
}

TEST_F(AboutBoxTest, EscapeKeepsItOpenEnterAndTheCloseBoxCloseItAndEachHidingStopsThePlayer)
{
    Show();
    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_TRUE(box.isVisible()) << "there is nothing to cancel";
    EXPECT_EQ(playerClosings, 0);

    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);
    EXPECT_EQ(playerClosings, 1);

    Show();
    EXPECT_TRUE(box.close());
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(playerClosings, 2);

    Show();
    QTest::mouseClick(box.ui->OKButton, Qt::LeftButton);
    EXPECT_EQ(box.result(), QDialog::Accepted);
    EXPECT_EQ(playerClosings, 3);
}

TEST_F(AboutBoxTest, TheMailLinkOpensItsAddressAndAFailureIsShownWithTheBoxStillOpen)
{
    Show();
    TUrlLabel* link = box.ui->UrlLabel1;
    QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(3, link->height() / 2));
    ASSERT_EQ(shell.Requests.size(), 1u);
    EXPECT_EQ(shell.Requests[0].File, "mailto:jeerbox@orvalis.example");
    EXPECT_EQ(shell.Requests[0].Operation, "open");

    shell.Plan(SE_ERR_NOASSOC);
    QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(3, link->height() / 2));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Action failed! Win32 error code: 31.");
    EXPECT_EQ(dialogs.boxes[0].type, TMsgDlgType::Error);
    EXPECT_TRUE(box.isVisible());
    EXPECT_EQ(playerClosings, 0);
}

}  // namespace
