#include "support/Files.h"

#include "acm/Riff.h"

#include <QFile>
#include <stdexcept>

QByteArray Le16(uint16_t v)
{
    QByteArray b(2, 0);
    PutLe16(reinterpret_cast<uint8_t*>(b.data()), v);
    return b;
}

QByteArray Le32(uint32_t v)
{
    QByteArray b(4, 0);
    PutLe32(reinterpret_cast<uint8_t*>(b.data()), v);
    return b;
}

QByteArray Chunk(const char* id, const QByteArray& payload, int64_t declaredSize)
{
    return QByteArray(id, 4) + Le32(uint32_t(declaredSize < 0 ? payload.size() : declaredSize)) + payload;
}

QByteArray FmtPayload(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avgBytes, uint16_t blockAlign,
                      uint16_t bits)
{
    return Le16(tag) + Le16(channels) + Le32(rate) + Le32(avgBytes) + Le16(blockAlign) + Le16(bits);
}

QByteArray RiffWave(const QByteArray& body)
{
    return QByteArray("RIFF") + Le32(uint32_t(body.size() + 4)) + QByteArray("WAVE") + body;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file");
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}
