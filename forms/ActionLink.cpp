#include "forms/ActionLink.h"

#include <QAbstractButton>
#include <QAction>

void LinkAction(QAbstractButton* button, QAction* action)
{
    const auto update = [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    };
    update();
    QObject::connect(action, &QAction::changed, button, update);
    QObject::connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
}
