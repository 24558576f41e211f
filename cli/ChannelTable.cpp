#include "ChannelTable.h"

#include "MeasureCore.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace ksv::cli {

namespace {

using nlohmann::json;

// A channel number: 1..16 (one module) or slot*100 + ch, slot and ch 1..16.
std::optional<int> ChannelKey(const std::string& key)
{
    if (key.empty() || key.size() > 4 || key.find_first_not_of("0123456789") != std::string::npos || key[0] == '0')
        return std::nullopt;
    const int number = std::stoi(key);
    const int slot = number / 100, ch = number % 100;
    if (number >= 1 && number <= 16) return number;
    if (slot >= 1 && slot <= 16 && ch >= 1 && ch <= 16) return number;
    return std::nullopt;
}

struct TChecker {
    std::string Origin;
    std::string Error;

    bool Fail(const std::string& path, const std::string& what)
    {
        Error = "channel file " + Origin + ": " + path + ": " + what;
        return false;
    }

    bool Number(const json& value, const std::string& path, double& out)
    {
        if (!value.is_number() || !std::isfinite(value.get<double>())) return Fail(path, "expected a finite number");
        out = value.get<double>();
        return true;
    }

    bool Setting(const json& entry, const std::string& path, TChannelSetting& setting)
    {
        if (!entry.is_object()) return Fail(path, "expected an object with label, gain, offset, unit");
        for (const auto& [key, value] : entry.items()) {
            const std::string at = path + "." + key;
            if (key == "label") {
                if (!value.is_string() || !ValidLabel(value.get<std::string>()))
                    return Fail(at, "expected text of at most 32 characters without control characters");
                setting.Label = value.get<std::string>();
            } else if (key == "unit") {
                if (!value.is_string() || !ValidUnit(value.get<std::string>()))
                    return Fail(at, "expected a unit of 1 to 16 printable ASCII characters");
                setting.Unit = value.get<std::string>();
                setting.Scale = true;
            } else if (key == "gain" || key == "offset") {
                if (!Number(value, at, key == "gain" ? setting.Gain : setting.Offset)) return false;
                setting.Scale = true;
            } else {
                return Fail(at, "unknown key (label, gain, offset, unit)");
            }
        }
        return true;
    }

    std::optional<TChannelTable> Table(const json& document)
    {
        if (!document.is_object() || !document.contains("channels")) {
            Fail("$", "expected an object with \"channels\"");
            return std::nullopt;
        }
        for (const auto& [key, value] : document.items())
            if (key != "channels" && key != "comment") {
                Fail("$." + key, "unknown key (channels, comment)");
                return std::nullopt;
            }
        const json& channels = document["channels"];
        if (!channels.is_object()) {
            Fail("$.channels", "expected an object of channels by number");
            return std::nullopt;
        }
        TChannelTable table;
        for (const auto& [key, value] : channels.items()) {
            const std::string path = "$.channels." + key;
            const std::optional<int> number = ChannelKey(key);
            if (!number) {
                Fail(path, "expected a channel number slot*100+ch (101..1616) or 1..16");
                return std::nullopt;
            }
            if (!Setting(value, path, table[*number])) return std::nullopt;
        }
        return table;
    }
};

// nlohmann's "[json.exception.parse_error.101] parse error at line 2, column 5: ..."
// without its bracketed prefix.
std::string SyntaxError(const std::string& what)
{
    const std::size_t at = what.find("at line");
    return at == std::string::npos ? what : what.substr(at);
}

} // namespace

std::optional<TChannelTable> ParseChannelText(const std::string& text, const std::string& origin, std::string& error)
{
    json document;
    try {
        document = json::parse(text);
    } catch (const json::parse_error& e) {
        error = "channel file " + origin + ": syntax error " + SyntaxError(e.what());
        return std::nullopt;
    }
    TChecker checker{origin, {}};
    std::optional<TChannelTable> table = checker.Table(document);
    if (!table) error = checker.Error;
    return table;
}

std::optional<TChannelTable> ReadChannelFile(const std::string& path, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    if (!file || !(text << file.rdbuf())) {
        error = "channel file " + path + " cannot be read";
        return std::nullopt;
    }
    return ParseChannelText(text.str(), path, error);
}

const TChannelSetting* FindSetting(const TChannelTable& table, int moduleSlot, int channel, bool singleModule)
{
    auto it = table.find(ChannelNumber(moduleSlot, channel));
    if (it == table.end() && singleModule) it = table.find(channel + 1);
    return it == table.end() ? nullptr : &it->second;
}

std::string ScaledUnitText(const TChannelSetting& setting, TChannelUnit unit)
{
    return setting.Unit.empty() ? SiUnitText(unit) : setting.Unit;
}

void ApplyChannelSetting(const TChannelSetting& setting, bool raw, TChannelResult& channel)
{
    channel.Label = setting.Label;
    if (raw || !setting.Scale || channel.Unit == TChannelUnit::None) return;
    channel.Scaled = true;
    channel.ScaledUnit = ScaledUnitText(setting, channel.Unit);
    channel.RawValue = channel.Value;
    if (!channel.Valid) return;
    const double term = setting.Gain * channel.Value * SiFactor(channel.Unit);
    channel.Value = term + setting.Offset;
    // What cancels to within the sum's rounding is zero, not 3.7e-08.
    if (std::fabs(channel.Value) <= 1e-12 * (std::fabs(term) + std::fabs(setting.Offset))) channel.Value = 0.0;
    channel.Valid = std::isfinite(channel.Value);
    channel.Text = channel.Valid ? ScaledText(channel.Value) : std::string(kNoValueText);
}

void ApplyChannelTable(const TChannelTable& table, int moduleSlot, bool singleModule, bool raw, TCycleResult& cycle)
{
    if (table.empty()) return;
    for (int c = 0; c < kChannelCount; ++c)
        if (const TChannelSetting* setting = FindSetting(table, moduleSlot, c, singleModule))
            ApplyChannelSetting(*setting, raw, cycle.Channels[static_cast<std::size_t>(c)]);
}

std::string ScaledText(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.7g", value);
    std::string out = text;
    for (char& c : out)
        if (c == ',') c = '.'; // a locale's decimal comma
    return out;
}

bool ValidLabel(const std::string& text, std::size_t limit)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 6 ? 2
                                           : (byte >> 4) == 14  ? 3
                                           : (byte >> 3) == 30  ? 4
                                                                : 0;
        if (length == 0 || i + length > text.size()) return false;
        if (byte < 0x20 || byte == 0x7F) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
        ++characters;
    }
    return characters <= limit;
}

bool ValidUnit(const std::string& text)
{
    if (text.empty() || text.size() > kMaxUnitChars) return false;
    for (char c : text)
        if (c <= 0x20 || c >= 0x7F || c == '"' || c == ',') return false;
    return true;
}

} // namespace ksv::cli
