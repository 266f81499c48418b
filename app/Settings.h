#pragma once

#include <QString>

// The program's settings key below the machine root, holding "OpenDir", "SaveDir" and
// "GamFileName".
inline const QString SettingsKey = QStringLiteral("\\Software\\Jeerbox");

// Writes one string value, creating the key when it is missing. A key that cannot be
// created is passed over silently: the setting is then simply not remembered.
void WriteSetting(const QString& name, const QString& value);
