#include "Taunt.h"

#include "finish/Filters.h"
#include "finish/Levels.h"
#include "framework/Exception.h"
#include "framework/ReplacingFile.h"
#include "framework/SideBySide.h"
#include "acm/Riff.h"
#include "sound/StreamConvert.h"
#include "sound/TauntFormat.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace {

// The taunt's rate and width at full precision: what levelling measures and works on.
constexpr WAVEFORMATEX WideTauntFormat{WAVE_FORMAT_PCM, 1, 22050, 22050 * 4, 4, 32, 0};
constexpr uint32_t WrittenFmtSize = 16;
constexpr uint64_t HeaderSize = WaveHeaderSize(WrittenFmtSize);
// Trimming leaves 5 ms before the first sound and after the last.
constexpr uint64_t TrimMargin = 110;
// A temporary file for a sound this long (a minute) is closed beside the commit.
constexpr uint64_t ReleasedAside = 60 * 22050;

// Writes all of `count` bytes at `at` of the file `handle`, or raises naming `name`.
void WriteAt(int handle, const std::string& name, uint64_t at, const uint8_t* bytes, uint64_t count)
{
    for (uint64_t done = 0; done < count;) {
        const ssize_t n = ::pwrite(handle, bytes + done, size_t(count - done), off_t(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EWriteError("Cannot write \"" + name + "\". " + SystemErrorText(n < 0 ? errno : ENOSPC));
        done += uint64_t(n);
    }
}

// The converted sound at full precision, as floats, kept in a file without a name beside the
// taunt while it is finished: the finishing chain reads it more than once, and converting it
// once is most of the work. The file goes with its handle, however the run ends.
class TWideFile : public TWideStore {
public:
    explicit TWideFile(const std::string& target)
    {
        const size_t slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
        FHandle = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (FHandle < 0) {
            // A file system without unnamed files: a named one, unlinked at once.
            std::string name = folder + "/.jeerbox-wide-XXXXXX";
            FHandle = ::mkostemp(name.data(), O_CLOEXEC);
            if (FHandle >= 0)
                ::unlink(name.c_str());
        }
        if (FHandle < 0)
            throw EWriteError("Cannot write in \"" + folder + "\". " + SystemErrorText(errno));
    }
    ~TWideFile() override { ::close(FHandle); }
    TWideFile(const TWideFile&) = delete;
    TWideFile& operator=(const TWideFile&) = delete;

    void Write(uint64_t at, const float* samples, uint64_t count) override
    {
        WriteAt(FHandle, "a temporary file", at * 4, reinterpret_cast<const uint8_t*>(samples), count * 4);
    }

    void Read(uint64_t at, float* samples, uint64_t count) override
    {
        auto* bytes = reinterpret_cast<uint8_t*>(samples);
        for (uint64_t done = 0; done < count * 4;) {
            const ssize_t n = ::pread(FHandle, bytes + done, size_t(count * 4 - done), off_t(at * 4 + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw EReadError("Cannot read a temporary file. " + SystemErrorText(n < 0 ? errno : EIO));
            done += uint64_t(n);
        }
    }

private:
    int FHandle = -1;
};

// The WAV file being written: its samples land at their places as they come.
class TTauntFile {
public:
    explicit TTauntFile(const std::string& name) : FFile(name), FName(name) {}

    void Write(uint64_t at, const uint8_t* bytes, uint64_t count)
    {
        WriteAt(static_cast<TFileStream&>(FFile.Stream()).Handle(), FName, HeaderSize + at, bytes, count);
    }

    void Commit(uint64_t length)
    {
        if (length > UINT32_MAX - 36)
            throw EWriteError("The sound is too long for a WAV file.");
        uint8_t header[HeaderSize];
        PutWaveHeader(header, &TauntFormat, WrittenFmtSize, uint32_t(length));
        TStream& stream = FFile.Stream();
        stream.Seek(0, TSeekOrigin::Beginning);
        stream.WriteBuffer(header, sizeof header);
        stream.SetSize(int64_t(HeaderSize + length));
        stream.Seek(int64_t(HeaderSize + length), TSeekOrigin::Beginning);
        FFile.Commit();
    }

private:
    TReplacingFile FFile;
    std::string FName;
};

// The span of a sound to keep.
struct TSpan {
    uint64_t First = 0;
    uint64_t End = UINT64_MAX;
};

// Hands on the part of [at, at + count) that lies in the span, at its place in the span.
template <typename Sink>
void WithinSpan(const TSpan& span, uint64_t at, const uint8_t* bytes, uint64_t count, uint64_t size, Sink&& sink)
{
    const uint64_t from = std::max(at, span.First);
    const uint64_t to = std::min(at + count, span.End);
    if (from < to)
        sink(from - span.First, bytes + (from - at) * size, to - from);
}

void ToFloats(const uint8_t* wide, uint64_t count, std::vector<float>& out)
{
    out.resize(size_t(count));
    constexpr float Unit = 1.0f / 2147483648.0f;
    uint64_t i = 0;
    // Four at a time where the samples' order of bytes is the machine's.
    if constexpr (std::endian::native == std::endian::little)
        for (; i + 4 <= count; i += 4) {
            using TInt4 = int32_t __attribute__((vector_size(16)));
            TInt4 v;
            std::memcpy(&v, wide + 4 * i, sizeof v);
            const TFloat4 f = __builtin_convertvector(v, TFloat4) * Unit;
            std::memcpy(out.data() + i, &f, sizeof f);
        }
    for (; i < count; ++i)
        out[i] = float(int32_t(GetLe32(wide + 4 * i))) * Unit;
}

class TTauntMaker {
public:
    TTauntMaker(const std::string& source, const TTauntRecipe& recipe, const std::function<void(double)>& progress)
        : FSource(source), FRecipe(recipe), FProgress(progress)
    {
    }

    TTauntMade Make(const std::string& target)
    {
        TTauntFile file(target);
        TTauntMade made = FRecipe.Reshapes() ? Finish(target, file) : Cut(file);
        // A long sound's temporary file gives back its pages (some milliseconds for ten
        // minutes) on another thread while the taunt is committed.
        if (FWide && made.Length > ReleasedAside)
            RunSideBySide(2, [&](size_t part) {
                if (part == 0)
                    file.Commit(made.Length);
                else
                    FWide.reset();
            });
        else
            file.Commit(made.Length);
        return made;
    }

private:
    // The finishing chain over the sound converted once at full precision: the conversion is
    // counted as half the work, the chain's passes as the other half.
    TTauntMade Finish(const std::string& target, TTauntFile& file)
    {
        FWide = std::make_unique<TWideFile>(target);
        TWideFile& wide = *FWide;
        const uint64_t bytes = ConvertSoundFile(
            FSource, WideTauntFormat, FRecipe.Parallel,
            [&](uint64_t at, const uint8_t* samples, uint32_t count) {
                // Each of the two converting threads keeps its own buffer.
                thread_local std::vector<float> mine;
                ToFloats(samples, count / 4, mine);
                wide.Write(at / 4, mine.data(), mine.size());
            },
            [&](uint64_t done, uint64_t total) {
                if (FProgress && total > 0)
                    FProgress(0.5 * double(done) / double(total));
            });
        return FinishSignal(
            wide, bytes / 4, FRecipe,
            [&](uint64_t at, const uint8_t* taunt, uint64_t count) { file.Write(at, taunt, count); },
            [&](double done) {
                if (FProgress)
                    FProgress(0.5 + 0.5 * done);
            },
            FRecipe.Parallel);
    }

    // The plain conversion, with the silence at the ends cut when asked: the taunt's bytes are
    // those of the conversion.
    TTauntMade Cut(TTauntFile& file)
    {
        TTauntMade made;
        TSpan span;
        FPasses = FRecipe.TrimDb ? 2 : 1;
        if (FRecipe.TrimDb) {
            TTrimFinder trim(*FRecipe.TrimDb, TrimMargin);
            std::mutex lock;
            const uint64_t bytes = Convert(WideTauntFormat, [&](uint64_t at, const uint8_t* wide, uint32_t count) {
                std::vector<float> mine;
                ToFloats(wide, count / 4, mine);
                std::lock_guard<std::mutex> guard(lock);
                trim.Put(at / 4, mine.data(), mine.size());
            });
            span = {trim.First(bytes / 4), trim.End(bytes / 4)};
            if (span.First == span.End)
                made.Notes.push_back("silent throughout: trimming leaves nothing");
        }
        std::mutex lock;
        Convert(TauntFormat, [&](uint64_t at, const uint8_t* bytes, uint32_t count) {
            WithinSpan(span, at, bytes, count, 1, [&](uint64_t place, const uint8_t* kept, uint64_t n) {
                std::lock_guard<std::mutex> guard(lock);
                file.Write(place, kept, n);
                made.Length = std::max(made.Length, place + n);
            });
        });
        return made;
    }

    uint64_t Convert(const WAVEFORMATEX& format, const TConvertedSink& sink)
    {
        const int pass = FPass++;
        return ConvertSoundFile(FSource, format, FRecipe.Parallel, sink, [&](uint64_t done, uint64_t total) {
            if (FProgress && total > 0)
                FProgress((pass + double(done) / double(total)) / FPasses);
        });
    }

    std::string FSource;
    TTauntRecipe FRecipe;
    std::unique_ptr<TWideFile> FWide;
    std::function<void(double)> FProgress;
    int FPass = 0;
    int FPasses = 1;
};

}

TTauntMade MakeTaunt(const std::string& source, const std::string& target, const TTauntRecipe& recipe,
                     const std::function<void(double)>& progress)
{
    return TTauntMaker(source, recipe, progress).Make(target);
}
