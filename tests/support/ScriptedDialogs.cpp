#include "support/ScriptedDialogs.h"

ScriptedDialogs::ScriptedDialogs()
{
    SetDialogs(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    SetDialogs(nullptr);
}

int ScriptedDialogs::MessageBox(const QString& caption, const QString& text, TMsgDlgType type, TMsgDlgButtons buttons)
{
    boxes.push_back({caption, text, type, buttons});
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return buttons.testFlag(mbYes) ? mrYes : mrOk;
}

bool ScriptedDialogs::ExecuteFileDialog(TFileDialog& dialog)
{
    fileRuns.push_back({dialog.Kind, dialog.Title, dialog.Filter, dialog.DefaultExt, dialog.InitialDir, dialog.FileName,
                        dialog.Options});
    if (fileAnswers.empty())
        return false;
    std::optional<QStringList> files = fileAnswers.front();
    fileAnswers.pop_front();
    if (!files || files->isEmpty())
        return false;
    dialog.Files = *files;
    dialog.FileName = files->first();
    return true;
}

QStringList ScriptedDialogs::Texts() const
{
    QStringList texts;
    for (const Box& box : boxes)
        texts << box.text;
    return texts;
}
