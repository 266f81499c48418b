#pragma once

#include "framework/Exception.h"
#include "gam/ShortString.h"

#include <cstdint>
#include <string>
#include <vector>

class TStream;
class TGamBase;

JEERBOX_DECLARE_EXCEPTION(EVersionMissmatch, Exception)

// The nine playback parameters of a sound page, in their order in the table file.
#pragma pack(push, 1)
struct TSoundParams {
    uint32_t Flags = 0;  // bit i: check box i+1 of the dialog's "Flags" group
    int32_t LoopStart = 0;
    int32_t LoopEnd = 0;
    float OuterConeVolume = 0.0f;
    int32_t InnerConeAngle = 0;
    int32_t OuterConeAngle = 0;
    float MaxDistance = 0.0f;
    float MinDistance = 0.0f;
    float ImportAdjust = 0.0f;
};
#pragma pack(pop)
static_assert(sizeof(TSoundParams) == 36, "a sound page holds 36 bytes of parameters");

// The parameters a new sound page gets from the save-to-GAM dialog: only "Listener update" of
// the flags, full outer cone volume, cones of 360 degrees, distances 10 to 256, no import
// adjustment.
TSoundParams DialogSoundParams();

// Flags hold one bit for each of the dialog's nine check boxes.
constexpr uint32_t SoundFlagsMask = 0x1FF;

// What a page needs of the table that owns it: a list to which it appends itself. The
// table only holds its pages; their creator frees them, and a freed page leaves the list.
class TGamOwner {
public:
    TGamOwner() = default;
    ~TGamOwner();
    TGamOwner(const TGamOwner&) = delete;
    TGamOwner& operator=(const TGamOwner&) = delete;

    const std::vector<TGamBase*>& Pages() const { return FPages; }

private:
    friend class TGamBase;
    std::vector<TGamBase*> FPages;
};

// A typed page of a game table file: one type byte and a four-byte length, then the body.
class TGamBase {
public:
    // Stores the low 16 bits of version; an empty name becomes "New Entry".
    TGamBase(TGamOwner* owner, int32_t version, const TShortString& name);
    virtual ~TGamBase();
    TGamBase(const TGamBase&) = delete;
    TGamBase& operator=(const TGamBase&) = delete;

    // Writes the whole page at the stream's position; an absent stream is accepted and gets nothing.
    virtual void WriteToStream(TStream* stream) const = 0;

    TGamOwner* Owner = nullptr;
    uint16_t PageVersion = 0;
    uint8_t PageType = 0;
    TShortString PageName;

protected:
    // Puts this page at the end of its owner's list.
    void AppendToOwner();
};

// A sound page: names a sound, refers to its WAV file and carries its playback parameters.
class TSound : public TGamBase {
public:
    static constexpr int32_t CurrentVersion = 1;
    static constexpr uint8_t SoundPageType = 7;

    // A negative version asks for the current one; any other than 1 raises EVersionMissmatch
    // before anything exists. An empty name becomes "New Sound".
    TSound(TGamOwner* owner, int32_t version, const TShortString& name);

    // Type 7, the length (body + 4), then the body: version, name, 0, file name, 0, parameters.
    void WriteToStream(TStream* stream) const override;

    TShortString FileName;
    TSoundParams Params;
};

// Writes the table file anew, holding the pages in their order. The file as it was stays
// untouched unless every page was written. Raises the stream errors.
void WriteGamFile(const std::string& fileName, const std::vector<const TGamBase*>& pages);
