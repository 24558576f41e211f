// Shared helpers of the window tests: a recorder that answers every modal
// request without a dialog, and a crate-library stand-in that only knows
// whether the module is open and counts the calls the window makes.
#pragma once

#include <QString>
#include <atomic>
#include <vector>

#include "ModalDialogs.h"
#include "TKsvApi.h"

namespace ksv::test {

class TModalRecorder {
public:
    TModalRecorder()
    {
        SetModalHandler([this](const TModalRequest& request) {
            Requests.push_back(request);
            return 0;
        });
    }
    ~TModalRecorder() { SetModalHandler({}); }
    TModalRecorder(const TModalRecorder&) = delete;
    TModalRecorder& operator=(const TModalRecorder&) = delete;

    std::vector<TModalRequest> Requests;
};

// Every operation fails, as with no crate server; KSV27_IsOpened reports
// `Opened`. Installed for its lifetime.
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
