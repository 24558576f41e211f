// The two crate libraries of the build, loaded by name from the folder of
// the test executable as the program loads them, with every operation of
// ksvapi.h resolved.
#pragma once

#include <dlfcn.h>
#include <stdexcept>
#include <string>

#include "SimServerProcess.h"
#include "ksvapi.h"

namespace ksv::simtest {

struct SimLibraries {
    void* CrateLib = nullptr;
    void* ModuleLib = nullptr;
    KSV_Init_t Init = nullptr;
    KSV_Close_t Close = nullptr;
    KSV_Open_t Open = nullptr;
    KSV_GetCrates_t GetCrates = nullptr;
    KSV_GetCrateModules_t GetCrateModules = nullptr;
    KSV27_Init_t ModInit = nullptr;
    KSV27_Close_t ModClose = nullptr;
    KSV27_IsOpened_t IsOpened = nullptr;
    KSV27_Open_t ModOpen = nullptr;
    KSV27_GetConfig_t GetConfig = nullptr;
    KSV27_GetDescription_t GetDescription = nullptr;
    KSV27_SetConfig_t SetConfig = nullptr;
    KSV27_ADCStart_t Start = nullptr;
    KSV27_ADCStop_t Stop = nullptr;
    KSV27_Recv_t Recv = nullptr;
    KSV27_ProcessData_t ProcessData = nullptr;

    // Loaded once for the process and never unloaded.
    static const SimLibraries& Get()
    {
        static const SimLibraries libs = Load();
        return libs;
    }

private:
    template <typename F> static F Sym(void* lib, const char* name)
    {
        void* s = lib ? dlsym(lib, name) : nullptr;
        if (!s) throw std::runtime_error(std::string("missing symbol ") + name);
        return reinterpret_cast<F>(s);
    }

    static SimLibraries Load()
    {
        SimLibraries l;
        const std::string dir = ExecutableFolder();
        l.CrateLib = dlopen((dir + "/libksvapi.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        l.ModuleLib = dlopen((dir + "/libksv27api.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!l.CrateLib || !l.ModuleLib) throw std::runtime_error(std::string("cannot load the libraries: ") + dlerror());
        l.Init = Sym<KSV_Init_t>(l.CrateLib, "KSV_Init");
        l.Close = Sym<KSV_Close_t>(l.CrateLib, "KSV_Close");
        l.Open = Sym<KSV_Open_t>(l.CrateLib, "KSV_Open");
        l.GetCrates = Sym<KSV_GetCrates_t>(l.CrateLib, "KSV_GetCrates");
        l.GetCrateModules = Sym<KSV_GetCrateModules_t>(l.CrateLib, "KSV_GetCrateModules");
        l.ModInit = Sym<KSV27_Init_t>(l.ModuleLib, "KSV27_Init");
        l.ModClose = Sym<KSV27_Close_t>(l.ModuleLib, "KSV27_Close");
        l.IsOpened = Sym<KSV27_IsOpened_t>(l.ModuleLib, "KSV27_IsOpened");
        l.ModOpen = Sym<KSV27_Open_t>(l.ModuleLib, "KSV27_Open");
        l.GetConfig = Sym<KSV27_GetConfig_t>(l.ModuleLib, "KSV27_GetConfig");
        l.GetDescription = Sym<KSV27_GetDescription_t>(l.ModuleLib, "KSV27_GetDescription");
        l.SetConfig = Sym<KSV27_SetConfig_t>(l.ModuleLib, "KSV27_SetConfig");
        l.Start = Sym<KSV27_ADCStart_t>(l.ModuleLib, "KSV27_ADCStart");
        l.Stop = Sym<KSV27_ADCStop_t>(l.ModuleLib, "KSV27_ADCStop");
        l.Recv = Sym<KSV27_Recv_t>(l.ModuleLib, "KSV27_Recv");
        l.ProcessData = Sym<KSV27_ProcessData_t>(l.ModuleLib, "KSV27_ProcessData");
        return l;
    }
};

} // namespace ksv::simtest
