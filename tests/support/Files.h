#pragma once

#include <cstdint>
#include <string>

// Little helpers for building files byte by byte in tests. Bytes are kept in strings.
std::string Le16(uint16_t v);
std::string Le32(uint32_t v);
// A chunk: 4-byte id, 32-bit size (the payload's length unless given), payload.
std::string Chunk(const char* id, const std::string& payload, int64_t declaredSize = -1);
// A 16-, 18- or longer "fmt " payload.
std::string FmtPayload(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avgBytes, uint16_t blockAlign,
                       uint16_t bits);
// "RIFF" + size + "WAVE" + body.
std::string RiffWave(const std::string& body);
// A game table's page: type, length (the body's size + 4 unless given), body.
std::string GamPage(char type, const std::string& body, int64_t length = -1);
// A sound page around its nine parameters, whose 36 bytes the caller writes out by hand in
// the order the game reads them: type 7, the length (the body and the length field), version
// 1, the name and the file name each ended by a zero byte, then those bytes.
std::string SoundPage(const std::string& name, const std::string& fileName, const std::string& params);
// The bytes that pairs of hex digits stand for; anything else between the pairs is skipped.
std::string FromHex(const std::string& hex);
// Two lower-case hex digits a byte.
std::string ToHex(const std::string& bytes);

void WriteFile(const std::string& path, const std::string& bytes);
// The file's bytes; none for a file that cannot be read.
std::string ReadFile(const std::string& path);
