#pragma once

#include <QDialog>

// The recording dialog. Created at start-up and kept, hidden, until the program ends.
class TOKRightDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOKRightDlg(QWidget* parent = nullptr) : QDialog(parent) { setObjectName(QStringLiteral("OKRightDlg")); }
};
