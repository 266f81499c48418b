#include "forms/ListBox.h"

#include "forms/FilePaths.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

TListBox::TListBox(QWidget* parent) : QListWidget(parent)
{
    // Drops arrive where the items are drawn.
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
}

TListBox::TSelectionState TListBox::State() const
{
    TSelectionState state;
    state.current = currentItem();
    const QList<QListWidgetItem*> items = selectedItems();
    state.selected = QSet<QListWidgetItem*>(items.begin(), items.end());
    return state;
}

void TListBox::mousePressEvent(QMouseEvent* event)
{
    FBeforePress = State();
    FPressedOnItem = event->button() == Qt::LeftButton && itemAt(event->position().toPoint()) != nullptr;
    FPressed = true;
    QListWidget::mousePressEvent(event);
}

// The click is reported at the release: an extended selection settles only then (a press on
// an item that is already selected keeps the others selected until the button comes up).
void TListBox::mouseReleaseEvent(QMouseEvent* event)
{
    QListWidget::mouseReleaseEvent(event);
    if (!FPressed)
        return;
    FPressed = false;
    if (FPressedOnItem || State() != FBeforePress)
        emit Click();
}

void TListBox::keyPressEvent(QKeyEvent* event)
{
    const TSelectionState before = State();
    QListWidget::keyPressEvent(event);
    if (State() != before)
        emit Click();
}

// The list takes a drag that brings at least one local file; its own items are never dragged,
// so the item view's own drag handling has nothing to do here.
void TListBox::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() && !LocalFiles(event->mimeData()->urls()).isEmpty()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TListBox::dragMoveEvent(QDragMoveEvent* event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TListBox::dropEvent(QDropEvent* event)
{
    const QStringList files = LocalFiles(event->mimeData()->urls());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    emit FilesDropped(files);
}
