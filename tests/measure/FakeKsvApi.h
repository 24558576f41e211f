// A scripted stand-in for the two crate libraries, for the measurement tests.
//
// It holds one module with chosen mezzanine names and a DC level per
// channel: every frame it delivers converts to those levels. Each module
// operation can be made to fail, and reads can be scripted call by call.
// Safe to call from the window's thread and the measurement thread at once.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TKsvApi.h"

namespace ksv::test {

class TFakeKsvApi : public TKsvApi {
public:
    // What one KSV27_Recv call gives: its result, given the call's number
    // (0 = first of the test) and the words asked for. Empty: all of them.
    using TRecvScript = std::function<std::int32_t(int call, std::uint32_t words)>;

    std::atomic<std::int32_t> SetConfigResult{0};
    std::atomic<std::int32_t> AdcStartResult{0};
    std::atomic<std::int32_t> ProcessDataResult{0};
    // When set, ProcessData reports one value fewer than it was given.
    std::atomic<bool> ProcessDataShortCount{false};
    // ADCStop calls (counted from 0) from which on it fails; -1: never.
    std::atomic<int> AdcStopFailFrom{-1};
    // When set, an ADCStop fails when no ADCStart came since the previous
    // ADCStop: the stop at the end of a run, after the last cycle's own.
    std::atomic<bool> FailRepeatedStop{false};
    // When set, each read waits `StallMs` and then returns no words, as a
    // read that runs into its time-out does.
    std::atomic<bool> Stall{false};
    std::atomic<int> StallMs{100};
    // When set, each read takes as long as the module would at `PaceRateHz`.
    std::atomic<bool> Paced{false};
    std::atomic<double> PaceRateHz{1000.0};

    std::atomic<int> SetConfigCalls{0}, AdcStartCalls{0}, AdcStopCalls{0}, RecvCalls{0}, ProcessCalls{0};
    // What SetConfig saw in the record.
    std::atomic<int> ConfiguredDivisor{-1};
    double ConfiguredCoefs[8][4] = {};

    void SetRecvScript(TRecvScript script)
    {
        std::lock_guard lock(mutex_);
        recv_ = std::move(script);
    }
    void SetLevel(int channel, double value)
    {
        std::lock_guard lock(mutex_);
        levels_[channel] = value;
    }
    // Words asked for in each read so far.
    std::vector<std::uint32_t> RecvRequests() const
    {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    // Puts names and description coefficients into a record, as an open would.
    static void Describe(Ksv27ModuleRecord& record, const std::vector<std::string>& names)
    {
        for (int m = 0; m < 8; ++m) {
            std::memset(record.Mezzanines[m].MezzanineName, 0, sizeof record.Mezzanines[m].MezzanineName);
            const std::string name = m < static_cast<int>(names.size()) ? names[static_cast<std::size_t>(m)] : "EMPTY";
            std::memcpy(record.Mezzanines[m].MezzanineName, name.data(), name.size() < 15 ? name.size() : 15);
            double coefs[4];
            for (int c = 0; c < 4; ++c) coefs[c] = 10.0 * m + c + 0.5;
            // The record is packed: its doubles are copied as bytes.
            std::memcpy(reinterpret_cast<char*>(Ksv27MezzanineDescOf(&record, m)) +
                            offsetof(Ksv27MezzanineDesc, MezzanineDescCoefs),
                        coefs, sizeof coefs);
        }
    }

    void KSV_Init(KsvCrateConnection* c) override { std::memset(c, 0, sizeof *c); }
    void KSV_Close(KsvCrateConnection*) override {}
    std::int32_t KSV_Open(KsvCrateConnection*) override { return -1; }
    std::int32_t KSV_GetCrates(KsvCrateConnection*, KsvCrateList) override { return -1; }
    std::int32_t KSV_GetCrateModules(KsvCrateConnection*, std::uint16_t*) override { return -1; }
    void KSV27_Init(Ksv27ModuleRecord*) override {}
    void KSV27_Close(Ksv27ModuleRecord*) override {}
    std::int32_t KSV27_IsOpened(Ksv27ModuleRecord*) override { return 0; }
    std::int32_t KSV27_Open(Ksv27ModuleRecord*, std::uint32_t, std::uint16_t, const char*, std::int32_t) override
    {
        return 0;
    }
    std::int32_t KSV27_GetConfig(Ksv27ModuleRecord*) override { return 0; }
    std::int32_t KSV27_GetDescription(Ksv27ModuleRecord*, std::uint32_t) override { return 0; }

    std::int32_t KSV27_SetConfig(Ksv27ModuleRecord* module) override
    {
        ++SetConfigCalls;
        ConfiguredDivisor = module->AdcRateDivisor;
        {
            std::lock_guard lock(mutex_);
            for (int m = 0; m < 8; ++m)
                std::memcpy(ConfiguredCoefs[m],
                            reinterpret_cast<const char*>(&module->Mezzanines[m]) + offsetof(Ksv27Mezzanine, MezzanineCoefs),
                            sizeof ConfiguredCoefs[m]);
        }
        return SetConfigResult;
    }
    std::int32_t KSV27_ADCStart(Ksv27ModuleRecord*) override
    {
        ++AdcStartCalls;
        startedSinceStop_ = true;
        return AdcStartResult;
    }
    std::int32_t KSV27_ADCStop(Ksv27ModuleRecord*) override
    {
        const int call = AdcStopCalls++;
        const int from = AdcStopFailFrom;
        const bool repeated = call > 0 && !startedSinceStop_.exchange(false);
        if (FailRepeatedStop && repeated) return -6;
        return from >= 0 && call >= from ? -5 : 0;
    }
    std::int32_t KSV27_Recv(Ksv27ModuleRecord*, std::uint32_t* buffer, std::uint32_t*, std::uint32_t words,
                            std::uint32_t) override
    {
        const int call = RecvCalls++;
        TRecvScript script;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(words);
            script = recv_;
        }
        if (Stall) {
            std::this_thread::sleep_for(std::chrono::milliseconds(StallMs.load()));
            return 0;
        }
        const std::int32_t n = script ? script(call, words) : static_cast<std::int32_t>(words);
        if (Paced && n > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(n / (PaceRateHz.load() * 16.0)));
        for (std::int32_t i = 0; i < n && static_cast<std::uint32_t>(i) < words; ++i)
            buffer[i] = static_cast<std::uint32_t>(i % 16);
        return n;
    }
    std::int32_t KSV27_ProcessData(Ksv27ModuleRecord*, const std::uint32_t* raw, double* values, std::uint32_t* count,
                                   std::int32_t, std::int32_t) override
    {
        ++ProcessCalls;
        {
            std::lock_guard lock(mutex_);
            for (std::uint32_t i = 0; i < *count; ++i) values[i] = levels_[raw[i] % 16];
        }
        if (ProcessDataShortCount && *count > 0) --*count;
        return ProcessDataResult;
    }

private:
    mutable std::mutex mutex_;
    TRecvScript recv_;
    std::vector<std::uint32_t> requests_;
    std::atomic<bool> startedSinceStop_{false};
    double levels_[16] = {};
};

} // namespace ksv::test
