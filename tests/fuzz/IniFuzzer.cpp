// libFuzzer target for the settings file reader and writer. Each input is a
// settings file. It is read through TIniFile in every way the program reads
// it; then an existing key is rewritten, a key added to its section and a
// section added at the end, and each result is checked byte for byte against
// what a write may change. Any difference aborts, so the fuzzer reports it.
#include "Cp1251.h"
#include "IniFile.h"
#include "IniText.h"
#include "IniValues.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include <stdlib.h>

namespace {

using ksv::Cp1251ToUtf8;

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "ini_fuzzer: %s\n", what);
        std::abort();
    }
}

// A file in a folder of our own; on tmpfs when there is one, because every
// write flushes to disk.
const std::string& FilePath()
{
    static const std::string path = [] {
        std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string tmpl = base + "/ksv-ini-fuzz-XXXXXX";
        Check(::mkdtemp(tmpl.data()) != nullptr, "cannot make a scratch folder");
        return tmpl + "/Ksv27_Vorn.ini";
    }();
    return path;
}

void Put(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    Check(static_cast<bool>(out), "cannot write the input file");
}

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Folded(std::string_view s)
{
    std::string f(s);
    for (char& c : f)
        c = static_cast<char>(ksv::Cp1251Fold(static_cast<unsigned char>(c)));
    return f;
}

// An independent, plain reading of the file's lines: where each line starts,
// ends and where the next begins, and what the line is.
struct TOracleLine {
    std::size_t Begin = 0, End = 0, Next = 0;
    bool IsSection = false, IsEntry = false;
    std::string Name; // section name or key, trimmed
};

std::vector<TOracleLine> SplitLines(const std::string& s)
{
    std::vector<TOracleLine> lines;
    std::size_t pos = 0;
    while (pos < s.size()) {
        TOracleLine l;
        l.Begin = l.End = pos;
        while (l.End < s.size() && s[l.End] != '\r' && s[l.End] != '\n')
            ++l.End;
        l.Next = l.End;
        if (l.Next < s.size())
            l.Next += (s[l.Next] == '\r' && l.Next + 1 < s.size() && s[l.Next + 1] == '\n') ? 2 : 1;
        const std::string_view text = ksv::ini::Trim(std::string_view(s).substr(l.Begin, l.End - l.Begin));
        if (!text.empty() && text[0] == '[') {
            l.IsSection = true;
            std::string_view name = text.substr(1);
            name = name.substr(0, name.find(']'));
            l.Name = ksv::ini::Trim(name);
        } else if (const std::size_t eq = text.find('='); eq != std::string_view::npos) {
            l.Name = ksv::ini::Trim(text.substr(0, eq));
            l.IsEntry = l.Name.empty() || l.Name[0] != ';';
        }
        pos = l.Next;
        lines.push_back(std::move(l));
    }
    return lines;
}

// The last key line of the first section of that name (the header itself
// when the section has no key lines), or nothing.
const TOracleLine* LastEntryOf(const std::vector<TOracleLine>& lines, const std::string& section)
{
    const TOracleLine* last = nullptr;
    for (const TOracleLine& l : lines) {
        if (l.IsSection) {
            if (last)
                return last;
            if (Folded(l.Name) == Folded(section))
                last = &l;
        } else if (last && l.IsEntry) {
            last = &l;
        }
    }
    return last;
}

// Every readable value, by folded section and key.
std::map<std::pair<std::string, std::string>, std::string> ReadAll(const ksv::TIniFile& ini)
{
    std::map<std::pair<std::string, std::string>, std::string> values;
    for (const std::string& section : ini.ReadSections()) {
        for (const std::string& key : ini.ReadSection(section)) {
            const std::string v = ini.ReadString(section, key, "");
            (void)ini.ReadInteger(section, key, 0);
            (void)ini.ReadBool(section, key, true);
            (void)ini.ReadFloat(section, key, 1.0);
            values[{Folded(ksv::Utf8ToCp1251(section)), Folded(ksv::Utf8ToCp1251(key))}] = v;
        }
    }
    return values;
}

