#include "support/ScriptedWaveDriver.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace {

const QStringList KnownCalls = {
    "waveOutOpen",           "waveOutPrepareHeader", "waveOutWrite",        "waveOutUnprepareHeader", "waveOutReset",
    "waveOutClose",          "waveInOpen",           "waveInPrepareHeader", "waveInAddBuffer",        "waveInStart",
    "waveInUnprepareHeader", "waveInReset",          "waveInClose"};

QString CallName(TWaveDirection direction, const char* output, const char* input)
{
    return QString::fromLatin1(direction == TWaveDirection::Output ? output : input);
}

// Finishes the oldest buffers of a device, as the device itself would.
size_t Finish(ScriptedWaveDriver::Device* device, size_t count)
{
    if (!device)
        return 0;
    size_t done = 0;
    while (done < count && !device->Queue.empty()) {
        WAVEHDR* header = device->Queue.front();
        device->Queue.pop_front();
        if (device->Direction == TWaveDirection::Input) {
            header->dwBytesRecorded = static_cast<DWORD>(device->Filled);
            device->Filled = 0;
        }
        device->Done->BufferDone(header);
        ++done;
    }
    return done;
}

}  // namespace

// The device the platform talks to: each call is logged and may fail as planned.
class ScriptedWaveDriver::TDevice final : public IWaveDevice {
public:
    TDevice(ScriptedWaveDriver& driver, Device& state) : FDriver(driver), FState(state) {}

    MMRESULT Prepare(WAVEHDR* header) override { return Enter("waveOutPrepareHeader", "waveInPrepareHeader", header); }

    MMRESULT Unprepare(WAVEHDR* header) override
    {
        return Enter("waveOutUnprepareHeader", "waveInUnprepareHeader", header);
    }

    MMRESULT Queue(WAVEHDR* header) override
    {
        if (const MMRESULT planned = Enter("waveOutWrite", "waveInAddBuffer", header))
            return planned;
        if (FState.Lost)
            return FDriver.Calls.back().Result = MMSYSERR_NODRIVER;
        FState.Queue.push_back(header);
        if (FState.Direction == TWaveDirection::Output) {
            const QByteArray bytes(header->lpData, static_cast<qsizetype>(header->dwBufferLength));
            FState.Written += bytes;
            FDriver.FWritten += bytes;
        } else {
            FDriver.Pump();
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT Start() override
    {
        if (const MMRESULT planned = Enter("waveInStart", "waveInStart", nullptr))
            return planned;
        if (FState.Lost)
            return FDriver.Calls.back().Result = MMSYSERR_NODRIVER;
        FState.Started = true;
        FDriver.Pump();
        return MMSYSERR_NOERROR;
    }

    MMRESULT Reset() override { return Stop("waveOutReset", "waveInReset"); }

    MMRESULT Close() override
    {
        const MMRESULT result = Stop("waveOutClose", "waveInClose");
        if (result == MMSYSERR_NOERROR)
            FState.Open = false;
        return result;
    }

    ~TDevice() override
    {
        FState.Open = false;
        FState.Done = nullptr;
    }

private:
    // Unless planned otherwise: capture stops and every buffer goes back.
    MMRESULT Stop(const char* output, const char* input)
    {
        if (const MMRESULT planned = Enter(output, input, nullptr))
            return planned;
        FState.Started = false;
        Finish(&FState, SIZE_MAX);
        return MMSYSERR_NOERROR;
    }

    MMRESULT Enter(const char* output, const char* input, WAVEHDR* header)
    {
        return FDriver.Enter(CallName(FState.Direction, output, input), FState.Index, header);
    }

    ScriptedWaveDriver& FDriver;
    Device& FState;
};

ScriptedWaveDriver::ScriptedWaveDriver()
{
    SetWaveDriver(this);
}

ScriptedWaveDriver::~ScriptedWaveDriver()
{
    SetWaveDriver(nullptr);
}

void ScriptedWaveDriver::Plan(const QString& call, MMRESULT result)
{
    if (!KnownCalls.contains(call))
        throw std::invalid_argument("no wave call is named " + call.toStdString());
    FPlans[call].push_back(result);
}

MMRESULT ScriptedWaveDriver::Enter(const QString& name, int device, WAVEHDR* header)
{
    MMRESULT result = MMSYSERR_NOERROR;
    auto plan = FPlans.find(name);
    if (plan != FPlans.end() && !plan->second.empty()) {
        result = plan->second.front();
        plan->second.pop_front();
    }
    Calls.push_back({name, device, header, result});
    if (result == Throws)
        throw std::bad_alloc();
    return result;
}

void ScriptedWaveDriver::Lose(TWaveDirection direction)
{
    Device* device = NewestOpen(direction);
    if (!device)
        return;
    device->Lost = true;
    device->Started = false;
    Finish(device, SIZE_MAX);
}

UINT ScriptedWaveDriver::DeviceCount(TWaveDirection direction)
{
    return direction == TWaveDirection::Output ? OutputDevices : InputDevices;
}

MMRESULT ScriptedWaveDriver::Open(TWaveDirection direction, UINT deviceId, const WAVEFORMATEX& format, DWORD flags,
                                  IWaveDone& done, std::unique_ptr<IWaveDevice>& device)
{
    const QString name = CallName(direction, "waveOutOpen", "waveInOpen");
    if (const MMRESULT planned = Enter(name, -1, nullptr))
        return planned;
    if (Takes && !Takes(format)) {
        Calls.back().Result = WAVERR_BADFORMAT;
        return WAVERR_BADFORMAT;
    }
    auto state = std::make_unique<Device>();
    state->Index = static_cast<int>(Devices.size());
    state->Direction = direction;
    state->DeviceId = deviceId;
    state->Flags = flags;
    state->Format = format;
    state->Done = &done;
    Calls.back().Device = state->Index;
    device = std::make_unique<TDevice>(*this, *state);
    Devices.push_back(std::move(state));
    return MMSYSERR_NOERROR;
}

ScriptedWaveDriver::Device* ScriptedWaveDriver::NewestOpen(TWaveDirection direction)
{
    for (auto it = Devices.rbegin(); it != Devices.rend(); ++it)
        if ((*it)->Open && (*it)->Direction == direction)
            return it->get();
    return nullptr;
}

size_t ScriptedWaveDriver::CompleteOutput(size_t count)
{
    return Finish(NewestOpen(TWaveDirection::Output), count);
}

size_t ScriptedWaveDriver::CompleteInput(size_t count)
{
    return Finish(NewestOpen(TWaveDirection::Input), count);
}

void ScriptedWaveDriver::Feed(const QByteArray& bytes)
{
    Heard += bytes;
    Pump();
}

void ScriptedWaveDriver::Pump()
{
    Device* device = NewestOpen(TWaveDirection::Input);
    if (!device || !device->Started)
        return;
    while (!device->Queue.empty() && !Heard.isEmpty()) {
        WAVEHDR* header = device->Queue.front();
        const size_t take = std::min<size_t>(header->dwBufferLength - device->Filled, Heard.size());
        std::copy_n(Heard.constData(), take, header->lpData + device->Filled);
        Heard.remove(0, static_cast<qsizetype>(take));
        device->Filled += take;
        if (device->Filled == header->dwBufferLength)
            Finish(device, 1);
    }
}

QStringList ScriptedWaveDriver::CallNames() const
{
    QStringList names;
    for (const Call& call : Calls)
        names << call.Name;
    return names;
}

QByteArray ScriptedWaveDriver::Written() const
{
    return FWritten;
}
