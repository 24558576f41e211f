// Several KSV27 of one crate measured side by side as one instrument: one
// acquisition thread per module, so that one module's library calls never
// wait for another's, and every cycle of every module started together, so
// that one scan has one time stamp.
//
// The caller's thread runs the scans (Scan); the module threads only open,
// configure and measure their own module. A module that fails (a library
// error, a module that vanishes) is closed: it gives no values until it is
// open again, and its failure is reported once, naming its slot. It is
// tried again at the next Reopen and every RetryInterval while it is
// closed; the other modules keep measuring meanwhile. Toolkit-free.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CycleResult.h"
#include "DeviceEngine.h"

namespace ksv {

struct TCrateScanRequest {
    std::string CrateSerial;
    std::vector<int> Slots; // crate slots 1..16, each one a KSV27
    int RateIndex = 0;
    double AcquisitionTime = 1.0; // seconds per cycle
    // The mezzanine slots a module measures, from its mezzanine names; none:
    // every fitted one.
    using TChooseSlots = std::function<std::array<bool, kSlotCount>(int slot, const std::array<std::string, kSlotCount>&)>;
    TChooseSlots ChooseSlots; // by the module's crate slot and its mezzanine names
    std::chrono::milliseconds RetryInterval{3000};
    // Asked between reads on the module threads: true ends the scan in
    // progress as RequestStop does (a signal flag, say). None: never.
    std::function<bool()> Terminated;
};

struct TModuleScan {
    int Slot = 0;
    bool Measured = false; // Cycle holds this scan's values
    TCycleResult Cycle;    // every channel inactive when not measured
};

struct TScan {
    std::uint64_t Index = 0; // 0 for the first scan
    std::chrono::system_clock::time_point StartTime{};
    std::vector<TModuleScan> Modules; // in the request's slot order
    // The largest difference between two modules' cycle starts, seconds.
    double StartSkew = 0.0;
};

struct TModuleFault {
    int Slot = 0;
    std::string Text; // UTF-8, the engine's text for the failure
};

// What a module is while the scan holds it.
struct TScanModuleState {
    int Slot = 0;
    bool Open = false;   // open and configured
    TModuleInfo Info;    // from its last open (Slot and CrateSerial always set)
    TRunDescription Run; // rate, time, mezzanines and the slots measured
};

class TCrateScan {
public:
    using TFaultSink = std::function<void(const TModuleFault&)>;
    using TChooseSlots = TCrateScanRequest::TChooseSlots;

    // `faults` is called on a module's thread, once per failure, outside the
    // scan's lock; it must return quickly.
    TCrateScan(TCrateScanRequest request, TFaultSink faults);
    ~TCrateScan(); // stops, closes every module, joins the threads
    TCrateScan(const TCrateScan&) = delete;
    TCrateScan& operator=(const TCrateScan&) = delete;

    // Starts the module threads; each opens and configures its module.
    // Returns once every module is open or has failed once.
    void Start();

    // Every open module measures one cycle, all started together; returns
    // when each has finished. False once a stop was requested.
    bool Scan(TScan& scan);

    // Asks every closed module to try again now, and waits until each has
    // tried (as a single module is opened again at a new measurement).
    void Reopen();

    // New rate, time and mezzanine-slot choice: every open module is
    // configured anew (a module that fails it is closed and reported), and
    // closed ones take them when they open. Returns once each open module
    // has been configured.
    void Configure(int rateIndex, double acquisitionTime, TChooseSlots chooseSlots);

    // Any thread: the scan in progress ends after the modules' current
    // reads, and every later Scan returns false.
    void RequestStop();

    std::vector<TScanModuleState> Modules() const;
    const TCrateScanRequest& Request() const { return request_; }

private:
    struct TModule;
    void RunModule(TModule& module);
    bool TryOpen(TModule& module);
    bool Prepare(TModule& module); // configure and allocate on the open record
    void MeasureOne(TModule& module);
    void CloseAfterFailure(TModule& module, const std::string& text);
    void WaitForAttempts(std::unique_lock<std::mutex>& lock);

    TCrateScanRequest request_;
    TFaultSink faults_;
    std::vector<std::unique_ptr<TModule>> modules_;
    mutable std::mutex mutex_;
    std::condition_variable wake_; // module threads wait for a scan or a retry
    std::condition_variable done_; // the caller waits for the modules
    std::atomic<bool> quit_{false};
    std::uint64_t generation_ = 0;
    std::uint64_t nextIndex_ = 0;
    std::chrono::system_clock::time_point scanStart_{};
};

} // namespace ksv
