#include "TKsvLibraryLoader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace ksv {

namespace {

// Status of every operation whose library or symbol is missing.
constexpr int32_t kNotLoaded = -1;

#ifdef _WIN32
constexpr const char* kCrateLibrary = "ksvapi.dll";
constexpr const char* kModuleLibrary = "ksv27api.dll";
constexpr char kSeparator = '\\';
void* LoadByPath(const std::string& path) { return reinterpret_cast<void*>(LoadLibraryA(path.c_str())); }
void* Symbol(void* lib, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name));
}
void Unload(void* lib) { FreeLibrary(static_cast<HMODULE>(lib)); }
#else
constexpr const char* kCrateLibrary = "libksvapi.so";
constexpr const char* kModuleLibrary = "libksv27api.so";
constexpr char kSeparator = '/';
void* LoadByPath(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* Symbol(void* lib, const char* name) { return dlsym(lib, name); }
void Unload(void* lib) { dlclose(lib); }
#endif

} // namespace

TKsvLibraryLoader::TKsvLibraryLoader(const std::string& folder)
{
    crateLib_ = Open(folder, kCrateLibrary);
    moduleLib_ = Open(folder, kModuleLibrary);

    init_ = Resolve<KSV_Init_t>(crateLib_, "KSV_Init");
    close_ = Resolve<KSV_Close_t>(crateLib_, "KSV_Close");
    open_ = Resolve<KSV_Open_t>(crateLib_, "KSV_Open");
    getCrates_ = Resolve<KSV_GetCrates_t>(crateLib_, "KSV_GetCrates");
    getCrateModules_ = Resolve<KSV_GetCrateModules_t>(crateLib_, "KSV_GetCrateModules");

    m_init_ = Resolve<KSV27_Init_t>(moduleLib_, "KSV27_Init");
    m_close_ = Resolve<KSV27_Close_t>(moduleLib_, "KSV27_Close");
    m_isOpened_ = Resolve<KSV27_IsOpened_t>(moduleLib_, "KSV27_IsOpened");
    m_open_ = Resolve<KSV27_Open_t>(moduleLib_, "KSV27_Open");
    m_getConfig_ = Resolve<KSV27_GetConfig_t>(moduleLib_, "KSV27_GetConfig");
    m_getDescription_ = Resolve<KSV27_GetDescription_t>(moduleLib_, "KSV27_GetDescription");
    m_setConfig_ = Resolve<KSV27_SetConfig_t>(moduleLib_, "KSV27_SetConfig");
    m_adcStart_ = Resolve<KSV27_ADCStart_t>(moduleLib_, "KSV27_ADCStart");
    m_adcStop_ = Resolve<KSV27_ADCStop_t>(moduleLib_, "KSV27_ADCStop");
    m_recv_ = Resolve<KSV27_Recv_t>(moduleLib_, "KSV27_Recv");
    m_processData_ = Resolve<KSV27_ProcessData_t>(moduleLib_, "KSV27_ProcessData");
}

TKsvLibraryLoader::~TKsvLibraryLoader()
{
    if (moduleLib_) Unload(moduleLib_);
    if (crateLib_) Unload(crateLib_);
}

void* TKsvLibraryLoader::Open(const std::string& folder, const char* name)
{
    if (!folder.empty()) {
        if (void* lib = LoadByPath(folder + kSeparator + name)) return lib;
    }
    return LoadByPath(name);
}

template <typename F> F TKsvLibraryLoader::Resolve(void* lib, const char* name)
{
    void* symbol = lib ? Symbol(lib, name) : nullptr;
    if (!symbol) missing_ += std::string(missing_.empty() ? "" : " ") + name;
    return reinterpret_cast<F>(symbol);
}

void TKsvLibraryLoader::KSV_Init(KsvCrateConnection* c)
{
    if (init_) init_(c);
}
void TKsvLibraryLoader::KSV_Close(KsvCrateConnection* c)
{
    if (close_) close_(c);
}
int32_t TKsvLibraryLoader::KSV_Open(KsvCrateConnection* c) { return open_ ? open_(c) : kNotLoaded; }
int32_t TKsvLibraryLoader::KSV_GetCrates(KsvCrateConnection* c, KsvCrateList crates)
{
    return getCrates_ ? getCrates_(c, crates) : kNotLoaded;
}
int32_t TKsvLibraryLoader::KSV_GetCrateModules(KsvCrateConnection* c, uint16_t modules[KSV_MAX_SLOTS])
{
    return getCrateModules_ ? getCrateModules_(c, modules) : kNotLoaded;
}
void TKsvLibraryLoader::KSV27_Init(Ksv27ModuleRecord* m)
{
    if (m_init_) m_init_(m);
}
void TKsvLibraryLoader::KSV27_Close(Ksv27ModuleRecord* m)
{
    if (m_close_) m_close_(m);
}
int32_t TKsvLibraryLoader::KSV27_IsOpened(Ksv27ModuleRecord* m)
{
    return m_isOpened_ ? m_isOpened_(m) : kNotLoaded;
}
int32_t TKsvLibraryLoader::KSV27_Open(Ksv27ModuleRecord* m, uint32_t address, uint16_t port,
                                      const char* crateSerial, int32_t slot)
{
    return m_open_ ? m_open_(m, address, port, crateSerial, slot) : kNotLoaded;
}
int32_t TKsvLibraryLoader::KSV27_GetConfig(Ksv27ModuleRecord* m)
{
    return m_getConfig_ ? m_getConfig_(m) : kNotLoaded;
}
int32_t TKsvLibraryLoader::KSV27_GetDescription(Ksv27ModuleRecord* m, uint32_t mask)
{
    return m_getDescription_ ? m_getDescription_(m, mask) : kNotLoaded;
}
int32_t TKsvLibraryLoader::KSV27_SetConfig(Ksv27ModuleRecord* m)
{
    return m_setConfig_ ? m_setConfig_(m) : kNotLoaded;
}
int32_t TKsvLibraryLoader::KSV27_ADCStart(Ksv27ModuleRecord* m)
{
    return m_adcStart_ ? m_adcStart_(m) : kNotLoaded;
}
int32_t TKsvLibraryLoader::KSV27_ADCStop(Ksv27ModuleRecord* m)
{
    return m_adcStop_ ? m_adcStop_(m) : kNotLoaded;
}
int32_t TKsvLibraryLoader::KSV27_Recv(Ksv27ModuleRecord* m, uint32_t* buffer, uint32_t* timeMarks,
                                      uint32_t words, uint32_t timeoutMs)
{
    return m_recv_ ? m_recv_(m, buffer, timeMarks, words, timeoutMs) : kNotLoaded;
}
int32_t TKsvLibraryLoader::KSV27_ProcessData(Ksv27ModuleRecord* m, const uint32_t* raw, double* values,
                                             uint32_t* count, int32_t calibrate, int32_t convert)
{
    return m_processData_ ? m_processData_(m, raw, values, count, calibrate, convert) : kNotLoaded;
}

} // namespace ksv
