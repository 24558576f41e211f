#include "ScpiParams.h"

namespace ksv::scpi {

TScpiError CountParams(const TCommand& c, std::size_t min, std::size_t max)
{
    if (c.Params.size() < min) return Fail(err::kMissingParameter);
    if (c.Params.size() > max) return Fail(err::kParameterNotAllowed);
    return {};
}

int ChannelIndexOf(const TModuleFacts& facts, int number, bool& hundreds)
{
    hundreds = number > 100;
    const int slot = number / 100, channel = number % 100;
    if (!facts.Several && number >= 1 && number <= kModuleChannels) return number - 1;
    if (channel < 1 || channel > kModuleChannels) return -1;
    for (std::size_t p = 0; p < facts.Modules.size() && p < kMaxModules; ++p)
        if (facts.Modules[p].Slot == slot && slot > 0)
            return static_cast<int>(p) * kModuleChannels + channel - 1;
    return -1;
}

int ChannelNumberOf(const TModuleFacts& facts, int index, bool hundreds)
{
    const std::size_t p = static_cast<std::size_t>(index / kModuleChannels);
    if (index < 0 || p >= facts.Modules.size()) return -1;
    const int channel = index % kModuleChannels + 1;
    const int slot = facts.Modules[p].Slot;
    return (facts.Several || hundreds) && slot > 0 ? slot * 100 + channel : channel;
}

TScpiError ToChannels(const TParam& p, const TModuleFacts& facts, TChannelSet& set, bool* hundreds)
{
    if (p.Kind != TParamKind::Channels) return Fail(err::kDataTypeError, "channel list expected");
    if (p.Channels.empty()) return Fail(err::kSyntaxError, "empty channel list");
    for (const int channel : p.Channels) {
        bool form = false;
        const int index = ChannelIndexOf(facts, channel, form);
        if (index < 0)
            return Fail(err::kDataOutOfRange, "channel " + std::to_string(channel) +
                                                  (facts.Several ? " not in the instrument's modules" : " not in 1..16"));
        set.set(static_cast<std::size_t>(index));
        if (hundreds) *hundreds = form;
    }
    return {};
}

// The channel list at `index` when it is there, else `fallback`.
TScpiError OptionalChannels(const TCommand& c, std::size_t index, const TModuleFacts& facts, TChannelSet fallback,
                            TChannelSet& set, bool* hundreds)
{
    if (c.Params.size() <= index) {
        set = fallback & facts.AllChannels();
        return {};
    }
    return ToChannels(c.Params[index], facts, set, hundreds);
}

TScpiError ToBool(const TParam& p, bool& on)
{
    if (p.Kind == TParamKind::Character && (p.Text == "ON" || p.Text == "OFF")) {
        on = p.Text == "ON";
        return {};
    }
    if (p.Kind == TParamKind::Number && p.Suffix.empty() && (p.Number == 0.0 || p.Number == 1.0)) {
        on = p.Number == 1.0;
        return {};
    }
    if (p.Kind == TParamKind::Character || p.Kind == TParamKind::Number) return Fail(err::kIllegalParameterValue, "ON, OFF, 1 or 0");
    return Fail(err::kDataTypeError, "ON, OFF, 1 or 0");
}

// A plain number: no suffix allowed.
TScpiError ToPlainNumber(const TParam& p, double& value)
{
    if (p.Kind != TParamKind::Number) return Fail(err::kDataTypeError, "number expected");
    if (!p.Suffix.empty()) return Fail(err::kSuffixNotAllowed);
    value = p.Number;
    return {};
}

TScpiError ToLevel(const TParam& p, double& value, std::string& unit)
{
    if (p.Kind != TParamKind::Number) return Fail(err::kDataTypeError, "number expected");
    unit.clear();
    for (const char* u : {"V", "A", "OHM"})
        if (!ScaleBySuffix(p, u, value)) {
            if (!p.Suffix.empty()) unit = u;
            return {};
        }
    return Fail(err::kInvalidSuffix);
}

// MIN, MAX or DEF in place of a number; `mnemonic` empty for a number.
bool IsMnemonic(const TParam& p, std::string& mnemonic)
{
    if (p.Kind != TParamKind::Character) return false;
    for (const char* m : {"MIN", "MINIMUM", "MAX", "MAXIMUM", "DEF", "DEFAULT"})
        if (p.Text == m) {
            mnemonic = p.Text.substr(0, 3);
            return true;
        }
    return false;
}

std::string ChannelListText(TChannelSet set, const TModuleFacts& facts, bool hundreds)
{
    std::string text = "(@";
    for (std::size_t c = 0; c < kChannels; ++c) {
        const int number = set[c] ? ChannelNumberOf(facts, static_cast<int>(c), hundreds) : -1;
        if (number < 0) continue;
        if (text.size() > 2) text += ',';
        text += std::to_string(number);
    }
    return text + ")";
}

std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : AsciiOnly(text)) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

std::string IdnField(std::string text, const char* none)
{
    text = AsciiOnly(text);
    for (char& c : text)
        if (c == ',' || c == ';') c = ' ';
    return text.empty() ? none : text;
}

const char* FunctionName(TMezzanineKind kind)
{
    switch (kind) {
    case TMezzanineKind::Voltage: return "VOLT";
    case TMezzanineKind::Temperature: return "TEMP";
    case TMezzanineKind::Current: return "CURR";
    case TMezzanineKind::Resistance: return "RES";
    case TMezzanineKind::None:
    case TMezzanineKind::Unknown: break;
    }
    return "NONE";
}

TMezzanineKind KindOfChannel(const TModuleFacts& facts, int channel)
{
    return MezzanineKindOf(facts.Mezzanines[static_cast<std::size_t>(channel / 2)]);
}

const char* UnitOfChannel(const TModuleFacts& facts, int channel)
{
    return SiUnitText(UnitOf(KindOfChannel(facts, channel)));
}

} // namespace ksv::scpi
