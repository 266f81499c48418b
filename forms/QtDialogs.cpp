#include "forms/QtDialogs.h"

#include "forms/TitleBar.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

int TQtDialogs::MessageBox(const QString& caption, const QString& text, TMsgDlgType type, TMsgDlgButtons buttons)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption);
    // File names and error messages are shown as they stand, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (type) {
    case TMsgDlgType::Warning: box.setIcon(QMessageBox::Warning); break;
    case TMsgDlgType::Error: box.setIcon(QMessageBox::Critical); break;
    case TMsgDlgType::Information: box.setIcon(QMessageBox::Information); break;
    case TMsgDlgType::Confirmation: box.setIcon(QMessageBox::Question); break;
    case TMsgDlgType::Custom: box.setIcon(QMessageBox::NoIcon); break;
    }
    const std::pair<TMsgDlgBtn, QMessageBox::StandardButton> map[] = {
        {mbYes, QMessageBox::Yes}, {mbNo, QMessageBox::No}, {mbOK, QMessageBox::Ok}, {mbCancel, QMessageBox::Cancel}};
    for (auto [own, qt] : map)
        if (buttons.testFlag(own))
            box.addButton(qt);
    GiveFixedDialogTitleBar(box);
    switch (box.exec()) {
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    case QMessageBox::Ok: return mrOk;
    case QMessageBox::Cancel: return mrCancel;
    default: return buttons.testFlag(mbCancel) ? mrCancel : (buttons.testFlag(mbNo) ? mrNo : mrOk);
    }
}

QString TQtDialogs::QtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& label = parts[i];
        const QString pattern = parts[i + 1];
        const QString spaced = QString(pattern).replace(QLatin1Char(';'), QLatin1Char(' '));
        result << (label.endsWith(QStringLiteral("(%1)").arg(pattern)) ? label
                                                                       : QStringLiteral("%1 (%2)").arg(label, spaced));
    }
    return result.join(QStringLiteral(";;"));
}

namespace {
// Qt's file dialog, which for saving also takes a name in a folder that does not exist;
// with ofPathMustExist it refuses one there, as it refuses a missing file when opening.
class TFileDialogBox : public QFileDialog {
public:
    TFileDialogBox(QWidget* parent, const TFileDialog& dialog)
        : QFileDialog(parent, dialog.Title, dialog.InitialDir, TQtDialogs::QtFilter(dialog.Filter)),
          FPathMustExist(dialog.Options.testFlag(ofPathMustExist))
    {
    }

    void accept() override
    {
        const QStringList files = selectedFiles();
        if (FPathMustExist && acceptMode() == AcceptSave && !files.isEmpty()) {
            const QFileInfo chosen(files.first());
            if (!chosen.absoluteDir().exists()) {
                QMessageBox box(QMessageBox::Warning, windowTitle(),
                                tr("%1\nDirectory not found.\nPlease verify the correct directory name was given.")
                                    .arg(QDir::toNativeSeparators(chosen.absolutePath())),
                                QMessageBox::Ok, this);
                box.setTextFormat(Qt::PlainText);
                box.exec();
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    bool FPathMustExist;
};
}

bool TQtDialogs::ExecuteFileDialog(TFileDialog& dialog)
{
    TFileDialogBox box(QApplication::activeWindow(), dialog);
    box.setSizeGripEnabled(dialog.Options.testFlag(ofEnableSizing));
    if (!dialog.DefaultExt.isEmpty())
        box.setDefaultSuffix(dialog.DefaultExt.startsWith(QLatin1Char('.')) ? dialog.DefaultExt.mid(1)
                                                                            : dialog.DefaultExt);
    if (dialog.Kind == TFileDialogKind::Open) {
        box.setAcceptMode(QFileDialog::AcceptOpen);
        box.setFileMode(dialog.Options.testFlag(ofAllowMultiSelect) ? QFileDialog::ExistingFiles
                                                                    : QFileDialog::ExistingFile);
    } else {
        box.setAcceptMode(QFileDialog::AcceptSave);
        box.setFileMode(QFileDialog::AnyFile);
        box.setOption(QFileDialog::DontConfirmOverwrite, !dialog.Options.testFlag(ofOverwritePrompt));
    }
    if (!dialog.FileName.isEmpty())
        box.selectFile(dialog.FileName);
    if (box.exec() != QDialog::Accepted)
        return false;
    dialog.Files = box.selectedFiles();
    if (dialog.Files.isEmpty())
        return false;
    dialog.FileName = dialog.Files.first();
    return true;
}
