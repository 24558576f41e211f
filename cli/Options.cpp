#include "Options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
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

// An option of one value whose text `take` checks and stores; a refused
// value is a usage error naming the option, the value and what it must be.
CLI::Option* AddChecked(CLI::App& app, const std::string& name, const std::string& valueName, const std::string& help,
                        const std::string& expected, std::function<bool(const std::string&)> take)
{
    return app.add_option_function<std::string>(
                  name,
                  [name, expected, take = std::move(take)](const std::string& value) {
                      if (!take(value)) throw CLI::ValidationError("bad value '" + value + "' for " + name + ": " + expected);
                  },
                  help)
        ->type_name(valueName);
}

// -h / --help on `app`: the tool's own help text, whatever else was given.
void AddHelpFlag(CLI::App& app, TOptions& options)
{
    app.set_help_flag();
    app.add_flag_callback("-h,--help", [&options] { options.Command = TCommand::Help; });
}

} // namespace

void AddListOptions(CLI::App& list, TOptions& options)
{
    list.add_flag("--json", options.ListJson, "print the list as one JSON object");
}

void AddModuleOptions(CLI::App& command, TOptions& options)
{
    TOptions& o = options;
    AddChecked(command, "--crate", "SERIAL", "crate serial number", "a crate serial of 1 to 15 characters",
               [&o](const std::string& v) {
                   if (v.empty() || v.size() > 15) return false;
                   o.CrateSerial = v;
                   return true;
               });
    AddChecked(command, "--slot", "N|LIST|all", "crate slot of the module, or of several: 2,5 or all",
               "a crate slot 1..16, a list of them such as 2,5-7, or all", [&o](const std::string& v) {
                   o.AllSlots = v == "all";
                   if (o.AllSlots) return true;
                   const auto slots = ParseCrateSlotList(v);
                   if (!slots) return false;
                   if (slots->size() == 1) o.CrateSlot = slots->front();
                   else o.CrateSlots = *slots;
                   return true;
               });
    AddChecked(command, "--channels", "FILE", "channel labels and scaling (JSON)", "a file name",
               [&o](const std::string& v) {
                   o.ChannelsPath = v;
                   return !v.empty();
               });
    AddChecked(command, "--settings", "FILE", "settings file of the program (read only)", "a file name",
               [&o](const std::string& v) {
                   o.SettingsPath = v;
                   return !v.empty();
               });
}

void AddMeasureOptions(CLI::App& measure, TOptions& options)
{
    TOptions& o = options;
    AddModuleOptions(measure, o);
    AddChecked(measure, "--rate", "HZ", "samples/s per channel", "one of 5, 10, 20, 50, 100, 200, 500, 1000 (Hz)",
               [&o](const std::string& v) { return (o.RateIndex = RateIndexOf(v)).has_value(); });
    AddChecked(measure, "--time", "SECONDS", "acquisition time of one cycle", "a positive number of seconds",
               [&o](const std::string& v) { return (o.AcquisitionTime = ParsePositiveSeconds(v)).has_value(); });
    AddChecked(measure, "--slots", "LIST", "mezzanine slots that take part",
               "mezzanine slots 1..8 and ranges, e.g. 1,3-5",
               [&o](const std::string& v) { return (o.Slots = ParseSlotList(v)).has_value(); });
    AddChecked(measure, "--cycles", "N", "stop after N cycles", "a whole number of cycles, at least 1",
               [&o](const std::string& v) {
                   const auto cycles = ParseInteger<std::uint64_t>(v);
                   if (!cycles || *cycles == 0) return false;
                   o.Cycles = *cycles;
                   return true;
               });
    AddChecked(measure, "--duration", "SECONDS", "stop after this time", "a positive number of seconds",
               [&o](const std::string& v) { return (o.Duration = ParsePositiveSeconds(v)).has_value(); });
    AddChecked(measure, "--format", "FMT", "table, csv or json", "table, csv or json", [&o](const std::string& v) {
        static const std::map<std::string, TFormat> formats = {
            {"table", TFormat::Table}, {"csv", TFormat::Csv}, {"json", TFormat::Json}};
        const auto it = formats.find(v);
        if (it == formats.end()) return false;
        o.Format = it->second;
        return true;
    });
    measure.add_flag("--raw", o.Raw, "leave the channel file's scaling off (labels stay)");
    AddChecked(measure, "--output", "FILE", "write the records into FILE", "a file name", [&o](const std::string& v) {
        o.OutputPath = v;
        return !v.empty();
    });
#ifdef KSV_WITH_MQTT
    AddMqttOptions(measure, o);
#endif
}

