#pragma once

#include <QObject>
#include <QString>

class TFiler;

// Base of the program's non-visual components. The owner is the Qt parent: an owner
// destroys the components it owns.
class TComponent : public QObject {
    Q_OBJECT
public:
    explicit TComponent(QObject* owner = nullptr) : QObject(owner) {}
    QObject* Owner() const { return parent(); }
    QString Name() const { return objectName(); }
    void SetName(const QString& name) { setObjectName(name); }

    // Declares the properties that are stored with the component (framework/Filer.h).
    virtual void DefineProperties(TFiler&) {}
};
