#pragma once

#include <QDialog>
#include <functional>
#include <memory>

class QHideEvent;
class QKeyEvent;
class QShowEvent;

namespace Ui {
class TAboutBox;
}

// The about box: the product's name and version, a notice line and the mail link. Created at
// start-up and kept, hidden, until the program ends; the workbench shows it modally and plays
// the jingle while it is up. OK, Enter and the close box close it; Escape does not, since it
// has nothing to cancel.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    const std::unique_ptr<Ui::TAboutBox> ui;

    // Called whenever the box is hidden: start-up lets it close the workbench's player, so that
    // the jingle ends with the box.
    std::function<void()> ClosePlayer;

    void FormHide();

private:
    // Sizes each label to its text in the current font.
    void FitLabels();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
