#include "forms/QtDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

// Answers the real modal windows as they come up: each time one is showing, `act` is called
// with it. A timer's slot is not run again while it runs, so whatever opens a further modal
// window must be queued rather than called from `act`.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget*)> act) : FAct(std::move(act))
    {
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible())
                FAct(modal);
        });
        FTimer.start(20);
    }

private:
    std::function<void(QWidget*)> FAct;
    QTimer FTimer;
};

TEST(QtDialogsTest, MessageBoxesShowTheirTextAsItStands)
{
    int format = -1;
    QString shown;
    ModalAnswerer answer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        const QLabel* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        format = label->textFormat();
        shown = label->text();
        box->button(QMessageBox::Ok)->click();
    });
    const QString text = QStringLiteral("<b>x</b>.wav &lt; cannot be read");
    TQtDialogs dialogs;
    EXPECT_EQ(dialogs.MessageBox(QStringLiteral("Orvalis Jeerbox"), text, TMsgDlgType::Error, mbOK), mrOk);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown, text);
}

TEST(QtDialogsTest, SaveDialogRefusesANameInAFolderThatDoesNotExist)
{
    QTemporaryDir dir;
    const QString fine = dir.filePath(QStringLiteral("clip.wav"));
    QStringList refusals;
    int step = 0;
    ModalAnswerer answer([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            refusals << box->text();
            box->button(QMessageBox::Ok)->click();
        } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            // Typed into the name field, as a person does: the dialog's own selectFile leaves
            // that field alone while it has the focus, which it takes back after a refusal.
            auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->selectAll();
            QTest::keyClicks(name, step++ == 0 ? QStringLiteral("nowhere/clip.wav") : QStringLiteral("clip.wav"));
            // Stays open after a refusal, so the next turn finds it again.
            QMetaObject::invokeMethod(files, "accept", Qt::QueuedConnection);
        }
    });
    TFileDialog dialog(TFileDialogKind::Save);
    dialog.Title = QStringLiteral("Save Wave File");
    dialog.InitialDir = dir.path();
    dialog.Options = ofOverwritePrompt | ofPathMustExist;
    TQtDialogs dialogs;
    ASSERT_TRUE(dialogs.ExecuteFileDialog(dialog));
    EXPECT_EQ(dialog.FileName, fine);
    EXPECT_EQ(step, 2);
    ASSERT_EQ(refusals.size(), 1);
    EXPECT_TRUE(refusals[0].startsWith(QDir::toNativeSeparators(dir.filePath(QStringLiteral("nowhere"))) +
                                       QStringLiteral("\nDirectory not found.")))
        << refusals[0].toStdString();
}

}
