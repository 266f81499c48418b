#pragma once

#include "forms/Dialogs.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

// Answers the program's dialogs from a script and records what was shown. Installed for
// as long as it lives. A message box without a planned answer gets the first of Yes/OK.
class ScriptedDialogs : public IDialogs {
public:
    struct Box {
        QString caption;
        QString text;
        TMsgDlgType type;
        TMsgDlgButtons buttons;
    };
    struct FileRun {
        TFileDialogKind kind;
        QString title;
        QString filter;
        QString defaultExt;
        QString initialDir;
        QString fileName;
        TOpenOptions options;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // Plans the answer to the next message box.
    void PlanAnswer(int modalResult) { answers.push_back(modalResult); }
    // Plans the next file dialog: the chosen files, or std::nullopt for Cancel.
    void PlanFiles(std::optional<QStringList> files) { fileAnswers.push_back(std::move(files)); }

    int MessageBox(const QString& caption, const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
    bool ExecuteFileDialog(TFileDialog& dialog) override;

    QStringList Texts() const;

    std::vector<Box> boxes;
    std::vector<FileRun> fileRuns;
    std::deque<int> answers;
    std::deque<std::optional<QStringList>> fileAnswers;
};
