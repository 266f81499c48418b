#pragma once

#include "support/QtFiles.h"

#include <QByteArray>
#include <QLocale>
#include <QTemporaryDir>

// The support's sound page (support/Files.h) in the toolkit's bytes.
inline QByteArray SoundPage(const QByteArray& name, const QByteArray& fileName, const QByteArray& params)
{
    return ToQt(SoundPage(ToStd(name), ToStd(fileName), ToStd(params)));
}

// Keeps the settings store in a folder of its own for as long as it lives.
class ScopedSettingsFolder {
public:
    ScopedSettingsFolder() : saved(qgetenv("XDG_CONFIG_HOME")) { qputenv("XDG_CONFIG_HOME", dir.path().toUtf8()); }
    ~ScopedSettingsFolder() { qputenv("XDG_CONFIG_HOME", saved); }
    QTemporaryDir dir;
    QByteArray saved;
};

// Sets the user's locale for as long as it lives.
class ScopedLocale {
public:
    ScopedLocale(QLocale::Language language, QLocale::Territory territory)
    {
        QLocale::setDefault(QLocale(language, territory));
    }
    explicit ScopedLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~ScopedLocale() { QLocale::setDefault(saved); }
    QLocale saved;
};
