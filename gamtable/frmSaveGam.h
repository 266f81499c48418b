#pragma once

#include "forms/Dialogs.h"
#include "gam/GamPages.h"

#include <QDialog>
#include <functional>
#include <memory>

class QLineEdit;

namespace Ui {
class TForm3;
}

// The "Save To GAM File" dialog: the target table file and everything a sound page needs.
// It keeps the page settings for the whole run; each showing starts from the last accepted
// ones, and what the workbench tells it presets some of them.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    // The pending page settings.
    TShortString SoundName;
    TShortString FileName;
    TSoundParams Params;

    // What happened in the workbench. A new sound was converted: the page is "New Sound",
    // with no file yet.
    void NewSoundConverted();
    // A clip of that many bytes was played: the loop ends at its last byte.
    void ClipPlayed(int64_t size);
    // The clip was saved as that file: the page names it, and the loop starts at its start.
    void ClipSaved(const TShortString& fileName);

    // Called whenever the dialog is closed, however that happened: the start-up code
    // lets it close the workbench's player, so that a sound still playing stops.
    std::function<void()> ClosePlayer;

    TFileDialog SaveDlg{TFileDialogKind::Save};

    TShortString GetSoundName() const { return SoundName; }
    TShortString GetFileName() const { return FileName; }
    uint32_t GetFlags() const { return Params.Flags; }
    int32_t GetLoopStart() const { return Params.LoopStart; }
    int32_t GetLoopEnd() const { return Params.LoopEnd; }
    float GetOuterConeVolume() const { return Params.OuterConeVolume; }
    int32_t GetInnerConeAngle() const { return Params.InnerConeAngle; }
    int32_t GetOuterConeAngle() const { return Params.OuterConeAngle; }
    float GetMaxDistance() const { return Params.MaxDistance; }
    float GetMinDistance() const { return Params.MinDistance; }
    float GetImportAdjust() const { return Params.ImportAdjust; }
    // The table file's path as it stands in the dialog.
    QString GetGamFile() const;

    void FormCreate();
    void Loaded();
    void FormShow();
    void FormHide();
    void Button1Click();
    void BitBtn1Click();

    const std::unique_ptr<Ui::TForm3> ui;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Asks whether to go on with an empty field; on No the field gets the focus.
    bool AcceptEmpty(QLineEdit* edit, const QString& question);
    // Stores the numbers one by one; the first that does not parse gets the focus and
    // "Illegal Input!", and false comes back.
    bool StoreNumbers();
};
