// What the simulated crate server plays: crates, the modules in their slots,
// mezzanines, the signal on each channel, and faults. Read from a JSON
// scenario (the format is in sim/README.md).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ksv::sim {

constexpr uint16_t kKsv27Id = 0x1B1B;
constexpr int kScenarioMaxSlots = 64; // slot numbers a scenario may use; 16 can be opened

// The operations a fault can be set on, and where: List on the server,
// Slots on a crate, the others on a module.
enum class FaultOp {
    List,
    Slots,
    Open,
    GetConfig,
    GetDescription,
    SetConfig,
    Start,
    Stop,
    Recv,
    ProcessData,
    Count
};
constexpr size_t kFaultOps = static_cast<size_t>(FaultOp::Count);

enum class FaultMode {
    Off,
    Fail,  // the operation returns an error
    Drop,  // the server closes the connection instead of answering
    Zero,  // Recv: returns at once with no words
    Short, // Recv: returns at once with about half the words asked
    Stall, // Recv: no answer at all, the call runs into its time-out
};

struct Fault {
    FaultMode Mode = FaultMode::Off;
    bool Once = false; // cleared after it has struck once
};
using FaultTable = std::array<Fault, kFaultOps>;

const char* FaultOpName(FaultOp op);
std::optional<FaultOp> FaultOpFromName(std::string_view name);
// Where an operation's fault belongs: 0 server, 1 crate, 2 module.
int FaultLevel(FaultOp op);
// Parses "fail", "drop", "error", "zero", "short", "stall", "off", each
// optionally followed by ":once"; nullopt (and a reason) when it does not fit `op`.
std::optional<Fault> ParseFault(FaultOp op, std::string_view text, std::string& why);
std::string FaultText(const Fault& f);

struct Signal {
    double Dc = 0.0;
    double Amplitude = 0.0; // of a sine on top of Dc
    double Frequency = 0.0; // Hz
    double Phase = 0.0;     // degrees
    double Noise = 0.0;     // uniform noise within +-Noise
    uint64_t Seed = 1;
};

struct MezzanineSpec {
    std::string Name = "EMPTY";
    std::string Serial;
    std::array<double, 4> Coefs{0.0, 1.0, 0.0, 1.0}; // description coefficients
    std::array<Signal, 2> Channels{};
};

struct ModuleSpec {
    std::string Name = "KSV27";
    std::string Serial;
    uint32_t Firmware = 0x01000000;
    uint8_t Divisor = 0; // at power-up
    std::array<MezzanineSpec, 8> Mezzanines{};
    FaultTable Faults{};
};

struct SlotSpec {
    uint16_t Id = 0;                  // 0: empty slot
    std::optional<ModuleSpec> Module; // set when Id is a KSV27's
};

struct CrateSpec {
    std::string Serial;
    std::vector<SlotSpec> Slots; // index 0 is slot 1; at least 16
    FaultTable Faults{};
};

// Which frame an acquisition's first frame is. Running: the module's clock
// runs from the server's start (reading ClockStartSeconds then), so each
// start picks up the frame then due and successive cycles see the signals
// move on. PerStart: every start numbers its frames from zero, so every
// cycle gets the same samples.
enum class FrameClock {
    Running,
    PerStart
};
constexpr double kMaxClockStartSeconds = 1e9;

struct Scenario {
    std::vector<CrateSpec> Crates;
    FaultTable Faults{};
    FrameClock Clock = FrameClock::Running;
    double ClockStartSeconds = 0.0;
};

class ScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws ScenarioError with a message that names the place of the fault.
// Warnings (unknown keys) go to `warnings` when given.
Scenario ParseScenario(std::string_view json, std::vector<std::string>* warnings = nullptr);

// The built-in demo, in the scenario format.
std::string_view DemoScenarioJson();

// The prefix of a serial that the crate list shows (KSV_GetCrates keeps 15
// characters); a request names a crate by it.
std::string ListedSerial(const std::string& serial);

} // namespace ksv::sim
