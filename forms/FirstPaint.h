#pragma once

#include <functional>

class QWidget;

// Runs Then once Window has been painted for the first time, after everything of that paint is
// on screen, or at once when a mouse button or a key reaches any object of the program before
// that: work the window does not show waits for it without ever being missing when the user
// asks for it. Runs it once either way.
void WhenFirstPainted(QWidget& Window, std::function<void()> Then);
