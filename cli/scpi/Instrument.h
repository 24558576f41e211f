// The instrument that `serve` makes of one KSV27: its configuration (scan
// list, rate, acquisition time, trigger count), its reading memory,
// statistics and limits, shared by every connection, and the acquisition
// thread that opens the module and runs the cycles through TDeviceEngine and
// TMeasureEngine.
//
// Every public call is made from the network thread and returns at once: it
// only takes the instrument's lock for a moment or hands a request to the
// acquisition thread. What the acquisition thread learns later (a
// measurement ended, a failure) comes back through the notifiers, which it
// calls on its own thread.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ChannelStatistics.h"
#include "CycleResult.h"
#include "MeasureChoice.h"
#include "ReadingMemory.h"
#include "ScpiError.h"
#include "StatusRegister.h"

namespace ksv {
class TCrateScan;
struct TModuleFault;
struct TScan;
} // namespace ksv

namespace ksv::scpi {

// One module the instrument serves.
struct TServedModule {
    int Slot = 0; // crate slot; 0 while a single module's slot is not known
    bool Open = false;
    std::string Model, Serial, Firmware; // 7-bit ASCII; empty while it never opened
};

// What the instrument is: one module (channels 1..16, or N01..N16 with its
// slot N), or several modules of one crate (channels slot*100+ch). Channel
// index c belongs to the module at position c / 16.
struct TModuleFacts {
    bool Open = false;    // a module is open (one of them, with several)
    bool Several = false; // --slot LIST or all
    std::string CrateSerial;
    std::string Model, Serial, Firmware; // the single module's, 7-bit ASCII
    std::vector<TServedModule> Modules;  // by position; one for a single module
    // Mezzanine names by channel index / 2, as last read from each module.
    std::array<std::string, kChannels / 2> Mezzanines{};
    // Every channel index of the served modules.
    TChannelSet AllChannels() const;
};

struct TInstrumentConfig {
    TChannelSet Scan = TChannelSet().set(); // the channels named; default every one
    int RateIndex = 0;
    double Time = 1.0;
    std::uint64_t Count = 1; // cycles per INITiate; kInfiniteCount: until ABORt
};
inline constexpr std::uint64_t kInfiniteCount = 0;

// A channel's name and scaling: while On, a reading is Gain * SI value +
// Offset, in Unit ("" : the SI unit's name).
struct TChannelScale {
    std::string Label; // UTF-8, at most 32 characters
    bool On = false;
    double Gain = 1.0;
    double Offset = 0.0;
    std::string Unit;
};

struct TLimit {
    double Value = 0.0;
    bool On = false;
};

class TInstrument {
public:
    // Any thread: `owner` is the connection that started the measurement.
    using TErrorSink = std::function<void(int owner, TScpiError error)>;
    using TStateSink = std::function<void()>;
    // Every module's cycle of one scan, by position, with the scan's one time stamp.
    using TCycleObserver = std::function<void(const TScan&)>;

    explicit TInstrument(cli::TMeasureChoice choice);
    ~TInstrument();
    TInstrument(const TInstrument&) = delete;
    TInstrument& operator=(const TInstrument&) = delete;

    // Before Start.
    void SetNotifiers(TErrorSink errors, TStateSink stateChanged);
    // Called on the acquisition thread once per completed scan with every
    // module's cycle as the engine made it (the window's units and texts,
    // every channel), labelled and scaled by the channel file, after the
    // scan's readings are in memory and outside the instrument's lock; it
    // must return quickly (it delays the next scan) and must not call back
    // into the instrument. Set it before Start.
    void SetCycleObserver(TCycleObserver observer);
    // Called on the acquisition thread as each measurement starts, before its
    // first scan, with every module's run by position (module, crate, slot,
    // rate, time; a module that is not open has its slot and crate only); the
    // same rules as for the cycle observer.
    using TRunObserver = std::function<void(const std::vector<TRunDescription>&)>;
    void SetRunObserver(TRunObserver observer);

    // Tries to open the module, then starts the acquisition thread (which
    // tries again every few seconds while the module is not open).
    void Start();
    // Ends any measurement, closes the module and joins the thread.
    void Shutdown();

    TModuleFacts Facts() const;
    TInstrumentConfig Config() const;

    // -221 while a measurement runs (one that ABORt or *RST stopped no
    // longer counts, though it may take a read block to end); -222 for a
    // value outside its range;
    // SetScan: -221 when the open module measures none of the channels.
    // SetRate: -221 when the acquisition time is outside the new rate's
    // range (the time is never changed behind the client's back).
    TScpiError SetScan(TChannelSet scan);
    TScpiError SetRate(int rateIndex);
    TScpiError SetTime(double seconds);
    TScpiError SetCount(std::uint64_t count);
    // The named channels that are measured: those on a usable mezzanine of
    // the open module (every named one while no module is open).
    TChannelSet MeasuredChannels() const;

