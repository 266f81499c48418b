// Writes the fuzz targets' starting inputs into the folder given: short sounds in every codec
// the conversion engine reads, cut short ones, the convertor's stored properties and numbers
// as the GAM dialog shows them.
//   wav/         RIFF WAVE files, whole and truncated (for the loading and converting targets)
//   acm/         format record, extra bytes, destination choice, sample bytes
//   properties/  stored-properties text
//   paramtext/   locale choice byte, then a number's text

#include "framework/ByteOrder.h"

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
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

// A format record with its extra bytes, a destination choice and the data, from a WAV image.
std::string AcmSeed(const std::string& wav, char choice)
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
    return fmt + choice + data.substr(0, 2048);
}

}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: MakeFuzzSeeds FOLDER\n");
        return 2;
    }
    const fs::path root = argv[1];
    for (const char* sub : {"wav", "acm", "properties", "paramtext"})
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
            SF_INFO info{};
            info.samplerate = codec.Rate;
            info.channels = channels;
            info.format = codec.Format;
            SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
            if (!file) {
                std::fprintf(stderr, "%s: %s\n", name.c_str(), sf_strerror(nullptr));
                return 1;
            }
            std::vector<short> samples(size_t(300 * channels));
            for (size_t i = 0; i < samples.size(); ++i)
                samples[i] = short(12000 * std::sin(double(i / channels) * 0.21 + double(i % channels)));
            sf_writef_short(file, samples.data(), 300);
            sf_close(file);

            const std::string whole = Load(path);
            Save(root / "wav" / (name + "-cut.wav"), whole.substr(0, whole.size() * 2 / 3));
            Save(root / "wav" / (name + "-header.wav"), whole.substr(0, std::min<size_t>(whole.size(), 60)));
            Save(root / "acm" / name, AcmSeed(whole, choice++));
        }
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

    const char* numbers[] = {"\x00" "1.000", "\x01" "-2.5", "\x02" "256,000", "\x03" "1,000000\xC3\x97" "10^+07",
                             "\x04" "\xE2\x80\x8E\xE2\x88\x92\xDB\xB2\xD9\xAB\xDB\xB5", "\x05" "4410",
                             "\x06" "3.4028235e38", "\x07" "-2147483648"};
    int n = 0;
    for (const char* number : numbers)
        Save(root / "paramtext" / ("number" + std::to_string(n++)), std::string(1, number[0]) + (number + 1));
    return 0;
}
