// The instrument's plain state, shared by every connection and the
// acquisition thread under one lock: its configuration (scan list, rate,
// acquisition time, trigger count), the modules it serves, the reading
// memory, statistics, limits, channel names and scaling, and where the
// measurement stands (asked for, running, aborted, failed).
//
// The network thread's calls only take the lock for a moment. The
// acquisition thread waits here for a measurement to run and hands its scans
// in; what it learns (a measurement ended, a failure) goes out through the
// notifiers, always called outside the lock.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ChannelStatistics.h"
#include "CycleResult.h"
#include "MeasureChoice.h"
#include "ReadingMemory.h"
#include "ScpiError.h"
#include "StatusRegister.h"

namespace ksv {
class TCrateScan;
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

// A channel's name and scaling: while Scale is on, a reading is Gain * SI
// value + Offset, in Unit ("" : the SI unit's name); the channel file's
// setting of a channel is where it starts.
using TChannelScale = cli::TChannelSetting;

struct TLimit {
    double Value = 0.0;
    bool On = false;
};

// A mezzanine a module can measure with (neither none nor unknown).
bool MeasurableMezzanine(const std::string& name);

// A measurement the acquisition thread is to run.
struct TMeasurementRequest {
    TInstrumentConfig Config;
    int Owner = 0;                // the connection that started it
    std::uint64_t Generation = 0; // its number, by the count of INITiates
};

class TInstrumentState {
public:
    // Any thread: `owner` is the connection that started the measurement.
    using TErrorSink = std::function<void(int owner, TScpiError error)>;
    using TStateSink = std::function<void()>;

    explicit TInstrumentState(cli::TMeasureChoice choice);
    TInstrumentState(const TInstrumentState&) = delete;
    TInstrumentState& operator=(const TInstrumentState&) = delete;

    // Before the acquisition starts.
    void SetNotifiers(TErrorSink errors, TStateSink stateChanged);

    const cli::TMeasureChoice& Choice() const { return choice_; }
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
    // The channels on a usable mezzanine (every one of a module not open).
    TChannelSet UsableChannels() const;

    // Starts a measurement of Config().Count cycles: clears the reading
    // memory and the statistics, and tells its number in `measurement`.
    // -213 while one runs, -221 for a configuration the module cannot
    // measure; after ABORt it starts once the stopped one has ended.
    TScpiError Initiate(int owner, std::uint64_t* measurement = nullptr);
    void Abort();
    // Defaults, memory, statistics and limits cleared, measurement aborted.
    void Reset();
    // A measurement runs that neither ended nor was aborted: its settings
    // cannot change.
    bool Running() const;
    // A measurement is under way, pending or still stopping: queries that
    // wait for the measurement wait while this holds.
    bool Busy() const;

    // The error that cut short the measurement whose readings are in memory
    // (-240 hardware, -241 no module, -221 nothing to measure), with that
    // measurement's number (as Initiate told it); Code 0 when it ended
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
    // Names and scales every module's cycle of `scan` as the channels are
    // named and scaled now: what the page and the publishers are given.
    void ApplyScales(TScan& scan) const;

    // The client that holds the exclusive lock (a VXI-11 link's session),
    // 0 when none does. Network thread only.
    int LockOwner() const { return lockOwner_; }
    void SetLockOwner(int owner) { lockOwner_ = owner; }

    // ---- the acquisition thread's side ----

    // Waits until a measurement is asked for (true, with it in `request`;
    // it then counts as measuring), the quit, or `timeout` (no limit when zero).
    bool WaitForMeasurement(TMeasurementRequest& request, std::chrono::milliseconds timeout);
    bool Quitting() const { return quitting_; }
    // Every measurement ends within one read and none starts any more.
    void Quit();
    // The measurement `generation` was aborted (or the instrument quits).
    bool Aborted(std::uint64_t generation) const { return quitting_ || abortedUpTo_ >= generation; }
    // The crate scan whose modules the instrument serves (null: none), with
    // its crate and slots; the channel file and the settings file's slot
    // choice apply to them. True when a module is open.
    bool AdoptScan(const TCrateScan* scan, const std::string& crateSerial, const std::vector<int>& slots);
    // A module's failure during the measurement under way (ignored between measurements).
    void AddFault(TScpiError fault);
    std::vector<TScpiError> TakeFaults();
    // The scan's readings into memory, statistics and limits; false when the
    // reading memory was full and dropped its oldest cycle.
    bool TakeScan(const TScan& scan, double time, TChannelSet channels, std::uint64_t generation);
    // A failure is recorded before the measurement counts as ended.
    void EndMeasurement(std::uint64_t generation = 0, TScpiError failure = {});
    void NotifyError(int owner, const TScpiError& error) const;

private:
    void ApplyChannelFile();          // under the lock: names and scaling of the --channels file
    void ApplySettingsSlots();        // under the lock: the settings file's slot choice
    TModuleFacts FactsLocked() const; // under the lock
    TChannelSet UsableLocked() const; // under the lock
    bool RunningLocked() const;       // under the lock

    const cli::TMeasureChoice choice_;
    TErrorSink errors_;
    TStateSink stateChanged_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    const TCrateScan* scan_ = nullptr; // the acquisition's, while it serves its modules
    bool quit_ = false;
    bool startPending_ = false;
    TMeasurementRequest pending_;
    // Every measurement up to this one (by the count of INITiates) is
    // aborted: a measurement that is still stopping never holds up the next.
    std::atomic<std::uint64_t> abortedUpTo_{0};
    std::atomic<bool> quitting_{false};

    TModuleFacts facts_;
    TInstrumentConfig config_;
    bool measuring_ = false; // the acquisition thread runs a measurement
    std::uint64_t started_ = 0;
    std::vector<TScpiError> faults_; // the modules' failures during the measurement
    TReadingMemory memory_;
    std::array<TRunningStatistics, kChannels> statistics_{};
    std::array<TLimit, kChannels> upper_{}, lower_{};
    std::array<TChannelScale, kChannels> scales_{};
    TChannelSet crossed_;
    bool lowerCrossed_ = false, upperCrossed_ = false; // in the measurement under way or the last
    std::uint64_t failedGeneration_ = 0;
    TScpiError failure_;
    std::array<std::uint64_t, 16> quesRises_{};
    bool slotsChosen_ = false; // the scan list no longer comes from the settings file
    int lockOwner_ = 0;
};

} // namespace ksv::scpi
