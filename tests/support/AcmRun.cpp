#include "support/AcmRun.h"

#include <cstring>

AcmRun ConvertBlock(const QByteArray& format, const WAVEFORMATEX& target, const QByteArray& source)
{
    AcmRun run;
    HACMSTREAM stream = nullptr;
    run.Result = acmStreamOpen(&stream, nullptr, reinterpret_cast<const WAVEFORMATEX*>(format.constData()), &target,
                               nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
    if (run.Result)
        return run;
    run.Result = acmStreamSize(stream, uint32_t(source.size()), &run.DestinationSize, ACM_STREAMSIZEF_SOURCE);
    if (run.Result) {
        acmStreamClose(stream, 0);
        return run;
    }
    // Poisoned beyond what the stream reports, so that a write past it would show.
    std::vector<uint8_t> src(source.begin(), source.end());
    std::vector<uint8_t> dst(size_t(run.DestinationSize) + 64, 0xA5);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = src.data();
    header.cbSrcLength = uint32_t(src.size());
    header.pbDst = dst.data();
    header.cbDstLength = run.DestinationSize;
    run.Result = acmStreamPrepareHeader(stream, &header, 0);
    if (!run.Result)
        run.Result = acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN);
    run.SourceUsed = header.cbSrcLengthUsed;
    run.Output.assign(dst.begin(), dst.begin() + header.cbDstLengthUsed);
    for (size_t i = run.DestinationSize; i < dst.size(); ++i)
        if (dst[i] != 0xA5)
            run.WroteBeyond = true;
    acmStreamUnprepareHeader(stream, &header, 0);
    acmStreamClose(stream, 0);
    return run;
}

WAVEFORMATEX Pcm(uint16_t channels, uint32_t rate, uint16_t bits)
{
    const uint16_t align = uint16_t(channels * bits / 8);
    return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

QByteArray Record(const WAVEFORMATEX& format)
{
    return QByteArray(reinterpret_cast<const char*>(&format), int(sizeof format));
}
