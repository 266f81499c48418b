#pragma once

#include <QDialog>

// The about box. Created at start-up and kept, hidden, until the program ends.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr) : QDialog(parent) { setObjectName(QStringLiteral("AboutBox")); }
};
