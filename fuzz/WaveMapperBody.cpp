#include "fuzz/FuzzBodies.h"

#include "platform/WaveMapper.h"
#include "support/AcmRun.h"
#include "support/ScriptedWaveDriver.h"
#include "acm/AcmMetrics.h"
#include "framework/ByteOrder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <list>
#include <vector>

namespace {

// GSM 6.10's decoder carries its state from block to block; every piece written starts it
// afresh, so only the count of bytes is the whole sound's.
constexpr uint16_t GsmTag = 0x31;

// Bits of a piece's plan, beside its size.
constexpr uint16_t WriteRefusedOnce = 0x8000;
constexpr uint16_t PrepareRefusedOnce = 0x4000;
constexpr uint16_t PlayedAtOnce = 0x2000;
constexpr uint16_t SizeBits = 0x1FFF;

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

class TDoneLog final : public IWaveDone {
public:
    void BufferDone(WAVEHDR* header) override { Headers.push_back(header); }
    std::vector<WAVEHDR*> Headers;
};

// The PCM formats the device takes, from one byte: bits 0-2 the widths (16, 32, 8 bits),
// bits 3-5 the channel counts (the source's own, stereo, mono).
bool DeviceTakes(uint8_t mask, const WAVEFORMATEX& source, const WAVEFORMATEX& format)
{
    const int width = format.wBitsPerSample == 16 ? 0 : format.wBitsPerSample == 32 ? 1 : 2;
    const int channels = format.nChannels == source.nChannels ? 3 : format.nChannels == 2 ? 4 : 5;
    return format.wFormatTag == WAVE_FORMAT_PCM && (mask >> width & 1) && (mask >> channels & 1);
}

}

void FuzzWaveMapper(const uint8_t* data, size_t size)
{
    if (size < sizeof(WAVEFORMATEX) + 2)
        return;
    WAVEFORMATEX record;
    std::memcpy(&record, data, sizeof record);
    size_t at = sizeof record;
    // The record and its extra bytes in a block as large as the largest format, as the player
    // hands it over: the extra bytes cbSize counts are read, however many the input holds.
    uint32_t largest = 0;
    acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largest);
    QByteArray format(qsizetype(std::max<size_t>(largest, at)), '\0');
    const size_t extra = std::min<size_t>({record.cbSize, size_t(format.size()) - at, size - at - 2});
    std::memcpy(format.data(), data, at + extra);
    at += extra;
    const uint8_t takes = data[at];
    const uint8_t count = data[at + 1];
    at += 2;
    std::vector<uint16_t> plans(std::min<size_t>(count % 16, (size - at) / 2));
    for (uint16_t& plan : plans) {
        plan = GetLe16(data + at);
        at += 2;
    }
    const QByteArray sound(reinterpret_cast<const char*>(data + at), qsizetype(size - at));

    ScriptedWaveDriver driver;
    driver.Takes = [&](const WAVEFORMATEX& f) { return DeviceTakes(takes, record, f); };
    TDoneLog done;
    std::unique_ptr<IWaveDevice> device;
    if (OpenMappedOutput(driver, 0, reinterpret_cast<const WAVEFORMATEX*>(format.constData()), 0, done, device) !=
        MMSYSERR_NOERROR)
        return;
    Require(device && driver.Devices.size() == 1);
    const WAVEFORMATEX played = driver.Devices[0]->Format;

    // Each piece in memory of its own size, so that a read past it is seen.
    std::list<std::vector<char>> pieces;
    std::list<WAVEHDR> headers;
    std::vector<WAVEHDR*> queued;
    qsizetype written = 0;
    bool refused = false;
    for (size_t i = 0; i <= plans.size() && !refused; ++i) {
        const uint16_t plan = i < plans.size() ? plans[i] : 0;
        const qsizetype length =
            i < plans.size() ? std::min<qsizetype>(plan & SizeBits, sound.size() - written) : sound.size() - written;
        std::vector<char>& piece = pieces.emplace_back(sound.begin() + written, sound.begin() + written + length);
        WAVEHDR& header = headers.emplace_back();
        header.lpData = piece.data();
        header.dwBufferLength = DWORD(length);
        const bool refuse = plan & (WriteRefusedOnce | PrepareRefusedOnce);
        if (refuse)
            driver.Plan(plan & WriteRefusedOnce ? "waveOutWrite" : "waveOutPrepareHeader", MMSYSERR_NOMEM);
        MMRESULT result = device->Queue(&header);
        // A block the device refused leaves everything as it was: the same piece goes again.
        if (refuse && result == MMSYSERR_NOMEM)
            result = device->Queue(&header);
        if (result != MMSYSERR_NOERROR) {
            // Only a block that does not convert is refused for good; what was written stands.
            refused = true;
            break;
        }
        queued.push_back(&header);
        written += length;
        if (plan & PlayedAtOnce)
            driver.CompleteOutput();
    }
    Require(device->Close() == MMSYSERR_NOERROR);
    Require(done.Headers == queued);
    if (refused)
        return;

    // The pieces make the whole sound; what reached the device is its whole blocks, converted
    // at once. The incomplete block at the end is never played.
    const AcmRun whole = ConvertBlock(format.toStdString(), played,
                                      sound.left(sound.size() - sound.size() % record.nBlockAlign).toStdString());
    Require(whole.Result == MMSYSERR_NOERROR);
    const QByteArray expected(reinterpret_cast<const char*>(whole.Output.data()), qsizetype(whole.Output.size()));
    if (record.wFormatTag == GsmTag)
        Require(driver.Written().size() == expected.size());
    else
        Require(driver.Written() == expected);
}
