#include "Instrument.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <map>

#include "Commands.h"
#include "CycleLimits.h"
#include "DeviceEngine.h"
#include "MeasureEngine.h"
#include "MeasureMessages.h"
#include "ModuleChoice.h"
#include "ScpiNumber.h"
#include "SlotPicture.h"

namespace ksv::scpi {

namespace {

constexpr auto kOpenRetry = std::chrono::seconds(3);

// The acquisition's run control: ABORt and the service's end terminate the
// run; the first failure is kept for the error queue.
class TServeRun final : public TRunControl {
public:
    TServeRun(const std::atomic<std::uint64_t>& abortedUpTo, std::uint64_t generation,
              const std::atomic<bool>& quitting)
        : abortedUpTo_(abortedUpTo), generation_(generation), quitting_(quitting)
    {
    }
    bool RunTerminated() const override { return abortedUpTo_ >= generation_ || quitting_; }
    bool RunStopRequested() const override { return failed_; }
    void ReportFailure(const char* text) override
    {
        if (!failed_) failure_ = text;
        failed_ = true;
    }
    bool Failed() const { return failed_; }
    const std::string& Failure() const { return failure_; }

private:
    const std::atomic<std::uint64_t>& abortedUpTo_;
    const std::uint64_t generation_;
    const std::atomic<bool>& quitting_;
    bool failed_ = false;
    std::string failure_;
};

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

const char* SiUnitText(TChannelUnit unit)
{
    switch (unit) {
    case TChannelUnit::Millivolt: return "V";
    case TChannelUnit::Milliamp: return "A";
    case TChannelUnit::Ohm: return "OHM";
    case TChannelUnit::None: break;
    }
    return "";
}

double SiFactor(TChannelUnit unit)
{
    switch (unit) {
    case TChannelUnit::Millivolt:
    case TChannelUnit::Milliamp: return 1e-3;
    case TChannelUnit::Ohm: return 1.0;
    case TChannelUnit::None: break;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

TInstrument::TInstrument(cli::TMeasureChoice choice)
    : choice_(std::move(choice)), device_(std::make_unique<TDeviceEngine>())
{
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
    return facts_;
}

TInstrumentConfig TInstrument::Config() const
{
    std::lock_guard lock(mutex_);
    return config_;
}

TChannelSet TInstrument::UsableChannels() const
{
    TChannelSet usable;
    for (int s = 0; s < kSlotCount; ++s) {
        const bool on = !facts_.Open || Usable(facts_.Mezzanines[static_cast<std::size_t>(s)]);
        usable.set(static_cast<std::size_t>(2 * s), on).set(static_cast<std::size_t>(2 * s + 1), on);
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
    if (RunningLocked()) return Fail(-221, "measurement running");
    if ((scan & UsableChannels()).none()) return Fail(-221, "no measurable channel in the list");
    config_.Scan = scan;
    slotsChosen_ = true;
    return {};
}

TScpiError TInstrument::SetRate(int rateIndex)
{
    std::lock_guard lock(mutex_);
    if (RunningLocked()) return Fail(-221, "measurement running");
    if (!TimeAllowed(rateIndex, config_.Time)) {
        const TTimeRange range = AllowedTimes(rateIndex);
        return Fail(-221, "acquisition time " + Nr3(config_.Time) + " s outside " + Nr3(range.Min) + " to " +
                              Nr3(range.Max) + " s at " + Nr3(RateOfIndex(rateIndex)) + " Hz: set APER first");
    }
    config_.RateIndex = rateIndex;
    return {};
}

TScpiError TInstrument::SetTime(double seconds)
{
    std::lock_guard lock(mutex_);
    if (RunningLocked()) return Fail(-221, "measurement running");
    if (!TimeAllowed(config_.RateIndex, seconds)) return Fail(-222, "acquisition time outside the rate's range");
    config_.Time = seconds;
    return {};
}

TScpiError TInstrument::SetCount(std::uint64_t count)
{
    std::lock_guard lock(mutex_);
    if (RunningLocked()) return Fail(-221, "measurement running");
    config_.Count = count;
    return {};
}

TScpiError TInstrument::Initiate(int owner)
{
    {
        std::lock_guard lock(mutex_);
        if (RunningLocked()) return Fail(-213, "measurement running");
        if (!TimeAllowed(config_.RateIndex, config_.Time))
            return Fail(-221, "acquisition time outside the rate's range");
        if ((config_.Scan & UsableChannels()).none()) return Fail(-221, "no measurable channel in the scan list");
        ++started_;
        memory_.Clear(config_.Scan);
        statistics_.Reset();
        lowerCrossed_ = upperCrossed_ = false;
        startPending_ = true;
        pendingGeneration_ = started_;
        pending_ = config_;
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
    statistics_.Reset();
    upper_ = {};
    lower_ = {};
    crossed_.reset();
    lowerCrossed_ = upperCrossed_ = false;
    failedGeneration_ = 0;
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
                        (failure_.Code == -240 || failure_.Code == -241);
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
    return statistics_.Channel(channel).Summary();
}

void TInstrument::ClearStatistics()
{
    std::lock_guard lock(mutex_);
    statistics_.Reset();
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
        if (facts_.Open) {
            wake_.wait(lock, woken);
            continue;
        }
        if (wake_.wait_for(lock, kOpenRetry, woken)) continue;
        lock.unlock();
        TryOpen(false);
        lock.lock();
    }
    lock.unlock();
    device_->CloseModule();
}

bool TInstrument::TryOpen(bool log)
{
    device_->CloseModule();
    std::string error;
    if (FindAndChooseModule(*device_, choice_, error) && !device_->OpenChosenModule()) {
        device_->CloseModule();
        error = std::string(discovery_text::kModuleOpenFailed) + " (crate " + device_->ChosenCrateSerial() +
                ", slot " + std::to_string(device_->ChosenSlot()) + ")";
    }
    TModuleFacts facts;
    facts.Open = error.empty() && device_->ModuleOpen();
    if (facts.Open) {
        facts.Model = AsciiOnly(device_->ModuleName());
        facts.Serial = AsciiOnly(device_->ModuleSerial());
        facts.Firmware = AsciiOnly(device_->FirmwareVersionText());
        facts.Mezzanines = MezzanineNames(device_->Record());
        cli::PrintError("module opened: " + device_->ModuleName() + " " + device_->ModuleSerial() + ", crate " +
                        device_->ChosenCrateSerial() + " slot " + std::to_string(device_->ChosenSlot()));
    } else if (log || error != lastOpenFailure_) {
        cli::PrintError("no module: " + error);
    }
    lastOpenFailure_ = facts.Open ? "" : error;
    std::lock_guard lock(mutex_);
    if (facts.Open && !slotsChosen_ && !choice_.SettingsPath.empty()) {
        // The settings file's slot choice, as `measure` takes it, is the
        // scan list until a client sets another.
        const std::array<bool, kSlotCount> slots = cli::ChooseActiveSlots(choice_, facts.Mezzanines);
        TChannelSet scan;
        for (std::size_t s = 0; s < kSlotCount; ++s) scan.set(2 * s, slots[s]).set(2 * s + 1, slots[s]);
        if (scan.any()) config_.Scan = scan;
    }
    slotsChosen_ = slotsChosen_ || facts.Open;
    facts_ = std::move(facts);
    return facts_.Open;
}

void TInstrument::Measure(TInstrumentConfig config, int owner, std::uint64_t generation)
{
    if (!device_->ModuleOpen() && !TryOpen(false)) return EndMeasurement(generation, Fail(-241, "no KSV27 module open"));
    TMeasureRequest request;
    request.RateIndex = config.RateIndex;
    request.AcquisitionTime = config.Time;
    TChannelSet usable;
    {
        std::lock_guard lock(mutex_);
        usable = UsableChannels();
    }
    for (std::size_t s = 0; s < kSlotCount; ++s)
        request.SlotChecked[s] = (config.Scan[2 * s] || config.Scan[2 * s + 1]) && usable[2 * s];
    if ((config.Scan & usable).none())
        return EndMeasurement(generation, Fail(-221, "no measurable channel in the scan list"));
    TMeasureEngine engine(device_->Record());
    TServeRun run(abortedUpTo_, generation, quitting_);
    TEngineStatus status = engine.Configure(request);
    if (status) status = engine.Allocate();
    if (!status) run.ReportFailure(status.Message.c_str());
    else if (runObserver_) runObserver_(engine.Describe(device_->ChosenCrateSerial(), device_->ChosenSlot()));
    TCycleResult result;
    std::chrono::system_clock::time_point first{};
    bool overflowTold = false;
    for (std::uint64_t n = 0; status && (config.Count == kInfiniteCount || n < config.Count); ++n) {
        if (!engine.RunCycle(run, result)) break;
        if (n == 0) first = result.StartTime;
        const double time = std::chrono::duration<double>(result.StartTime - first).count();
        if (!TakeCycle(result, time, config.Scan, generation) && !overflowTold && errors_) {
            errors_(owner, Fail(-223, "reading memory full, oldest readings dropped"));
            overflowTold = true;
        }
        if (observer_) observer_(result);
    }
    engine.StopAcquisition(run);
    engine.FreeBuffers();
    TScpiError failure;
    if (run.Failed()) {
        cli::PrintError(run.Failure());
        failure = Fail(-240, HardwareDetail(run.Failure()));
        device_->CloseModule();
        std::lock_guard lock(mutex_);
        facts_.Open = false;
    }
    EndMeasurement(generation, std::move(failure));
}

bool TInstrument::TakeCycle(const TCycleResult& cycle, double time, TChannelSet scan, std::uint64_t generation)
{
    std::array<double, kChannels> values{};
    TCycleResult scaled = cycle;
    for (std::size_t c = 0; c < kChannels; ++c) {
        TChannelResult& channel = scaled.Channels[c];
        channel.Value *= SiFactor(channel.Unit);
        channel.Valid = channel.Valid && scan[c] && std::isfinite(channel.Value);
        values[c] = channel.Valid ? channel.Value : std::numeric_limits<double>::quiet_NaN();
    }
    bool dropped = false;
    {
        std::lock_guard lock(mutex_);
        if (abortedUpTo_ >= generation) return true; // an ABORt or *RST came first
        dropped = !memory_.Add(time, values);
        statistics_.Add(scaled);
        for (std::size_t c = 0; c < kChannels; ++c) {
            if (!std::isfinite(values[c])) continue;
            const bool above = upper_[c].On && values[c] > upper_[c].Value;
            const bool below = lower_[c].On && values[c] < lower_[c].Value;
            if (above || below) crossed_.set(c);
            if (above && !upperCrossed_) ++quesRises_[12];
            if (below && !lowerCrossed_) ++quesRises_[11];
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
            if (failure_.Code == -240 || failure_.Code == -241) ++quesRises_[9];
        }
        measuring_ = false;
    }
    if (stateChanged_) stateChanged_();
}

} // namespace ksv::scpi
