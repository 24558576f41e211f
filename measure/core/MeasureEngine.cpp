#include "MeasureEngine.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <optional>

#include "AdcRates.h"
#include "BoundedText.h"
#include "ModuleInventory.h"
#include "TKsvApi.h"

namespace ksv {

// The engine's own run control: the stop flag and the first failure of a cycle.
class TMeasureEngine::TOwnRun final : public TRunControl {
public:
    explicit TOwnRun(const std::atomic<bool>& stop) : stop_(stop) {}
    bool RunTerminated() const override { return stop_; }
    bool RunStopRequested() const override { return failed_; }
    void ReportFailure(const char* text) override
    {
        if (failed_) return;
        failed_ = true;
        message_ = text;
    }
    bool Failed() const { return failed_; }
    const std::string& Message() const { return message_; }

private:
    const std::atomic<bool>& stop_;
    bool failed_ = false;
    std::string message_;
};

namespace {

// The record is packed: its doubles are not aligned, so the coefficients
// are copied as bytes, never read through a double reference.
void CopyDescriptionCoefficients(Ksv27ModuleRecord& record)
{
    for (int m = 0; m < KSV27_MEZZANINES; ++m) {
        const char* from = reinterpret_cast<const char*>(Ksv27MezzanineDescOf(&record, m)) +
                           offsetof(Ksv27MezzanineDesc, MezzanineDescCoefs);
        char* to = reinterpret_cast<char*>(&record.Mezzanines[m]) + offsetof(Ksv27Mezzanine, MezzanineCoefs);
        std::memcpy(to, from, sizeof(double) * 4);
    }
}

std::array<double, 8> RateTable()
{
    std::array<double, 8> rates{};
    for (std::size_t k = 0; k < rates.size(); ++k) rates[k] = AdcRateFromDivisor(kAdcRateDivisors[k]);
    return rates;
}

} // namespace

TMeasureEngine::TMeasureEngine(Ksv27ModuleRecord& record) : record_(record) {}

TMeasureEngine::~TMeasureEngine() = default;

TEngineStatus TMeasureEngine::Configure(const TMeasureRequest& request)
{
    TKsvApi& api = KsvApi();
    stop_ = false;
    nextIndex_ = 0;
    sizes_ = {};
    acquisitionTime_ = request.AcquisitionTime;
    if (api.KSV27_ADCStop(&record_) != 0) return TEngineStatus::Failure(msg::kConfigStopFailed);
    rateHz_ = 0.0;
    slots_ = TakeSlotPicture(record_, request.SlotChecked);
    for (std::size_t i = 0; i < channelIndex_.size(); ++i) channelIndex_[i] = static_cast<std::uint16_t>(i);

    const std::optional<TRateChoice> rate = ChooseRate(request.RateIndex, RateTable(), kAdcRateDivisors);
    if (!rate) return TEngineStatus::Failure(msg::kRateError);
    record_.AdcRateDivisor = rate->Divisor;
    rateHz_ = rate->RateHz;
    const std::string listed = request.RateText ? *request.RateText : AdcRateText(rateHz_);
    if (!RateMatchesText(rateHz_, listed)) return TEngineStatus::Failure(msg::kRateError);
    if (slots_.ActiveChannelCount == 0) return TEngineStatus::Failure(msg::kNoActiveChannel);
    CopyDescriptionCoefficients(record_);
    if (api.KSV27_SetConfig(&record_) != 0) return TEngineStatus::Failure(msg::kSetConfigFailed);
    // The time comes from a settings file or a command line, where anything may stand.
    const std::optional<TCycleSizes> sizes = ComputeCycleSizes(rateHz_, acquisitionTime_);
    if (!sizes) return TEngineStatus::Failure(msg::kBadAcquisitionTime);
    sizes_ = *sizes;
    return TEngineStatus::Success();
}

TEngineStatus TMeasureEngine::Allocate()
{
    if (const char* failure = buffers_.Allocate(sizes_)) {
        buffers_.Free();
        return TEngineStatus::Failure(failure);
    }
    const std::uint32_t n = sizes_.SamplesPerChannel;
    std::fill_n(buffers_.Window, n, 0.0);
    BuildWindow(buffers_.Window, n);
    windowSum_ = n;
    return TEngineStatus::Success();
}

bool TMeasureEngine::RunCycle(TRunControl& run, TCycleResult& result)
{
    // Buffers exist only when the preparation went through.
    if (!buffers_.Window || run.ShouldStop()) return false;
    TKsvApi& api = KsvApi();
    cycleStart_ = std::chrono::system_clock::now();
    if (!ReadCycle(api, &record_, run, buffers_.RcvBuffer, sizes_) || run.RunTerminated()) return false;
    if (!ConvertCycle(api, &record_, buffers_.RcvBuffer, buffers_.Data, sizes_.TotalWords)) {
        run.ReportFailure(msg::kProcessFailed);
        return false;
    }
    if (run.RunTerminated()) return false;
    if (!GatherChannelValues(buffers_.Data, sizes_.SamplesPerChannel, channelIndex_, slots_.Active, buffers_.Window,
                             windowSum_, buffers_.DataPerChannel, channelValue_, run))
        return false;
    if (run.ShouldStop()) return false;
    FillResult(result);
    return true;
}

TEngineStatus TMeasureEngine::MeasureCycle(TCycleResult& result)
{
    TOwnRun run(stop_);
    bool measured = false;
    try {
        measured = RunCycle(run, result);
    } catch (...) {
        run.ReportFailure(msg::kHandlerException);
    }
    if (run.Failed()) return TEngineStatus::Failure(run.Message());
    return measured ? TEngineStatus::Success() : TEngineStatus::Stop();
}

void TMeasureEngine::StopAcquisition(TRunControl& run)
{
    if (KsvApi().KSV27_ADCStop(&record_) != 0) run.ReportFailure(msg::kEndStopFailed);
}

TEngineStatus TMeasureEngine::Finish()
{
    const std::atomic<bool> never{false};
    TOwnRun run(never);
    StopAcquisition(run);
    FreeBuffers();
    return run.Failed() ? TEngineStatus::Failure(run.Message()) : TEngineStatus::Success();
}

void TMeasureEngine::FillResult(TCycleResult& result)
{
    result.Index = nextIndex_;
    result.StartTime = cycleStart_;
    for (std::size_t s = 0; s < slots_.Names.size(); ++s) {
        const std::string& name = slots_.Names[s];
        const TMezzanineKind kind = MezzanineKindOf(name);
        const TSlotValueTexts texts = SlotValueTexts(slots_.Active[s], name, channelValue_[2 * s], channelValue_[2 * s + 1]);
        for (int c = 0; c < 2; ++c) {
            TChannelResult& channel = result.Channels[2 * s + static_cast<std::size_t>(c)];
            channel.Active = slots_.Active[s];
            channel.Kind = kind;
            channel.Unit = UnitOf(kind);
            channel.MezzanineName = name;
            channel.Text = c == 0 ? texts.Value1 : texts.Value2;
            channel.Value = channel.Active ? ShownValue(kind, c, channelValue_[2 * s + static_cast<std::size_t>(c)])
                                           : std::numeric_limits<double>::quiet_NaN();
            channel.Valid = std::isfinite(channel.Value) && channel.Text != kNoValueText;
        }
    }
    ++nextIndex_;
}

TRunDescription TMeasureEngine::Describe(const std::string& crateSerial, int slot) const
{
    TRunDescription run;
    run.CrateSerial = crateSerial;
    run.Slot = slot;
    run.ModuleSerial = FieldText(record_.ModuleSerial);
    run.Firmware = FirmwareText(record_.FirmwareVersion);
    run.RateHz = rateHz_;
    run.AcquisitionTime = acquisitionTime_;
    run.MezzanineNames = slots_.Names;
    run.SlotActive = slots_.Active;
    return run;
}

double ShownValue(TMezzanineKind kind, int channelInSlot, double libraryValue)
{
    switch (kind) {
    case TMezzanineKind::Voltage: return libraryValue * 1000.0;
    case TMezzanineKind::Temperature:
    case TMezzanineKind::Current: return libraryValue;
    case TMezzanineKind::Resistance:
        return channelInSlot == 0 ? libraryValue : std::numeric_limits<double>::quiet_NaN();
    case TMezzanineKind::None:
    case TMezzanineKind::Unknown: break;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

} // namespace ksv
