// A scripted crate system in place of the two libraries, for the tests of
// the inventory, the engine and the measurement.
//
// The crate side: a list of crates with the module identifier and the open
// behaviour of each slot, failure switches per operation, and a log of every
// call in order. The measurement side: the module delivers frames that
// convert to a chosen DC level per channel; each module operation can be
// made to fail, and reads can be scripted call by call. Safe to call from
// the window's thread and a worker at once.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TKsvApi.h"

namespace ksv::test {

struct TFakeSlot {
    std::uint16_t ModuleId = 0;
    // Which step of the open sequence fails: "" none, "Open", "GetConfig", "GetDescription".
    std::string FailAt;
    // Raw field contents; exactly 16 bytes are copied, so 16 characters carry no NUL.
    std::string ModuleSerial;
    std::string ModuleName = "KSV27";
    std::uint32_t Firmware = 0x01020304u;
};

struct TFakeCrate {
    std::string Serial; // up to 16 bytes copied into the crate list entry
    std::array<TFakeSlot, KSV_MAX_SLOTS> Slots{};
    bool SlotQueryFails = false;
};

class TFakeKsvApi : public TKsvApi {
public:
    std::vector<TFakeCrate> Crates;
    bool ListOpenFails = false;                          // KSV_Open of the crate listing
    bool GetCratesFails = false;                         // KSV_GetCrates, after writing the first entry
    bool SlotOpenFails = false;                          // KSV_Open of every slot query
    std::function<void(const std::string& call)> OnCall; // may throw, to fake a faulting library

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

    std::vector<std::string> Log() const
    {
        std::lock_guard lock(mutex_);
        return log_;
    }
    void ClearLog()
    {
        std::lock_guard lock(mutex_);
        log_.clear();
    }
    // The crate serial each KSV_Open of a slot query saw, as bytes up to NUL.
    std::vector<std::string> SlotQuerySerials() const
    {
        std::lock_guard lock(mutex_);
        return slotQuerySerials_;
    }
    bool ModuleOpen() const
    {
        std::lock_guard lock(mutex_);
        return open_;
    }

    void KSV_Init(KsvCrateConnection* c) override
    {
        Note("KSV_Init");
        std::memset(c, 0, sizeof *c);
        c->Address = KSV_SERVER_ADDRESS;
        c->Port = KSV_SERVER_PORT;
        c->Channel = 7; // the program must set it to 0 itself
    }
    void KSV_Close(KsvCrateConnection*) override { Note("KSV_Close"); }
    int32_t KSV_Open(KsvCrateConnection* c) override
    {
        const bool slotQuery = c->CrateSerial[0] != '\0';
        Note(slotQuery ? "KSV_Open(slots)" : "KSV_Open(crates)");
        if (c->Channel != 0) return -5;
        if (slotQuery) {
            std::lock_guard lock(mutex_);
            slotQuerySerials_.emplace_back(c->CrateSerial, strnlen(c->CrateSerial, sizeof c->CrateSerial));
        }
        return (slotQuery ? SlotOpenFails : ListOpenFails) ? -1 : 0;
    }
    int32_t KSV_GetCrates(KsvCrateConnection*, KsvCrateList crates) override
    {
        Note("KSV_GetCrates");
        for (std::size_t i = 0; i < Crates.size() && i < KSV_MAX_CRATES; ++i) {
            std::memcpy(crates[i], Crates[i].Serial.data(), std::min<std::size_t>(Crates[i].Serial.size(), 16));
            if (GetCratesFails) return -2;
        }
        return GetCratesFails ? -2 : 0;
    }
    int32_t KSV_GetCrateModules(KsvCrateConnection* c, uint16_t modules[KSV_MAX_SLOTS]) override
    {
        Note("KSV_GetCrateModules");
        const TFakeCrate* crate = Find(std::string(c->CrateSerial, strnlen(c->CrateSerial, 16)));
        if (!crate || crate->SlotQueryFails) return -3;
        for (int k = 0; k < KSV_MAX_SLOTS; ++k) modules[k] = crate->Slots[static_cast<std::size_t>(k)].ModuleId;
        return 0;
    }

