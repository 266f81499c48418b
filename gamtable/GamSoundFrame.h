#pragma once

#include <QWidget>
#include <memory>

class QCheckBox;

// The sound page windows place their controls by the pixel; their texts fit those places
// in a font of this height, whatever the desktop's own font is.
constexpr int LayoutFontPixels = 11;
void UseLayoutFont(QWidget& window);

namespace Ui {
class TFrmGamSound;
}

// The fields of a sound page as a frame: name, file name, the nine flags and the eight
// numbers. The window that holds it fills and reads the controls.
class TFrmGamSound : public QWidget {
    Q_OBJECT
public:
    explicit TFrmGamSound(QWidget* parent = nullptr);
    ~TFrmGamSound() override;

    // CheckBox1 … CheckBox9: flag bit i belongs to FlagBox(i).
    QCheckBox* FlagBox(int bit) const;

    // The two name edits keep their distance to the right edge as the frame changes width.
    // A hidden frame hears of a new size only when it is shown; a window that changes the
    // edits after sizing the frame lays it out first, so that its changes are not undone.
    void FitToWidth();

    const std::unique_ptr<Ui::TFrmGamSound> ui;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int FLaidOutWidth = 0;
};