#ifdef KSV_WITH_MQTT
void AddMqttOptions(CLI::App& command, TOptions& options)
{
    TMqttOptions& m = options.Mqtt;
    AddChecked(command, "--mqtt", "URL", "publish every cycle to this MQTT broker",
               "a broker URL mqtt://host[:port][/prefix]", [&m](const std::string& v) {
                   m.Url = v;
                   return !v.empty();
               });
    const auto file = [](std::string& into) {
        return [&into](const std::string& v) {
            into = v;
            return !v.empty();
        };
    };
    AddChecked(command, "--mqtt-ca", "FILE", "certificates to trust for mqtts://", "a file name", file(m.CaFile))
        ->needs("--mqtt");
    AddChecked(command, "--mqtt-credentials", "FILE", "user name and password for the broker", "a file name",
               file(m.CredentialsPath))
        ->needs("--mqtt");
    AddChecked(command, "--mqtt-qos", "0|1|2", "quality of service of the cycle messages", "0, 1 or 2",
               [&m](const std::string& v) {
                   const auto qos = ParseInteger<int>(v);
                   if (!qos || *qos < 0 || *qos > 2) return false;
                   m.Qos = *qos;
                   return true;
               })
        ->needs("--mqtt");
    AddChecked(command, "--mqtt-queue", "N", "cycles kept while the broker is away",
               "a whole number of cycles, at least 1", [&m](const std::string& v) {
                   const auto cycles = ParseInteger<std::size_t>(v);
                   if (!cycles || *cycles == 0) return false;
                   m.QueueCycles = *cycles;
                   return true;
               })
        ->needs("--mqtt");
    AddChecked(command, "--mqtt-flush", "SECONDS", "at the stop, how long queued cycles may take to go out",
               "0 or more seconds", [&m](const std::string& v) {
                   const std::optional<double> seconds = ParseReal(v);
                   if (!seconds || !std::isfinite(*seconds) || *seconds < 0.0) return false;
                   m.FlushSeconds = *seconds;
                   return true;
               })
        ->needs("--mqtt");
    command.add_flag("--mqtt-bare-values", m.BareValues, "ch<N> topics carry the bare number")->needs("--mqtt");
    AddChecked(command, "--mqtt-client-id", "ID", "the broker's client id (default ksv27-vorn-<crate>-<slot>)",
               "1 to 128 printable ASCII characters without spaces", [&m](const std::string& v) {
                   if (v.empty() || v.size() > 128) return false;
                   for (const char c : v)
                       if (c <= ' ' || c > '~') return false;
                   m.ClientId = v;
                   return true;
               })
        ->needs("--mqtt");
}
#endif

void AddLanOptions([[maybe_unused]] CLI::App& serve, [[maybe_unused]] TOptions& options)
{
    [[maybe_unused]] const auto onOff = [](bool& flag) {
        return [&flag](const std::string& v) {
            flag = v == "on";
            return v == "on" || v == "off";
        };
    };
#ifdef KSV_WITH_VXI11
    TOptions& o = options;
    AddChecked(serve, "--vxi11", "on|off", "VXI-11 (TCPIP::host::INSTR) beside the socket", "on or off",
               onOff(o.Vxi11));
    AddChecked(serve, "--vxi11-port", "P", "VXI-11 core channel port (default: any free one)", "a port 0..65535",
               [&o](const std::string& v) {
                   const auto port = ParseInteger<int>(v);
                   if (!port || *port < 0 || *port > 65535) return false;
                   o.Vxi11Port = *port;
                   return true;
               });
#endif
#ifdef KSV_WITH_DNSSD
    AddChecked(serve, "--announce", "on|off", "DNS-SD announcements through avahi-daemon", "on or off",
               onOff(options.Announce));
#endif
}

