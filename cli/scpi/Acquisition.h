// The instrument's acquisition side: the thread that finds the module (or
// the crate's modules), keeps them on a crate scan (whose module threads
// open, reopen and measure them) and runs each measurement the state asks
// for, handing every scan's readings to the state and to the observers.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CycleResult.h"
#include "InstrumentState.h"

namespace ksv {
class TCrateScan;
struct TModuleFault;
struct TScan;
} // namespace ksv

namespace ksv::scpi {

class TAcquisition {
public:
    // Every module's cycle of one scan, by position, with the scan's one time stamp.
    using TCycleObserver = std::function<void(const TScan&)>;
    // Every module's run by position (module, crate, slot, rate, time; a
    // module that is not open has its slot and crate only).
    using TRunObserver = std::function<void(const std::vector<TRunDescription>&)>;

    explicit TAcquisition(TInstrumentState& state);
    ~TAcquisition();
    TAcquisition(const TAcquisition&) = delete;
    TAcquisition& operator=(const TAcquisition&) = delete;

    // Before Start; both are called on the acquisition thread outside the
    // state's lock, must return quickly (they delay the next scan) and must
    // not call back into the instrument. The cycle observer gets each scan
    // after its readings are in the state, labelled and scaled by the
    // channel file; the run observer each measurement's runs before its
    // first scan.
    void SetCycleObserver(TCycleObserver observer) { observer_ = std::move(observer); }
    void SetRunObserver(TRunObserver observer) { runObserver_ = std::move(observer); }

    // Tries to open the module, then starts the thread (which tries again
    // every few seconds while the module is not found).
    void Start();
    // Ends any measurement within one read, closes the modules and joins the thread.
    void Shutdown();

private:
    void Loop();
    bool TryOpen(bool log);
    void Measure(const TMeasurementRequest& request);
    void MeasureScans(const TMeasurementRequest& request);
    bool Configure(const TInstrumentConfig& config);
    void ModuleFault(const TModuleFault& fault); // a module thread's

    TInstrumentState& state_;
    // Made once the modules are known, then kept until the thread ends;
    // touched by Start before the thread runs, then by the thread alone.
    std::unique_ptr<TCrateScan> scan_;
    std::atomic<std::uint64_t> current_{0}; // the measurement the scan runs
    TCycleObserver observer_;
    TRunObserver runObserver_;
    std::string lastOpenFailure_;
    std::thread thread_;
};

} // namespace ksv::scpi
