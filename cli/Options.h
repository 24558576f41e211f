// The command line of ksv27-vorn-cli, parsed (CLI11) and checked before any
// library call: every value is validated here, so a bad argument never
// reaches the crate server. Each subcommand registers its options on its own
// CLI::App, so a new option is one line in that subcommand's function.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "MqttOptions.h"

namespace CLI {
class App;
}

namespace ksv::cli {

enum class TCommand {
    Help,
    List,
    Measure,
    Serve
};
enum class TFormat {
    Table,
    Csv,
    Json
};

struct TOptions {
    TCommand Command = TCommand::Help;
    bool ListJson = false; // list --json

    // measure: each is empty unless given on the command line.
    std::optional<std::string> CrateSerial;
    std::optional<int> CrateSlot;          // 1..16
    std::vector<int> CrateSlots;           // --slot 2,5: several modules (two or more, ascending)
    bool AllSlots = false;                 // --slot all: every KSV27 of the crate
    std::string ChannelsPath;              // --channels FILE (measure and serve); empty: none
    bool Raw = false;                      // --raw: the channel file's scaling is left off
    std::optional<int> RateIndex;          // 0..7, from --rate HZ
    std::optional<double> AcquisitionTime; // seconds, > 0 and finite
    std::optional<std::array<bool, 8>> Slots;
    std::optional<std::uint64_t> Cycles; // > 0
    std::optional<double> Duration;      // seconds, > 0 and finite
    std::optional<TFormat> Format;
    std::string OutputPath;   // empty: standard output
    std::string SettingsPath; // empty: none (measure and serve)
    TMqttOptions Mqtt;        // --mqtt... (measure and serve); only where the tool is built with MQTT

    // serve
    std::string Listen = "127.0.0.1";
    int Port = 5025;              // 0: a free one; the first line of standard output names it
    std::string Allow;            // client networks, CIDR, comma-separated; empty: every address
    int MaxClients = 8;           // connections served at once (and VXI-11 links)
    int IdleTimeoutSeconds = 300; // 0: none
    // The web page (where the tool is built with it): its port, -1 for
    // `--http-port off`; 0: a free one, named by the second line of standard
    // output. A busy port given on the command line stops the service; the
    // busy default only leaves the page out.
    int HttpPort = 8080;
    bool HttpPortGiven = false;
    int HttpMaxClients = 32;
    bool Vxi11 = true;    // --vxi11 on|off, where the tool is built with VXI-11
    int Vxi11Port = 0;    // core channel; 0: a free one
    bool Announce = true; // --announce on|off: DNS-SD, where built with it
};

struct TParseResult {
    bool Ok = false;
    TOptions Options;
    std::string Error; // a usage error, one line
};

// `args` without the program's name.
TParseResult ParseOptions(const std::vector<std::string>& args);

// The options of each subcommand, registered on its CLI::App and stored
// into `options` as they are parsed.
void AddListOptions(CLI::App& list, TOptions& options);
void AddMeasureOptions(CLI::App& measure, TOptions& options);
void AddServeOptions(CLI::App& serve, TOptions& options);
// --crate, --slot and --settings: which module, and the settings file.
void AddModuleOptions(CLI::App& command, TOptions& options);
// --mqtt and the options of publishing to the broker; defined and registered
// only where the tool is built with its MQTT publisher (KSV_WITH_MQTT).
void AddMqttOptions(CLI::App& command, TOptions& options);
// --vxi11, --vxi11-port and --announce of `serve`; registered only where the
// tool is built with them (KSV_WITH_VXI11, KSV_WITH_DNSSD).
void AddLanOptions(CLI::App& serve, TOptions& options);

// "2,5-7" into crate slots 1..16, ascending and each once; empty on a
// malformed list.
std::optional<std::vector<int>> ParseCrateSlotList(const std::string& text);

// "1,3-5" into the eight slots; empty on a malformed list or a slot outside 1..8.
std::optional<std::array<bool, 8>> ParseSlotList(const std::string& text);

// The rate table index of a rate in Hz (5, 10, ..., 1000); empty for any other.
std::optional<int> RateIndexOf(const std::string& text);

// The format records are written in: as given, else CSV into a file and a
// table on standard output.
TFormat EffectiveFormat(const TOptions& options);

} // namespace ksv::cli
