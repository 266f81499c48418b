#pragma once

#include <QListWidget>
#include <QSet>

// A list box whose Click event tells the window that the user changed the selection: once
// per mouse click on an item (also when the click changes nothing, so that clicking the
// current item again counts), once per mouse press elsewhere or key that changed the
// selection or the current item. Changes that the program makes itself (adding, clearing)
// raise no Click. Files dropped on it from a file manager are announced by FilesDropped, as
// full paths in the order they came, folders and remote locations left out.
class TListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TListBox(QWidget* parent = nullptr);

signals:
    void Click();
    void FilesDropped(const QStringList& paths);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct TSelectionState {
        QListWidgetItem* current = nullptr;
        QSet<QListWidgetItem*> selected;
        bool operator==(const TSelectionState&) const = default;
    };
    TSelectionState State() const;

    // Set between a press and its release: the state before the press, and whether it hit an item.
    bool FPressed = false;
    bool FPressedOnItem = false;
    TSelectionState FBeforePress;
};
