// The measurement side of the engine: configure the open module (rate,
// active slots, acquisition time, the coefficient copy), allocate the
// buffers, run cycles of start, read, stop, convert and average, and hand
// each cycle to the caller as a TCycleResult whose texts are the window's;
// then stop and free. Toolkit-free, no thread of its own, no sleeps: the
// caller keeps whatever pauses its own order has.
//
// The steps are meant for one thread at a time; RequestStop may come from
// any thread and is seen between reads (a read waits at most the library's
// time-out).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "CycleResult.h"
#include "EngineStatus.h"
#include "MeasureCore.h"
#include "MeasureMessages.h"
#include "ReadCycle.h"
#include "SlotPicture.h"
#include "ksvapi.h"

namespace ksv {

struct TMeasureRequest {
    int RateIndex = 0; // 0..7 (5 .. 1000 Hz); -1 = none chosen
    // The text listed for that rate, checked against the rate; none = the
    // rate table's own text.
    std::optional<std::string> RateText;
    double AcquisitionTime = 1.0;                     // seconds per cycle
    std::array<bool, KSV27_MEZZANINES> SlotChecked{}; // the user's choice; only real mezzanines count
};

class TMeasureEngine {
public:
    // `record` is the open module's (TDeviceEngine::Record()); it must
    // outlive the engine.
    explicit TMeasureEngine(Ksv27ModuleRecord& record);
    ~TMeasureEngine();
    TMeasureEngine(const TMeasureEngine&) = delete;
    TMeasureEngine& operator=(const TMeasureEngine&) = delete;

    // ADC stop, the slot picture, the rate and its divisor, the check of at
    // least one active channel, the coefficient copy, SetConfig, the cycle
    // sizes. Failures carry msg::kConfigStopFailed, kRateError,
    // kNoActiveChannel, kSetConfigFailed or kBadAcquisitionTime.
    TEngineStatus Configure(const TMeasureRequest& request);

    // The five buffers and the averaging window for the configured sizes;
    // a failure carries that buffer's msg::kNoMemory... text.
    TEngineStatus Allocate();

    // One cycle against `run`: every failure is reported to it (the first
    // one stops the run), a stop is seen between reads. True when `result`
    // holds a new cycle.
    bool RunCycle(TRunControl& run, TCycleResult& result);

    // One cycle against the engine's own stop flag: Ok with `result`
    // filled, Stopped, or the first failure of the cycle with its text.
    TEngineStatus MeasureCycle(TCycleResult& result);

    // End of a run: the ADC stop (a failure reported to `run` with
    // msg::kEndStopFailed)...
    void StopAcquisition(TRunControl& run);
    // ...and the buffers freed.
    void FreeBuffers() { buffers_.Free(); }
    // Both at once, for callers without a run control of their own.
    TEngineStatus Finish();

    // Any thread. Holds for the rest of the engine's life.
    void RequestStop() { stop_ = true; }
    bool StopRequested() const { return stop_; }

    // The run for a record's header; crate and slot come from the device side.
    TRunDescription Describe(const std::string& crateSerial, int slot) const;

    const TCycleSizes& Sizes() const { return sizes_; }
    const TSlotPicture& Slots() const { return slots_; }
    double RateHz() const { return rateHz_; }
    double AcquisitionTime() const { return acquisitionTime_; }

private:
    class TOwnRun;
    void FillResult(TCycleResult& result);

    Ksv27ModuleRecord& record_;
    std::atomic<bool> stop_{false};
    TSlotPicture slots_;
    std::array<std::uint16_t, kChannelCount> channelIndex_{};
    double rateHz_ = 0.0;
    double acquisitionTime_ = 0.0;
    TCycleSizes sizes_;
    TMeasureBuffers buffers_;
    double windowSum_ = 0.0;
    std::array<double, kChannelCount> channelValue_{};
    std::uint64_t nextIndex_ = 0;
    std::chrono::system_clock::time_point cycleStart_{};
};

// A channel's value in the unit it is shown in: voltage kinds * 1000, the
// others as the library gives them; NaN for the second channel of a
// resistance mezzanine and for a kind with nothing to show.
double ShownValue(TMezzanineKind kind, int channelInSlot, double libraryValue);

} // namespace ksv
