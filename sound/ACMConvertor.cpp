#include "sound/ACMConvertor.h"

#include "acm/AcmSource.h"
#include "acm/ResultTexts.h"
#include "framework/ByteOrder.h"
#include "framework/Filer.h"
#include "framework/HugePages.h"
#include "sound/TauntFormat.h"
#include "sound/Wavs_ex.h"

#include <algorithm>
#include <cstring>

namespace {

// The taunt format, as a new convertor holds it in both blocks.
void SetTauntFormat(TWaveFormatBlock& block)
{
    block = TWaveFormatBlock{};
    block.Format = TauntFormat;
    block.Format.cbSize = 129;
}

// A stored format block: its length L (always 129 when written) and then L bytes.
void WriteFormatBlock(TStream& stream, const TWaveFormatBlock& block)
{
    const uint32_t length = sizeof block;
    uint8_t le[4];
    PutLe32(le, length);
    stream.WriteBuffer(le, 4);
    stream.WriteBuffer(&block, sizeof block);
}

// Copies the stored bytes over the start of the block. A longer value than the block
// keeps its first 129 bytes; the block changes only once the whole value has been read.
void ReadFormatBlock(TStream& stream, TWaveFormatBlock& block)
{
    uint8_t le[4];
    stream.ReadBuffer(le, 4);
    const uint32_t length = GetLe32(le);
    const uint32_t kept = std::min<uint32_t>(length, sizeof block);
    TWaveFormatBlock read = block;
    stream.ReadBuffer(&read, kept);
    if (stream.Size() - stream.Position() < int64_t(length - kept))
        throw EReadError(("Stream read error"));
    block = read;
}

}

TACMConvertor::TACMConvertor(TComponent* owner) : TComponent(owner)
{
    SetInputBufferSize(2048);
    SetUseRealTime(false);
    SetTauntFormat(FormatIn);
    SetTauntFormat(FormatOut);
}

TACMConvertor::~TACMConvertor()
{
    // A destructor cannot report: if the stream will not close, the buffers go all the same.
    try {
        SetActive(false);
    } catch (const std::exception&) {
        ReleaseBuffers();
        FActive = false;
    }
}

void TACMConvertor::Check(MMRESULT result, const char* label)
{
    if (result != MMSYSERR_NOERROR)
        throw EACMConvertor(ResultMessage(label, result, TResultTexts::Conversion));
}

void TACMConvertor::CheckOpen(MMRESULT result, const WAVEFORMATEX* source)
{
    if (result == ACMERR_NOTPOSSIBLE) {
        const std::string missing = AcmSourceFormat::MissingDecoder(source);
        if (!missing.empty())
            throw EACMConvertor("acmStreamOpen: " + missing);
    }
    Check(result, "acmStreamOpen:");
}

void TACMConvertor::SetActive(bool value)
{
    if (value == FActive)
        return;
    if (value)
        Activate();
    else
        Deactivate();
}

void TACMConvertor::SetInputBufferSize(uint32_t value)
{
    if (FActive)
        throw EACMConvertor(("You cannot change the buffer size while active."));
    FInputBufferSize = value;
}

void TACMConvertor::SetUseRealTime(bool value)
{
    if (FActive)
        throw EACMConvertor(("You cannot change the real time flag while active."));
    FUseRealTime = value;
}

