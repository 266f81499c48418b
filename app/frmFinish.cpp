#include "app/frmFinish.h"

#include "forms/TitleBar.h"
#include "forms/Dialogs.h"
#include "forms/Settings.h"
#include "ui_frmFinish.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QStringList>
#include <cmath>

namespace {

const QString FinishSetting = QStringLiteral("Finish");

// One stage's field: its box, its value and the values it takes.
struct TField {
    QCheckBox* Box;
    QLineEdit* Edit;
    double Low;
    double High;
    const char* Says;
};

// The number a field holds when it lies within [low, high]; nothing otherwise (NaN included).
std::optional<double> Within(const QLineEdit* edit, double low, double high)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(edit->text().trimmed(), &ok);
    if (!ok || !(v >= low && v <= high))
        return std::nullopt;
    return v;
}

}

TFinishDlg::TFinishDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFinishDlg>())
{
    ui->setupUi(this);
    setFixedSize(size());
    GiveFixedDialogTitleBar(*this);
    connect(ui->OKBtn, &QAbstractButton::clicked, this, [this] { OKBtnClick(); });
    connect(ui->CancelBtn, &QAbstractButton::clicked, this, &QDialog::reject);
    // Normalizing and setting the loudness both set the level: one at a time.
    connect(ui->Normalize, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            ui->Loudness->setChecked(false);
    });
    connect(ui->Loudness, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            ui->Normalize->setChecked(false);
    });
    Recall();
}

TFinishDlg::~TFinishDlg() = default;

std::optional<TFinishRecipe> TFinishDlg::Recipe(QString& refusal) const
{
    TFinishRecipe recipe;
    const TField fields[] = {
        {ui->HighPass, ui->edHighPass, 10, 1000, "a frequency from 10 to 1000 Hz"},
        {ui->Trim, ui->edTrim, -120, 0, "a level from -120 to 0 dBFS"},
        {ui->Compress, ui->edCompress, 1, 20, "a ratio from 1 to 20"},
        {ui->Loudness, ui->edLoudness, -70, 0, "a loudness from -70 to 0 LUFS"},
        {ui->Fade, ui->edFade, 0, 1000, "a time from 0 to 1000 ms"},
    };
    std::optional<double>* values[] = {&recipe.HighpassHz, &recipe.TrimDb, &recipe.Compress, &recipe.Loudness,
                                       &recipe.FadeMs};
    for (size_t i = 0; i < std::size(fields); ++i) {
        const TField& f = fields[i];
        if (!f.Box->isChecked())
            continue;
        *values[i] = Within(f.Edit, f.Low, f.High);
        if (!*values[i]) {
            refusal = f.Box->text() + QStringLiteral(": give ") + QLatin1String(f.Says) + QStringLiteral(", not \"") +
                f.Edit->text() + QStringLiteral("\".");
            return std::nullopt;
        }
    }
    if (recipe.FadeMs && *recipe.FadeMs * 22050.0 / 1000.0 > double(FLength)) {
        refusal = ui->Fade->text() + QStringLiteral(": the fade is longer than the sound.");
        return std::nullopt;
    }
    recipe.Normalize = ui->Normalize->isChecked();
    recipe.Dither = ui->Dither->isChecked();
    return recipe;
}

std::optional<TFinishRecipe> TFinishDlg::Execute(uint64_t length)
{
    FLength = length;
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    QString refusal;
    return Recipe(refusal);
}

void TFinishDlg::OKBtnClick()
{
    QString refusal;
    if (!Recipe(refusal)) {
        ShowMessage(refusal);
        return;
    }
    Remember();
    accept();
}

// The settings value: each box as 1 or 0 followed by its field's text, separated by ';'.
void TFinishDlg::Remember() const
{
    QStringList parts;
    for (QCheckBox* box : {ui->HighPass, ui->Trim, ui->Compress, ui->Normalize, ui->Loudness, ui->Fade, ui->Dither})
        parts << (box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    for (QLineEdit* edit : {ui->edHighPass, ui->edTrim, ui->edCompress, ui->edLoudness, ui->edFade})
        parts << edit->text().remove(QLatin1Char(';'));
    WriteSetting(FinishSetting, parts.join(QLatin1Char(';')));
}

void TFinishDlg::Recall()
{
    const QStringList parts = ReadSetting(FinishSetting).value_or(QString()).split(QLatin1Char(';'));
    if (parts.size() != 12)
        return;
    int i = 0;
    for (QCheckBox* box : {ui->HighPass, ui->Trim, ui->Compress, ui->Normalize, ui->Loudness, ui->Fade, ui->Dither})
        box->setChecked(parts[i++] == QStringLiteral("1"));
    for (QLineEdit* edit : {ui->edHighPass, ui->edTrim, ui->edCompress, ui->edLoudness, ui->edFade})
        edit->setText(parts[i++]);
}
