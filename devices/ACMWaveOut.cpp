#include "devices/ACMWaveOut.h"

#include "forms/Dialogs.h"
#include "acm/AcmMetrics.h"

#include <QString>
#include <algorithm>
#include <cstring>
#include <vector>

TACMWaveOut::TACMWaveOut(QObject* owner) : QObject(owner) {}

TACMWaveOut::~TACMWaveOut()
{
    Close();
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
    const MMRESULT result = waveOutOpen(&handle, 0, reinterpret_cast<const WAVEFORMATEX*>(block.data()), parent(), 0,
                                        CALLBACK_WINDOW | WAVE_MAPPED);
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
    const HWAVEOUT device = PlayerHandle;
    WAVEHDR* header = PlayerBuffers.Add(size, device);
    if (size > 0)
        std::memcpy(header->lpData, data, size);
    header->dwBytesRecorded = size;

    const bool prepared = waveOutPrepareHeader(device, header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
    if (!prepared)
        ShowMessage(QStringLiteral("WaveOutPrepareHeader error"));

    if (waveOutWrite(device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        // The device did not take it, so no notice will come: it goes now.
        if (prepared)
            waveOutUnprepareHeader(device, header, sizeof(WAVEHDR));
        PlayerBuffers.Release(header);
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

bool TACMWaveOut::PlayerBufferDone(LPARAM header)
{
    // A notice for a header not listed (one already freed) is ignored without reading it.
    const std::unique_ptr<TOwnedHeader> buffer = PlayerBuffers.Take(reinterpret_cast<WAVEHDR*>(header));
    if (!buffer)
        return false;
    // A buffer whose device has been closed since has nothing left to unprepare.
    if (!PlayerClosing && buffer->Device == PlayerHandle &&
        waveOutUnprepareHeader(PlayerHandle, &buffer->Header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
        ShowMessage(QStringLiteral("WaveOutUnprepareHeader error"));
    return true;
}
