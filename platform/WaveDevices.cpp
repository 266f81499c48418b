#include "platform/WaveDevices.h"

#include "platform/InheritingLock.h"
#include "platform/SdlWaveDriver.h"
#include "platform/WaveDriver.h"
#include "platform/WaveMapper.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace {

// A header's flags are written by the device's thread when it finishes the buffer and read
// by the calls on the user-interface thread.
DWORD Flags(WAVEHDR* header)
{
    return std::atomic_ref<DWORD>(header->dwFlags).load();
}

void ChangeFlags(WAVEHDR* header, DWORD set, DWORD clear)
{
    std::atomic_ref<DWORD> flags(header->dwFlags);
    DWORD old = flags.load();
    while (!flags.compare_exchange_weak(old, (old & ~clear) | set)) {}
}

// One open device as the calls see it: the driver's device, the window its notices go to,
// and the buffers it holds. A buffer leaves the held list exactly once, and only then is its
// notice posted.
class TWaveHandle final : public IWaveDone {
public:
    TWaveHandle(TWaveDirection direction, HWND window, uintptr_t id) : Direction(direction), FWindow(window), FId(id) {}

    // The device goes first: until it has gone, its thread may still report a buffer here.
    ~TWaveHandle() { Device.reset(); }

    const TWaveDirection Direction;
    std::unique_ptr<IWaveDevice> Device;

    void Hold(WAVEHDR* header)
    {
        std::lock_guard<TInheritingLock> lock(FLock);
        FHeld.push_back(header);
    }

    void Drop(WAVEHDR* header)
    {
        std::lock_guard<TInheritingLock> lock(FLock);
        FHeld.erase(std::remove(FHeld.begin(), FHeld.end(), header), FHeld.end());
    }

    // A notice that cannot be posted leaves the buffer held, to come back at the next reset
    // or close.
    void BufferDone(WAVEHDR* header) override
    {
        std::lock_guard<TInheritingLock> lock(FLock);
        auto it = std::find(FHeld.begin(), FHeld.end(), header);
        if (it == FHeld.end())
            return;
        Finish(header);
        FHeld.erase(it);
    }

    // After a reset or close: whatever the device did not hand back comes back now, in the
    // order it was queued.
    void ReturnHeld()
    {
        std::lock_guard<TInheritingLock> lock(FLock);
        while (!FHeld.empty()) {
            Finish(FHeld.front());
            FHeld.erase(FHeld.begin());
        }
    }

private:
    // Marks the buffer done and posts its notice; the flags are as they were if that fails.
    void Finish(WAVEHDR* header)
    {
        ChangeFlags(header, WHDR_DONE, WHDR_INQUEUE);
        const UINT msg = Direction == TWaveDirection::Output ? MM_WOM_DONE : MM_WIM_DATA;
        try {
            PostMessage(FWindow, msg, static_cast<WPARAM>(FId), reinterpret_cast<LPARAM>(header));
        } catch (...) {
            ChangeFlags(header, WHDR_INQUEUE, WHDR_DONE);
            throw;
        }
    }

    const HWND FWindow;
    const uintptr_t FId;
    TInheritingLock FLock;  // also taken on SDL's real-time sound thread
    std::vector<WAVEHDR*> FHeld;
};

// The open devices of the run and the driver behind them. Every call holds the lock for its
// whole length; devices report finished buffers without it.
struct TWaveState {
    std::mutex Lock;
    IWaveDriver* Driver = nullptr;
    std::unique_ptr<TSdlWaveDriver> Sdl;
    std::map<uintptr_t, std::unique_ptr<TWaveHandle>> Handles;  // destroyed before Sdl
    uintptr_t NextId = 1;

    IWaveDriver& CurrentDriver()
    {
        if (Driver)
            return *Driver;
        if (!Sdl)
            Sdl = std::make_unique<TSdlWaveDriver>();
        return *Sdl;
    }

    TWaveHandle* Find(uintptr_t id, TWaveDirection direction)
    {
        auto it = Handles.find(id);
        if (it == Handles.end() || it->second->Direction != direction)
            return nullptr;
        return it->second.get();
    }

    MMRESULT Close(uintptr_t id, bool evenIfRefused)
    {
        TWaveHandle& handle = *Handles.at(id);
        const MMRESULT result = handle.Device->Close();
        if (result != MMSYSERR_NOERROR && !evenIfRefused)
            return result;
        handle.ReturnHeld();
        Handles.erase(id);
        return result;
    }
};

TWaveState& State()
{
    static TWaveState state;
    return state;
}

