#include "framework/forms/ListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>

TListBox::TListBox(QWidget* parent) : QListWidget(parent) {}

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
