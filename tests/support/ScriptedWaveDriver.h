#pragma once

#include "platform/WaveDriver.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

// A wave driver for tests, installed behind the wave calls for as long as it lives (the
// sound system's driver comes back afterwards). Nothing plays and nothing is captured on its
// own: the test plans the result codes of the calls, finishes output buffers when it likes,
// and feeds the bytes the microphone hears. It logs every call that reaches it (calls the
// platform turns away, such as a bad handle, never do) and every byte written.
class ScriptedWaveDriver : public IWaveDriver {
public:
    struct Device {
        int Index = 0;  // in Devices, the order of opening
        TWaveDirection Direction = TWaveDirection::Output;
        UINT DeviceId = 0;
        DWORD Flags = 0;
        WAVEFORMATEX Format{};
        bool Open = true;
        bool Started = false;
        bool Lost = false;
        QByteArray Written;  // output: every byte handed over by waveOutWrite, in order
        std::deque<WAVEHDR*> Queue;  // buffers the device holds, oldest first
        size_t Filled = 0;  // input: bytes already in the oldest buffer
        IWaveDone* Done = nullptr;  // where it reports finished buffers; nullptr once closed
    };
    struct Call {
        QString Name;  // "waveOutOpen", "waveInAddBuffer", ...
        int Device;  // index in Devices; -1 for an open that failed
        WAVEHDR* Header;  // nullptr for calls without one
        MMRESULT Result;
    };

    ScriptedWaveDriver();
    ~ScriptedWaveDriver() override;
    ScriptedWaveDriver(const ScriptedWaveDriver&) = delete;
    ScriptedWaveDriver& operator=(const ScriptedWaveDriver&) = delete;

    // The next call of that name fails with the code and does nothing else. Unknown names throw.
    void Plan(const QString& call, MMRESULT result);
    // Planned as a result: the call throws std::bad_alloc, as an allocation inside it would.
    static constexpr MMRESULT Throws = ~MMRESULT{0};
    // The newest open device of the direction is lost, as when the sound server goes away: it
    // hands back every buffer, and then a write, an added buffer or a start is MMSYSERR_NODRIVER.
    void Lose(TWaveDirection direction);

    // The device has played the oldest `count` buffers of the newest open output device;
    // returns how many it finished.
    size_t CompleteOutput(size_t count = SIZE_MAX);
    // The newest open input device hands back its oldest `count` buffers as they are, with
    // what they hold so far.
    size_t CompleteInput(size_t count = SIZE_MAX);
    // Bytes the microphone hears: they fill the buffers of the newest started input device in
    // order, each going back when full. Bytes that find no buffer wait for the next one.
    void Feed(const QByteArray& bytes);

    // Names of the logged calls, in order.
    QStringList CallNames() const;
    // Every byte handed to any output device by waveOutWrite, in order.
    QByteArray Written() const;
    Device* NewestOpen(TWaveDirection direction);

    UINT OutputDevices = 1;  // 0: no device at all
    // The formats the devices take; an open in any other fails with WAVERR_BADFORMAT (and is
    // logged). Empty: every format.
    std::function<bool(const WAVEFORMATEX&)> Takes;
    UINT InputDevices = 1;
    std::vector<std::unique_ptr<Device>> Devices;
    std::vector<Call> Calls;
    QByteArray Heard;  // fed bytes not yet captured

    UINT DeviceCount(TWaveDirection direction) override;
    MMRESULT Open(TWaveDirection direction, UINT deviceId, const WAVEFORMATEX& format, DWORD flags, IWaveDone& done,
                  std::unique_ptr<IWaveDevice>& device) override;

private:
    class TDevice;
    // Logs the call; its planned result, or 0.
    MMRESULT Enter(const QString& name, int device, WAVEHDR* header);
    void Pump();

    std::map<QString, std::deque<MMRESULT>> FPlans;
    QByteArray FWritten;
};
