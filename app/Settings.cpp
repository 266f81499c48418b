#include "app/Settings.h"

#include "platform/Registry.h"

void WriteSetting(const QString& name, const QString& value)
{
    TRegistry registry;
    if (registry.OpenKey(SettingsKey, true)) {
        registry.WriteString(name, value);
        registry.CloseKey();
    }
}
