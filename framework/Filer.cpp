#include "framework/Filer.h"

#include "framework/Component.h"

#include <charconv>
#include <map>
#include <optional>
#include <vector>

namespace {

constexpr size_t BytesPerLine = 32;

bool IsWordChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string Trimmed(const std::string& s)
{
    size_t first = 0;
    size_t last = s.size();
    while (first < last && IsSpace(s[first]))
        ++first;
    while (last > first && IsSpace(s[last - 1]))
        --last;
    return s.substr(first, last - first);
}

// Reads a run of word characters at pos (possibly empty) and moves pos past it.
std::string Word(const std::string& s, size_t& pos)
{
    const size_t start = pos;
    while (pos < s.size() && IsWordChar(s[pos]))
        ++pos;
    return s.substr(start, pos - start);
}

void SkipSpaces(const std::string& s, size_t& pos)
{
    while (pos < s.size() && IsSpace(s[pos]))
        ++pos;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "{" hex pairs "}" as bytes; nullopt for anything else.
std::optional<std::string> HexBlock(const std::string& value)
{
    if (value.size() < 2 || value.front() != '{' || value.back() != '}' || value.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    for (size_t i = 1; i + 1 < value.size(); i += 2) {
        const int high = HexDigit(value[i]);
        const int low = HexDigit(value[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += char(high << 4 | low);
    }
    return bytes;
}

class TPropertyWriter : public TFiler {
public:
    std::string Text;

    void DefineInteger(const std::string& name, const std::function<int64_t()>& get,
                       const std::function<void(int64_t)>&, bool hasData) override
    {
        if (hasData)
            Line(name, std::to_string(get()));
    }
    void DefineBoolean(const std::string& name, const std::function<bool()>& get, const std::function<void(bool)>&,
                       bool hasData) override
    {
        if (hasData)
            Line(name, get() ? "True" : "False");
    }
    void DefineBinaryProperty(const std::string& name, const std::function<void(TStream&)>&,
                              const std::function<void(TStream&)>& writeData, bool hasData) override
    {
        if (!hasData)
            return;
        TMemoryStream data;
        writeData(data);
        static const char digits[] = "0123456789ABCDEF";
        std::string value = "{";
        for (int64_t i = 0; i < data.Size(); ++i) {
            if (i % BytesPerLine == 0)
                value += "\n    ";
            value += digits[data.Memory()[i] >> 4];
            value += digits[data.Memory()[i] & 15];
        }
        Line(name, value + "}");
    }

private:
    void Line(const std::string& name, const std::string& value) { Text += "  " + name + " = " + value + "\n"; }
};

class TPropertyReader : public TFiler {
public:
    TPropertyReader(const std::string& componentName, std::map<std::string, std::string> values)
        : FComponentName(componentName), FValues(std::move(values))
    {
    }

    void DefineInteger(const std::string& name, const std::function<int64_t()>&,
                       const std::function<void(int64_t)>& set, bool) override
    {
        if (const std::optional<std::string> raw = Take(name)) {
            const bool plus = raw->size() > 1 && (*raw)[0] == '+' && (*raw)[1] >= '0' && (*raw)[1] <= '9';
            const char* first = raw->data() + (plus ? 1 : 0);
            const char* last = raw->data() + raw->size();
            int64_t v = 0;
            const auto [end, error] = std::from_chars(first, last, v);
            if (error != std::errc() || end != last || first == last)
                Fail(name, "Invalid integer value");
            FApply.push_back([set, v] { set(v); });
        }
    }
    void DefineBoolean(const std::string& name, const std::function<bool()>&, const std::function<void(bool)>& set,
                       bool) override
    {
        if (const std::optional<std::string> raw = Take(name)) {
            if (*raw != "True" && *raw != "False")
                Fail(name, "Invalid boolean value");
            const bool v = *raw == "True";
            FApply.push_back([set, v] { set(v); });
        }
    }
    void DefineBinaryProperty(const std::string& name, const std::function<void(TStream&)>& readData,
                              const std::function<void(TStream&)>&, bool) override
    {
        if (const std::optional<std::string> raw = Take(name)) {
            const std::optional<std::string> bytes = HexBlock(*raw);
            if (!bytes)
                Fail(name, "Invalid binary value");
            FApply.push_back([readData, bytes = *bytes] {
                TMemoryStream data;
                data.WriteBuffer(bytes.data(), int64_t(bytes.size()));
                data.SetPosition(0);
                readData(data);
            });
        }
    }

    // Sets the properties once every one named in the text is known to the component.
    void Apply()
    {
        if (!FValues.empty()) {
            const std::string& unknown = FValues.begin()->first;
            Fail(unknown, "Property " + unknown + " does not exist");
        }
        for (const auto& apply : FApply)
            apply();
    }

private:
    std::optional<std::string> Take(const std::string& name)
    {
        auto it = FValues.find(name);
        if (it == FValues.end())
            return std::nullopt;
        std::string raw = std::move(it->second);
        FValues.erase(it);
        return raw;
    }
    [[noreturn]] void Fail(const std::string& property, const std::string& why) const
    {
        throw EFilerError("Error reading " + FComponentName + "." + property + ": " + why);
    }

    std::string FComponentName;
    std::map<std::string, std::string> FValues;
    std::vector<std::function<void()>> FApply;
};

[[noreturn]] void Malformed(size_t line)
{
    throw EFilerError("Invalid stored properties (line " + std::to_string(line) + ")");
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

}

std::string WriteComponentProperties(TComponent& component)
{
    TPropertyWriter writer;
    component.DefineProperties(writer);
    return "object " + component.Name() + ": " + component.ClassName() + "\n" + writer.Text + "end\n";
}

void ReadComponentProperties(TComponent& component, const std::string& text)
{
    const std::vector<std::string> lines = Lines(text);
    size_t i = 0;
    auto next = [&]() -> std::string {
        while (i < lines.size()) {
            std::string line = Trimmed(lines[i++]);
            if (!line.empty())
                return line;
        }
        Malformed(i);
    };

    // object <name> : <class>
    const std::string head = next();
    size_t pos = 0;
    if (head.compare(0, 6, "object") != 0)
        Malformed(i);
    pos = 6;
    const size_t afterKeyword = pos;
    SkipSpaces(head, pos);
    if (pos == afterKeyword)
        Malformed(i);
    const std::string storedName = Word(head, pos);
    SkipSpaces(head, pos);
    if (pos >= head.size() || head[pos] != ':')
        Malformed(i);
    ++pos;
    SkipSpaces(head, pos);
    const std::string className = Word(head, pos);
    if (className.empty() || pos != head.size() || className != component.ClassName())
        Malformed(i);

    // <property> = <value>, a binary value running over the following lines to its brace.
    std::map<std::string, std::string> values;
    for (std::string line = next(); line != "end"; line = next()) {
        pos = 0;
        const std::string property = Word(line, pos);
        SkipSpaces(line, pos);
        if (property.empty() || pos >= line.size() || line[pos] != '=')
            Malformed(i);
        ++pos;
        SkipSpaces(line, pos);
        std::string value = line.substr(pos);
        if (!value.empty() && value.front() == '{')
            while (value.back() != '}')
                value += next();
        values[property] = value;
    }

    const std::string name = component.Name().empty() ? storedName : component.Name();
    TPropertyReader reader(name, std::move(values));
    component.DefineProperties(reader);
    reader.Apply();
    if (component.Name().empty())
        component.SetName(storedName);
}