void CheckFloatRoundTrip(const std::uint8_t* data, std::size_t size)
{
    if (size < sizeof(double))
        return;
    double d;
    std::memcpy(&d, data, sizeof d);
    const std::string text = ksv::FormatIniFloat(d);
    const auto back = ksv::ParseIniFloat(text);
    // Values that round up beyond the largest double do not read back.
    if (!std::isfinite(d) || std::abs(d) > 1.79769313486231e308) {
        Check(!std::isfinite(d) ? !back.has_value() : true, "a non-finite value reads back as a number");
        return;
    }
    Check(back.has_value(), "a written real does not read back");
    Check(*back == d || std::abs(*back - d) <= std::abs(d) * 1e-14, "a written real reads back wrong");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CheckFloatRoundTrip(data, size);
    (void)ksv::ParseIniInteger(std::string_view(reinterpret_cast<const char*>(data), size));

    const std::string before(reinterpret_cast<const char*>(data), size);
    const std::string& path = FilePath();
    Put(path, before);
    ksv::TIniFile ini(path);
    const auto valuesBefore = ReadAll(ini);

    // The first readable key of the first section that has one, counting only
    // the first section of each name and the first key of each name in it.
    const std::vector<TOracleLine> lines = SplitLines(before);
    const TOracleLine* target = nullptr;
    std::string targetSection;
    {
        std::unordered_set<std::string> seenSections;
        bool inCandidate = false;
        for (const TOracleLine& l : lines) {
            if (l.IsSection) {
                if (target)
                    break; // the target's section ends here
                inCandidate = seenSections.insert(Folded(l.Name)).second && ksv::ini::IsValidSectionName(l.Name);
                targetSection = l.Name;
            } else if (inCandidate && l.IsEntry && !target && ksv::ini::IsValidKeyName(l.Name)) {
                target = &l;
            }
        }
    }

    const std::string valueUtf8 = "знач" + std::to_string(size);
    const std::string valueCp = ksv::Utf8ToCp1251(valueUtf8);

    if (target) {
        // 1. Rewrite the key: only its line may change.
        const std::string section = Cp1251ToUtf8(targetSection), key = Cp1251ToUtf8(target->Name);
        ini.WriteString(section, key, valueUtf8);
        const std::string after = Slurp(path);
        const std::string expected =
            before.substr(0, target->Begin) + target->Name + "=" + valueCp + "\r\n" + before.substr(target->Next);
        Check(after == expected, "rewriting a key changed other bytes");
        Check(ini.ReadString(section, key, "") == valueUtf8, "a rewritten key does not read back");
        auto valuesAfter = ReadAll(ini);
        valuesAfter[{Folded(targetSection), Folded(target->Name)}] = valuesBefore.at({Folded(targetSection), Folded(target->Name)});
        Check(valuesAfter == valuesBefore, "rewriting a key changed another value");

        // 2. A new key goes right after the last key line of the section.
        const std::string newKey = "fuzz new key";
        if (ini.ReadString(section, newKey, "\x01") == "\x01") {
            const std::vector<TOracleLine> linesAfter = SplitLines(after);
            const TOracleLine* last = LastEntryOf(linesAfter, targetSection);
            Check(last != nullptr, "the rewritten key's section is gone");
            ini.WriteString(section, newKey, "1");
            const std::string expect = after.substr(0, last->Next) + (last->Next != last->End ? "" : "\r\n") +
                                       newKey + "=1\r\n" + after.substr(last->Next);
            Check(Slurp(path) == expect, "a new key went to the wrong place");
        }
    }

    // 3. A new section goes to the end, after a line end.
    const std::string current = Slurp(path);
    const std::string newSection = "Раздел проверки";
    bool sectionExists = false;
    for (const std::string& name : ini.ReadSections())
        sectionExists = sectionExists || Folded(ksv::Utf8ToCp1251(name)) == Folded(ksv::Utf8ToCp1251(newSection));
    if (!sectionExists) {
        ini.WriteString(newSection, "k", "v");
        const bool open = !current.empty() && current.back() != '\r' && current.back() != '\n';
        Check(Slurp(path) == current + (open ? "\r\n" : "") + ksv::Utf8ToCp1251("[" + newSection + "]\r\nk=v\r\n"),
              "a new section was not appended at the end");
    }
    return 0;
}
