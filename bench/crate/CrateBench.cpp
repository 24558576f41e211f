// crate_bench: 1, 2, 4 and 8 KSV27 of one crate scanned side by side
// (TCrateScan, the real libraries, the simulated crate server) at 1000 Hz
// with 0.1 s cycles. Per module count: the scan period, the largest skew
// between the modules' cycle starts, and the process's CPU time per
// module-cycle. Exit status 1 when a goal is missed, 2 when the server or a
// module could not be had.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "CrateScan.h"
#include "BenchServer.h"
#include "SimServerProcess.h"
#include "TKsvApi.h"

namespace {

constexpr int kSteadyScans = 30;
constexpr double kTime = 0.1;

// Eight KSV27 of sixteen channels each in slots 1..8 of one crate.
std::string Scenario()
{
    std::string json = R"({"crates": [ { "serial": "KSV-B-0008", "slots": [)";
    for (int slot = 1; slot <= 8; ++slot) {
        if (slot > 1) json += ',';
        json += R"({"slot": )" + std::to_string(slot) + R"(, "serial": "27B-000)" + std::to_string(slot) +
                R"(", "mezzanines": [)";
        for (int m = 0; m < 8; ++m)
            json += std::string(m ? "," : "") + R"({"name": "U10", "channels": [{"dc": 1.0}, {"dc": 2.0}]})";
        json += "]}";
    }
    return json + "] } ] }";
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

struct TFigures {
    double Period = 0.0;
    double MaxSkew = 0.0;
    double MeanSkew = 0.0;
    double CpuPerModuleCycle = 0.0;
    bool Ok = false;
};

TFigures Measure(int modules)
{
    ksv::TCrateScanRequest request;
    request.CrateSerial = "KSV-B-0008";
    for (int slot = 1; slot <= modules; ++slot) request.Slots.push_back(slot);
    request.RateIndex = 7;
    request.AcquisitionTime = kTime;
    TFigures figures;
    bool failed = false;
    ksv::TCrateScan crate(request, [&failed](const ksv::TModuleFault&) { failed = true; });
    crate.Start();
    ksv::TScan scan;
    for (int i = 0; i < 2; ++i)
        if (!crate.Scan(scan)) return figures;
    const auto first = scan.StartTime;
    const double cpu = CpuSeconds();
    for (int i = 0; i < kSteadyScans; ++i) {
        if (!crate.Scan(scan)) return figures;
        figures.MaxSkew = std::max(figures.MaxSkew, scan.StartSkew);
        figures.MeanSkew += scan.StartSkew / kSteadyScans;
        for (const auto& module : scan.Modules) failed = failed || !module.Measured;
    }
    figures.CpuPerModuleCycle = (CpuSeconds() - cpu) / (kSteadyScans * modules);
    figures.Period = std::chrono::duration<double>(scan.StartTime - first).count() / kSteadyScans;
    figures.Ok = !failed;
    return figures;
}

} // namespace

int main()
{
    ksv::simtest::SimServerProcess server;
    if (!ksv::bench::StartBenchServer("crate_bench", server, Scenario())) return 2;
    ksv::SetKsvLibraryFolder(ksv::simtest::ExecutableFolder().c_str());
    const double periodGoal = 1.01 * kTime + 0.002;
    std::printf("modules  period,s  goal,s  mean skew,ms  max skew,ms  cpu/module-cycle,ms  vs 1 module\n");
    bool ok = true;
    double one = 0.0;
    for (int modules : {1, 2, 4, 8}) {
        const TFigures f = Measure(modules);
        if (!f.Ok) {
            std::fprintf(stderr, "crate_bench: a module failed with %d modules\n", modules);
            return 2;
        }
        if (modules == 1) one = f.CpuPerModuleCycle;
        const double ratio = one > 0.0 ? f.CpuPerModuleCycle / one : 1.0;
        std::printf("%7d  %8.5f  %6.4f  %12.3f  %11.3f  %19.3f  %11.2f\n", modules, f.Period, periodGoal,
                    f.MeanSkew * 1e3, f.MaxSkew * 1e3, f.CpuPerModuleCycle * 1e3, ratio);
        ok = ok && f.Period <= periodGoal && f.MaxSkew <= 0.002 && ratio <= 1.10;
    }
    return ok ? 0 : 1;
}
