#include "Acquisition.h"

#include <chrono>
#include <map>

#include "Commands.h"
#include "CrateScan.h"
#include "DeviceEngine.h"
#include "DeviceMessages.h"
#include "MeasureMessages.h"
#include "ModuleChoice.h"

namespace ksv::scpi {

namespace {

constexpr auto kOpenRetry = std::chrono::milliseconds(3000);

// The failing library operation and its status, in ASCII, for a window
// text of the measurement.
std::string HardwareDetail(const std::string& failure)
{
    static const std::map<std::string, const char*> operations = {
        {msg::kConfigStopFailed, "KSV27_ADCStop before configuring: error status"},
        {msg::kSetConfigFailed, "KSV27_SetConfig: error status"},
        {msg::kAdcStartFailed, "KSV27_ADCStart: error status"},
        {msg::kRecvFailed, "KSV27_Recv: error status"},
        {msg::kRecvNothing, "KSV27_Recv: no samples"},
        {msg::kRecvWrongCount, "KSV27_Recv: wrong sample count"},
        {msg::kAdcStopFailed, "KSV27_ADCStop: error status"},
        {msg::kEndStopFailed, "KSV27_ADCStop at the end: error status"},
        {msg::kRecvIncomplete, "KSV27_Recv: cycle incomplete"},
        {msg::kProcessFailed, "KSV27_ProcessData: error status"},
        {msg::kRateError, "rate: not usable"},
        {discovery_text::kModuleOpenFailed, "KSV27_Open: module did not open"},
        {msg::kHandlerException, "measurement: exception"},
        {msg::kNoActiveChannel, "configuration: no active channel"},
        {msg::kBadAcquisitionTime, "configuration: acquisition time not usable"},
    };
    const auto it = operations.find(failure);
    if (it != operations.end()) return it->second;
    if (failure.rfind("Не могу выделить память", 0) == 0) return "buffer allocation: out of memory";
    return "measurement: failed";
}

} // namespace

TAcquisition::TAcquisition(TInstrumentState& state) : state_(state) {}

TAcquisition::~TAcquisition() { Shutdown(); }

void TAcquisition::Start()
{
    if (thread_.joinable()) return;
    TryOpen(true);
    thread_ = std::thread([this] { Loop(); });
}

void TAcquisition::Shutdown()
{
    state_.Quit();
    if (thread_.joinable()) thread_.join();
}

void TAcquisition::Loop()
{
    while (!state_.Quitting()) {
        TMeasurementRequest request;
        // The scan's module threads open a closed module again by themselves.
        if (state_.WaitForMeasurement(request, scan_ ? std::chrono::milliseconds(0) : kOpenRetry)) Measure(request);
        else if (!scan_ && !state_.Quitting()) TryOpen(false);
    }
    state_.AdoptScan(nullptr, {}, {});
    scan_.reset(); // ends the module threads and closes the modules
}

// Finds the module (or the crate's modules) and starts the scan, whose
// threads open them; false while there is nothing open.
bool TAcquisition::TryOpen(bool log)
{
    if (scan_) return true;
    const cli::TMeasureChoice& choice = state_.Choice();
    TCrateScanRequest request;
    std::string error;
    bool found = false;
    if (choice.Several()) {
        found = cli::ResolveCrateModules(choice, request.CrateSerial, request.Slots, error);
    } else {
        TDeviceEngine device;
        found = FindAndChooseModule(device, choice, error);
        request.CrateSerial = device.ChosenCrateSerial();
        if (found) request.Slots = {device.ChosenSlot()};
    }
    if (!found || request.Slots.empty()) {
        if (found) error = "no KSV27 in crate " + request.CrateSerial;
        if (log || error != lastOpenFailure_) cli::PrintError("no module: " + error);
        lastOpenFailure_ = error;
        return false;
    }
    lastOpenFailure_.clear();
    const TInstrumentConfig config = state_.Config();
    request.RateIndex = config.RateIndex;
    request.AcquisitionTime = config.Time;
    request.ChooseSlots = [](int, const std::array<std::string, kSlotCount>&) {
        return std::array<bool, kSlotCount>{}; // configured per measurement
    };
    request.Terminated = [this] { return state_.Aborted(current_); };
    auto scan = std::make_unique<TCrateScan>(request, [this](const TModuleFault& fault) { ModuleFault(fault); });
    scan->Start();
    for (const TScanModuleState& module : scan->Modules())
        if (module.Open)
            cli::PrintError("module opened: " + module.Info.ModuleName + " " + module.Info.ModuleSerial + ", crate " +
                            request.CrateSerial + " slot " + std::to_string(module.Slot));
    scan_ = std::move(scan);
    return state_.AdoptScan(scan_.get(), request.CrateSerial, request.Slots);
}

void TAcquisition::ModuleFault(const TModuleFault& fault)
{
    cli::PrintError("module in slot " + std::to_string(fault.Slot) + ": " + fault.Text);
    const std::string detail = HardwareDetail(fault.Text);
    state_.AddFault(
        Fail(err::kHardwareError, state_.Choice().Several() ? "slot " + std::to_string(fault.Slot) + ": " + detail : detail));
}

// Each module measures the mezzanine slots of its scanned channels.
bool TAcquisition::Configure(const TInstrumentConfig& config)
{
    const TModuleFacts facts = state_.Facts();
    std::vector<int> positions(17, -1);
    for (std::size_t p = 0; p < facts.Modules.size(); ++p)
        if (facts.Modules[p].Slot >= 0 && facts.Modules[p].Slot <= 16)
            positions[static_cast<std::size_t>(facts.Modules[p].Slot)] = static_cast<int>(p);
    const TChannelSet scan = config.Scan & state_.UsableChannels();
    scan_->Configure(config.RateIndex, config.Time,
                     [positions, scan](int slot, const std::array<std::string, kSlotCount>& names) {
                         std::array<bool, kSlotCount> chosen{};
                         const int p = slot >= 0 && slot <= 16 ? positions[static_cast<std::size_t>(slot)] : -1;
                         for (std::size_t s = 0; p >= 0 && s < kSlotCount; ++s) {
                             const std::size_t first = static_cast<std::size_t>(p) * kModuleChannels + 2 * s;
                             chosen[s] = (scan[first] || scan[first + 1]) && MeasurableMezzanine(names[s]);
                         }
                         return chosen;
                     });
    return scan.any();
}

void TAcquisition::Measure(const TMeasurementRequest& request)
{
    const std::uint64_t generation = request.Generation;
    current_ = generation;
    state_.TakeFaults(); // a former measurement's
    if (!scan_ && !TryOpen(false))
        return state_.EndMeasurement(generation, Fail(err::kHardwareMissing, "no KSV27 module open"));
    scan_->Reopen(); // a closed module is tried again at every new measurement
    if (!state_.Facts().Open)
        return state_.EndMeasurement(generation, Fail(err::kHardwareMissing, "no KSV27 module open"));
    if (!Configure(request.Config))
        return state_.EndMeasurement(generation, Fail(err::kSettingsConflict, "no measurable channel in the scan list"));
    if (runObserver_) {
        std::vector<TRunDescription> runs;
        for (const TScanModuleState& module : scan_->Modules()) runs.push_back(module.Run);
        runObserver_(runs);
    }
    MeasureScans(request);
}

// The scans of one measurement until its count, an abort, the quit or (one
// module) a failure; with several modules a module's failure is told at once
// and the others go on.
void TAcquisition::MeasureScans(const TMeasurementRequest& request)
{
    const TInstrumentConfig& config = request.Config;
    const bool several = state_.Choice().Several();
    TScan scan;
    std::chrono::system_clock::time_point first{};
    bool overflowTold = false;
    TScpiError failure;
    for (std::uint64_t n = 0; config.Count == kInfiniteCount || n < config.Count; ++n) {
        if (!scan_->Scan(scan) || state_.Aborted(request.Generation)) break;
        const std::vector<TScpiError> faults = state_.TakeFaults();
        if (!faults.empty()) failure = faults.back();
        if (!several && failure) break;
        for (const TScpiError& fault : faults) state_.NotifyError(request.Owner, fault);
        if (n == 0) first = scan.StartTime;
        const double time = std::chrono::duration<double>(scan.StartTime - first).count();
        if (!state_.TakeScan(scan, time, config.Scan, request.Generation) && !overflowTold) {
            state_.NotifyError(request.Owner, Fail(err::kTooMuchData, "reading memory full, oldest readings dropped"));
            overflowTold = true;
        }
        if (observer_) {
            // The observers' copy carries the channels' names and scaling as they
            // stand: the channel file's, or what a client has set since.
            state_.ApplyScales(scan);
            observer_(scan);
        }
        if (several && !state_.Facts().Open) break;
    }
    state_.EndMeasurement(request.Generation, several && state_.Facts().Open ? TScpiError{} : std::move(failure));
}

} // namespace ksv::scpi
