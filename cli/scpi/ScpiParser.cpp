#include "ScpiParser.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace ksv::scpi {

namespace {

bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || c == '\t'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperText(std::string_view text)
{
    std::string out(text);
    for (char& c : out) c = Upper(c);
    return out;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

// Printable ASCII and tabs only: anything else (NUL, control bytes, bytes
// of other encodings) refuses the whole line.
// The end of an IEEE 488.2 definite-length block that starts at `at`
// (#<n><length><bytes>, n 1..9), npos when none starts there or it does not
// end within `text`.
std::size_t BlockEnd(std::string_view text, std::size_t at)
{
    if (at + 2 > text.size() || text[at] != '#' || text[at + 1] < '1' || text[at + 1] > '9') return std::string_view::npos;
    const std::size_t digits = static_cast<std::size_t>(text[at + 1] - '0');
    if (at + 2 + digits > text.size()) return std::string_view::npos;
    std::size_t length = 0;
    for (std::size_t i = at + 2; i < at + 2 + digits; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::string_view::npos;
        length = length * 10 + static_cast<std::size_t>(text[i] - '0');
    }
    const std::size_t end = at + 2 + digits + length;
    return length <= text.size() && end <= text.size() ? end : std::string_view::npos;
}

// Printable ASCII, except inside a definite-length block, whose bytes are
// any but the line's end.
bool PlainAscii(std::string_view line)
{
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && c != '\t') || b > 0x7E) return false;
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (const std::size_t end = BlockEnd(line, i); end != std::string_view::npos) {
            i = end - 1;
        }
    }
    return true;
}

// Splits at `separator` outside quotes and parentheses.
std::vector<std::string_view> SplitTop(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    char quote = 0;
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) quote = 0; // a doubled quote closes and reopens
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (const std::size_t end = BlockEnd(text, i); end != std::string_view::npos) {
            i = end - 1;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth > 0) --depth;
        } else if (c == separator && depth == 0) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

TScpiError ParseNumber(std::string_view text, TParam& param)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return Fail(err::kInvalidCharacterInNumber);
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j])) ++j;
            i = j;
        }
    }
    const std::string_view mantissa = text.substr(0, i);
    std::string_view suffix = Trim(text.substr(i));
    const char* first = mantissa.data() + (mantissa.front() == '+' ? 1 : 0);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(first, mantissa.data() + mantissa.size(), value);
    if (ec == std::errc::result_out_of_range || (ec == std::errc() && !std::isfinite(value))) return Fail(err::kExponentTooLarge);
    if (ec != std::errc() || end != mantissa.data() + mantissa.size()) return Fail(err::kInvalidCharacterInNumber);
    if (!suffix.empty() && !IsAlpha(suffix.front())) return Fail(err::kInvalidCharacterInNumber);
    for (const char c : suffix)
        if (!IsAlpha(c) && c != '/') return Fail(err::kInvalidSuffix);
    param.Kind = TParamKind::Number;
    param.Number = value;
    param.Suffix = UpperText(suffix);
    return {};
}

bool ParseChannelNumber(std::string_view text, int& channel)
{
    text = Trim(text);
    if (text.empty() || text.size() > 9) return false;
    for (const char c : text)
        if (!IsDigit(c)) return false;
    std::from_chars(text.data(), text.data() + text.size(), channel);
    return true;
}

TScpiError ParseChannelList(std::string_view text, TParam& param)
{
    if (text.size() < 3 || text.substr(0, 2) != "(@" || text.back() != ')') return Fail(err::kSyntaxError, "channel list");
    const std::string_view inside = Trim(text.substr(2, text.size() - 3));
    param.Kind = TParamKind::Channels;
    if (inside.empty()) return {};
    for (const std::string_view item : SplitTop(inside, ',')) {
        const std::size_t colon = item.find(':');
        int first = 0, last = 0;
        if (!ParseChannelNumber(item.substr(0, colon), first)) return Fail(err::kSyntaxError, "channel list");
        last = first;
        if (colon != std::string_view::npos && !ParseChannelNumber(item.substr(colon + 1), last))
            return Fail(err::kSyntaxError, "channel list");
        const long long span = std::llabs(static_cast<long long>(last) - first) + 1;
        if (param.Channels.size() + static_cast<std::size_t>(span) > kMaxListedChannels)
            return Fail(err::kDataOutOfRange, "channel list too long");
        const int step = last >= first ? 1 : -1;
        for (int c = first;; c += step) {
            param.Channels.push_back(c);
            if (c == last) break;
        }
    }
    return {};
}