    void KSV27_Init(Ksv27ModuleRecord*) override { Note("KSV27_Init"); }
    void KSV27_Close(Ksv27ModuleRecord*) override
    {
        Note("KSV27_Close");
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    int32_t KSV27_IsOpened(Ksv27ModuleRecord*) override
    {
        Note("KSV27_IsOpened");
        std::lock_guard lock(mutex_);
        return open_ ? 0 : 1;
    }
    int32_t KSV27_Open(Ksv27ModuleRecord* r, uint32_t address, uint16_t port, const char* serial,
                       int32_t slot) override
    {
        Note("KSV27_Open(" + std::string(serial) + "," + std::to_string(slot) + "," + std::to_string(address) +
             ":" + std::to_string(port) + ")");
        current_ = nullptr;
        const TFakeCrate* crate = Find(serial);
        if (!crate || slot < 1 || slot > KSV_MAX_SLOTS) return -10;
        const TFakeSlot& s = crate->Slots[static_cast<std::size_t>(slot - 1)];
        if (s.ModuleId != KSV27_MODULE_ID) return -11;
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        if (s.FailAt == "Open") return -12;
        current_ = &s;
        std::memset(r->ModuleSerial, 0, sizeof r->ModuleSerial);
        std::memset(r->ModuleName, 0, sizeof r->ModuleName);
        return 0;
    }
    int32_t KSV27_GetConfig(Ksv27ModuleRecord*) override
    {
        Note("KSV27_GetConfig");
        return current_ && current_->FailAt != "GetConfig" ? 0 : -13;
    }
    int32_t KSV27_GetDescription(Ksv27ModuleRecord* r, uint32_t mask) override
    {
        Note("KSV27_GetDescription(" + std::to_string(mask) + ")");
        if (!current_ || current_->FailAt == "GetDescription") return -14;
        std::memcpy(r->ModuleSerial, current_->ModuleSerial.data(),
                    std::min<std::size_t>(current_->ModuleSerial.size(), sizeof r->ModuleSerial));
        std::memcpy(r->ModuleName, current_->ModuleName.data(),
                    std::min<std::size_t>(current_->ModuleName.size(), sizeof r->ModuleName));
        r->FirmwareVersion = current_->Firmware;
        return 0;
    }
    std::int32_t KSV27_SetConfig(Ksv27ModuleRecord* module) override
    {
        Note("KSV27_SetConfig");
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
        Note("KSV27_ADCStart");
        ++AdcStartCalls;
        startedSinceStop_ = true;
        return AdcStartResult;
    }
    std::int32_t KSV27_ADCStop(Ksv27ModuleRecord*) override
    {
        Note("KSV27_ADCStop");
        const int call = AdcStopCalls++;
        const int from = AdcStopFailFrom;
        const bool repeated = call > 0 && !startedSinceStop_.exchange(false);
        if (FailRepeatedStop && repeated) return -6;
        return from >= 0 && call >= from ? -5 : 0;
    }
    std::int32_t KSV27_Recv(Ksv27ModuleRecord*, std::uint32_t* buffer, std::uint32_t*, std::uint32_t words,
                            std::uint32_t) override
    {
        Note("KSV27_Recv");
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
        Note("KSV27_ProcessData");
        ++ProcessCalls;
        {
            std::lock_guard lock(mutex_);
            for (std::uint32_t i = 0; i < *count; ++i) values[i] = levels_[raw[i] % 16];
        }
        if (ProcessDataShortCount && *count > 0) --*count;
        return ProcessDataResult;
    }

private:
    void Note(const std::string& call)
    {
        {
            std::lock_guard lock(mutex_);
            log_.push_back(call);
        }
        if (OnCall) OnCall(call);
    }
    const TFakeCrate* Find(const std::string& serial) const
    {
        for (const TFakeCrate& crate : Crates)
            // A slot query carries at most 15 characters (the last byte is NUL).
            if (crate.Serial.substr(0, 16) == serial ||
                (serial.size() == 15 && crate.Serial.substr(0, 15) == serial))
                return &crate;
        return nullptr;
    }

    mutable std::mutex mutex_;
    std::vector<std::string> log_;
    std::vector<std::string> slotQuerySerials_;
    bool open_ = false;
    const TFakeSlot* current_ = nullptr;
    TRecvScript recv_;
    std::vector<std::uint32_t> requests_;
    std::atomic<bool> startedSinceStop_{false};
    double levels_[16] = {};
};

// A KSV27 that opens, with the given serial.
inline TFakeSlot Ksv27(const std::string& serial, const std::string& failAt = {})
{
    TFakeSlot slot;
    slot.ModuleId = KSV27_MODULE_ID;
    slot.ModuleSerial = serial;
    slot.FailAt = failAt;
    return slot;
}

} // namespace ksv::test
