#include "IniText.h"

#include "Cp1251.h"

#include <unordered_set>

namespace ksv::ini {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// One line of the content: [Begin, End) is its text, Next the start of the
// line after it (End when the line has no end of its own).
struct TLine {
    std::size_t Begin = 0;
    std::size_t End = 0;
    std::size_t Next = 0;
    bool HasEnd() const { return Next != End; }
};

class TLineReader {
public:
    explicit TLineReader(std::string_view content) : Content(content) {}

    bool Next(TLine& line)
    {
        if (Pos >= Content.size())
            return false;
        line.Begin = Pos;
        const std::size_t brk = Content.find_first_of("\r\n", Pos);
        if (brk == std::string_view::npos) {
            line.End = line.Next = Content.size();
        } else {
            line.End = brk;
            const bool crlf = Content[brk] == '\r' && brk + 1 < Content.size() && Content[brk + 1] == '\n';
            line.Next = brk + (crlf ? 2 : 1);
        }
        Pos = line.Next;
        return true;
    }

private:
    std::string_view Content;
    std::size_t Pos = 0;
};

enum class TKind {
    Section,
    Entry,
    Comment,
    Other
};

struct TParsed {
    TKind Kind = TKind::Other;
    std::string_view Name;  // section name or key
    std::string_view Value; // trimmed value of an entry
};

TParsed Parse(std::string_view text)
{
    TParsed p;
    const std::string_view t = Trim(text);
    if (!t.empty() && t[0] == '[') {
        p.Kind = TKind::Section;
        std::string_view name = t.substr(1);
        const std::size_t close = name.find(']');
        if (close != std::string_view::npos)
            name = name.substr(0, close);
        p.Name = Trim(name);
        return p;
    }
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return p;
    p.Name = Trim(t.substr(0, eq));
    p.Value = Trim(t.substr(eq + 1));
    p.Kind = !p.Name.empty() && p.Name[0] == ';' ? TKind::Comment : TKind::Entry;
    return p;
}

std::string_view LineText(std::string_view content, const TLine& line)
{
    return content.substr(line.Begin, line.End - line.Begin);
}

bool HasLineBreakOrNul(std::string_view s)
{
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string CleanValue(std::string_view value)
{
    std::string v(value);
    for (char& c : v)
        if (c == '\r' || c == '\n' || c == '\0')
            c = '?';
    return v;
}

// Adds the name unless a name equal to it without regard to case is there.
void AddOnce(std::vector<std::string>& names, std::unordered_set<std::string>& seen, std::string_view name)
{
    std::string folded(name);
    for (char& c : folded)
        c = static_cast<char>(Cp1251Fold(static_cast<unsigned char>(c)));
    if (seen.insert(std::move(folded)).second)
        names.emplace_back(name);
}

} // namespace

std::string_view Trim(std::string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t'))
        ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t'))
        --e;
    return text.substr(b, e - b);
}

bool IsValidSectionName(std::string_view section)
{
    return !section.empty() && section.find(']') == std::string_view::npos && !HasLineBreakOrNul(section);
}

bool IsValidKeyName(std::string_view key)
{
    return !key.empty() && key[0] != ';' && key[0] != '[' && key.find('=') == std::string_view::npos &&
           !HasLineBreakOrNul(key);
}

namespace {

// Calls `visit` with each entry of the first section named `section` (only
// that one counts) until it returns false.
template <typename TVisit> void ForEachEntryOfSection(std::string_view content, std::string_view section,
                                                      const TVisit& visit)
{
    TLineReader reader(content);
    TLine line;
    bool inSection = false;
    while (reader.Next(line)) {
        const TParsed p = Parse(LineText(content, line));
        if (p.Kind == TKind::Section) {
            if (inSection)
                return;
            inSection = Cp1251EqualNoCase(p.Name, section);
        } else if (inSection && p.Kind == TKind::Entry && !visit(p)) {
            return;
        }
    }
}

} // namespace

std::optional<std::string_view> FindValue(std::string_view content, std::string_view section,
                                          std::string_view key)
{
    std::optional<std::string_view> found;
    ForEachEntryOfSection(content, section, [&](const TParsed& p) {
        if (!Cp1251EqualNoCase(p.Name, key))
            return true;
        std::string_view v = p.Value;
        if (v.size() > 1 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        found = v.substr(0, kMaxValueLength);
        return false;
    });
    return found;
}

std::string SetValue(std::string_view content, std::string_view section, std::string_view key,
                     std::string_view value)
{
    const std::string cleanValue = CleanValue(value);
    TLineReader reader(content);
    TLine line, after; // 'after': the line a new key follows
    bool inSection = false, sectionFound = false;
    while (reader.Next(line)) {
        const TParsed p = Parse(LineText(content, line));
        if (p.Kind == TKind::Section) {
            if (inSection)
                break;
            if (Cp1251EqualNoCase(p.Name, section)) {
                inSection = sectionFound = true;
                after = line;
            }
            continue;
        }
        if (!inSection || p.Kind != TKind::Entry)
            continue;
        if (Cp1251EqualNoCase(p.Name, key)) {
            std::string out;
            out.reserve(content.size() + cleanValue.size() + 4);
            out.append(content.substr(0, line.Begin));
            out.append(p.Name).append("=").append(cleanValue).append(kLineEnd);
            out.append(content.substr(line.Next));
            return out;
        }
        after = line;
    }

    std::string added;
    std::size_t at = content.size();
    bool needsBreak = false;
    if (sectionFound) {
        at = after.Next;
        needsBreak = !after.HasEnd();
    } else {
        needsBreak = !content.empty() && content.back() != '\r' && content.back() != '\n';
        added.append("[").append(section).append("]").append(kLineEnd);
    }
    added.append(key).append("=").append(cleanValue).append(kLineEnd);
    if (needsBreak)
        added.insert(0, kLineEnd);

    std::string out;
    out.reserve(content.size() + added.size());
    out.append(content.substr(0, at)).append(added).append(content.substr(at));
    return out;
}

std::vector<std::string> SectionNames(std::string_view content)
{
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    TLineReader reader(content);
    TLine line;
    while (reader.Next(line)) {
        const TParsed p = Parse(LineText(content, line));
        if (p.Kind == TKind::Section)
            AddOnce(names, seen, p.Name);
    }
    return names;
}

std::vector<std::string> KeyNames(std::string_view content, std::string_view section)
{
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    ForEachEntryOfSection(content, section, [&](const TParsed& p) {
        if (!p.Name.empty())
            AddOnce(names, seen, p.Name);
        return true;
    });
    return names;
}

} // namespace ksv::ini
