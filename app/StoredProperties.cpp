#include "app/StoredProperties.h"

#include "framework/Exception.h"
#include "framework/Filer.h"

#include <QFile>

void LoadStoredProperties(TComponent& component, const QString& resourceName)
{
    Q_INIT_RESOURCE(convertor);
    QFile resource(resourceName);
    if (!resource.open(QIODevice::ReadOnly))
        throw EFOpenError("Cannot open resource \"" + resourceName.toStdString() + "\".");
    ReadComponentProperties(component, resource.readAll().toStdString());
}
