#include "InstrumentState.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "CrateScan.h"
#include "CycleLimits.h"
#include "ModuleChoice.h"
#include "ScpiNumber.h"
#include "SlotPicture.h"

namespace ksv::scpi {

bool MeasurableMezzanine(const std::string& name)
{
    const TMezzanineKind kind = MezzanineKindOf(name);
    return kind != TMezzanineKind::None && kind != TMezzanineKind::Unknown;
}

TChannelSet TModuleFacts::AllChannels() const
{
    TChannelSet all;
    for (std::size_t c = 0; c < Modules.size() * kModuleChannels && c < kChannels; ++c) all.set(c);
    return all;
}

TInstrumentState::TInstrumentState(cli::TMeasureChoice choice) : choice_(std::move(choice))
{
    facts_.Several = choice_.Several();
    facts_.CrateSerial = choice_.CrateSerial;
    if (!facts_.Several) facts_.Modules.push_back({std::max(choice_.CrateSlot, 0), false, {}, {}, {}});
    for (int slot : choice_.CrateSlots) facts_.Modules.push_back({slot, false, {}, {}, {}});
    ApplyChannelFile();
    config_.RateIndex = choice_.RateIndex;
    if (TimeAllowed(config_.RateIndex, choice_.AcquisitionTime)) config_.Time = choice_.AcquisitionTime;
}

void TInstrumentState::SetNotifiers(TErrorSink errors, TStateSink stateChanged)
{
    errors_ = std::move(errors);
    stateChanged_ = std::move(stateChanged);
}

TModuleFacts TInstrumentState::Facts() const
{
    std::lock_guard lock(mutex_);
    return FactsLocked();
}

TModuleFacts TInstrumentState::FactsLocked() const
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

TInstrumentConfig TInstrumentState::Config() const
{
    std::lock_guard lock(mutex_);
    return config_;
}

bool TInstrumentState::RunningLocked() const { return (measuring_ || startPending_) && abortedUpTo_ < started_; }

bool TInstrumentState::Running() const
{
    std::lock_guard lock(mutex_);
    return RunningLocked();
}

TChannelSet TInstrumentState::MeasuredChannels() const
{
    std::lock_guard lock(mutex_);
    return config_.Scan & UsableLocked();
}

TScpiError TInstrumentState::SetScan(TChannelSet scan)
{
    std::lock_guard lock(mutex_);
    if (RunningLocked()) return Fail(err::kSettingsConflict, "measurement running");
    if ((scan & UsableLocked()).none()) return Fail(err::kSettingsConflict, "no measurable channel in the list");
    config_.Scan = scan;
    slotsChosen_ = true;
    return {};
}

TScpiError TInstrumentState::SetRate(int rateIndex)
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

TScpiError TInstrumentState::SetTime(double seconds)
{
    std::lock_guard lock(mutex_);
    if (RunningLocked()) return Fail(err::kSettingsConflict, "measurement running");
    if (!TimeAllowed(config_.RateIndex, seconds)) return Fail(err::kDataOutOfRange, "acquisition time outside the rate's range");
    config_.Time = seconds;
    return {};
}

TScpiError TInstrumentState::SetCount(std::uint64_t count)
{
    std::lock_guard lock(mutex_);
    if (RunningLocked()) return Fail(err::kSettingsConflict, "measurement running");
    config_.Count = count;
    return {};
}

TScpiError TInstrumentState::Initiate(int owner, std::uint64_t* measurement)
{
    {
        std::lock_guard lock(mutex_);
        if (RunningLocked()) return Fail(err::kInitIgnored, "measurement running");
        if (!TimeAllowed(config_.RateIndex, config_.Time))
            return Fail(err::kSettingsConflict, "acquisition time outside the rate's range");
        if ((config_.Scan & UsableLocked()).none()) return Fail(err::kSettingsConflict, "no measurable channel in the scan list");
        ++started_;
        pending_ = {config_, owner, started_};
        pending_.Config.Scan &= FactsLocked().AllChannels();
        memory_.Clear(pending_.Config.Scan);
        statistics_ = {};
        lowerCrossed_ = upperCrossed_ = false;
        startPending_ = true;
        if (measurement) *measurement = started_;
    }
    wake_.notify_all();
    return {};
}

void TInstrumentState::Abort()
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

void TInstrumentState::Reset()
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

bool TInstrumentState::Busy() const
{
    std::lock_guard lock(mutex_);
    return measuring_ || startPending_;
}

TScpiError TInstrumentState::Failure(std::uint64_t* generation) const
{
    std::lock_guard lock(mutex_);
    if (generation) *generation = failedGeneration_;
    return failedGeneration_ != 0 && failedGeneration_ == started_ ? failure_ : TScpiError{};
}

TStatusCondition TInstrumentState::Operation() const
{
    std::lock_guard lock(mutex_);
    TStatusCondition condition;
    if (RunningLocked()) condition.Bits = kOperMeasuring;
    condition.Rises[kOperMeasuringBit] = started_;
    return condition;
}

TStatusCondition TInstrumentState::Questionable() const
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

std::size_t TInstrumentState::Points() const
{
    std::lock_guard lock(mutex_);
    return memory_.Points();
}

std::vector<TReading> TInstrumentState::Readings(std::size_t count, bool remove)
{
    std::lock_guard lock(mutex_);
    return memory_.Oldest(count, remove);
}

TChannelSummary TInstrumentState::Summary(int channel) const
{
    std::lock_guard lock(mutex_);
    return statistics_[static_cast<std::size_t>(channel)].Summary();
}

void TInstrumentState::ClearStatistics()
{
    std::lock_guard lock(mutex_);
    statistics_ = {};
}

void TInstrumentState::SetLimit(bool upper, double value, TChannelSet channels)
{
    std::lock_guard lock(mutex_);
    for (std::size_t c = 0; c < kChannels; ++c) {
        if (!channels[c]) continue;
        (upper ? upper_ : lower_)[c].Value = value;
        crossed_.reset(c);
    }
}

void TInstrumentState::SetLimitState(bool upper, bool on, TChannelSet channels)
{
    std::lock_guard lock(mutex_);
    for (std::size_t c = 0; c < kChannels; ++c) {
        if (!channels[c]) continue;
        (upper ? upper_ : lower_)[c].On = on;
        crossed_.reset(c);
    }
}

TLimit TInstrumentState::Limit(bool upper, int channel) const
{
    std::lock_guard lock(mutex_);
    return (upper ? upper_ : lower_)[static_cast<std::size_t>(channel)];
}

TChannelScale TInstrumentState::Scale(int channel) const
{
    std::lock_guard lock(mutex_);
    return scales_[static_cast<std::size_t>(channel)];
}

TScpiError TInstrumentState::ChangeScale(TChannelSet channels, const std::function<void(TChannelScale&)>& change,
                                         bool label)
{
    std::lock_guard lock(mutex_);
    if (!label && RunningLocked()) return Fail(err::kSettingsConflict, "measurement running");
    for (std::size_t c = 0; c < kChannels; ++c)
        if (channels[c]) change(scales_[c]);
    return {};
}

void TInstrumentState::ApplyScales(TScan& scan) const
{
    std::lock_guard lock(mutex_);
    for (std::size_t p = 0; p < scan.Modules.size() && p < kMaxModules; ++p)
        for (std::size_t c = 0; c < kModuleChannels; ++c)
            cli::ApplyChannelSetting(scales_[p * kModuleChannels + c], false, scan.Modules[p].Cycle.Channels[c]);
}

void TInstrumentState::ApplyChannelFile()
{
    for (std::size_t p = 0; p < facts_.Modules.size() && p < kMaxModules; ++p) {
        for (int c = 0; c < kModuleChannels; ++c) {
            const cli::TChannelSetting* setting =
                cli::FindSetting(choice_.Channels, facts_.Modules[p].Slot, c, !facts_.Several);
            if (setting) scales_[p * kModuleChannels + static_cast<std::size_t>(c)] = *setting;
        }
    }
}

TChannelSet TInstrumentState::UsableLocked() const
{
    const TModuleFacts facts = FactsLocked();
    if (facts.Modules.empty()) return TChannelSet().set(); // the crate's modules are not known yet
    TChannelSet usable;
    for (std::size_t p = 0; p < facts.Modules.size(); ++p) {
        for (std::size_t s = 0; s < kSlotCount; ++s) {
            const bool on = !facts.Modules[p].Open || MeasurableMezzanine(facts.Mezzanines[p * kSlotCount + s]);
            const std::size_t first = p * kModuleChannels + 2 * s;
            usable.set(first, on).set(first + 1, on);
        }
    }
    return usable;
}

TChannelSet TInstrumentState::Crossed() const
{
    std::lock_guard lock(mutex_);
    return crossed_;
}

TChannelSet TInstrumentState::UsableChannels() const
{
    std::lock_guard lock(mutex_);
    return UsableLocked();
}

// ---- the acquisition thread's side -----------------------------------------

bool TInstrumentState::WaitForMeasurement(TMeasurementRequest& request, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    const auto woken = [this] { return quit_ || startPending_; };
    if (timeout.count() > 0) wake_.wait_for(lock, timeout, woken);
    else wake_.wait(lock, woken);
    if (quit_ || !startPending_) return false;
    request = pending_;
    startPending_ = false;
    measuring_ = true;
    return true;
}

void TInstrumentState::Quit()
{
    quitting_ = true;
    abortedUpTo_ = std::numeric_limits<std::uint64_t>::max();
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        startPending_ = false;
    }
    wake_.notify_all();
}