TScpiError ParseString(std::string_view text, TParam& param)
{
    const char quote = text.front();
    std::string content;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] != quote) {
            content += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == quote) {
            content += quote;
            ++i;
            continue;
        }
        if (i + 1 != text.size()) return Fail(err::kInvalidStringData);
        param.Kind = TParamKind::String;
        param.Text = std::move(content);
        return {};
    }
    return Fail(err::kInvalidStringData);
}

TScpiError ParseParam(std::string_view text, TParam& param)
{
    const char c = text.front();
    if (c == '(') return ParseChannelList(text, param);
    if (c == '"' || c == '\'') return ParseString(text, param);
    if (IsDigit(c) || c == '+' || c == '-' || c == '.') return ParseNumber(text, param);
    if (c == '#') {
        // A definite-length block stands for the text of its bytes.
        if (BlockEnd(text, 0) != text.size()) return Fail(err::kDataTypeError, "only definite-length blocks are accepted");
        const std::size_t digits = static_cast<std::size_t>(text[1] - '0');
        param.Kind = TParamKind::String;
        param.Text = std::string(text.substr(2 + digits));
        return {};
    }
    if (!IsAlpha(c)) return Fail(err::kInvalidCharacter);
    for (const char k : text)
        if (!IsAlpha(k) && !IsDigit(k) && k != '_') return Fail(err::kInvalidCharacterData);
    param.Kind = TParamKind::Character;
    param.Text = UpperText(text);
    return {};
}

// The header's nodes; `rooted` when it began with ':'.
TScpiError ParseHeader(std::string_view header, TCommand& command, bool& rooted)
{
    command.Header = std::string(header);
    if (!header.empty() && header.back() == '?') {
        command.Query = true;
        header.remove_suffix(1);
    }
    if (!header.empty() && header.front() == '*') {
        command.Common = true;
        header.remove_prefix(1);
        if (header.empty()) return Fail(err::kSyntaxError, "header");
        for (const char c : header)
            if (!IsAlpha(c)) return Fail(err::kSyntaxError, "header");
        command.Nodes.push_back(UpperText(header));
        return {};
    }
    rooted = !header.empty() && header.front() == ':';
    if (rooted) header.remove_prefix(1);
    for (const std::string_view node : SplitTop(header, ':')) {
        if (node.empty() || !IsAlpha(node.front())) return Fail(err::kSyntaxError, "header");
        for (const char c : node)
            if (!IsAlpha(c) && !IsDigit(c) && c != '_') return Fail(err::kSyntaxError, "header");
        command.Nodes.push_back(UpperText(node));
    }
    return {};
}

TUnit ParseUnit(std::string_view text, std::vector<std::string>& path)
{
    TUnit unit;
    std::size_t end = 0;
    while (end < text.size() && !IsSpace(text[end])) ++end;
    bool rooted = false;
    unit.Error = ParseHeader(text.substr(0, end), unit.Command, rooted);
    if (unit.Error) return unit;
    TCommand& command = unit.Command;
    if (!command.Common) {
        if (!rooted) {
            command.Nodes.insert(command.Nodes.begin(), path.begin(), path.end());
            command.Inherited = path.size();
        }
        path.assign(command.Nodes.begin(), command.Nodes.end() - 1);
    }
    const std::string_view rest = Trim(text.substr(end));
    if (rest.empty()) return unit;
    for (const std::string_view item : SplitTop(rest, ',')) {
        const std::string_view value = Trim(item);
        if (value.empty()) {
            unit.Error = Fail(err::kSyntaxError, "empty parameter");
            return unit;
        }
        TParam param;
        unit.Error = ParseParam(value, param);
        if (unit.Error) return unit;
        command.Params.push_back(std::move(param));
    }
    return unit;
}

