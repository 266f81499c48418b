#include "Workbench.h"

#include "about/Unit2.h"
#include "app/Startup.h"
#include "app/frmrec.h"
#include "forms/ImageList.h"
#include "gamtable/frmSaveGam.h"
#include "sound/ACMConvertor.h"

#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cstring>
#include <functional>

namespace {

using LayoutTest = WorkbenchTest;

TEST_F(LayoutTest, TheRightColumnKeepsItsWidthAndTheListTakesTheRest)
{
    TForm1& f = Form();
    QWidget* paintBox = Control<QWidget>("PaintBox");
    EXPECT_EQ(paintBox->size(), QSize(283, 73));
    EXPECT_EQ(paintBox->cursor().shape(), Qt::SplitHCursor);

    const int listWidth = WaveList()->width();
    f.resize(900, 500);
    QApplication::processEvents();
    EXPECT_EQ(Control<QWidget>("RightColumn")->width(), 332);
    EXPECT_EQ(WaveList()->width(), listWidth + 208) << "the list takes the width the column leaves";
    EXPECT_EQ(paintBox->size(), QSize(283, 73));
    for (const char* name : {"WaveInfo", "BtnConvert", "LbSize", "Label10", "Label4", "Btn_Play", "BtnSave"}) {
        const QWidget* w = Control<QWidget>(name);
        const QRect r(w->mapTo(&f, QPoint(0, 0)), w->size());
        EXPECT_GE(r.left(), WaveList()->mapTo(&f, QPoint(0, 0)).x() + WaveList()->width()) << name;
        EXPECT_LE(r.right(), f.width()) << name;
    }
}

TEST_F(LayoutTest, ToolBarHasTwelveEntriesWithHintsAndImages)
{
    const QList<QWidget*> entries =
        Control<QToolBar>("ToolBar1")->findChildren<QWidget*>(QRegularExpression("^ToolButton"));
    const QStringList expected = {"Open files", "Clear list", "", "Play converted sound", "Record",
                                  "",           "Normalize",  "", "Export to GAM file",   "",
                                  "About...",   "Exit"};
    ASSERT_EQ(entries.size(), 12);
    int lastX = -1;
    for (int i = 0; i < 12; ++i) {
        QWidget* entry = Control<QWidget>(QStringLiteral("ToolButton%1").arg(i + 1).toLatin1());
        const bool separator = expected[i].isEmpty();
        EXPECT_GT(entry->x(), lastX) << "entries stand in order";
        lastX = entry->x();
        if (separator) {
            EXPECT_EQ(entry->width(), 8) << i + 1;
            EXPECT_EQ(qobject_cast<QToolButton*>(entry), nullptr);
        } else {
            auto* button = qobject_cast<QToolButton*>(entry);
            ASSERT_NE(button, nullptr) << i + 1;
            EXPECT_EQ(button->toolTip(), expected[i]);
            EXPECT_FALSE(button->icon().isNull()) << i + 1;
            EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
        }
    }

    // Nine different images, each 16 x 16 and really drawn (an image format that failed to
    // load would give an empty or blank picture).
    TImageList* images = Form().ImageList1;
    ASSERT_EQ(images->Count(), 9);
    QList<QImage> drawn;
    for (int i = 0; i < 9; ++i) {
        const QImage image = images->Icon(i).pixmap(QSize(16, 16)).toImage();
        EXPECT_EQ(image.size(), QSize(16, 16)) << i;
        int opaque = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                opaque += qAlpha(image.pixel(x, y)) > 128;
        EXPECT_GT(opaque, 20) << "image " << i;
        EXPECT_FALSE(drawn.contains(image)) << "image " << i;
        drawn << image;
    }
    EXPECT_EQ(Control<QToolButton>("ToolButton9")->icon().pixmap(16, 16).toImage(), drawn[6]);
}

TEST_F(LayoutTest, ControlsStartWithTheirTexts)
{
    EXPECT_EQ(Control<QLabel>("Label1")->text(), "Wave Files:");
    EXPECT_EQ(Control<QCheckBox>("AutoPlay")->text(), "AutoPlay");
    EXPECT_TRUE(Control<QCheckBox>("AutoPlay")->isChecked());
    EXPECT_EQ(WaveList()->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(WaveList()->count(), 0);
    EXPECT_EQ(Control<QLabel>("Label2")->text(), "Wave Info:");
    EXPECT_FALSE(Control<QWidget>("WaveInfo")->isEnabled());
    EXPECT_EQ(Control<QPushButton>("BtnConvert")->text(), "Convert");
    EXPECT_FALSE(Control<QPushButton>("BtnConvert")->isEnabled());
    EXPECT_EQ(Control<QLabel>("LbSize")->text(), "(Size)");
    EXPECT_EQ(Control<QLabel>("Label10")->text(), "Use left and right mouse button to  make selection");
    EXPECT_EQ(Control<QLabel>("Label4")->text(), "Use middle or <shift>left mouse button to move selection");
    EXPECT_EQ(Control<QPushButton>("BtnSave")->text(), "Save Converted");
    EXPECT_TRUE(Control<QPushButton>("BtnSave")->isEnabled());
    EXPECT_EQ(StatusText(), "");
    EXPECT_TRUE(Form().statusBar()->isVisible());
    EXPECT_EQ(Form().statusBar()->objectName(), "StatusBar1");
}

// One Play command behind Btn_Play, ToolButton4, F2 and Enter: all follow the action's
// state, and none of them runs it while it is disabled.
TEST_F(LayoutTest, PlayCommandIsOneActionForButtonToolButtonF2AndEnter)
{
    auto* action = Form().findChild<QAction*>("PlaySound");
    ASSERT_NE(action, nullptr);
    auto* button = Control<QPushButton>("Btn_Play");
    auto* tool = Control<QToolButton>("ToolButton4");
    EXPECT_EQ(action->text(), "Play");
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::Key_F2));
    EXPECT_EQ(button->text(), "Play");
    EXPECT_TRUE(button->isDefault());
    EXPECT_EQ(tool->defaultAction(), action);
    EXPECT_EQ(action->icon().pixmap(16, 16).toImage(), Form().ImageList1->Icon(2).pixmap(16, 16).toImage());

