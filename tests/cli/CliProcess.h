// Runs ksv27-vorn-cli (beside the test executable) as a child process with
// its standard output and error captured, optionally sending it signals once
// its output shows a given text. Header-only, POSIX.
#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "SimServerProcess.h"

namespace ksv::clitest {

struct TCliRun {
    int Status = -1; // exit status; -1 when killed by a signal or not started
    std::string Out, Err;
    double Seconds = 0; // from the start to the exit
};

struct TSignalPlan {
    std::string After; // send once standard output holds this text ("" : at once)
    int Signal = 0;    // 0: none
    int Repeat = 1;    // how many times, ...
    int GapMs = 300;   // ... this far apart,
    int DelayMs = 0;   // the first this long after the start
};

inline std::string CliPath() { return ksv::simtest::ExecutableFolder() + "/ksv27-vorn-cli"; }

class TCliProcess {
public:
    // Runs the tool with `args`; kills it when it is not done in `timeoutMs`.
    static TCliRun Run(const std::vector<std::string>& args, const TSignalPlan& plan = {}, int timeoutMs = 30000)
    {
        TCliProcess p;
        return p.Go(args, plan, timeoutMs);
    }

private:
    TCliRun Go(const std::vector<std::string>& args, const TSignalPlan& plan, int timeoutMs)
    {
        TCliRun run;
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return run;
        std::vector<std::string> all = {CliPath()};
        all.insert(all.end(), args.begin(), args.end());
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = -1;
        const int rc = simtest::SpawnChild(all, {out[1], err[1]}, pid);
        ::close(out[1]);
        ::close(err[1]);
        if (rc == 0) Pump(pid, out[0], err[0], run, plan, start, timeoutMs);
        ::close(out[0]);
        ::close(err[0]);
        if (rc != 0) return run;
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    // Reads both pipes to their end, sending the planned signals on the way.
    static void Pump(pid_t pid, int outFd, int errFd, TCliRun& run, const TSignalPlan& plan,
                     std::chrono::steady_clock::time_point start, int timeoutMs)
    {
        auto deadline = start + std::chrono::milliseconds(timeoutMs);
        const auto earliest = start + std::chrono::milliseconds(plan.DelayMs);
        int sent = 0;
        auto nextSignal = std::chrono::steady_clock::time_point::max();
        bool outOpen = true, errOpen = true;
        while (outOpen || errOpen) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                ::kill(pid, SIGKILL);
                deadline = std::chrono::steady_clock::time_point::max();
            }
            if (plan.Signal && sent == 0 && now >= earliest && run.Out.find(plan.After) != std::string::npos)
                nextSignal = now;
            if (plan.Signal && sent < plan.Repeat && now >= nextSignal) {
                ::kill(pid, plan.Signal);
                ++sent;
                nextSignal = now + std::chrono::milliseconds(plan.GapMs);
            }
            pollfd fds[2] = {{outOpen ? outFd : -1, POLLIN, 0}, {errOpen ? errFd : -1, POLLIN, 0}};
            if (::poll(fds, 2, 20) <= 0) continue;
            outOpen = Drain(fds[0], run.Out) && outOpen;
            errOpen = Drain(fds[1], run.Err) && errOpen;
        }
    }

    // False once the pipe has ended.
    static bool Drain(const pollfd& p, std::string& text)
    {
        if (p.fd < 0) return false;
        if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) return true;
        char buf[4096];
        const ssize_t n = ::read(p.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) return true;
        if (n <= 0) return false;
        text.append(buf, static_cast<std::size_t>(n));
        return true;
    }
};

} // namespace ksv::clitest