struct TPatternNode {
    std::string Long; // upper-cased
    std::string Short;
    bool Optional = false;
};

std::vector<TPatternNode> PatternNodes(std::string_view pattern)
{
    std::vector<TPatternNode> nodes;
    bool optional = false;
    TPatternNode node;
    auto flush = [&] {
        if (node.Long.empty()) return;
        node.Optional = optional;
        nodes.push_back(std::move(node));
        node = {};
    };
    for (const char c : pattern) {
        if (c == '[' || c == ']' || c == ':') {
            flush();
            if (c != ':') optional = c == '[';
            continue;
        }
        node.Long += Upper(c);
        if (!(c >= 'a' && c <= 'z')) node.Short += c;
    }
    flush();
    return nodes;
}

// The node without a numeric suffix of 1; false for any other suffix.
bool StripSuffix(std::string_view node, std::string_view& name)
{
    std::size_t end = node.size();
    while (end > 0 && IsDigit(node[end - 1])) --end;
    name = node.substr(0, end);
    const std::string_view suffix = node.substr(end);
    return suffix.empty() || suffix == "1";
}

bool MatchNodes(const std::vector<TPatternNode>& pattern, std::size_t p, const std::vector<std::string>& nodes,
                std::size_t n)
{
    if (p == pattern.size()) return n == nodes.size();
    if (pattern[p].Optional && MatchNodes(pattern, p + 1, nodes, n)) return true;
    if (n == nodes.size()) return false;
    std::string_view name;
    if (!StripSuffix(nodes[n], name)) return false;
    if (name != pattern[p].Long && name != pattern[p].Short) return false;
    return MatchNodes(pattern, p + 1, nodes, n + 1);
}

} // namespace

std::vector<TUnit> ParseLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<TUnit> units;
    if (!PlainAscii(line)) {
        units.push_back({{}, Fail(err::kInvalidCharacter, "only printable ASCII is accepted")});
        return units;
    }
    std::vector<std::string> path;
    for (const std::string_view text : SplitTop(line, ';')) {
        const std::string_view trimmed = Trim(text);
        if (trimmed.empty()) continue;
        units.push_back(ParseUnit(trimmed, path));
    }
    return units;
}

bool MatchHeader(std::string_view pattern, const TCommand& command)
{
    const bool query = !pattern.empty() && pattern.back() == '?';
    if (query) pattern.remove_suffix(1);
    if (query != command.Query) return false;
    const bool common = !pattern.empty() && pattern.front() == '*';
    if (common != command.Common) return false;
    if (common) return command.Nodes.size() == 1 && command.Nodes[0] == UpperText(pattern.substr(1));
    return MatchNodes(PatternNodes(pattern), 0, command.Nodes, 0);
}

bool HasNumericSuffix(const TCommand& command)
{
    for (const std::string& node : command.Nodes) {
        std::string_view name;
        if (!StripSuffix(node, name)) return true;
    }
    return false;
}

TScpiError ScaleBySuffix(const TParam& number, std::string_view unit, double& value)
{
    value = number.Number;
    const std::string& suffix = number.Suffix;
    if (suffix.empty() || suffix == unit) return {};
    if (suffix.size() <= unit.size() || suffix.compare(suffix.size() - unit.size(), unit.size(), unit) != 0)
        return Fail(err::kInvalidSuffix);
    const std::string prefix = suffix.substr(0, suffix.size() - unit.size());
    // "MHZ" and "MOHM" are mega by custom; elsewhere M is milli and MA mega.
    const bool megaM = unit == "HZ" || unit == "OHM";
    double scale = 0.0;
    if (prefix == "M") scale = megaM ? 1e6 : 1e-3;
    else if (prefix == "MA") scale = 1e6;
    else if (prefix == "K") scale = 1e3;
    else if (prefix == "U") scale = 1e-6;
    else if (prefix == "N") scale = 1e-9;
    else if (prefix == "G") scale = 1e9;
    else return Fail(err::kInvalidSuffix);
    value *= scale;
    return {};
}

} // namespace ksv::scpi
