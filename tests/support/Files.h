#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// Little helpers for building files byte by byte in tests.
QByteArray Le16(uint16_t v);
QByteArray Le32(uint32_t v);
// A chunk: 4-byte id, 32-bit size (the payload's length unless given), payload.
QByteArray Chunk(const char* id, const QByteArray& payload, int64_t declaredSize = -1);
// A 16-, 18- or longer "fmt " payload.
QByteArray FmtPayload(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avgBytes, uint16_t blockAlign,
                      uint16_t bits);
// "RIFF" + size + "WAVE" + body.
QByteArray RiffWave(const QByteArray& body);

void WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);
