#include "platform/Registry.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {
const QString rootName = QStringLiteral("HKEY_LOCAL_MACHINE");
// A key's own marker, so that a key exists once created even before it holds a value.
const QString keyMarker = QStringLiteral(".key");

QString groupOf(const QString& key)
{
    QStringList parts = key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    parts.prepend(rootName);
    return parts.join(QLatin1Char('/'));
}
}

TRegistry::TRegistry() = default;
TRegistry::~TRegistry() = default;

QString TRegistry::StorePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Jeerbox/registry.ini");
}

bool TRegistry::OpenKey(const QString& key, bool canCreate)
{
    CloseKey();
    const QString path = StorePath();
    const QFileInfo file(path);
    if (file.exists() && (!file.isFile() || !file.isReadable()))
        return false;
    if (canCreate && !QDir().mkpath(file.absolutePath()))
        return false;
    auto store = std::make_unique<QSettings>(path, QSettings::IniFormat);
    if (store->status() != QSettings::NoError)
        return false;
    const QString group = groupOf(key);
    store->beginGroup(group);
    const bool exists = store->contains(keyMarker);
    if (!exists) {
        if (!canCreate || !store->isWritable())
            return false;
        store->setValue(keyMarker, QString());
        store->sync();
        if (store->status() != QSettings::NoError)
            return false;
    }
    FStore = std::move(store);
    FKey = key;
    return true;
}

QString TRegistry::ReadString(const QString& name) const
{
    return FStore ? FStore->value(name).toString() : QString();
}

void TRegistry::WriteString(const QString& name, const QString& value)
{
    if (!FStore)
        return;
    FStore->setValue(name, value);
    FStore->sync();
}

void TRegistry::CloseKey()
{
    FStore.reset();
    FKey.clear();
}
