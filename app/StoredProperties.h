#pragma once

#include <QString>

class TComponent;

// Where the workbench window's convertor keeps its stored properties.
inline const QString MainFormConvertorProperties = QStringLiteral(":/stored/TForm1.Convertor");

// Sets a component's stored properties from a resource written by its own writer.
void LoadStoredProperties(TComponent& component, const QString& resourceName);
