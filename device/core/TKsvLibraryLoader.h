// Loads libksvapi.so and libksv27api.so (ksvapi.dll and ksv27api.dll on
// Windows) by name and resolves every operation of ksvapi.h.
//
// The libraries are looked for beside the executable first, then on the
// system's library path. A library or symbol that cannot be had leaves its
// operations failing: a negative status, a negative count from KSV27_Recv,
// KSV27_IsOpened "not open". The program then behaves as if the crate server
// did not answer.
#pragma once

#include <string>

#include "TKsvApi.h"

namespace ksv {

class TKsvLibraryLoader final : public TKsvApi {
public:
    // `folder` is searched first; empty means the library path only.
    explicit TKsvLibraryLoader(const std::string& folder);
    ~TKsvLibraryLoader() override;
    TKsvLibraryLoader(const TKsvLibraryLoader&) = delete;
    TKsvLibraryLoader& operator=(const TKsvLibraryLoader&) = delete;

    bool CrateLibraryLoaded() const { return crateLib_ != nullptr; }
    bool ModuleLibraryLoaded() const { return moduleLib_ != nullptr; }
    // Names of the operations that could not be resolved, for diagnostics.
    const std::string& MissingSymbols() const { return missing_; }

    void KSV_Init(KsvCrateConnection* connection) override;
    void KSV_Close(KsvCrateConnection* connection) override;
    int32_t KSV_Open(KsvCrateConnection* connection) override;
    int32_t KSV_GetCrates(KsvCrateConnection* connection, KsvCrateList crates) override;
    int32_t KSV_GetCrateModules(KsvCrateConnection* connection, uint16_t modules[KSV_MAX_SLOTS]) override;
    void KSV27_Init(Ksv27ModuleRecord* module) override;
    void KSV27_Close(Ksv27ModuleRecord* module) override;
    int32_t KSV27_IsOpened(Ksv27ModuleRecord* module) override;
    int32_t KSV27_Open(Ksv27ModuleRecord* module, uint32_t address, uint16_t port,
                       const char* crateSerial, int32_t slot) override;
    int32_t KSV27_GetConfig(Ksv27ModuleRecord* module) override;
    int32_t KSV27_GetDescription(Ksv27ModuleRecord* module, uint32_t mask) override;
    int32_t KSV27_SetConfig(Ksv27ModuleRecord* module) override;
    int32_t KSV27_ADCStart(Ksv27ModuleRecord* module) override;
    int32_t KSV27_ADCStop(Ksv27ModuleRecord* module) override;
    int32_t KSV27_Recv(Ksv27ModuleRecord* module, uint32_t* buffer, uint32_t* timeMarks,
                       uint32_t words, uint32_t timeoutMs) override;
    int32_t KSV27_ProcessData(Ksv27ModuleRecord* module, const uint32_t* raw, double* values,
                              uint32_t* count, int32_t calibrate, int32_t convert) override;

private:
    void* Open(const std::string& folder, const char* name);
    template <typename F> F Resolve(void* lib, const char* name);

    void* crateLib_ = nullptr;
    void* moduleLib_ = nullptr;
    std::string missing_;

    KSV_Init_t init_ = nullptr;
    KSV_Close_t close_ = nullptr;
    KSV_Open_t open_ = nullptr;
    KSV_GetCrates_t getCrates_ = nullptr;
    KSV_GetCrateModules_t getCrateModules_ = nullptr;
    KSV27_Init_t m_init_ = nullptr;
    KSV27_Close_t m_close_ = nullptr;
    KSV27_IsOpened_t m_isOpened_ = nullptr;
    KSV27_Open_t m_open_ = nullptr;
    KSV27_GetConfig_t m_getConfig_ = nullptr;
    KSV27_GetDescription_t m_getDescription_ = nullptr;
    KSV27_SetConfig_t m_setConfig_ = nullptr;
    KSV27_ADCStart_t m_adcStart_ = nullptr;
    KSV27_ADCStop_t m_adcStop_ = nullptr;
    KSV27_Recv_t m_recv_ = nullptr;
    KSV27_ProcessData_t m_processData_ = nullptr;
};

} // namespace ksv
