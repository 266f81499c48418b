#include "devices/ACMWaveOut.h"

#include "forms/Dialogs.h"
#include "acm/AcmMetrics.h"

#include <QString>
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

HWAVEOUT PlayerHandle = nullptr;
bool PlayerClosing = false;

namespace {

// A played block: its header, its bytes, and the device it was written to, which may be
// closed and replaced by another before the notice arrives.
struct TPlayerBuffer {
    WAVEHDR Header{};
    std::unique_ptr<char[]> Bytes;
    HWAVEOUT Device = nullptr;
};

// Every buffer handed to a device and not yet released, by header. A notice for a header
// not listed here (one freed by a destroyed player) is ignored without reading it.
std::map<WAVEHDR*, std::unique_ptr<TPlayerBuffer>> PlayerBuffers;

}  // namespace

TACMWaveOut::TACMWaveOut(QObject* owner) : QObject(owner) {}

TACMWaveOut::~TACMWaveOut()
{
    Close();
    PlayerBuffers.clear();
}

void TACMWaveOut::Open(const WAVEFORMATEX* format, size_t formatSize)
{
    if (!format || PlayerHandle)
        return;
    // The copy never reads past the caller's record and always holds a whole WAVEFORMATEX.
    uint32_t largest = 0;
    acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largest);
    std::vector<char> block(std::max<size_t>(largest, sizeof(WAVEFORMATEX)), 0);
    std::memcpy(block.data(), format, std::min(formatSize, block.size()));

    HWAVEOUT handle = nullptr;
    const MMRESULT result = waveOutOpen(&handle, 0, reinterpret_cast<const WAVEFORMATEX*>(block.data()), parent(),
                                        0, CALLBACK_WINDOW | WAVE_MAPPED);
    if (result != MMSYSERR_NOERROR) {
        ShowMessage(QStringLiteral("Problem creating playing handle") + QString::number(result));
        return;
    }
    PlayerHandle = handle;
    PlayerClosing = false;
}

void TACMWaveOut::Play(const void* data, uint32_t size)
{
    if (!PlayerHandle)
        return;
    auto buffer = std::make_unique<TPlayerBuffer>();
    buffer->Bytes.reset(new char[size]);
    if (size > 0)
        std::memcpy(buffer->Bytes.get(), data, size);
    buffer->Device = PlayerHandle;
    WAVEHDR* header = &buffer->Header;
    header->lpData = buffer->Bytes.get();
    header->dwBufferLength = size;
    header->dwBytesRecorded = size;

    const HWAVEOUT device = buffer->Device;
    const bool prepared = waveOutPrepareHeader(device, header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
    if (!prepared)
        ShowMessage(QStringLiteral("WaveOutPrepareHeader error"));

    PlayerBuffers.emplace(header, std::move(buffer));
    if (waveOutWrite(device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        // The device did not take it, so no notice will come: it goes now.
        if (prepared)
            waveOutUnprepareHeader(device, header, sizeof(WAVEHDR));
        PlayerBuffers.erase(header);
        ShowMessage(QStringLiteral("WaveOutWrite error"));
    }
}

void TACMWaveOut::Close()
{
    if (!PlayerHandle)
        return;
    PlayerClosing = true;
    waveOutReset(PlayerHandle);
    waveOutClose(PlayerHandle);
    PlayerHandle = nullptr;
}

bool TACMWaveOut::event(QEvent* event)
{
    if (const TMessage* message = WindowMessage(event); message && message->Msg == MM_WOM_DONE) {
        if (PlayerBufferDone(message->LParam) && OnCallBack)
            OnCallBack(this);
        return true;
    }
    return QObject::event(event);
}

bool PlayerBufferDone(LPARAM header)
{
    auto entry = PlayerBuffers.extract(reinterpret_cast<WAVEHDR*>(header));
    if (entry.empty())
        return false;
    TPlayerBuffer& buffer = *entry.mapped();
    // A buffer whose device has been closed since has nothing left to unprepare.
    if (!PlayerClosing && buffer.Device == PlayerHandle &&
        waveOutUnprepareHeader(buffer.Device, &buffer.Header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
        ShowMessage(QStringLiteral("WaveOutUnprepareHeader error"));
    return true;
}
