#pragma once

#include <QString>
#include <memory>

class QSettings;

// The settings store: keys below the machine root hold string values. Each key is kept in
// an INI file in the user's configuration folder ($XDG_CONFIG_HOME, else ~/.config), in
// Jeerbox/registry.ini. A store that cannot be read or written means the key cannot be
// opened; nothing is reported.
class TRegistry {
public:
    TRegistry();
    ~TRegistry();

    // Opens the key ("\Software\Jeerbox"), creating it when canCreate; false when it
    // does not exist (and may not be created) or the store cannot be used.
    bool OpenKey(const QString& key, bool canCreate);
    // A missing value reads as empty text.
    QString ReadString(const QString& name) const;
    void WriteString(const QString& name, const QString& value);
    void CloseKey();

    static QString StorePath();

private:
    std::unique_ptr<QSettings> FStore;
    QString FKey;
};