bool TInstrumentState::AdoptScan(const TCrateScan* scan, const std::string& crateSerial, const std::vector<int>& slots)
{
    std::lock_guard lock(mutex_);
    scan_ = scan;
    if (!scan) return false;
    facts_.CrateSerial = crateSerial;
    facts_.Modules.clear();
    for (int slot : slots) facts_.Modules.push_back({slot, false, {}, {}, {}});
    ApplyChannelFile();
    ApplySettingsSlots();
    return FactsLocked().Open;
}

// While no client has set a scan list, the settings file's slot choice of a
// single module, as `measure` takes it, is the scan list.
void TInstrumentState::ApplySettingsSlots()
{
    const TModuleFacts facts = FactsLocked();
    if (facts.Open && !slotsChosen_ && !choice_.SettingsPath.empty() && !facts.Several) {
        std::array<std::string, kSlotCount> names;
        std::copy_n(facts.Mezzanines.begin(), kSlotCount, names.begin());
        const std::array<bool, kSlotCount> slots = cli::ChooseActiveSlots(choice_, names);
        TChannelSet chosen;
        for (std::size_t s = 0; s < kSlotCount; ++s) chosen.set(2 * s, slots[s]).set(2 * s + 1, slots[s]);
        if (chosen.any()) config_.Scan = chosen;
    }
    slotsChosen_ = slotsChosen_ || facts.Open;
}

void TInstrumentState::AddFault(TScpiError fault)
{
    std::lock_guard lock(mutex_);
    if (measuring_) faults_.push_back(std::move(fault));
}

std::vector<TScpiError> TInstrumentState::TakeFaults()
{
    std::lock_guard lock(mutex_);
    std::vector<TScpiError> faults;
    faults.swap(faults_);
    return faults;
}

void TInstrumentState::NotifyError(int owner, const TScpiError& error) const
{
    if (errors_) errors_(owner, error);
}

bool TInstrumentState::TakeScan(const TScan& scan, double time, TChannelSet channels, std::uint64_t generation)
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
            if (scales_[c].Scale) values[c] = scales_[c].Gain * values[c] + scales_[c].Offset;
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

void TInstrumentState::EndMeasurement(std::uint64_t generation, TScpiError failure)
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
