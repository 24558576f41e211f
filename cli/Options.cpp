#include "Options.h"

#include <charconv>
#include <cmath>
#include <map>

#include "AdcRates.h"

namespace ksv::cli {

namespace {

// Whole text as a number; '.' as decimal point whatever the locale.
std::optional<double> ParseReal(const std::string& text)
{
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

template <class T>
std::optional<T> ParseInteger(const std::string& text)
{
    T value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

std::optional<double> ParsePositiveSeconds(const std::string& text)
{
    const std::optional<double> value = ParseReal(text);
    if (!value || !std::isfinite(*value) || *value <= 0.0) return std::nullopt;
    return value;
}

struct TParser {
    const std::vector<std::string>& Args;
    std::size_t Next = 0;
    TParseResult Result;

    bool Fail(std::string text)
    {
        Result.Error = std::move(text);
        return false;
    }

    // The value of option `name`, from "--name=value" or the next argument.
    bool TakeValue(const std::string& name, std::optional<std::string> inlineValue, std::string& value)
    {
        if (inlineValue) {
            value = *inlineValue;
            return true;
        }
        if (Next >= Args.size()) return Fail("option " + name + " needs a value");
        value = Args[Next++];
        return true;
    }

    bool MeasureOption(const std::string& name, const std::string& value);
    bool Run();
};

bool TParser::MeasureOption(const std::string& name, const std::string& value)
{
    TOptions& o = Result.Options;
    const std::string bad = "bad value '" + value + "' for " + name + ": ";
    if (name == "--crate") {
        if (value.empty() || value.size() > 15) return Fail(bad + "a crate serial of 1 to 15 characters");
        o.CrateSerial = value;
    } else if (name == "--slot") {
        const auto slot = ParseInteger<int>(value);
        if (!slot || *slot < 1 || *slot > 16) return Fail(bad + "a crate slot 1..16");
        o.CrateSlot = *slot;
    } else if (name == "--rate") {
        o.RateIndex = RateIndexOf(value);
        if (!o.RateIndex) return Fail(bad + "one of 5, 10, 20, 50, 100, 200, 500, 1000 (Hz)");
    } else if (name == "--time") {
        o.AcquisitionTime = ParsePositiveSeconds(value);
        if (!o.AcquisitionTime) return Fail(bad + "a positive number of seconds");
    } else if (name == "--slots") {
        o.Slots = ParseSlotList(value);
        if (!o.Slots) return Fail(bad + "mezzanine slots 1..8 and ranges, e.g. 1,3-5");
    } else if (name == "--cycles") {
        const auto cycles = ParseInteger<std::uint64_t>(value);
        if (!cycles || *cycles == 0) return Fail(bad + "a whole number of cycles, at least 1");
        o.Cycles = *cycles;
    } else if (name == "--duration") {
        o.Duration = ParsePositiveSeconds(value);
        if (!o.Duration) return Fail(bad + "a positive number of seconds");
    } else if (name == "--format") {
        static const std::map<std::string, TFormat> formats = {
            {"table", TFormat::Table}, {"csv", TFormat::Csv}, {"json", TFormat::Json}};
        const auto it = formats.find(value);
        if (it == formats.end()) return Fail(bad + "table, csv or json");
        o.Format = it->second;
    } else if (name == "--output") {
        if (value.empty()) return Fail(bad + "a file name");
        o.OutputPath = value;
    } else if (name == "--settings") {
        if (value.empty()) return Fail(bad + "a file name");
        o.SettingsPath = value;
#ifdef KSV_WITH_MQTT
    } else if (name == "--mqtt") {
        if (value.empty()) return Fail(bad + "a broker URL mqtt://host[:port]/prefix");
        o.Mqtt.Url = value;
    } else if (name == "--mqtt-ca" || name == "--mqtt-credentials") {
        if (value.empty()) return Fail(bad + "a file name");
        (name == "--mqtt-ca" ? o.Mqtt.CaFile : o.Mqtt.CredentialsPath) = value;
    } else if (name == "--mqtt-qos") {
        const auto qos = ParseInteger<int>(value);
        if (!qos || *qos < 0 || *qos > 2) return Fail(bad + "0, 1 or 2");
        o.Mqtt.Qos = *qos;
    } else if (name == "--mqtt-queue") {
        const auto cycles = ParseInteger<std::size_t>(value);
        if (!cycles || *cycles == 0) return Fail(bad + "a whole number of cycles, at least 1");
        o.Mqtt.QueueCycles = *cycles;
    } else if (name == "--mqtt-flush") {
        const std::optional<double> seconds = ParseReal(value);
        if (!seconds || !std::isfinite(*seconds) || *seconds < 0.0) return Fail(bad + "0 or more seconds");
        o.Mqtt.FlushSeconds = *seconds;
#endif
    } else {
        return Fail("unknown option " + name + " for measure");
    }
    return true;
}

bool TParser::Run()
{
    TOptions& o = Result.Options;
    if (Args.empty()) return Fail("no command given (list or measure)");
    const std::string& command = Args[Next++];
    if (command == "--help" || command == "-h" || command == "help") {
        o.Command = TCommand::Help;
        return Next == Args.size() || Fail("--help takes no further arguments");
    }
    if (command == "list") o.Command = TCommand::List;
    else if (command == "measure") o.Command = TCommand::Measure;
    else return Fail("unknown command '" + command + "' (list or measure)");

    while (Next < Args.size()) {
        const std::string arg = Args[Next++];
        if (arg == "--help" || arg == "-h") {
            o.Command = TCommand::Help;
            return true;
        }
        if (arg.rfind("--", 0) != 0) return Fail("unexpected argument '" + arg + "'");
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        std::optional<std::string> inlineValue;
        if (eq != std::string::npos) inlineValue = arg.substr(eq + 1);
        if (o.Command == TCommand::List) {
            if (name != "--json" || inlineValue) return Fail("unknown option " + arg + " for list");
            o.ListJson = true;
            continue;
        }
        std::string value;
        if (!TakeValue(name, inlineValue, value) || !MeasureOption(name, value)) return false;
    }
    if (o.Cycles && o.Duration) return Fail("--cycles and --duration exclude each other");
    if (o.Mqtt.Url.empty() && (!o.Mqtt.CaFile.empty() || !o.Mqtt.CredentialsPath.empty()))
        return Fail("--mqtt-ca and --mqtt-credentials need --mqtt");
    return true;
}

} // namespace

std::optional<std::array<bool, 8>> ParseSlotList(const std::string& text)
{
    std::array<bool, 8> slots{};
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        const std::size_t dash = item.find('-');
        const auto first = ParseInteger<int>(item.substr(0, dash));
        const auto last = dash == std::string::npos ? first : ParseInteger<int>(item.substr(dash + 1));
        if (!first || !last || *first < 1 || *last > 8 || *first > *last) return std::nullopt;
        for (int s = *first; s <= *last; ++s) slots[static_cast<std::size_t>(s - 1)] = true;
        start = comma + 1;
    }
    return slots;
}

std::optional<int> RateIndexOf(const std::string& text)
{
    const std::optional<double> rate = ParseReal(text);
    if (!rate) return std::nullopt;
    for (int i = 0; i < kAdcRateCount; ++i)
        if (*rate == AdcRateFromDivisor(kAdcRateDivisors[static_cast<std::size_t>(i)])) return i;
    return std::nullopt;
}

TFormat EffectiveFormat(const TOptions& options)
{
    if (options.Format) return *options.Format;
    return options.OutputPath.empty() ? TFormat::Table : TFormat::Csv;
}

TParseResult ParseOptions(const std::vector<std::string>& args)
{
    TParser parser{args, 0, {}};
    parser.Result.Ok = parser.Run();
    return std::move(parser.Result);
}

} // namespace ksv::cli
