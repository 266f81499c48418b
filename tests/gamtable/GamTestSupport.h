#pragma once

#include "gam/GamPages.h"
#include "support/QtFiles.h"

#include <QByteArray>
#include <QLocale>
#include <QTemporaryDir>
#include <bit>

// A sound page as the game reads it, put together field by field from the table layout.
inline QByteArray SoundPageBytes(const QByteArray& name, const QByteArray& fileName, const TSoundParams& p)
{
    auto f = [](float v) { return Le32(std::bit_cast<uint32_t>(v)); };
    const std::string body = Le16(1) + ToStd(name) + std::string(1, 0) + ToStd(fileName) + std::string(1, 0) +
        Le32(p.Flags) + Le32(uint32_t(p.LoopStart)) + Le32(uint32_t(p.LoopEnd)) + f(p.OuterConeVolume) +
        Le32(uint32_t(p.InnerConeAngle)) + Le32(uint32_t(p.OuterConeAngle)) + f(p.MaxDistance) + f(p.MinDistance) +
        f(p.ImportAdjust);
    return ToQt(std::string(1, 7) + Le32(uint32_t(body.size() + 4)) + body);
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
