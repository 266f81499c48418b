#pragma once

#include "acm/MMSystem.h"
#include "sound/Wavs_ex.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// jeerbox-convert --check: a verdict on taunts and the game tables that list them.

// Where a taunt stops being good; the defaults are those --help states.
struct TCheckOptions {
    bool Json = false;
    // This many samples in a row at 0 or 255 are clipped.
    int ClipRun = 3;
    // Warnings: a mean further than this from 128 (in 8-bit levels), a step from silence at
    // either end larger than this, more silence than this at either end, fewer levels used,
    // a loudness further than this from the median of the sounds checked.
    double MaxDc = 2.0;
    int Click = 16;
    double SilenceDb = -40.0;
    double MaxSilence = 0.5;
    int MinLevels = 16;
    double LoudnessSpread = 6.0;
};

// What is wrong with a file or a page: failures fail the check, warnings are only told.
struct TFindings {
    std::vector<std::string> Failures;
    std::vector<std::string> Warnings;
    const char* Verdict() const { return !Failures.empty() ? "FAIL" : !Warnings.empty() ? "warn" : "ok"; }
};

// The figures of a sound in the taunt format, in 8-bit levels (silence is 128) and seconds.
struct TTauntFigures {
    double Seconds = 0;
    int64_t Clipped = 0;
    double Dc = 0;
    int Peak = 0;
    // Integrated loudness in LUFS: minus infinity for a sound too quiet to measure, none when
    // the meter could not be had.
    std::optional<double> Lufs;
    int Levels = 0;
    double LeadingSilence = 0;
    double TrailingSilence = 0;
    int FirstStep = 0;
    int LastStep = 0;
};

struct TWaveReport {
    std::string File;
    // Whether its chunks could be walked; Format is its last "fmt " chunk's (when it has one).
    bool Read = false;
    bool HasFormat = false;
    WAVEFORMATEX Format{};
    std::vector<TWaveChunk> Chunks;
    int64_t DataBytes = 0;
    // Measured for a sound in the taunt format only.
    std::optional<TTauntFigures> Figures;
    TFindings Findings;

    bool IsTaunt() const;
};

struct TPageReport {
    int64_t Offset = 0;
    uint8_t Type = 0;
    int64_t Size = 0;
    // A sound page's contents, and its file's sample bytes when that file could be read.
    bool Sound = false;
    std::string Name;
    std::string FileName;
    int32_t LoopStart = 0;
    int32_t LoopEnd = 0;
    std::optional<int64_t> SoundBytes;
    TFindings Findings;
};

struct TTableReport {
    std::string File;
    std::vector<TPageReport> Pages;
    // The table's own findings (one that cannot be read); its verdict counts its pages' too.
    TFindings Findings;
    const char* Verdict() const;
};

// Walks a WAV file's chunks and judges its format and layout; measures the sound when asked
// and it is in the taunt format. Never raises: what fails is among its findings.
TWaveReport InspectWave(const std::string& path, const TCheckOptions& options, bool measure);

// Reads a game table and checks each of its sound pages against its file, found beside the
// table through `wave`. Never raises.
TTableReport CheckTable(const std::string& path, const std::function<const TWaveReport&(const std::string&)>& wave);

// One file of the command line: a WAV file or a table.
struct TCheckItem {
    const TWaveReport* Wave = nullptr;
    const TTableReport* Table = nullptr;
    const char* Verdict() const { return Wave ? Wave->Findings.Verdict() : Table->Verdict(); }
};

// Writes the report of the files in their order: a line for each file and each page and a
// summary, or one JSON document.
void WriteCheckText(std::FILE* out, const std::vector<TCheckItem>& items);
void WriteCheckJson(std::FILE* out, const std::vector<TCheckItem>& items);

// Checks every file, WAV files and tables (FILE.gam) in any order, and writes the report on
// standard output. Returns the exit status: 0 when everything passed, 1 when something failed.
int RunCheck(const std::vector<std::string>& files, const TCheckOptions& options);

// printf into a string.
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
