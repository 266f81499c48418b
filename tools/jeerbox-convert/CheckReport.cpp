#include "Check.h"

#include <cmath>

namespace {

std::string Joined(const TFindings& f)
{
    std::string text;
    for (const auto* list : {&f.Failures, &f.Warnings})
        for (const std::string& item : *list)
            text += (text.empty() ? "" : "; ") + item;
    return text;
}

// "ok", or the verdict and what it stands on.
std::string Verdict(const TFindings& f)
{
    return f.Failures.empty() && f.Warnings.empty() ? "ok" : std::string(f.Verdict()) + ": " + Joined(f);
}

std::string Decibels(double value, const char* unit)
{
    return std::isfinite(value) ? Printf("%.1f %s", value, unit) : Printf("-inf %s", unit);
}

std::string FiguresText(const TTauntFigures& m)
{
    const std::string lufs = m.Lufs ? Decibels(*m.Lufs, "LUFS") : "loudness unknown";
    return Printf("%.2f s, peak %s, %s, DC %+.1f, %d levels, silence %.2f s + %.2f s, steps %d and %d, %lld clipped",
                  m.Seconds, Decibels(20 * std::log10(m.Peak / 128.0), "dBFS").c_str(), lufs.c_str(), m.Dc, m.Levels,
                  m.LeadingSilence, m.TrailingSilence, m.FirstStep, m.LastStep, (long long)m.Clipped);
}

std::string PageText(const TPageReport& p, size_t number)
{
    std::string text = Printf("  page %zu: ", number);
    if (!p.Sound)
        return text + Printf("type %u, %lld bytes: ", p.Type, (long long)p.Size) + Verdict(p.Findings);
    text += "\"" + p.Name + "\", " + (p.FileName.empty() ? "no file" : p.FileName) +
        Printf(", loop %d to %d", p.LoopStart, p.LoopEnd);
    if (p.SoundBytes)
        text += Printf(" of %lld bytes", (long long)*p.SoundBytes);
    return text + ": " + Verdict(p.Findings);
}

// JSON text: UTF-8 passes, control characters are escaped and a byte that starts no
// well-formed character becomes U+FFFD, so that any file name makes a valid document.
std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            out += Printf("\\u%04x", c);
        } else if (c >= 0x80) {
            const size_t length = (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
            bool whole = length > 0 && i + length <= text.size();
            for (size_t k = 1; whole && k < length; ++k)
                whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
            out += whole ? text.substr(i, length) : "\xEF\xBF\xBD";
            i += whole ? length : 1;
            continue;
        } else {
            out += char(c);
        }
        ++i;
    }
    return out + "\"";
}

std::string Number(double value)
{
    return std::isfinite(value) ? Printf("%.6g", value) : "null";
}

std::string List(const std::vector<std::string>& items)
{
    std::string text = "[";
    for (const std::string& item : items)
        text += (text.size() > 1 ? ", " : "") + Quoted(item);
    return text + "]";
}

std::string FindingsJson(const TFindings& f)
{
    return Printf("\"verdict\": \"%s\", \"failures\": ", f.Verdict()) + List(f.Failures) +
        ", \"warnings\": " + List(f.Warnings);
}