// The result of a call that may throw: an allocation that fails is MMSYSERR_NOMEM, anything
// else MMSYSERR_ERROR. No exception leaves the wave calls.
template <typename F>
MMRESULT NoThrow(F&& call) noexcept
{
    try {
        return std::forward<F>(call)();
    } catch (const std::bad_alloc&) {
        return MMSYSERR_NOMEM;
    } catch (...) {
        return MMSYSERR_ERROR;
    }
}

MMRESULT CheckHeader(const WAVEHDR* header, UINT size)
{
    if (!header || size < sizeof(WAVEHDR) || (!header->lpData && header->dwBufferLength > 0))
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

MMRESULT Open(TWaveDirection direction, uintptr_t& handle, UINT deviceId, const WAVEFORMATEX* format, HWND window,
              DWORD flags)
{
    if ((flags & ~(CALLBACK_TYPEMASK | WAVE_MAPPED)) != 0 || (flags & CALLBACK_TYPEMASK) != CALLBACK_WINDOW)
        return MMSYSERR_INVALFLAG;
    if (!format || !window)
        return MMSYSERR_INVALPARAM;

    TWaveState& state = State();
    std::lock_guard<std::mutex> lock(state.Lock);
    IWaveDriver& driver = state.CurrentDriver();
    const UINT count = driver.DeviceCount(direction);
    if (count == 0)
        return MMSYSERR_NODRIVER;
    if (deviceId != WAVE_MAPPER && deviceId >= count)
        return MMSYSERR_BADDEVICEID;

    WAVEFORMATEX record;
    std::memcpy(&record, format, sizeof record);
    const uintptr_t id = state.NextId++;
    auto opened = std::make_unique<TWaveHandle>(direction, window, id);
    MMRESULT result = driver.Open(direction, deviceId, record, flags, *opened, opened->Device);
    // Asked for the mapper, output plays what the device refuses through a conversion.
    if (result == WAVERR_BADFORMAT && direction == TWaveDirection::Output &&
        (deviceId == WAVE_MAPPER || (flags & WAVE_MAPPED)))
        result = OpenMappedOutput(driver, deviceId, format, flags, *opened, opened->Device);
    if (result != MMSYSERR_NOERROR)
        return result;
    if (!opened->Device)
        return MMSYSERR_ERROR;
    state.Handles.emplace(id, std::move(opened));
    handle = id;
    return MMSYSERR_NOERROR;
}

// The handle is empty unless the open succeeds.
template <typename H>
MMRESULT OpenAs(TWaveDirection direction, H* handle, UINT deviceId, const WAVEFORMATEX* format, HWND window,
                DWORD flags)
{
    if (!handle)
        return MMSYSERR_INVALPARAM;
    *handle = nullptr;
    uintptr_t id = 0;
    const MMRESULT result = Open(direction, id, deviceId, format, window, flags);
    *handle = reinterpret_cast<H>(id);
    return result;
}

MMRESULT Prepare(TWaveDirection direction, uintptr_t id, WAVEHDR* header, UINT size)
{
    TWaveState& state = State();
    std::lock_guard<std::mutex> lock(state.Lock);
    TWaveHandle* handle = state.Find(id, direction);
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    if (const MMRESULT bad = CheckHeader(header, size))
        return bad;
    if (Flags(header) & WHDR_PREPARED)
        return MMSYSERR_NOERROR;
    const MMRESULT result = handle->Device->Prepare(header);
    if (result == MMSYSERR_NOERROR)
        ChangeFlags(header, WHDR_PREPARED, 0);
    return result;
}

MMRESULT Unprepare(TWaveDirection direction, uintptr_t id, WAVEHDR* header, UINT size)
{
    TWaveState& state = State();
    std::lock_guard<std::mutex> lock(state.Lock);
    TWaveHandle* handle = state.Find(id, direction);
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    if (const MMRESULT bad = CheckHeader(header, size))
        return bad;
    const DWORD flags = Flags(header);
    if (flags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    if (!(flags & WHDR_PREPARED))
        return MMSYSERR_NOERROR;
    const MMRESULT result = handle->Device->Unprepare(header);
    if (result == MMSYSERR_NOERROR)
        ChangeFlags(header, 0, WHDR_PREPARED);
    return result;
}

MMRESULT Queue(TWaveDirection direction, uintptr_t id, WAVEHDR* header, UINT size)
{
    TWaveState& state = State();
    std::lock_guard<std::mutex> lock(state.Lock);
    TWaveHandle* handle = state.Find(id, direction);
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    if (const MMRESULT bad = CheckHeader(header, size))
        return bad;
    const DWORD flags = Flags(header);
    if (!(flags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (flags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    // Held before the device sees it: the device may finish it at once on its own thread.
    handle->Hold(header);
    ChangeFlags(header, WHDR_INQUEUE, WHDR_DONE);
    const MMRESULT result = NoThrow([&] { return handle->Device->Queue(header); });
    if (result != MMSYSERR_NOERROR) {
        handle->Drop(header);
        ChangeFlags(header, 0, WHDR_INQUEUE);
    }
    return result;
}

MMRESULT Start(uintptr_t id)
{
    TWaveState& state = State();
    std::lock_guard<std::mutex> lock(state.Lock);
    TWaveHandle* handle = state.Find(id, TWaveDirection::Input);
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    return handle->Device->Start();
}

MMRESULT Reset(TWaveDirection direction, uintptr_t id)
{
    TWaveState& state = State();
    std::lock_guard<std::mutex> lock(state.Lock);
    TWaveHandle* handle = state.Find(id, direction);
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    const MMRESULT result = handle->Device->Reset();
    if (result == MMSYSERR_NOERROR)
        handle->ReturnHeld();
    return result;
}

MMRESULT Close(TWaveDirection direction, uintptr_t id)
{
    TWaveState& state = State();
    std::lock_guard<std::mutex> lock(state.Lock);
    if (!state.Find(id, direction))
        return MMSYSERR_INVALHANDLE;
    return state.Close(id, false);
}

template <typename H>
uintptr_t Id(H handle)
{
    return reinterpret_cast<uintptr_t>(handle);
}

}  // namespace

void SetWaveDriver(IWaveDriver* driver)
{
    TWaveState& state = State();
    std::lock_guard<std::mutex> lock(state.Lock);
    while (!state.Handles.empty())
        state.Close(state.Handles.begin()->first, true);
    state.Driver = driver;
    state.Sdl.reset();
}

void PrepareWaveOutput(const WAVEFORMATEX& format)
{
    TWaveState& state = State();
    std::lock_guard<std::mutex> lock(state.Lock);
    if (state.Driver)
        return;
    if (!state.Sdl)
        state.Sdl = std::make_unique<TSdlWaveDriver>();
    state.Sdl->Prepare(format);
}

MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT uDeviceID, const WAVEFORMATEX* pwfx, HWND hwndCallback, DWORD_PTR,
                     DWORD fdwOpen)
{
    return NoThrow([&] { return OpenAs(TWaveDirection::Output, phwo, uDeviceID, pwfx, hwndCallback, fdwOpen); });
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh)
{
    return NoThrow([&] { return Prepare(TWaveDirection::Output, Id(hwo), pwh, cbwh); });
}

MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh)
{
    return NoThrow([&] { return Queue(TWaveDirection::Output, Id(hwo), pwh, cbwh); });
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh)
{
    return NoThrow([&] { return Unprepare(TWaveDirection::Output, Id(hwo), pwh, cbwh); });
}

MMRESULT waveOutReset(HWAVEOUT hwo)
{
    return NoThrow([&] { return Reset(TWaveDirection::Output, Id(hwo)); });
}

MMRESULT waveOutClose(HWAVEOUT hwo)
{
    return NoThrow([&] { return Close(TWaveDirection::Output, Id(hwo)); });
}

MMRESULT waveInOpen(HWAVEIN* phwi, UINT uDeviceID, const WAVEFORMATEX* pwfx, HWND hwndCallback, DWORD_PTR,
                    DWORD fdwOpen)
{
    return NoThrow([&] { return OpenAs(TWaveDirection::Input, phwi, uDeviceID, pwfx, hwndCallback, fdwOpen); });
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh)
{
    return NoThrow([&] { return Prepare(TWaveDirection::Input, Id(hwi), pwh, cbwh); });
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh)
{
    return NoThrow([&] { return Queue(TWaveDirection::Input, Id(hwi), pwh, cbwh); });
}

MMRESULT waveInStart(HWAVEIN hwi)
{
    return NoThrow([&] { return Start(Id(hwi)); });
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh)
{
    return NoThrow([&] { return Unprepare(TWaveDirection::Input, Id(hwi), pwh, cbwh); });
}

MMRESULT waveInReset(HWAVEIN hwi)
{
    return NoThrow([&] { return Reset(TWaveDirection::Input, Id(hwi)); });
}

MMRESULT waveInClose(HWAVEIN hwi)
{
    return NoThrow([&] { return Close(TWaveDirection::Input, Id(hwi)); });
}
