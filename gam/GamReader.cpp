#include "gam/GamReader.h"

#include "framework/ByteOrder.h"
#include "framework/Streams.h"

#include <bit>
#include <cstring>

namespace {
// A page's type byte and its 32-bit length, which counts itself and the body.
constexpr int64_t PageHeaderSize = 5;
constexpr int64_t LengthSize = 4;
// A sound page's body: version, two terminators and the nine parameters, with no names.
constexpr int64_t SoundBodyMinimum = 2 + 1 + 1 + int64_t(sizeof(TSoundParams));

// Reads a sound page's body, whose bytes lie in [at, end).
class TSoundBodyReader {
public:
    TSoundBodyReader(const uint8_t* at, const uint8_t* end, const std::string& where)
        : FAt(at), FEnd(end), FWhere(where)
    {
    }

    [[noreturn]] void Fail(const std::string& what) const { throw EGamTableError(FWhere + what); }

    // Text up to its zero terminator, which is passed over.
    std::string Name(const char* what)
    {
        const void* zero = std::memchr(FAt, 0, size_t(FEnd - FAt));
        if (!zero)
            Fail(std::string(what) + " has no terminator");
        const auto* terminator = static_cast<const uint8_t*>(zero);
        if (terminator - FAt > TShortString::MaxLength)
            Fail(std::string(what) + " is longer than 34 characters");
        std::string text(FAt, terminator);
        FAt = terminator + 1;
        return text;
    }

    uint32_t Le32()
    {
        const uint32_t value = GetLe32(FAt);
        FAt += 4;
        return value;
    }

    int64_t Left() const { return FEnd - FAt; }

private:
    const uint8_t* FAt;
    const uint8_t* FEnd;
    std::string FWhere;
};

std::unique_ptr<TSound> ReadSoundBody(const uint8_t* body, int64_t size, const std::string& where)
{
    if (size < SoundBodyMinimum)
        throw EGamTableError(where + "a sound page's length is at least " +
                             std::to_string(SoundBodyMinimum + LengthSize) + ", not " +
                             std::to_string(size + LengthSize));
    const uint16_t version = GetLe16(body);
    if (version != TSound::CurrentVersion)
        throw EGamTableError(where + "sound page version " + std::to_string(version) + ", not 1");
    TSoundBodyReader reader(body + 2, body + size, where);
    const std::string name = reader.Name("its name");
    const std::string fileName = reader.Name("its file name");
    if (reader.Left() != int64_t(sizeof(TSoundParams)))
        reader.Fail("its parameters take 36 bytes, but " + std::to_string(reader.Left()) + " follow its names");

    auto sound = std::make_unique<TSound>(nullptr, version, TShortString());
    // An empty name stays empty: it is read as it was written.
    sound->PageName = TShortString::FromBytes(name);
    sound->FileName = TShortString::FromBytes(fileName);
    TSoundParams& p = sound->Params;
    p.Flags = reader.Le32();
    p.LoopStart = int32_t(reader.Le32());
    p.LoopEnd = int32_t(reader.Le32());
    p.OuterConeVolume = std::bit_cast<float>(reader.Le32());
    p.InnerConeAngle = int32_t(reader.Le32());
    p.OuterConeAngle = int32_t(reader.Le32());
    p.MaxDistance = std::bit_cast<float>(reader.Le32());
    p.MinDistance = std::bit_cast<float>(reader.Le32());
    p.ImportAdjust = std::bit_cast<float>(reader.Le32());
    return sound;
}
}

std::vector<TGamPage> ReadGamPages(const uint8_t* bytes, size_t size)
{
    std::vector<TGamPage> pages;
    const int64_t total = int64_t(size);
    for (int64_t at = 0; at < total;) {
        const std::string where = "page " + std::to_string(pages.size() + 1) + " at byte " + std::to_string(at) + ": ";
        if (total - at < PageHeaderSize)
            throw EGamTableError(where + "the table ends within its type and length");
        const int64_t length = int32_t(GetLe32(bytes + at + 1));
        if (length < LengthSize)
            throw EGamTableError(where + "length " + std::to_string(length) + " is too small");
        if (length > total - at - 1)
            throw EGamTableError(where + "length " + std::to_string(length) + " runs past the end of the table (" +
                                 std::to_string(total) + " bytes)");
        TGamPage page;
        page.PageType = bytes[at];
        page.Offset = at;
        page.Size = 1 + length;
        if (page.PageType == TSound::SoundPageType)
            page.Sound = ReadSoundBody(bytes + at + PageHeaderSize, length - LengthSize, where);
        pages.push_back(std::move(page));
        at += 1 + length;
    }
    return pages;
}

std::vector<TGamPage> ReadGamFile(const std::string& fileName)
{
    TMemoryStream table;
    table.LoadFromFile(fileName);
    return ReadGamPages(table.Memory(), size_t(table.Size()));
}
