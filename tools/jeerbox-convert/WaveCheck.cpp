#include "Check.h"
#include "finish/Lanes.h"

#include "acm/Riff.h"
#include "framework/Streams.h"
#include "sound/TauntFormat.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double TauntRate = TauntFormat.nSamplesPerSec;

std::string FormatName(const WAVEFORMATEX& f)
{
    const char* tag = f.wFormatTag == 1 ? "PCM"
        : f.wFormatTag == 3             ? "float"
        : f.wFormatTag == 6             ? "A-law"
        : f.wFormatTag == 7             ? "mu-law"
        : f.wFormatTag == 0xFFFE        ? "extensible"
                                        : nullptr;
    const std::string channels = f.nChannels == 1 ? "mono"
        : f.nChannels == 2                        ? "stereo"
                                                  : Printf("%u-channel", f.nChannels);
    return Printf("%u Hz %u-bit %s ", unsigned(f.nSamplesPerSec), f.wBitsPerSample, channels.c_str()) +
        (tag ? tag : Printf("format 0x%04X", f.wFormatTag));
}

void JudgeFormat(TWaveReport& r)
{
    const WAVEFORMATEX& f = r.Format;
    const WAVEFORMATEX& t = TauntFormat;
    if (!r.HasFormat) {
        r.Findings.Failures.push_back("no fmt chunk");
    } else if (f.wFormatTag != t.wFormatTag || f.nChannels != t.nChannels || f.nSamplesPerSec != t.nSamplesPerSec ||
               f.wBitsPerSample != t.wBitsPerSample) {
        r.Findings.Failures.push_back(FormatName(f) + ", not the taunt format (" + FormatName(t) + ")");
    } else if (f.nAvgBytesPerSec != t.nAvgBytesPerSec || f.nBlockAlign != t.nBlockAlign) {
        r.Findings.Failures.push_back(Printf("its format record says %u bytes a second and %u a frame, not 22050 and 1",
                                             unsigned(f.nAvgBytesPerSec), f.nBlockAlign));
    }
}

// What the game's loader meets besides one "fmt " and one "data" chunk: other chunks, a chunk
// cut short, an odd-sized chunk whose pad byte is missing before the next chunk.
void JudgeChunks(TWaveReport& r, int64_t fileSize, uint32_t riffSize)
{
    int fmts = 0;
    int datas = 0;
    for (size_t i = 0; i < r.Chunks.size(); ++i) {
        const TWaveChunk& c = r.Chunks[i];
        const std::string id = "chunk \"" + c.Id + "\"";
        if (c.Id == "fmt ")
            ++fmts;
        else if (c.Id == "data")
            ++datas;
        else
            r.Findings.Failures.push_back(
                Printf("%s (%lld bytes) besides fmt and data", id.c_str(), (long long)c.Declared));
        if (c.Present < c.Declared)
            r.Findings.Failures.push_back(Printf("%s is cut: it declares %lld bytes, the file holds %lld", id.c_str(),
                                                 (long long)c.Declared, (long long)c.Present));
        else if ((c.Declared & 1) && !c.Padded && i + 1 < r.Chunks.size())
            r.Findings.Failures.push_back(id + " has an odd size and no pad byte before the next chunk");
    }
    if (fmts > 1 || datas > 1)
        r.Findings.Failures.push_back(Printf("%d fmt and %d data chunks, not one of each", fmts, datas));
    if (datas == 0)
        r.Findings.Failures.push_back("no data chunk");
    else if (r.DataBytes == 0)
        r.Findings.Failures.push_back("no samples");

    // One byte after an odd-sized last chunk is its pad; the program's own files end without.
    int64_t end = int64_t(RiffWaveIdSize);
    if (!r.Chunks.empty()) {
        const TWaveChunk& last = r.Chunks.back();
        end = last.Start + 8 + last.Present + (last.Padded ? 1 : 0);
        if ((last.Declared & 1) && !last.Padded && fileSize == end + 1)
            ++end;
    }
    if (fileSize > end)
        r.Findings.Warnings.push_back(Printf("%lld bytes after its last chunk", (long long)(fileSize - end)));
    if (int64_t(riffSize) != fileSize - 8)
        r.Findings.Warnings.push_back(
            Printf("its RIFF size says %u bytes, the file holds %lld after it", riffSize, (long long)(fileSize - 8)));
}

