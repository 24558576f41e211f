// Runs ksv27-vorn-cli from this program's folder as the benchmarks do, and
// what it cost: CPU time (user + system, its libraries included), wall time
// and peak memory, from the child's own resource use.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "SimServerProcess.h"

namespace ksv::bench {

struct TToolRun {
    bool Ok = false; // started and exited with status 0
    double CpuSeconds = 0, WallSeconds = 0;
    long PeakKiB = 0;
};

inline double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

// Runs the tool with `args`, reading its standard output for at most `limit`;
// keeps that output in `output` where one is given.
inline TToolRun RunCli(const std::vector<std::string>& args, std::chrono::steady_clock::duration limit,
                       std::string* output = nullptr)
{
    using Clock = std::chrono::steady_clock;
    TToolRun run;
    std::vector<std::string> all = {simtest::ExecutableFolder() + "/ksv27-vorn-cli"};
    all.insert(all.end(), args.begin(), args.end());
    const auto start = Clock::now();
    pid_t pid = -1;
    int outFd = -1;
    if (simtest::SpawnWithOutputPipe(all, pid, outFd) != 0) return run;
    std::string text;
    simtest::ReadPipeUntil(outFd, Clock::now() + limit, text);
    ::close(outFd);
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.WallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.CpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.PeakKiB = usage.ru_maxrss;
    if (output) *output = std::move(text);
    return run;
}

} // namespace ksv::bench
