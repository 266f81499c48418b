#pragma once

#include "gam/GamPages.h"
#include "support/QtFiles.h"

#include <QByteArray>
#include <QLocale>
#include <QTemporaryDir>

// A sound page around its nine parameters, whose 36 bytes the caller writes out by hand in
// the order the game reads them: type 7, the length (the body and the length field), version
// 1, the name and the file name each ended by a zero byte, then those bytes.
inline QByteArray SoundPage(const QByteArray& name, const QByteArray& fileName, const QByteArray& params)
{
    return QByteArray(1, 7) + ToQt(Le32(uint32_t(44 + name.size() + fileName.size()))) + QByteArray("\1\0", 2) + name +
        QByteArray(1, 0) + fileName + QByteArray(1, 0) + params;
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
