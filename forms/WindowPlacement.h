#pragma once

class QWidget;

// Centres a window, its frame included, on the screen of its owner (the window's own screen
// when it has none), whatever screen the window that opened it is on.
void CentreOnScreen(QWidget& window);