TTauntFigures Measure(const uint8_t* s, size_t n, const TCheckOptions& o, TFindings& findings)
{
    TTauntFigures m;
    m.Seconds = double(n) / TauntRate;
    const int silence = int(128.0 * std::pow(10.0, o.SilenceDb / 20.0));
    bool used[256] = {};
    int64_t sum = 0;
    size_t first = n;
    size_t last = 0;
    for (size_t i = 0, run = 0; i < n; ++i) {
        const int v = s[i];
        used[v] = true;
        sum += v - 128;
        m.Peak = std::max(m.Peak, std::abs(v - 128));
        if (std::abs(v - 128) > silence) {
            first = std::min(first, i);
            last = i;
        }
        // A run at a rail counts whole once it is long enough.
        const bool rail = v == 0 || v == 255;
        run = rail && i > 0 && s[i - 1] == v ? run + 1 : rail ? 1 : 0;
        if (run == size_t(o.ClipRun))
            m.Clipped += o.ClipRun;
        else if (run > size_t(o.ClipRun))
            ++m.Clipped;
    }
    m.Levels = int(std::count(std::begin(used), std::end(used), true));
    m.Dc = n ? double(sum) / double(n) : 0.0;
    m.LeadingSilence = double(first == n ? n : first) / TauntRate;
    m.TrailingSilence = double(first == n ? n : n - 1 - last) / TauntRate;
    m.FirstStep = n ? std::abs(s[0] - 128) : 0;
    m.LastStep = n ? std::abs(s[n - 1] - 128) : 0;
    m.Lufs = MeasureTauntLufs(s, n);

    if (m.Clipped > 0)
        findings.Failures.push_back(
            Printf("%lld samples clipped (in runs of %d or more at 0 or 255)", (long long)m.Clipped, o.ClipRun));
    if (std::fabs(m.Dc) > o.MaxDc)
        findings.Warnings.push_back(Printf("DC offset of %+.1f levels", m.Dc));
    if (m.FirstStep > o.Click)
        findings.Warnings.push_back(Printf("a step of %d levels at its first sample (a click)", m.FirstStep));
    if (m.LastStep > o.Click)
        findings.Warnings.push_back(Printf("a step of %d levels at its last sample (a click)", m.LastStep));
    if (first == n) {
        findings.Warnings.push_back("silent throughout");
    } else {
        if (m.LeadingSilence > o.MaxSilence)
            findings.Warnings.push_back(Printf("%.2f s of silence at its start", m.LeadingSilence));
        if (m.TrailingSilence > o.MaxSilence)
            findings.Warnings.push_back(Printf("%.2f s of silence at its end", m.TrailingSilence));
    }
    if (m.Levels < o.MinLevels)
        findings.Warnings.push_back(Printf("uses only %d of the 256 levels", m.Levels));
    return m;
}

}

bool TWaveReport::IsTaunt() const
{
    const WAVEFORMATEX& t = TauntFormat;
    return Read && HasFormat && Format.wFormatTag == t.wFormatTag && Format.nChannels == t.nChannels &&
        Format.nSamplesPerSec == t.nSamplesPerSec && Format.nAvgBytesPerSec == t.nAvgBytesPerSec &&
        Format.nBlockAlign == t.nBlockAlign && Format.wBitsPerSample == t.wBitsPerSample;
}

TWaveReport InspectWave(const std::string& path, const TCheckOptions& options, bool measure)
{
    TWaveReport r;
    r.File = path;
    try {
        // The walk reads the chunk headers alone; the samples are read only to be measured.
        TFileStream file(path, TFileMode::OpenRead);
        TWaveParts parts;
        WalkWaveChunks(file, parts);
        r.Read = true;
        r.HasFormat = std::any_of(parts.Chunks.begin(), parts.Chunks.end(), [](auto& c) { return c.Id == "fmt "; });
        r.Format = parts.Format;
        r.Chunks = std::move(parts.Chunks);
        r.DataBytes = parts.DataSize;
        uint8_t riff[8];
        file.Seek(0, TSeekOrigin::Beginning);
        file.ReadBuffer(riff, sizeof riff);
        JudgeFormat(r);
        JudgeChunks(r, file.Size(), GetLe32(riff + 4));
        if (measure && r.IsTaunt() && r.DataBytes > 0) {
            std::vector<uint8_t> samples(size_t(r.DataBytes));
            file.Seek(parts.DataStart, TSeekOrigin::Beginning);
            file.ReadBuffer(samples.data(), r.DataBytes);
            r.Figures = Measure(samples.data(), samples.size(), options, r.Findings);
        }
    } catch (const std::exception& e) {
        r.Findings.Failures.push_back(e.what());
    }
    return r;
}
