// Writes the fuzz targets' starting inputs into the folder given: short sounds in every codec
// the conversion engine reads and in every container the sound file loader reads, cut short
// ones, the convertor's stored properties and numbers as the GAM dialog shows them. The other
// containers are made by sox and ffmpeg, so that they are other writers' files than
// libsndfile's own.
//   wav/         RIFF WAVE files, whole and truncated (for the loading and converting targets)
//   sound/       FLAC, Ogg Vorbis, Opus, MP3, AIFF, AIFC, CAF, W64, RF64, AU and VOC files,
//                whole and truncated, and the WAV files they were made from
//   acm/         format record, extra bytes, destination choice, sample bytes
//   mapper/      format record, extra bytes, the device's formats, the pieces, sample bytes
//   properties/  stored-properties text
//   paramtext/   locale choice byte, then a number's text
//   gam/         game tables: sound pages and pages of other types

#include "framework/ByteOrder.h"

#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

void Save(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string Load(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A format record with its extra bytes, then `between`, then the data, from a WAV image.
std::string RecordSeed(const std::string& wav, const std::string& between)
{
    std::string fmt;
    std::string data;
    for (size_t at = 12; at + 8 <= wav.size();) {
        const uint32_t length = GetLe32(reinterpret_cast<const uint8_t*>(wav.data()) + at + 4);
        const std::string payload = wav.substr(at + 8, length);
        if (wav.compare(at, 4, "fmt ") == 0)
            fmt = payload;
        else if (wav.compare(at, 4, "data") == 0)
            data = payload;
        at += 8 + length + (length & 1);
    }
    if (fmt.size() < 18)
        fmt.resize(18, '\0');
    return fmt + between + data.substr(0, 2048);
}

// Writes a short sine, each channel in another phase, through libsndfile.
bool WriteSine(const fs::path& path, int format, int rate, int channels, int frames)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    std::vector<short> samples(size_t(frames * channels));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = short(12000 * std::sin(double(i / channels) * 0.21 + double(i % channels)));
    sf_writef_short(file, samples.data(), frames);
    sf_close(file);
    return true;
}

// Runs a program to its end; false when it could not run or failed.
bool Run(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    int status = 0;
    return posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) == 0 &&
        waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Makes `made` from the WAV file `source` with sox or ffmpeg (`tool`), giving the output
// options `options`; the whole file and its first two thirds become seeds.
bool MakeWithTool(const fs::path& source, const fs::path& made, const std::string& tool,
                  const std::vector<std::string>& options)
{
    std::vector<std::string> command{tool, "-q"};
    if (tool == "ffmpeg")
        command = {tool, "-v", "error", "-nostdin", "-y", "-i"};
    command.push_back(source.string());
    command.insert(command.end(), options.begin(), options.end());
    command.push_back(made.string());
    if (!Run(command)) {
        std::fprintf(stderr, "MakeFuzzSeeds: %s could not make %s\n", tool.c_str(), made.c_str());
        return false;
    }
    const std::string whole = Load(made);
    Save(made.parent_path() / (made.stem().string() + "-cut" + made.extension().string()),
         whole.substr(0, whole.size() * 2 / 3));
    return true;
}

// A page of a game table: its type, its length (which counts itself) and its body.
std::string Page(uint8_t type, const std::string& body)
{
    uint8_t length[4];
    PutLe32(length, uint32_t(body.size() + 4));
    return std::string(1, char(type)) + std::string(reinterpret_cast<char*>(length), 4) + body;
}

// A sound page of the current version with these names, looping to loopEnd, the rest zero.
std::string SoundPage(const std::string& name, const std::string& file, int32_t loopEnd)
{
    uint8_t params[36] = {};
    PutLe32(params + 8, uint32_t(loopEnd));
    PutLe32(params + 32, 0x3F800000);  // import adjust 1.0
    return Page(7,
                std::string("\x01\x00", 2) + name + '\0' + file + '\0' +
                    std::string(reinterpret_cast<char*>(params), sizeof params));
}

}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: MakeFuzzSeeds FOLDER\n");
        return 2;
    }
    const fs::path root = argv[1];
    for (const char* sub : {"wav", "sound", "acm", "mapper", "properties", "paramtext", "gam"})
        fs::create_directories(root / sub);

    struct Codec {
        const char* Name;
        int Format;
        int Rate;
    };
    const Codec codecs[] = {
        {"u8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 11025},     {"s16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100},
        {"s24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000},    {"s32", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 22050},
        {"f32", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100},     {"f64", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 8000},
        {"ulaw", SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000},      {"alaw", SF_FORMAT_WAV | SF_FORMAT_ALAW, 8000},
        {"ima", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 22050}, {"msadpcm", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 11025},
        {"gsm", SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000},     {"x16", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 44100},
        {"x24", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 96000},  {"x32", SF_FORMAT_WAVEX | SF_FORMAT_PCM_32, 44100},
        {"xf32", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 48000},  {"xf64", SF_FORMAT_WAVEX | SF_FORMAT_DOUBLE, 44100},
    };
    char choice = 0;
    for (const Codec& codec : codecs) {
        for (int channels = 1; channels <= 2; ++channels) {
            if ((codec.Format & SF_FORMAT_SUBMASK) == SF_FORMAT_GSM610 && channels == 2)
                continue;
            const std::string name = std::string(codec.Name) + "-" + std::to_string(channels) + "ch";
            const fs::path path = root / "wav" / (name + ".wav");
            if (!WriteSine(path, codec.Format, codec.Rate, channels, 300))
                return 1;

            const std::string whole = Load(path);
            Save(root / "wav" / (name + "-cut.wav"), whole.substr(0, whole.size() * 2 / 3));
            Save(root / "wav" / (name + "-header.wav"), whole.substr(0, std::min<size_t>(whole.size(), 60)));
            Save(root / "acm" / name, RecordSeed(whole, std::string(1, choice++)));
            // The device's formats vary from seed to seed; the pieces split blocks, one is
            // played at once and two are refused once (fuzz/WaveMapperBody.cpp).
            const char masks[] = {0x3F, 0x09, 0x12, 0x24};
            const std::string pieces("\x04"
                                     "\x65\x20"
                                     "\x01\x80"
                                     "\x00\x00"
                                     "\x4D\x41",
                                     9);
            Save(root / "mapper" / name, RecordSeed(whole, masks[choice % 4] + pieces));
        }
    }

    // The containers, each from a short stereo and a short mono sound.
    struct Container {
        const char* Name;
        const char* Tool;
        std::vector<std::string> Options;
    };
    const Container containers[] = {
        {"sox-16.flac", "sox", {}},
        {"sox-24.flac", "sox", {"-b", "24"}},
        {"sox.ogg", "sox", {}},
        {"sox.aiff", "sox", {}},
        {"sox-float.aifc", "sox", {"-e", "floating-point"}},
        {"sox.caf", "sox", {}},
        {"sox.w64", "sox", {}},
        {"sox-ulaw.au", "sox", {"-e", "u-law"}},
        {"sox-float.au", "sox", {"-e", "floating-point"}},
        {"sox-u8.voc", "sox", {"-b", "8", "-e", "unsigned"}},
        {"ffmpeg.opus", "ffmpeg", {"-c:a", "libopus"}},
        {"ffmpeg.mp3", "ffmpeg", {"-c:a", "libmp3lame"}},
        {"ffmpeg-rf64.wav", "ffmpeg", {"-f", "wav", "-rf64", "always"}},
        {"ffmpeg.flac", "ffmpeg", {}},
        {"ffmpeg.ogg", "ffmpeg", {"-c:a", "libvorbis"}},
        {"ffmpeg.aiff", "ffmpeg", {}},
        {"ffmpeg-float.aifc", "ffmpeg", {"-c:a", "pcm_f32be"}},
        {"ffmpeg.caf", "ffmpeg", {}},
        {"ffmpeg.w64", "ffmpeg", {"-f", "w64"}},
        {"ffmpeg-ulaw.au", "ffmpeg", {"-c:a", "pcm_mulaw"}},
        {"ffmpeg.voc", "ffmpeg", {"-f", "voc"}},
    };
    for (int channels = 1; channels <= 2; ++channels) {
        const std::string shape = std::to_string(channels) + "ch";
        const fs::path source = root / "sound" / ("source-" + shape + ".wav");
        if (!WriteSine(source, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 11025, channels, 551))
            return 1;
        for (const Container& container : containers)
            if (!MakeWithTool(source, root / "sound" / (shape + "-" + container.Name), container.Tool,
                              container.Options))
                return 1;
    }

    Save(root / "properties" / "convertor.txt",
         "object Convertor: TACMConvertor\n"
         "  InputBufferSize = 2048\n"
         "  UseRealTime = True\n"
         "  ACMFormatIn = {\n"
         "    1200000001000100225600002256000001000800810000}\n"
         "  ACMFormatOut = {\n"
         "    8100000001000100225600002256000001000800810000000000000000000000\n"
         "    0000000000000000000000000000000000000000000000000000000000000000\n"
         "    0000000000000000000000000000000000000000000000000000000000000000\n"
         "    0000000000000000000000000000000000000000000000000000000000000000\n"
         "    0000000000}\n"
         "end\n");

    const char* numbers[] = {"\x00"
                             "1.000",
                             "\x01"
                             "-2.5",
                             "\x02"
                             "256,000",
                             "\x03"
                             "1,000000\xC3\x97"
                             "10^+07",
                             "\x04"
                             "\xE2\x80\x8E\xE2\x88\x92\xDB\xB2\xD9\xAB\xDB\xB5",
                             "\x05"
                             "4410",
                             "\x06"
                             "3.4028235e38",
                             "\x07"
                             "-2147483648"};
    int n = 0;
    for (const char* number : numbers)
        Save(root / "paramtext" / ("number" + std::to_string(n++)), std::string(1, number[0]) + (number + 1));
    const std::string sounds = SoundPage("hello", "hello.wav", 22049) + SoundPage("", "", 0) +
        SoundPage(std::string(34, 'n'), std::string(34, 'f'), -1);
    Save(root / "gam" / "sounds.gam", sounds);
    Save(root / "gam" / "mixed.gam", Page(9, "other page") + SoundPage("laugh", "laugh.wav", 100) + Page(0, ""));
    Save(root / "gam" / "cut.gam", sounds.substr(0, sounds.size() - 7));
    return 0;
}