#pragma once

#include "finish/Finish.h"

#include <QDialog>
#include <cstdint>
#include <memory>
#include <optional>

namespace Ui {
class TFinishDlg;
}

// The "Finish" dialog: which stages of the finishing chain to run on the converted sound, and
// their values. What it last accepted is remembered in the settings.
class TFinishDlg : public QDialog {
    Q_OBJECT
public:
    explicit TFinishDlg(QWidget* parent = nullptr);
    ~TFinishDlg() override;

    std::unique_ptr<Ui::TFinishDlg> ui;

    // Shows the dialog for a converted sound of `length` samples; the stages to run once the
    // user accepts values that make sense, nothing when the dialog is cancelled.
    std::optional<TFinishRecipe> Execute(uint64_t length);
    // The recipe the fields hold, or the message that names the field that makes no sense.
    std::optional<TFinishRecipe> Recipe(QString& refusal) const;

private:
    void OKBtnClick();
    void Remember() const;
    void Recall();

    uint64_t FLength = 0;
};
