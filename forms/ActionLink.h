#pragma once

class QAbstractButton;
class QAction;

// Binds a push button to an action the way a tool button's default action is bound: the
// button shows the action's text and is enabled exactly while the action is, and a click
// triggers the action.
void LinkAction(QAbstractButton* button, QAction* action);