void AddServeOptions(CLI::App& serve, TOptions& options)
{
    TOptions& o = options;
    AddModuleOptions(serve, o);
    AddChecked(serve, "--listen", "ADDR", "address to listen on", "an IPv4 or IPv6 address",
               [&o](const std::string& v) {
                   o.Listen = v;
                   return !v.empty() && v.find_first_not_of("0123456789abcdefABCDEF.:") == std::string::npos;
               });
    AddChecked(serve, "--port", "P", "TCP port", "a port 0..65535", [&o](const std::string& v) {
        const auto port = ParseInteger<int>(v);
        if (!port || *port < 0 || *port > 65535) return false;
        o.Port = *port;
        return true;
    });
    AddChecked(serve, "--allow", "CIDR,...", "client networks served", "networks such as 192.168.1.0/24,10.0.0.7",
               [&o](const std::string& v) {
                   o.Allow = v;
                   return !v.empty();
               });
    AddChecked(serve, "--max-clients", "N", "connections served at once", "a number of clients 1..1000",
               [&o](const std::string& v) {
                   const auto n = ParseInteger<int>(v);
                   if (!n || *n < 1 || *n > 1000) return false;
                   o.MaxClients = *n;
                   return true;
               });
    AddChecked(serve, "--idle-timeout", "SECONDS", "close a connection idle this long (0: never)",
               "a whole number of seconds, 0 or more", [&o](const std::string& v) {
                   const auto seconds = ParseInteger<int>(v);
                   if (!seconds || *seconds < 0) return false;
                   o.IdleTimeoutSeconds = *seconds;
                   return true;
               });
    AddChecked(serve, "--http-port", "P|off", "port of the web page", "a port 0..65535 or off",
               [&o](const std::string& v) {
                   const auto port = ParseInteger<int>(v);
                   if (v != "off" && (!port || *port < 0 || *port > 65535)) return false;
                   o.HttpPort = v == "off" ? -1 : *port;
                   o.HttpPortGiven = true;
                   return true;
               });
    AddChecked(serve, "--http-max-clients", "N", "web connections served at once", "a number of clients 1..1000",
               [&o](const std::string& v) {
                   const auto n = ParseInteger<int>(v);
                   if (!n || *n < 1 || *n > 1000) return false;
                   o.HttpMaxClients = *n;
                   return true;
               });
    AddLanOptions(serve, o);
#ifdef KSV_WITH_MQTT
    AddMqttOptions(serve, o);
#endif
}

namespace {

// "1,3-5,8": every number or range from 1 to N marked in an array of N.
template <std::size_t N> std::optional<std::array<bool, N>> ParseRanges(const std::string& text)
{
    std::array<bool, N> chosen{};
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        const std::size_t dash = item.find('-');
        const auto first = ParseInteger<int>(item.substr(0, dash));
        const auto last = dash == std::string::npos ? first : ParseInteger<int>(item.substr(dash + 1));
        if (!first || !last || *first < 1 || *last > static_cast<int>(N) || *first > *last) return std::nullopt;
        for (int s = *first; s <= *last; ++s) chosen[static_cast<std::size_t>(s - 1)] = true;
        start = comma + 1;
    }
    return chosen;
}

} // namespace

std::optional<std::vector<int>> ParseCrateSlotList(const std::string& text)
{
    const auto chosen = ParseRanges<16>(text);
    if (!chosen) return std::nullopt;
    std::vector<int> slots;
    for (int s = 1; s <= 16; ++s)
        if ((*chosen)[static_cast<std::size_t>(s - 1)]) slots.push_back(s);
    return slots;
}

std::optional<std::array<bool, 8>> ParseSlotList(const std::string& text) { return ParseRanges<8>(text); }

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
    TParseResult result;
    TOptions& o = result.Options;
    CLI::App app("ksv27-vorn-cli: the KSV27 multimeter from the command line", "ksv27-vorn-cli");
    AddHelpFlag(app, o);
    app.require_subcommand(0, 1);
    struct TSubcommand {
        const char* Name;
        const char* Description;
        TCommand Command;
        void (*AddOptions)(CLI::App&, TOptions&);
    };
    const TSubcommand subcommands[] = {
        {"list", "the crates and their KSV27 modules", TCommand::List, AddListOptions},
        {"measure", "measure in cycles with one module", TCommand::Measure, AddMeasureOptions},
        {"serve", "the module as a SCPI instrument on a TCP socket", TCommand::Serve, AddServeOptions},
        {"help", "this help", TCommand::Help, nullptr},
    };
    for (const TSubcommand& s : subcommands) {
        CLI::App* sub = app.add_subcommand(s.Name, s.Description);
        sub->preparse_callback([&o, command = s.Command](std::size_t) { o.Command = command; });
        AddHelpFlag(*sub, o);
        if (s.AddOptions) s.AddOptions(*sub, o);
    }
    app.get_subcommand("measure")->get_option("--cycles")->excludes("--duration");
    const bool known = std::any_of(std::begin(subcommands), std::end(subcommands),
                                   [&](const TSubcommand& s) { return !args.empty() && args.front() == s.Name; });
    if (!args.empty() && !known && args.front().rfind('-', 0) != 0) {
        result.Error = "unknown command '" + args.front() + "' (list, measure or serve)";
        return result;
    }
    std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 takes them from the back
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        result.Error = e.what();
        return result;
    }
    if (args.empty()) result.Error = "no command given (list, measure or serve)";
    else if (app.count("--help") > 0 && args.size() > 1) result.Error = "--help takes no further arguments";
    result.Ok = result.Error.empty();
    return result;
}

} // namespace ksv::cli
