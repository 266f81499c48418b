#include "support/Files.h"

#include "framework/ByteOrder.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <stdexcept>

std::string Le16(uint16_t v)
{
    std::string b(2, '\0');
    PutLe16(reinterpret_cast<uint8_t*>(b.data()), v);
    return b;
}

std::string Le32(uint32_t v)
{
    std::string b(4, '\0');
    PutLe32(reinterpret_cast<uint8_t*>(b.data()), v);
    return b;
}

std::string Chunk(const char* id, const std::string& payload, int64_t declaredSize)
{
    return std::string(id, 4) + Le32(uint32_t(declaredSize < 0 ? int64_t(payload.size()) : declaredSize)) + payload;
}

std::string FmtPayload(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avgBytes, uint16_t blockAlign,
                       uint16_t bits)
{
    return Le16(tag) + Le16(channels) + Le32(rate) + Le32(avgBytes) + Le16(blockAlign) + Le16(bits);
}

std::string RiffWave(const std::string& body)
{
    return "RIFF" + Le32(uint32_t(body.size() + 4)) + "WAVE" + body;
}

std::string GamPage(char type, const std::string& body, int64_t length)
{
    return std::string(1, type) + Le32(uint32_t(length < 0 ? int64_t(body.size()) + 4 : length)) + body;
}

std::string SoundPage(const std::string& name, const std::string& fileName, const std::string& params)
{
    return GamPage(7, Le16(1) + name + '\0' + fileName + '\0' + params);
}

std::string FromHex(const std::string& hex)
{
    std::string bytes;
    std::string pair;
    for (const char c : hex) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            continue;
        pair += c;
        if (pair.size() == 2) {
            bytes += char(std::stoi(pair, nullptr, 16));
            pair.clear();
        }
    }
    return bytes;
}

std::string ToHex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex += digits[uint8_t(c) >> 4];
        hex += digits[uint8_t(c) & 15];
    }
    return hex;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f.write(bytes.data(), std::streamsize(bytes.size())) || !f.flush())
        throw std::runtime_error("cannot write test file");
}

std::string ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}
