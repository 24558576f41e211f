// The program's one way to the two maker libraries.
//
// Every operation of ksvapi.h is a virtual member here, so the window and the
// workers never see dlopen or a function pointer. The real implementation
// (TKsvLibraryLoader) loads the libraries by name; tests install a scripted
// fake with SetKsvApi().
#pragma once

#include "ksvapi.h"

namespace ksv {

class TKsvApi {
public:
    virtual ~TKsvApi() = default;

    virtual void KSV_Init(KsvCrateConnection* connection) = 0;
    virtual void KSV_Close(KsvCrateConnection* connection) = 0;
    virtual int32_t KSV_Open(KsvCrateConnection* connection) = 0;
    virtual int32_t KSV_GetCrates(KsvCrateConnection* connection, KsvCrateList crates) = 0;
    virtual int32_t KSV_GetCrateModules(KsvCrateConnection* connection,
                                        uint16_t modules[KSV_MAX_SLOTS]) = 0;

    virtual void KSV27_Init(Ksv27ModuleRecord* module) = 0;
    virtual void KSV27_Close(Ksv27ModuleRecord* module) = 0;
    virtual int32_t KSV27_IsOpened(Ksv27ModuleRecord* module) = 0;
    virtual int32_t KSV27_Open(Ksv27ModuleRecord* module, uint32_t address, uint16_t port,
                               const char* crateSerial, int32_t slot) = 0;
    virtual int32_t KSV27_GetConfig(Ksv27ModuleRecord* module) = 0;
    virtual int32_t KSV27_GetDescription(Ksv27ModuleRecord* module, uint32_t mask) = 0;
    virtual int32_t KSV27_SetConfig(Ksv27ModuleRecord* module) = 0;
    virtual int32_t KSV27_ADCStart(Ksv27ModuleRecord* module) = 0;
    virtual int32_t KSV27_ADCStop(Ksv27ModuleRecord* module) = 0;
    virtual int32_t KSV27_Recv(Ksv27ModuleRecord* module, uint32_t* buffer, uint32_t* timeMarks,
                               uint32_t words, uint32_t timeoutMs) = 0;
    virtual int32_t KSV27_ProcessData(Ksv27ModuleRecord* module, const uint32_t* raw, double* values,
                                      uint32_t* count, int32_t calibrate, int32_t convert) = 0;
};

// The object every caller uses. Unless a test has installed its own, the
// first call creates a TKsvLibraryLoader for the folder given to
// SetKsvLibraryFolder (the executable's folder) and the library path.
TKsvApi& KsvApi();

// Installs `api` (not owned) in place of the loaded libraries; nullptr
// returns to the loader. For tests.
void SetKsvApi(TKsvApi* api);

// Folder searched first for the libraries; set once by the entry.
void SetKsvLibraryFolder(const char* folder);

} // namespace ksv
