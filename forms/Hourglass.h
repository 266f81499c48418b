#pragma once

#include <QApplication>

// Shows the application-wide hourglass for as long as it lives; the default cursor comes
// back on every path out of the scope, also when an error leaves it.
class THourglass {
public:
    THourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~THourglass() { QApplication::restoreOverrideCursor(); }
    THourglass(const THourglass&) = delete;
    THourglass& operator=(const THourglass&) = delete;
};
