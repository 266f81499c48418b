#pragma once

#include <QString>
#include <optional>

// The program's settings: one key below the machine root holding three string values. This
// is the one place that names them and reads and writes them; the windows ask here.
inline const QString SettingsKey = QStringLiteral("\\Software\\Jeerbox");
inline const QString OpenDirSetting = QStringLiteral("OpenDir");
inline const QString SaveDirSetting = QStringLiteral("SaveDir");
inline const QString GamFileNameSetting = QStringLiteral("GamFileName");

// The value's text (empty when the value is missing), or nothing when the key cannot be
// opened; the key is not created for reading.
std::optional<QString> ReadSetting(const QString& name);

// Writes one string value, creating the key when it is missing. A key that cannot be
// created is passed over silently: the setting is then simply not remembered.
void WriteSetting(const QString& name, const QString& value);