    QSignalSpy runs(action, &QAction::triggered);
    // With nothing converted a run disables the action again, so each press starts from
    // the state under test.
    const auto pressAll = [&](bool enabled) {
        const std::function<void()> presses[] = {
            [&] { QTest::mouseClick(button, Qt::LeftButton); },
            [&] { QTest::mouseClick(tool, Qt::LeftButton); },
            [&] { QTest::keyClick(WaveList(), Qt::Key_F2); },
            [&] { QTest::keyClick(WaveList(), Qt::Key_Return); },
        };
        WaveList()->setFocus();
        for (const auto& press : presses) {
            action->setEnabled(enabled);
            press();
        }
    };
    EXPECT_FALSE(action->isEnabled());
    EXPECT_FALSE(button->isEnabled());
    EXPECT_FALSE(tool->isEnabled());
    pressAll(false);
    EXPECT_EQ(runs.count(), 0);

    action->setEnabled(true);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_TRUE(tool->isEnabled());
    pressAll(true);
    EXPECT_EQ(runs.count(), 4);

    // A focused button other than Play takes Enter itself.
    QSignalSpy saves(Control<QPushButton>("BtnSave"), &QPushButton::clicked);
    Control<QPushButton>("BtnSave")->setFocus();
    QTest::keyClick(Control<QPushButton>("BtnSave"), Qt::Key_Return);
    EXPECT_EQ(saves.count(), 1);
    EXPECT_EQ(runs.count(), 4);
}

TEST_F(LayoutTest, ConvertorStartsInactiveFromTheTauntFormatToItself)
{
    TACMConvertor* convertor = Form().Workbench.Convertor.get();
    ASSERT_NE(convertor, nullptr);
    EXPECT_EQ(convertor->Name(), "Convertor");
    EXPECT_FALSE(convertor->Active());
    EXPECT_EQ(convertor->InputBufferSize(), 2048u);
    const WAVEFORMATEX taunt{1, 1, 22050, 22050, 1, 8, 129};
    for (const TWaveFormatBlock* block : {&convertor->FormatIn, &convertor->FormatOut})
        EXPECT_EQ(std::memcmp(&block->Format, &taunt, sizeof taunt), 0);
}

TEST_F(LayoutTest, StartUpCreatesTheDialogsHiddenBehindTheWorkbench)
{
    TWindows windows;
    ASSERT_NE(windows.Form1, nullptr);
    const QList<QDialog*> dialogs = {windows.AboutBox.get(), windows.OKRightDlg.get(), windows.Form3.get()};
    for (QDialog* dialog : dialogs) {
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->parentWidget(), windows.Form1.get());
        EXPECT_TRUE(dialog->isWindow());
        EXPECT_FALSE(dialog->isVisible());
    }
    EXPECT_EQ(windows.Form1->Form3, windows.Form3.get());
    EXPECT_EQ(windows.Form1->OKRightDlg, windows.OKRightDlg.get());

    // "Export to GAM file" shows the save-to-GAM dialog modally; hiding it stops the sound.
    const QString path = MakeTaunt("a.wav");
    windows.Form1->show();
    QListWidget* list = windows.Form1->findChild<QListWidget*>("WaveList");
    list->addItem(path);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    ASSERT_EQ(driver.CallNames().last(), "waveOutWrite");
    bool shownModally = false;
    QTimer::singleShot(0, windows.Form3.get(), [&] {
        shownModally = windows.Form3->isVisible() && windows.Form3->isModal();
        windows.Form3->reject();
    });
    QTest::mouseClick(windows.Form1->findChild<QToolButton*>("ToolButton9"), Qt::LeftButton);
    EXPECT_TRUE(shownModally);
    EXPECT_FALSE(windows.Form3->isVisible());
    EXPECT_EQ(driver.CallNames().mid(driver.CallNames().size() - 2), (QStringList{"waveOutReset", "waveOutClose"}));
}

}