    // Starts a measurement of Config().Count cycles: clears the reading
    // memory and the statistics. -213 while one runs, -221 for a
    // configuration the module cannot measure; after ABORt it starts once
    // the stopped one has ended.
    TScpiError Initiate(int owner);
    void Abort();
    // Defaults, memory, statistics and limits cleared, measurement aborted.
    void Reset();
    // A measurement runs that neither ended nor was aborted: its settings
    // cannot change.
    bool Running() const;
    // A measurement is under way, pending or still stopping: queries that
    // wait for the measurement wait while this holds.
    bool Busy() const;
    // How many measurements were started so far: a waiter compares it.
    std::uint64_t Started() const;

    // The error that cut short the measurement whose readings are in memory
    // (-240 hardware, -241 no module, -221 nothing to measure), with that
    // measurement's number (Started() when it began); Code 0 when it ended
    // well, was aborted, or *RST came since.
    TScpiError Failure(std::uint64_t* generation = nullptr) const;
    // The instrument's side of the status registers.
    TStatusCondition Operation() const;
    TStatusCondition Questionable() const;

    std::size_t Points() const;
    std::vector<TReading> Readings(std::size_t count, bool remove);

    TChannelSummary Summary(int channel) const; // channel index
    void ClearStatistics();

    void SetLimit(bool upper, double value, TChannelSet channels);
    void SetLimitState(bool upper, bool on, TChannelSet channels);
    TLimit Limit(bool upper, int channel) const;

    TChannelScale Scale(int channel) const;
    // Changes the scaling of `channels`; -221 while a measurement runs
    // (its readings would mix two scalings). Labels change at any time.
    TScpiError ChangeScale(TChannelSet channels, const std::function<void(TChannelScale&)>& change, bool label);
    TChannelSet Crossed() const;

    // The client that holds the exclusive lock (a VXI-11 link's session),
    // 0 when none does. Network thread only.
    int LockOwner() const { return lockOwner_; }
    void SetLockOwner(int owner) { lockOwner_ = owner; }

private:
    void Loop();
    bool TryOpen(bool log);
    void Measure(TInstrumentConfig config, int owner, std::uint64_t generation);
    // False when the reading memory was full and dropped its oldest cycle.
    bool TakeScan(const TScan& scan, double time, TChannelSet channels, std::uint64_t generation);
    void ModuleFault(const TModuleFault& fault); // a module thread's
    bool Configure(const TInstrumentConfig& config);
    void ApplyChannelFile();          // under the lock: names and scaling of the --channels file
    TModuleFacts FactsLocked() const; // under the lock
    void EndMeasurement(std::uint64_t generation = 0, TScpiError failure = {});
    TChannelSet UsableChannels() const; // under the lock
    bool RunningLocked() const;         // under the lock

    cli::TMeasureChoice choice_;
    // Created once the modules are known, then kept until Shutdown; its
    // module threads open, reopen and measure the modules.
    std::unique_ptr<TCrateScan> scan_;
    std::atomic<std::uint64_t> current_{0}; // the measurement the scan runs
    std::vector<TScpiError> faults_;        // the modules' failures during it, under the lock
    TErrorSink errors_;
    TStateSink stateChanged_;
    TCycleObserver observer_;
    TRunObserver runObserver_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
    bool startPending_ = false;
    int owner_ = 0;
    TInstrumentConfig pending_;
    std::uint64_t pendingGeneration_ = 0;
    // Every measurement up to this one (by the count of INITiates) is
    // aborted: a measurement that is still stopping never holds up the next.
    std::atomic<std::uint64_t> abortedUpTo_{0};
    std::atomic<bool> quitting_{false};

    TModuleFacts facts_;
    TInstrumentConfig config_;
    bool measuring_ = false; // the acquisition thread runs a measurement
    std::uint64_t started_ = 0;
    TReadingMemory memory_;
    std::array<TRunningStatistics, kChannels> statistics_{};
    std::array<TLimit, kChannels> upper_{}, lower_{};
    std::array<TChannelScale, kChannels> scales_{};
    TChannelSet crossed_;
    bool lowerCrossed_ = false, upperCrossed_ = false; // in the measurement under way or the last
    std::uint64_t failedGeneration_ = 0;
    TScpiError failure_;
    std::array<std::uint64_t, 16> quesRises_{};
    std::string lastOpenFailure_;
    bool slotsChosen_ = false; // the scan list no longer comes from the settings file
    std::thread thread_;
    int lockOwner_ = 0;
};

} // namespace ksv::scpi
