#include "ClipWorkbench.h"

#include "app/frmFinish.h"
#include "ui_frmFinish.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <functional>

namespace {

class FinishCommandTest : public ClipTest {
protected:
    // Ctrl+F; `fill` sets the shown dialog, then OK is clicked, and Cancel if OK left it open.
    void Finish(const std::function<void(Ui::TFinishDlg&)>& fill)
    {
        QTimer::singleShot(0, [&] {
            Ui::TFinishDlg& dlg = *Form().FinishDlg->ui;
            for (QCheckBox* box : Form().FinishDlg->findChildren<QCheckBox*>())
                box->setChecked(false);
            fill(dlg);
            dlg.OKBtn->click();
            if (Form().FinishDlg->isVisible())
                dlg.CancelBtn->click();
        });
        Key(Qt::Key_F);
    }
    // Ctrl and a key, with the window active again as the desktop makes it after a dialog.
    void Key(Qt::Key key)
    {
        QApplication::setActiveWindow(&Form());
        PressKey(key, Qt::ControlModifier);
    }
};

QByteArray Voice()
{
    QByteArray sound(4000, '\x80');
    for (int i = 500; i < 3500; ++i)
        sound[i] = char(128 + int(std::lround(20 * std::sin(i * 0.3))));
    return sound;
}

TEST_F(FinishCommandTest, FinishesTheWholeSoundPlaysItAndCtrlZGivesItBack)
{
    const QByteArray before = Voice();
    ConvertTaunt(before);
    const int plays = Plays();
    Finish([](Ui::TFinishDlg& dlg) {
        dlg.Trim->setChecked(true);
        dlg.edTrim->setText(QStringLiteral("-30"));
        dlg.Normalize->setChecked(true);
        dlg.Fade->setChecked(true);
    });

    std::vector<uint8_t> expected(before.begin(), before.end());
    TFinishRecipe recipe;
    recipe.TrimDb = -30, recipe.Normalize = true, recipe.FadeMs = 5;
    FinishTaunt(expected, recipe);
    EXPECT_EQ(Converted(), QByteArray(reinterpret_cast<const char*>(expected.data()), int(expected.size())));
    EXPECT_EQ(SizeLabel(), QStringLiteral("(%1 Bytes)").arg(expected.size()));
    EXPECT_EQ(Plays(), plays + 1);
    EXPECT_EQ(StoredSetting(QStringLiteral("Finish")), "0;1;0;1;0;1;0;80;-30;3;-16;5");

    Key(Qt::Key_Z);
    EXPECT_EQ(Converted(), before);
    EXPECT_EQ(Plays(), plays + 2);
}

TEST_F(FinishCommandTest, NonsenseIsRefusedNamingTheFieldAndChangesNothing)
{
    ConvertTaunt(Voice());
    // A field's box and, named after it with "ed" before, its value.
    const char* const cases[][3] = {{"HighPass", "0", "High-pass below: "},
                                    {"Compress", "nan", "Level speech, ratio: "},
                                    {"Fade", "500", "Fade the ends over: the fade is longer"}};
    for (const auto& c : cases) {
        dialogs.boxes.clear();
        const int plays = Plays();
        Finish([&](Ui::TFinishDlg&) {
            Form().FinishDlg->findChild<QCheckBox*>(QLatin1String(c[0]))->setChecked(true);
            Form().FinishDlg->findChild<QLineEdit*>(QStringLiteral("ed") + QLatin1String(c[0]))->setText(c[1]);
        });
        ASSERT_EQ(dialogs.boxes.size(), 1u) << c[1];
        EXPECT_TRUE(dialogs.boxes[0].text.startsWith(QLatin1String(c[2]))) << dialogs.boxes[0].text.toStdString();
        EXPECT_EQ(Converted(), Voice());
        EXPECT_EQ(Plays(), plays);
    }
}

}  // namespace
