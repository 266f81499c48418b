#include "forms/Settings.h"

#include "platform/Registry.h"

std::optional<QString> ReadSetting(const QString& name)
{
    TRegistry registry;
    if (!registry.OpenKey(SettingsKey, false))
        return std::nullopt;
    QString value = registry.ReadString(name);
    registry.CloseKey();
    return value;
}

void WriteSetting(const QString& name, const QString& value)
{
    TRegistry registry;
    if (registry.OpenKey(SettingsKey, true)) {
        registry.WriteString(name, value);
        registry.CloseKey();
    }
}
