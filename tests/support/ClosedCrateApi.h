// A crate-library stand-in for window tests: every operation fails, as with
// no crate server, except that it knows whether the module is open and
// counts the closes the window makes. Installed for its lifetime.
#pragma once

#include <atomic>

#include "TKsvApi.h"

namespace ksv::test {

class TClosedCrateApi final : public TKsvApi {
public:
    TClosedCrateApi() { SetKsvApi(this); }
    ~TClosedCrateApi() override { SetKsvApi(nullptr); }
    TClosedCrateApi(const TClosedCrateApi&) = delete;
    TClosedCrateApi& operator=(const TClosedCrateApi&) = delete;

    std::atomic<bool> Opened{false};
    std::atomic<int> CloseCalls{0};

    void KSV_Init(KsvCrateConnection*) override {}
    void KSV_Close(KsvCrateConnection*) override {}
    int32_t KSV_Open(KsvCrateConnection*) override { return -1; }
    int32_t KSV_GetCrates(KsvCrateConnection*, KsvCrateList) override { return -1; }
    int32_t KSV_GetCrateModules(KsvCrateConnection*, uint16_t[KSV_MAX_SLOTS]) override { return -1; }
    void KSV27_Init(Ksv27ModuleRecord*) override {}
    void KSV27_Close(Ksv27ModuleRecord*) override
    {
        ++CloseCalls;
        Opened = false;
    }
    int32_t KSV27_IsOpened(Ksv27ModuleRecord*) override { return Opened ? 0 : 1; }
    int32_t KSV27_Open(Ksv27ModuleRecord*, uint32_t, uint16_t, const char*, int32_t) override { return -1; }
    int32_t KSV27_GetConfig(Ksv27ModuleRecord*) override { return -1; }
    int32_t KSV27_GetDescription(Ksv27ModuleRecord*, uint32_t) override { return -1; }
    int32_t KSV27_SetConfig(Ksv27ModuleRecord*) override { return -1; }
    int32_t KSV27_ADCStart(Ksv27ModuleRecord*) override { return -1; }
    int32_t KSV27_ADCStop(Ksv27ModuleRecord*) override { return -1; }
    int32_t KSV27_Recv(Ksv27ModuleRecord*, uint32_t*, uint32_t*, uint32_t, uint32_t) override { return -1; }
    int32_t KSV27_ProcessData(Ksv27ModuleRecord*, const uint32_t*, double*, uint32_t*, int32_t, int32_t) override
    {
        return -1;
    }
};

} // namespace ksv::test
