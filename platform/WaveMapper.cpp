#include "platform/WaveMapper.h"

#include "acm/AcmBlock.h"

#include <list>
#include <mutex>
#include <vector>

namespace {

WAVEFORMATEX PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits)
{
    const uint16_t align = uint16_t(channels * bits / 8);
    return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

// The formats a source may be played in, the most faithful first: its own channels, then
// stereo, then mono; 16 bits, then 32, then 8. The source's rate throughout, so that no
// block is resampled on its own. The source's own record is left out: the driver has
// refused it already.
std::vector<WAVEFORMATEX> Targets(const WAVEFORMATEX& source)
{
    std::vector<uint16_t> channels{source.nChannels};
    for (uint16_t fewer : {uint16_t(2), uint16_t(1)})
        if (fewer < source.nChannels)
            channels.push_back(fewer);
    if (source.nChannels == 1)
        channels.push_back(2);
    std::vector<WAVEFORMATEX> targets;
    for (uint16_t count : channels)
        for (uint16_t bits : {uint16_t(16), uint16_t(32), uint16_t(8)}) {
            const WAVEFORMATEX target = PcmFormat(count, source.nSamplesPerSec, bits);
            if (source.wFormatTag != WAVE_FORMAT_PCM || source.wBitsPerSample != bits || source.nChannels != count)
                targets.push_back(target);
        }
    return targets;
}

// A device in a format the driver takes, in front of which every block is converted. It is
// the driver's device's done target: each converted block finished there is the caller's
// header finished here.
class TMappedDevice final : public IWaveDevice, public IWaveDone {
public:
    explicit TMappedDevice(IWaveDone& done) : FDone(done) {}

    // The device goes before the stream that fed it.
    ~TMappedDevice() override { Inner.reset(); }

    TAcmStream Stream;
    std::unique_ptr<IWaveDevice> Inner;

    MMRESULT Queue(WAVEHDR* header) override
    {
        Reclaim();
        // Worked on copies: a block the device does not take leaves everything as it was.
        std::vector<uint8_t> carry = FCarry;
        std::vector<uint8_t> converted;
        if (const MMRESULT result = Stream.ConvertRun(carry, reinterpret_cast<const uint8_t*>(header->lpData),
                                                      header->dwBufferLength, converted))
            return result;

        auto block = std::make_unique<Block>();
        block->Bytes = std::move(converted);
        block->Caller = header;
        block->Header.lpData = reinterpret_cast<char*>(block->Bytes.data());
        block->Header.dwBufferLength = DWORD(block->Bytes.size());
        block->Header.dwFlags = WHDR_PREPARED;
        WAVEHDR* inner = &block->Header;
        if (const MMRESULT result = Inner->Prepare(inner))
            return result;
        // Whatever the device does not take, also by throwing, is let go again.
        const auto forget = [&] {
            Inner->Unprepare(inner);
            std::lock_guard<std::mutex> lock(FLock);
            FBlocks.remove_if([&](const std::unique_ptr<Block>& b) { return &b->Header == inner; });
        };
        MMRESULT result = MMSYSERR_NOMEM;
        try {
            {
                // Listed before the device sees it: the device may finish it at once.
                std::lock_guard<std::mutex> lock(FLock);
                FBlocks.push_back(std::move(block));
            }
            result = Inner->Queue(inner);
        } catch (...) {
            forget();
            throw;
        }
        if (result != MMSYSERR_NOERROR) {
            forget();
            return result;
        }
        FCarry = std::move(carry);
        return MMSYSERR_NOERROR;
    }

    MMRESULT Start() override { return Inner->Start(); }

    MMRESULT Reset() override
    {
        const MMRESULT result = Inner->Reset();
        if (result == MMSYSERR_NOERROR)
            FCarry.clear();
        Reclaim();
        return result;
    }

    MMRESULT Close() override
    {
        const MMRESULT result = Inner->Close();
        if (result != MMSYSERR_NOERROR)
            return result;
        FCarry.clear();
        Reclaim();
        return MMSYSERR_NOERROR;
    }

    void BufferDone(WAVEHDR* header) override
    {
        WAVEHDR* caller = nullptr;
        {
            std::lock_guard<std::mutex> lock(FLock);
            for (const auto& block : FBlocks)
                if (&block->Header == header && !block->Finished) {
                    block->Finished = true;
                    caller = block->Caller;
                    break;
                }
        }
        if (caller)
            FDone.BufferDone(caller);
    }

private:
    struct Block {
        WAVEHDR Header{};
        std::vector<uint8_t> Bytes;
        WAVEHDR* Caller = nullptr;
        bool Finished = false;
    };

    // Lets go of the blocks the device has finished with.
    void Reclaim()
    {
        std::list<std::unique_ptr<Block>> finished;
        {
            std::lock_guard<std::mutex> lock(FLock);
            for (auto it = FBlocks.begin(); it != FBlocks.end();) {
                auto next = std::next(it);
                if ((*it)->Finished)
                    finished.splice(finished.end(), FBlocks, it);
                it = next;
            }
        }
        for (const auto& block : finished)
            Inner->Unprepare(&block->Header);
    }

    IWaveDone& FDone;
    std::mutex FLock;  // guards FBlocks, which the device's thread reads
    std::list<std::unique_ptr<Block>> FBlocks;
    std::vector<uint8_t> FCarry;  // the start of a source block still incomplete
};

}  // namespace

MMRESULT OpenMappedOutput(IWaveDriver& driver, UINT deviceId, const WAVEFORMATEX* format, DWORD flags, IWaveDone& done,
                          std::unique_ptr<IWaveDevice>& device)
{
    auto mapped = std::make_unique<TMappedDevice>(done);
    for (const WAVEFORMATEX& target : Targets(*format)) {
        // The device owns the stream, so that a driver's open that throws closes it too.
        if (mapped->Stream.Open(format, &target, 0) != MMSYSERR_NOERROR)
            continue;
        const MMRESULT result = driver.Open(TWaveDirection::Output, deviceId, target, flags, *mapped, mapped->Inner);
        if (result == MMSYSERR_NOERROR && mapped->Inner) {
            device = std::move(mapped);
            return MMSYSERR_NOERROR;
        }
        mapped->Stream.Close();
        if (result != WAVERR_BADFORMAT)
            return result == MMSYSERR_NOERROR ? MMSYSERR_ERROR : result;
    }
    return WAVERR_BADFORMAT;
}