void TACMConvertor::Activate()
{
    CheckOpen(Open(&FormatIn.Format, &FormatOut.Format, FUseRealTime ? 0 : ACM_STREAMOPENF_NONREALTIME),
              &FormatIn.Format);
    try {
        Check(Room(FInputBufferSize, OutputBufferSize), "acmStreamSize:");
        InputBuffer = new uint8_t[FInputBufferSize];
        AdviseHugePages(InputBuffer, FInputBufferSize);
        PrefaultPages(InputBuffer, FInputBufferSize);
        OutputBuffer = new uint8_t[OutputBufferSize];
        AdviseHugePages(OutputBuffer, OutputBufferSize);
        PrefaultPages(OutputBuffer, OutputBufferSize);

        StreamHeader.cbStruct = sizeof(ACMSTREAMHEADER);
        StreamHeader.fdwStatus = 0;
        StreamHeader.dwUser = 0;
        StreamHeader.pbSrc = InputBuffer;
        StreamHeader.cbSrcLength = FInputBufferSize;
        StreamHeader.cbSrcLengthUsed = 0;
        StreamHeader.dwSrcUser = 0;
        StreamHeader.pbDst = OutputBuffer;
        StreamHeader.cbDstLength = OutputBufferSize;
        StreamHeader.cbDstLengthUsed = 0;
        StreamHeader.dwDstUser = 0;
        Check(Prepare(StreamHeader), "acmStreamPrepareHeader:");
    } catch (...) {
        CloseAfterFailure();
        throw;
    }
    FHeaderPrepared = true;
    FActive = true;
}

// Undoes a half-done activation: the error that stopped it is the one to report, so the
// result of closing is not.
void TACMConvertor::CloseAfterFailure()
{
    ReleaseBuffers();
    Close();
}

void TACMConvertor::Deactivate()
{
    // Unpreparing is not repeated when only closing failed last time, so that a second
    // attempt can still succeed.
    if (FHeaderPrepared) {
        Check(Unprepare(StreamHeader), "acmStreamUnPrepareHeader:");
        FHeaderPrepared = false;
    }
    Check(Close(), "acmStreamClose:");
    ReleaseBuffers();
    FActive = false;
}

void TACMConvertor::ReleaseBuffers()
{
    delete[] InputBuffer;
    delete[] OutputBuffer;
    InputBuffer = nullptr;
    OutputBuffer = nullptr;
    OutputBufferSize = 0;
}

uint32_t TACMConvertor::Convert()
{
    if (OutputBuffer)
        std::memset(OutputBuffer, 0, OutputBufferSize);
    Check(ConvertHeader(StreamHeader, ACM_STREAMCONVERTF_BLOCKALIGN), "acmStreamConvert:");
    Check(Reset(), "acmStreamReset");
    return StreamHeader.cbDstLengthUsed;
}

void TACMConvertor::DefineProperties(TFiler& filer)
{
    filer.DefineInteger(("InputBufferSize"), [this] { return int64_t(FInputBufferSize); },
                        [this](int64_t v) {
                            if (v < 0 || v > int64_t(UINT32_MAX))
                                throw EFilerError(("Invalid property value"));
                            SetInputBufferSize(uint32_t(v));
                        },
                        true);
    filer.DefineBoolean(("UseRealTime"), [this] { return FUseRealTime; }, [this](bool v) { SetUseRealTime(v); },
                        FUseRealTime);
    filer.DefineBinaryProperty(("ACMFormatIn"), [this](TStream& s) { ReadFormatBlock(s, FormatIn); },
                               [this](TStream& s) { WriteFormatBlock(s, FormatIn); }, true);
    filer.DefineBinaryProperty(("ACMFormatOut"), [this](TStream& s) { ReadFormatBlock(s, FormatOut); },
                               [this](TStream& s) { WriteFormatBlock(s, FormatOut); }, true);
}

void LoadConvertor(TACMConvertor& convertor, const WAVEFORMATEX& format, const void* data, int64_t size,
                   const std::vector<uint8_t>& extra)
{
    if (size > int64_t(UINT32_MAX))
        throw EACMConvertor("The sound is too long to convert");
    convertor.SetActive(false);
    convertor.SetInputBufferSize(uint32_t(size));
    SetSourceFormat(convertor.FormatIn, format, extra);
    convertor.SetActive(true);
    if (size > 0)
        std::memcpy(convertor.InputBuffer, data, size_t(size));
}

uint32_t ConvertWave(TACMConvertor& convertor, TCustomWavStream& wave, bool keepSource)
{
    LoadConvertor(convertor, wave.Format, wave.Memory(), wave.Size(), wave.FormatExtra);
    if (!keepSource)
        wave.Clear();
    return convertor.Convert();
}
