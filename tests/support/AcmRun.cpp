#include "support/AcmRun.h"

#include "acm/AcmBlock.h"

AcmRun ConvertBlock(const std::string& format, const WAVEFORMATEX& target, const std::string& source)
{
    AcmRun run;
    TAcmStream stream;
    run.Result = stream.Open(reinterpret_cast<const WAVEFORMATEX*>(format.data()), &target);
    if (run.Result)
        return run;
    run.Result = stream.Room(uint32_t(source.size()), run.DestinationSize);
    if (run.Result)
        return run;
    // Poisoned beyond what the stream reports, so that a write past it would show.
    const std::vector<uint8_t> src(source.begin(), source.end());
    std::vector<uint8_t> dst(size_t(run.DestinationSize) + 64, 0xA5);
    const TAcmBlock block = stream.ConvertInto(src.data(), uint32_t(src.size()), dst.data(), run.DestinationSize);
    run.Result = block.Result;
    run.SourceUsed = block.SourceUsed;
    run.Output.assign(dst.begin(), dst.begin() + block.Written);
    for (size_t i = run.DestinationSize; i < dst.size(); ++i)
        if (dst[i] != 0xA5)
            run.WroteBeyond = true;
    return run;
}

WAVEFORMATEX Pcm(uint16_t channels, uint32_t rate, uint16_t bits)
{
    const uint16_t align = uint16_t(channels * bits / 8);
    return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

std::string Record(const WAVEFORMATEX& format)
{
    return std::string(reinterpret_cast<const char*>(&format), sizeof format);
}
