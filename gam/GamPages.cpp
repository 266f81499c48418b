#include "gam/GamPages.h"

#include "framework/ByteOrder.h"
#include "framework/ReplacingFile.h"
#include "framework/Streams.h"

#include <algorithm>
#include <bit>

TGamOwner::~TGamOwner()
{
    // Pages outlive a table only as pages of nobody.
    for (TGamBase* page : FPages)
        page->Owner = nullptr;
}

TGamBase::TGamBase(TGamOwner* owner, int32_t version, const TShortString& name)
    : Owner(owner), PageVersion(static_cast<uint16_t>(version)), PageType(0),
      PageName(name.IsEmpty() ? TShortString("New Entry") : name)
{
}

TGamBase::~TGamBase()
{
    if (Owner)
        std::erase(Owner->FPages, this);
}

void TGamBase::AppendToOwner()
{
    if (Owner)
        Owner->FPages.push_back(this);
}

namespace {
int32_t CheckedSoundVersion(int32_t version)
{
    if (version < 0)
        version = TSound::CurrentVersion;
    if (version != TSound::CurrentVersion)
        throw EVersionMissmatch("Sound version missmatch!");
    return version;
}

void AppendLe16(std::string& bytes, uint16_t value)
{
    uint8_t le[2];
    PutLe16(le, value);
    bytes.append(reinterpret_cast<const char*>(le), sizeof le);
}

void AppendLe32(std::string& bytes, uint32_t value)
{
    uint8_t le[4];
    PutLe32(le, value);
    bytes.append(reinterpret_cast<const char*>(le), sizeof le);
}

void AppendLe32(std::string& bytes, int32_t value)
{
    AppendLe32(bytes, static_cast<uint32_t>(value));
}

void AppendLe32(std::string& bytes, float value)
{
    AppendLe32(bytes, std::bit_cast<uint32_t>(value));
}
}

TSound::TSound(TGamOwner* owner, int32_t version, const TShortString& name)
    : TGamBase(owner, CheckedSoundVersion(version), name.IsEmpty() ? TShortString("New Sound") : name)
{
    PageType = SoundPageType;
    Params.ImportAdjust = 1.0f;
    AppendToOwner();
}

void TSound::WriteToStream(TStream* stream) const
{
    if (!stream)
        return;
    std::string body;
    AppendLe16(body, PageVersion);
    body.append(PageName.Bytes()).append(1, '\0');
    body.append(FileName.Bytes()).append(1, '\0');
    AppendLe32(body, Params.Flags);
    AppendLe32(body, Params.LoopStart);
    AppendLe32(body, Params.LoopEnd);
    AppendLe32(body, Params.OuterConeVolume);
    AppendLe32(body, Params.InnerConeAngle);
    AppendLe32(body, Params.OuterConeAngle);
    AppendLe32(body, Params.MaxDistance);
    AppendLe32(body, Params.MinDistance);
    AppendLe32(body, Params.ImportAdjust);

    // The whole page goes out in one write that must be complete: a header that did not
    // reach the file would leave a page the game cannot find its way through.
    std::string page;
    page.append(1, static_cast<char>(PageType));
    AppendLe32(page, static_cast<int32_t>(body.size() + 4));
    page.append(body);
    stream->WriteBuffer(page.data(), int64_t(page.size()));
}

TSoundParams DialogSoundParams()
{
    TSoundParams params;
    params.Flags = 128;
    params.OuterConeVolume = 1.0f;
    params.InnerConeAngle = 360;
    params.OuterConeAngle = 360;
    params.MaxDistance = 256.0f;
    params.MinDistance = 10.0f;
    params.ImportAdjust = 1.0f;
    return params;
}

void WriteGamFile(const std::string& fileName, const std::vector<const TGamBase*>& pages)
{
    TReplacingFile file(fileName);
    for (const TGamBase* page : pages)
        page->WriteToStream(&file.Stream());
    file.Commit();
}
