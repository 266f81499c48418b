#pragma once

#include "framework/Component.h"
#include "framework/Exception.h"
#include "acm/AcmBlock.h"
#include "acm/FormatBlock.h"
#include "acm/MMSystem.h"
#include "acm/MSAcm.h"

#include <cstdint>
#include <vector>

JEERBOX_DECLARE_EXCEPTION(EACMConvertor, Exception)

// Converts a block of sound from FormatIn to FormatOut through a conversion stream. While
// active the stream is open and both buffers exist: the caller fills InputBuffer and calls
// Convert, and the converted sound stays in OutputBuffer until the convertor is made inactive.
// It drives its stream as every conversion does (TAcmStream), with one header kept prepared
// over both buffers for as long as it is active.
class TACMConvertor : public TComponent, private TAcmStream {
public:
    explicit TACMConvertor(TComponent* owner = nullptr);
    ~TACMConvertor() override;

    bool Active() const { return FActive; }
    void SetActive(bool value);
    uint32_t InputBufferSize() const { return FInputBufferSize; }
    void SetInputBufferSize(uint32_t value);
    bool UseRealTime() const { return FUseRealTime; }
    void SetUseRealTime(bool value);

    // Converts the whole input buffer; returns the count of bytes written to OutputBuffer.
    uint32_t Convert();

    // Raises EACMConvertor for a failed platform result, its message starting with label.
    static void Check(MMRESULT result, const char* label);
    // Check for opening a stream from `source`: a format that cannot be decoded for want of
    // the sound decoder library says so, rather than that it cannot be converted.
    static void CheckOpen(MMRESULT result, const WAVEFORMATEX* source);

    uint8_t* InputBuffer = nullptr;
    uint8_t* OutputBuffer = nullptr;
    uint32_t OutputBufferSize = 0;
    using TAcmStream::StreamHandle;
    ACMSTREAMHEADER StreamHeader{};
    TWaveFormatBlock FormatIn{};
    TWaveFormatBlock FormatOut{};
    // The stream's calls; a test puts its own in their place to make a chosen one fail.
    using TAcmStream::Calls;

    void DefineProperties(TFiler& filer) override;

private:
    void Activate();
    void Deactivate();
    void CloseAfterFailure();
    void ReleaseBuffers();

    bool FActive = false;
    bool FUseRealTime = false;
    bool FHeaderPrepared = false;
    uint32_t FInputBufferSize = 0;
};

class TCustomWavStream;

// Hands a whole sound to the convertor, the same way for every caller: makes it inactive,
// sizes its input to the sound, takes the sound's format (its record and the extra format bytes
// of its file, SetSourceFormat), makes it active and copies the samples in. Convert comes next.
// A sound longer than a 32-bit count raises EACMConvertor.
void LoadConvertor(TACMConvertor& convertor, const WAVEFORMATEX& format, const void* data, int64_t size,
                   const std::vector<uint8_t>& extra = {});

// Converts a loaded sound file: LoadConvertor, then Convert. The converted sound is then in
// OutputBuffer; returns its count of bytes. Unless keepSource, the sound's bytes are let go of
// once the convertor holds them, so that a long sound is not kept three times over.
uint32_t ConvertWave(TACMConvertor& convertor, TCustomWavStream& wave, bool keepSource = true);
