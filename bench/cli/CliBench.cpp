// cli_bench: ksv27-vorn-cli measuring against the simulated crate server at
// 5, 100 and 1000 Hz with 0.2 s and 1 s cycles. Per case the tool runs twice,
// for 2 and for 2 + 5 cycles; the difference of their CPU times (user +
// system, the libraries included; the server is another process) over the 5
// extra cycles is the CPU per steady cycle, so start-up and discovery drop
// out. The cycle period comes from the records' start times; the peak
// memory is the longer run's ru_maxrss. Exit status 1 when a period exceeds
// 1.01 x (acquisition time + 0.1 s), 2 when the server or the tool fails.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "BenchScenario.h"
#include "BenchServer.h"
#include "SimServerProcess.h"
#include "ToolRun.h"

namespace {

constexpr int kSettleCycles = 2;
constexpr int kSteadyCycles = 5;

// A run of the tool and the start times of the cycles it recorded.
struct TToolRun : ksv::bench::TToolRun {
    std::vector<double> CycleStarts; // seconds since the epoch
};

// "2026-12-09T17:01:02.123Z" anywhere in the line after "time".
bool CycleStart(const std::string& line, double& seconds)
{
    const std::size_t at = line.find("\"time\":\"");
    if (at == std::string::npos) return false;
    std::tm tm{};
    int millis = 0;
    if (std::sscanf(line.c_str() + at + 8, "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &millis) != 7)
        return false;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    seconds = static_cast<double>(timegm(&tm)) + millis / 1000.0;
    return true;
}

TToolRun RunTool(const std::vector<std::string>& args)
{
    std::string text;
    TToolRun run{ksv::bench::RunCli(args, std::chrono::minutes(2), &text), {}};
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        double seconds = 0;
        if (CycleStart(text.substr(start, end - start), seconds)) run.CycleStarts.push_back(seconds);
    }
    return run;
}

std::vector<std::string> MeasureArgs(double rateHz, double time, int cycles)
{
    char rate[16], seconds[16];
    std::snprintf(rate, sizeof rate, "%.0f", rateHz);
    std::snprintf(seconds, sizeof seconds, "%.1f", time);
    return {"measure", "--crate", ksv::bench::kBenchCrate, "--slot", "1", "--rate", rate, "--time", seconds,
            "--format", "json", "--cycles", std::to_string(cycles)};
}

} // namespace

int main()
{
    ksv::simtest::SimServerProcess server;
    if (!ksv::bench::StartBenchServer("cli_bench", server, ksv::bench::kScenario)) return 2;
    std::printf("cli_bench: ksv27-vorn-cli against ksv-crate-server, %d steady cycles per case\n", kSteadyCycles);
    std::printf("%8s %7s %9s %9s %8s %12s %8s %10s\n", "rate,Hz", "time,s", "ideal,s", "period,s", "ratio",
                "cpu/cycle,ms", "cpu,%", "peak,KiB");
    bool ok = true;
    for (const double time : {0.2, 1.0}) {
        for (const double rate : {5.0, 100.0, 1000.0}) {
            const TToolRun settle = RunTool(MeasureArgs(rate, time, kSettleCycles));
            const TToolRun full = RunTool(MeasureArgs(rate, time, kSettleCycles + kSteadyCycles));
            const std::size_t n = full.CycleStarts.size();
            if (!settle.Ok || !full.Ok || n != kSettleCycles + kSteadyCycles) {
                std::fprintf(stderr, "cli_bench: the tool failed at %.0f Hz, %.1f s\n", rate, time);
                return 2;
            }
            const double period = (full.CycleStarts[n - 1] - full.CycleStarts[1]) / static_cast<double>(n - 2);
            const double ideal = time + 0.1;
            const double cpu = (full.CpuSeconds - settle.CpuSeconds) / kSteadyCycles;
            std::printf("%8.0f %7.1f %9.3f %9.4f %8.4f %12.3f %8.3f %10ld\n", rate, time, ideal, period,
                        period / ideal, cpu * 1000.0, cpu / period * 100.0, full.PeakKiB);
            if (period / ideal > 1.01) ok = false;
        }
    }
    return ok ? 0 : 1;
}