std::string WaveJson(const TWaveReport& r)
{
    std::string text = "{\"file\": " + Quoted(r.File) + ", " + FindingsJson(r.Findings);
    if (r.HasFormat)
        text += Printf(", \"format\": {\"tag\": %u, \"channels\": %u, \"rate\": %u, \"bytes_per_second\": %u, "
                       "\"block_align\": %u, \"bits\": %u}",
                       r.Format.wFormatTag, r.Format.nChannels, unsigned(r.Format.nSamplesPerSec),
                       unsigned(r.Format.nAvgBytesPerSec), r.Format.nBlockAlign, r.Format.wBitsPerSample);
    if (r.Read) {
        text += ", \"chunks\": [";
        for (size_t i = 0; i < r.Chunks.size(); ++i)
            text += std::string(i ? ", " : "") + "{\"id\": " + Quoted(r.Chunks[i].Id) +
                Printf(", \"offset\": %lld, \"size\": %lld, \"present\": %lld}", (long long)r.Chunks[i].Start,
                       (long long)r.Chunks[i].Declared, (long long)r.Chunks[i].Present);
        text += Printf("], \"data_bytes\": %lld", (long long)r.DataBytes);
    }
    if (const auto& m = r.Figures)
        text += ", \"seconds\": " + Number(m->Seconds) + ", \"peak\": " + Number(m->Peak) +
            ", \"peak_dbfs\": " + Number(20 * std::log10(m->Peak / 128.0)) +
            ", \"lufs\": " + Number(m->Lufs.value_or(NAN)) + ", \"dc\": " + Number(m->Dc) +
            Printf(", \"levels\": %d, \"clipped\": %lld", m->Levels, (long long)m->Clipped) +
            ", \"leading_silence\": " + Number(m->LeadingSilence) +
            ", \"trailing_silence\": " + Number(m->TrailingSilence) +
            Printf(", \"first_step\": %d, \"last_step\": %d", m->FirstStep, m->LastStep);
    return text + "}";
}

std::string TableJson(const TTableReport& t)
{
    std::string text = "{\"file\": " + Quoted(t.File) + Printf(", \"verdict\": \"%s\", \"failures\": ", t.Verdict()) +
        List(t.Findings.Failures) + ", \"warnings\": " + List(t.Findings.Warnings) + ", \"pages\": [";
    for (size_t i = 0; i < t.Pages.size(); ++i) {
        const TPageReport& p = t.Pages[i];
        text += (i ? ",\n    " : "\n    ") +
            Printf("{\"offset\": %lld, \"type\": %u, \"size\": %lld, ", (long long)p.Offset, p.Type, (long long)p.Size);
        if (p.Sound)
            text += "\"name\": " + Quoted(p.Name) + ", \"file\": " + Quoted(p.FileName) +
                Printf(", \"loop_start\": %d, \"loop_end\": %d, ", p.LoopStart, p.LoopEnd) +
                (p.SoundBytes ? Printf("\"sound_bytes\": %lld, ", (long long)*p.SoundBytes) : "");
        text += FindingsJson(p.Findings) + "}";
    }
    return text + "]}";
}

}

void WriteCheckText(std::FILE* out, const std::vector<TCheckItem>& items)
{
    int failed = 0;
    int warned = 0;
    for (const TCheckItem& item : items) {
        const std::string verdict = item.Verdict();
        failed += verdict == "FAIL";
        warned += verdict == "warn";
        if (const TWaveReport* r = item.Wave) {
            std::string line = r->File + ": " + Verdict(r->Findings);
            if (r->Figures)
                line += " (" + FiguresText(*r->Figures) + ")";
            std::fprintf(out, "%s\n", line.c_str());
            continue;
        }
        const TTableReport& t = *item.Table;
        std::fprintf(out, "%s: %s", t.File.c_str(), verdict.c_str());
        if (!t.Findings.Failures.empty() || t.Pages.empty())
            std::fprintf(out, ": %s\n", Joined(t.Findings).c_str());
        else
            std::fputs(Printf(", %zu page%s\n", t.Pages.size(), t.Pages.size() == 1 ? "" : "s").c_str(), out);
        for (size_t i = 0; i < t.Pages.size(); ++i)
            std::fprintf(out, "%s\n", PageText(t.Pages[i], i + 1).c_str());
    }
    std::fprintf(out, "%zu checked: %d failed, %d with warnings\n", items.size(), failed, warned);
}

void WriteCheckJson(std::FILE* out, const std::vector<TCheckItem>& items)
{
    std::string files;
    std::string tables;
    bool passed = true;
    for (const TCheckItem& item : items) {
        passed = passed && std::string(item.Verdict()) != "FAIL";
        std::string& list = item.Wave ? files : tables;
        list += (list.empty() ? "\n  " : ",\n  ") + (item.Wave ? WaveJson(*item.Wave) : TableJson(*item.Table));
    }
    std::fprintf(out, "{\"passed\": %s,\n\"files\": [%s],\n\"tables\": [%s]}\n", passed ? "true" : "false",
                 files.c_str(), tables.c_str());
}
