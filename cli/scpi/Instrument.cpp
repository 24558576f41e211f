#include "Instrument.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>

#include "Commands.h"
#include "CycleLimits.h"
#include "CrateScan.h"
#include "DeviceMessages.h"
#include "DeviceEngine.h"
#include "MeasureEngine.h"
#include "MeasureMessages.h"
#include "ModuleChoice.h"
#include "ScpiNumber.h"
#include "SlotPicture.h"

namespace ksv::scpi {

namespace {

constexpr auto kOpenRetry = std::chrono::seconds(3);

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

bool Usable(const std::string& mezzanine)
{
    const TMezzanineKind kind = MezzanineKindOf(mezzanine);
    return kind != TMezzanineKind::None && kind != TMezzanineKind::Unknown;
}

} // namespace

TChannelSet TModuleFacts::AllChannels() const
{
    TChannelSet all;
    for (std::size_t c = 0; c < Modules.size() * kModuleChannels && c < kChannels; ++c) all.set(c);
    return all;
}

TInstrument::TInstrument(cli::TMeasureChoice choice) : choice_(std::move(choice))
{
    facts_.Several = choice_.Several();
    facts_.CrateSerial = choice_.CrateSerial;
    if (!facts_.Several) facts_.Modules.push_back({std::max(choice_.CrateSlot, 0), false, {}, {}, {}});
    for (int slot : choice_.CrateSlots) facts_.Modules.push_back({slot, false, {}, {}, {}});
    ApplyChannelFile();
    config_.RateIndex = choice_.RateIndex;
    if (TimeAllowed(config_.RateIndex, choice_.AcquisitionTime)) config_.Time = choice_.AcquisitionTime;
}

TInstrument::~TInstrument() { Shutdown(); }

void TInstrument::SetNotifiers(TErrorSink errors, TStateSink stateChanged)
{
    errors_ = std::move(errors);
    stateChanged_ = std::move(stateChanged);
}

void TInstrument::SetCycleObserver(TCycleObserver observer) { observer_ = std::move(observer); }

void TInstrument::SetRunObserver(TRunObserver observer) { runObserver_ = std::move(observer); }

void TInstrument::Start()
{
    if (thread_.joinable()) return;
    TryOpen(true);
    thread_ = std::thread([this] { Loop(); });
}

void TInstrument::Shutdown()
{
    quitting_ = true;
    abortedUpTo_ = std::numeric_limits<std::uint64_t>::max();
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        startPending_ = false;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

TModuleFacts TInstrument::Facts() const
{
    std::lock_guard lock(mutex_);
    return FactsLocked();
}

TModuleFacts TInstrument::FactsLocked() const
{
    TModuleFacts facts = facts_;
    if (!scan_) return facts;
    const std::vector<TScanModuleState> modules = scan_->Modules();
    for (std::size_t p = 0; p < modules.size() && p < facts.Modules.size(); ++p) {
        const TModuleInfo& info = modules[p].Info;
        TServedModule& served = facts.Modules[p];
        served.Slot = modules[p].Slot;
        served.Open = modules[p].Open;
        served.Model = AsciiOnly(info.ModuleName);
        served.Serial = AsciiOnly(info.ModuleSerial);
        served.Firmware = AsciiOnly(info.ModuleName.empty() ? std::string() : info.Firmware);
        for (std::size_t m = 0; m < kSlotCount; ++m) facts.Mezzanines[p * kSlotCount + m] = info.Mezzanines[m].Name;
        facts.Open = facts.Open || served.Open;
    }
    if (!facts.Several && facts.Open) {
        facts.Model = facts.Modules[0].Model;
        facts.Serial = facts.Modules[0].Serial;
        facts.Firmware = facts.Modules[0].Firmware;
    }
    return facts;
}

TInstrumentConfig TInstrument::Config() const
{
    std::lock_guard lock(mutex_);
    return config_;
}

TChannelSet TInstrument::UsableChannels() const
{
    const TModuleFacts facts = FactsLocked();
    if (facts.Modules.empty()) return TChannelSet().set(); // the crate's modules are not known yet
    TChannelSet usable;
    for (std::size_t p = 0; p < facts.Modules.size(); ++p) {
        for (std::size_t s = 0; s < kSlotCount; ++s) {
            const bool on = !facts.Modules[p].Open || Usable(facts.Mezzanines[p * kSlotCount + s]);
            const std::size_t first = p * kModuleChannels + 2 * s;
            usable.set(first, on).set(first + 1, on);
        }
    }
    return usable;
}

bool TInstrument::RunningLocked() const { return (measuring_ || startPending_) && abortedUpTo_ < started_; }

bool TInstrument::Running() const
{
    std::lock_guard lock(mutex_);
    return RunningLocked();
}

TChannelSet TInstrument::MeasuredChannels() const
{
    std::lock_guard lock(mutex_);
    return config_.Scan & UsableChannels();
}

TScpiError TInstrument::SetScan(TChannelSet scan)
{
    std::lock_guard lock(mutex_);
    if (RunningLocked()) return Fail(err::kSettingsConflict, "measurement running");
    if ((scan & UsableChannels()).none()) return Fail(err::kSettingsConflict, "no measurable channel in the list");
    config_.Scan = scan;
    slotsChosen_ = true;
    return {};
}

TScpiError TInstrument::SetRate(int rateIndex)
{
    std::lock_guard lock(mutex_);
    if (RunningLocked()) return Fail(err::kSettingsConflict, "measurement running");
    if (!TimeAllowed(rateIndex, config_.Time)) {
        const TTimeRange range = AllowedTimes(rateIndex);
        return Fail(err::kSettingsConflict, "acquisition time " + Nr3(config_.Time) + " s outside " + Nr3(range.Min) + " to " +
                                                Nr3(range.Max) + " s at " + Nr3(RateOfIndex(rateIndex)) + " Hz: set APER first");
    }
    config_.RateIndex = rateIndex;
    return {};
}

TScpiError TInstrument::SetTime(double seconds)
{
    std::lock_guard lock(mutex_);
    if (RunningLocked()) return Fail(err::kSettingsConflict, "measurement running");
    if (!TimeAllowed(config_.RateIndex, seconds)) return Fail(err::kDataOutOfRange, "acquisition time outside the rate's range");
    config_.Time = seconds;
    return {};
}

TScpiError TInstrument::SetCount(std::uint64_t count)
{
    std::lock_guard lock(mutex_);
    if (RunningLocked()) return Fail(err::kSettingsConflict, "measurement running");
    config_.Count = count;
    return {};
}

TScpiError TInstrument::Initiate(int owner)
{
    {
        std::lock_guard lock(mutex_);
        if (RunningLocked()) return Fail(err::kInitIgnored, "measurement running");
        if (!TimeAllowed(config_.RateIndex, config_.Time))
            return Fail(err::kSettingsConflict, "acquisition time outside the rate's range");
        if ((config_.Scan & UsableChannels()).none()) return Fail(err::kSettingsConflict, "no measurable channel in the scan list");
        ++started_;
        pending_ = config_;
        pending_.Scan &= FactsLocked().AllChannels();
        memory_.Clear(pending_.Scan);
        statistics_ = {};
        lowerCrossed_ = upperCrossed_ = false;
        startPending_ = true;
        pendingGeneration_ = started_;
        owner_ = owner;
    }
    wake_.notify_all();
    return {};
}

void TInstrument::Abort()
{
    bool ended = false;
    {
        std::lock_guard lock(mutex_);
        abortedUpTo_ = started_;
        if (startPending_) {
            startPending_ = false;
            ended = !measuring_;
        }
    }
    if (ended && stateChanged_) stateChanged_();
}

void TInstrument::Reset()
{
    Abort();
    std::lock_guard lock(mutex_);
    config_ = {};
    slotsChosen_ = true;
    memory_.Clear({});
    statistics_ = {};
    upper_ = {};
    lower_ = {};
    crossed_.reset();
    lowerCrossed_ = upperCrossed_ = false;
    failedGeneration_ = 0;
    scales_ = {};
    ApplyChannelFile();
}

bool TInstrument::Busy() const
{
    std::lock_guard lock(mutex_);
    return measuring_ || startPending_;
}

std::uint64_t TInstrument::Started() const
{
    std::lock_guard lock(mutex_);
    return started_;
}

TScpiError TInstrument::Failure(std::uint64_t* generation) const
{
    std::lock_guard lock(mutex_);
    if (generation) *generation = failedGeneration_;
    return failedGeneration_ != 0 && failedGeneration_ == started_ ? failure_ : TScpiError{};
}

TStatusCondition TInstrument::Operation() const
{
    std::lock_guard lock(mutex_);
    TStatusCondition condition;
    if (RunningLocked()) condition.Bits = kOperMeasuring;
    condition.Rises[4] = started_;
    return condition;
}

TStatusCondition TInstrument::Questionable() const
{
    std::lock_guard lock(mutex_);
    TStatusCondition condition;
    const bool failed = failedGeneration_ != 0 && failedGeneration_ == started_ &&
                        (failure_.Code == err::kHardwareError || failure_.Code == err::kHardwareMissing);
    condition.Bits = static_cast<std::uint16_t>((failed ? kQuesHardware : 0) | (lowerCrossed_ ? kQuesLowerLimit : 0) |
                                                (upperCrossed_ ? kQuesUpperLimit : 0));
    condition.Rises = quesRises_;
    return condition;
}

std::size_t TInstrument::Points() const
{
    std::lock_guard lock(mutex_);
    return memory_.Points();
}

std::vector<TReading> TInstrument::Readings(std::size_t count, bool remove)
{
    std::lock_guard lock(mutex_);
    return memory_.Oldest(count, remove);
}

TChannelSummary TInstrument::Summary(int channel) const
{
    std::lock_guard lock(mutex_);
    return statistics_[static_cast<std::size_t>(channel)].Summary();
}

void TInstrument::ClearStatistics()
{
    std::lock_guard lock(mutex_);
    statistics_ = {};
}

void TInstrument::SetLimit(bool upper, double value, TChannelSet channels)
{
    std::lock_guard lock(mutex_);
    for (std::size_t c = 0; c < kChannels; ++c) {
        if (!channels[c]) continue;
        (upper ? upper_ : lower_)[c].Value = value;
        crossed_.reset(c);
    }
}

void TInstrument::SetLimitState(bool upper, bool on, TChannelSet channels)
{
    std::lock_guard lock(mutex_);
    for (std::size_t c = 0; c < kChannels; ++c) {
        if (!channels[c]) continue;
        (upper ? upper_ : lower_)[c].On = on;
        crossed_.reset(c);
    }
}

TLimit TInstrument::Limit(bool upper, int channel) const
{
    std::lock_guard lock(mutex_);
    return (upper ? upper_ : lower_)[static_cast<std::size_t>(channel)];
}

TChannelScale TInstrument::Scale(int channel) const
{
    std::lock_guard lock(mutex_);
    return scales_[static_cast<std::size_t>(channel)];
}

TScpiError TInstrument::ChangeScale(TChannelSet channels, const std::function<void(TChannelScale&)>& change,
                                    bool label)
{
    std::lock_guard lock(mutex_);
    if (!label && RunningLocked()) return Fail(err::kSettingsConflict, "measurement running");
    for (std::size_t c = 0; c < kChannels; ++c)
        if (channels[c]) change(scales_[c]);
    return {};
}

void TInstrument::ApplyChannelFile()
{
    for (std::size_t p = 0; p < facts_.Modules.size() && p < kMaxModules; ++p) {
        for (int c = 0; c < kModuleChannels; ++c) {
            const cli::TChannelSetting* setting =
                cli::FindSetting(choice_.Channels, facts_.Modules[p].Slot, c, !facts_.Several);
            if (!setting) continue;
            scales_[p * kModuleChannels + static_cast<std::size_t>(c)] = {setting->Label, setting->Scale,
                                                                          setting->Gain, setting->Offset, setting->Unit};
        }
    }
}

TChannelSet TInstrument::Crossed() const
{
    std::lock_guard lock(mutex_);
    return crossed_;
}

// ---- the acquisition thread ----------------------------------------------

void TInstrument::Loop()
{
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (startPending_) {
            const TInstrumentConfig config = pending_;
            const int owner = owner_;
            const std::uint64_t generation = pendingGeneration_;
            startPending_ = false;
            measuring_ = true;
            lock.unlock();
            Measure(config, owner, generation);
            lock.lock();
            continue;
        }
        const auto woken = [this] { return quit_ || startPending_; };
        if (scan_) {
            // The scan's module threads open a closed module again by themselves.
            wake_.wait(lock, woken);
            continue;
        }
        if (wake_.wait_for(lock, kOpenRetry, woken)) continue;
        lock.unlock();
        TryOpen(false);
        lock.lock();
    }
    std::unique_ptr<TCrateScan> scan = std::move(scan_);
    lock.unlock();
    scan.reset(); // ends the module threads and closes the modules
}

// Finds the module (or the crate's modules) and starts the scan, whose
// threads open them; false while there is nothing to open.
bool TInstrument::TryOpen(bool log)
{
    if (scan_) return true;
    TCrateScanRequest request;
    std::string error;
    bool found = false;
    if (choice_.Several()) {
        found = cli::ResolveCrateModules(choice_, request.CrateSerial, request.Slots, error);
    } else {
        TDeviceEngine device;
        found = FindAndChooseModule(device, choice_, error);
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
    TChannelSet scanList;
    {
        std::lock_guard lock(mutex_);
        request.RateIndex = config_.RateIndex;
        request.AcquisitionTime = config_.Time;
        scanList = config_.Scan;
    }
    request.ChooseSlots = [](int, const std::array<std::string, kSlotCount>&) {
        return std::array<bool, kSlotCount>{}; // configured per measurement
    };
    request.Terminated = [this] { return quitting_ || abortedUpTo_ >= current_; };
    auto scan = std::make_unique<TCrateScan>(request, [this](const TModuleFault& fault) { ModuleFault(fault); });
    scan->Start();
    for (const TScanModuleState& module : scan->Modules())
        if (module.Open)
            cli::PrintError("module opened: " + module.Info.ModuleName + " " + module.Info.ModuleSerial + ", crate " +
                            request.CrateSerial + " slot " + std::to_string(module.Slot));
    std::lock_guard lock(mutex_);
    facts_.CrateSerial = request.CrateSerial;
    facts_.Modules.clear();
    for (int slot : request.Slots) facts_.Modules.push_back({slot, false, {}, {}, {}});
    scan_ = std::move(scan);
    ApplyChannelFile();
    const TModuleFacts facts = FactsLocked();
    if (facts.Open && !slotsChosen_ && !choice_.SettingsPath.empty() && !facts.Several) {
        // The settings file's slot choice, as `measure` takes it, is the
        // scan list until a client sets another.
        std::array<std::string, kSlotCount> names;
        std::copy_n(facts.Mezzanines.begin(), kSlotCount, names.begin());
        const std::array<bool, kSlotCount> slots = cli::ChooseActiveSlots(choice_, names);
        TChannelSet chosen;
        for (std::size_t s = 0; s < kSlotCount; ++s) chosen.set(2 * s, slots[s]).set(2 * s + 1, slots[s]);
        if (chosen.any()) config_.Scan = chosen;
    }
    slotsChosen_ = slotsChosen_ || facts.Open;
    return facts.Open;
}

void TInstrument::ModuleFault(const TModuleFault& fault)
{
    cli::PrintError("module in slot " + std::to_string(fault.Slot) + ": " + fault.Text);
    std::lock_guard lock(mutex_);
    if (!measuring_) return;
    const std::string detail = HardwareDetail(fault.Text);
    faults_.push_back(Fail(err::kHardwareError, facts_.Several ? "slot " + std::to_string(fault.Slot) + ": " + detail : detail));
}

// Each module measures the mezzanine slots of its scanned channels.
bool TInstrument::Configure(const TInstrumentConfig& config)
{
    TModuleFacts facts;
    TChannelSet usable;
    {
        std::lock_guard lock(mutex_);
        facts = FactsLocked();
        usable = UsableChannels();
    }
    std::vector<int> positions(17, -1);
    for (std::size_t p = 0; p < facts.Modules.size(); ++p)
        if (facts.Modules[p].Slot >= 0 && facts.Modules[p].Slot <= 16)
            positions[static_cast<std::size_t>(facts.Modules[p].Slot)] = static_cast<int>(p);
    const TChannelSet scan = config.Scan & usable;
    scan_->Configure(config.RateIndex, config.Time,
                     [positions, scan](int slot, const std::array<std::string, kSlotCount>& names) {
                         std::array<bool, kSlotCount> chosen{};
                         const int p = slot >= 0 && slot <= 16 ? positions[static_cast<std::size_t>(slot)] : -1;
                         for (std::size_t s = 0; p >= 0 && s < kSlotCount; ++s) {
                             const std::size_t first = static_cast<std::size_t>(p) * kModuleChannels + 2 * s;
                             chosen[s] = (scan[first] || scan[first + 1]) && Usable(names[s]);
                         }
                         return chosen;
                     });
    return scan.any();
}

void TInstrument::Measure(TInstrumentConfig config, int owner, std::uint64_t generation)
{
    current_ = generation;
    {
        std::lock_guard lock(mutex_);
        faults_.clear();
    }
    if (!scan_ && !TryOpen(false)) return EndMeasurement(generation, Fail(err::kHardwareMissing, "no KSV27 module open"));
    scan_->Reopen(); // a closed module is tried again at every new measurement
    if (!Facts().Open) return EndMeasurement(generation, Fail(err::kHardwareMissing, "no KSV27 module open"));
    if (!Configure(config)) return EndMeasurement(generation, Fail(err::kSettingsConflict, "no measurable channel in the scan list"));
    if (runObserver_) {
        std::vector<TRunDescription> runs;
        for (const TScanModuleState& module : scan_->Modules()) runs.push_back(module.Run);
        runObserver_(runs);
    }
    TScan scan;
    std::chrono::system_clock::time_point first{};
    bool overflowTold = false;
    TScpiError failure;
    for (std::uint64_t n = 0; config.Count == kInfiniteCount || n < config.Count; ++n) {
        if (!scan_->Scan(scan) || abortedUpTo_ >= generation || quitting_) break;
        std::vector<TScpiError> faults;
        {
            std::lock_guard lock(mutex_);
            faults.swap(faults_);
        }
        if (!faults.empty()) failure = faults.back();
        // One module: its failure ends the measurement. Several: the others
        // go on, and the failure is told at once.
        if (!choice_.Several() && failure) break;
        for (const TScpiError& fault : faults)
            if (errors_) errors_(owner, fault);
        if (n == 0) first = scan.StartTime;
        const double time = std::chrono::duration<double>(scan.StartTime - first).count();
        if (!TakeScan(scan, time, config.Scan, generation) && !overflowTold && errors_) {
            errors_(owner, Fail(err::kTooMuchData, "reading memory full, oldest readings dropped"));
            overflowTold = true;
        }
        if (observer_) {
            // The observers' copy carries the channel file's names and scaling.
            for (TModuleScan& module : scan.Modules)
                cli::ApplyChannelTable(choice_.Channels, module.Slot, !choice_.Several(), false, module.Cycle);
            observer_(scan);
        }
        if (choice_.Several() && !Facts().Open) break;
    }
    EndMeasurement(generation, choice_.Several() && Facts().Open ? TScpiError{} : std::move(failure));
}

bool TInstrument::TakeScan(const TScan& scan, double time, TChannelSet channels, std::uint64_t generation)
{
    std::array<double, kChannels> values;
    values.fill(std::numeric_limits<double>::quiet_NaN());
    for (std::size_t p = 0; p < scan.Modules.size() && p < kMaxModules; ++p) {
        for (std::size_t c = 0; c < kModuleChannels; ++c) {
            const TChannelResult& channel = scan.Modules[p].Cycle.Channels[c];
            const std::size_t index = p * kModuleChannels + c;
            const double value = channel.Value * SiFactor(channel.Unit);
            if (channel.Valid && channels[index] && std::isfinite(value)) values[index] = value;
        }
    }
    bool dropped = false;
    {
        std::lock_guard lock(mutex_);
        if (abortedUpTo_ >= generation) return true; // an ABORt or *RST came first
        for (std::size_t c = 0; c < kChannels; ++c)
            if (scales_[c].On) values[c] = scales_[c].Gain * values[c] + scales_[c].Offset;
        dropped = !memory_.Add(time, values);
        for (std::size_t c = 0; c < kChannels; ++c) {
            if (!channels[c] || !std::isfinite(values[c])) continue;
            statistics_[c].Add(values[c]);
            const bool above = upper_[c].On && values[c] > upper_[c].Value;
            const bool below = lower_[c].On && values[c] < lower_[c].Value;
            if (above || below) crossed_.set(c);
            if (above && !upperCrossed_) ++quesRises_[kQuesUpperLimitBit];
            if (below && !lowerCrossed_) ++quesRises_[kQuesLowerLimitBit];
            upperCrossed_ = upperCrossed_ || above;
            lowerCrossed_ = lowerCrossed_ || below;
        }
    }
    return !dropped;
}

// A failure is recorded before the measurement counts as ended, so a query
// that sees it ended also sees why.
void TInstrument::EndMeasurement(std::uint64_t generation, TScpiError failure)
{
    {
        std::lock_guard lock(mutex_);
        if (failure) {
            failedGeneration_ = generation;
            failure_ = std::move(failure);
            if (failure_.Code == err::kHardwareError || failure_.Code == err::kHardwareMissing) ++quesRises_[kQuesHardwareBit];
        }
        measuring_ = false;
    }
    if (stateChanged_) stateChanged_();
}

} // namespace ksv::scpi
