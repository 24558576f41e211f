// Starts and stops a ksv-crate-server process for a test, header-only.
//
//   ksv::simtest::SimServerProcess server;
//   ASSERT_TRUE(server.Start(json)) << server.Error();   // or Start(json, 11111)
//   server.ExportPort();                  // KSV_SIM_PORT for the libraries
//   server.Control("fault crate=C1 slot=2 recv=stall");
//   ...
//   EXPECT_EQ(server.Stop(), 0);          // 0: the server exited cleanly
//
// By default the server is the ksv-crate-server beside the test executable
// (the build puts it there) and listens on a free port. A test of the real
// program, which always uses port 11111, passes Port = 11111; such tests
// should share the ctest RESOURCE_LOCK "ksv_port_11111".
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <limits.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ChildProcess.h"

namespace ksv::simtest {

// The folder of the running executable.
inline std::string ExecutableFolder()
{
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string s(path, static_cast<size_t>(n));
    auto slash = s.rfind('/');
    return slash == std::string::npos ? "." : s.substr(0, slash);
}

inline std::string DefaultServerPath() { return ExecutableFolder() + "/ksv-crate-server"; }

struct SimServerOptions {
    std::string ScenarioJson;           // empty: the built-in demo
    uint16_t Port = 0;                  // 0: a free port
    std::string ServerPath;             // empty: DefaultServerPath()
    std::vector<std::string> ExtraArgs; // e.g. {"--verbose"}
    int StartTimeoutMs = 10000;
};

// Appends what the pipe `fd` gives to `text` until the pipe ends, `enough`
// says so, or `deadline` passes; false when the deadline came first.
inline bool ReadPipeUntil(int fd, std::chrono::steady_clock::time_point deadline, std::string& text,
                          const std::function<bool(const std::string&)>& enough = {})
{
    while (!(enough && enough(text))) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r == 0 || (r < 0 && errno == EINTR)) continue;
        if (r < 0) return true;
        char buf[4096];
        const ssize_t k = ::read(fd, buf, sizeof buf);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return true;
        text.append(buf, static_cast<size_t>(k));
    }
    return true;
}

// Starts `args` (the program's path first) with its standard output going
// into a pipe whose reading end comes back in `outFd`; it dies with the
// caller. 0, or the error number of what failed; `pid` is -1 then and no
// descriptor is left open.
inline int SpawnWithOutputPipe(const std::vector<std::string>& args, pid_t& pid, int& outFd)
{
    pid = -1;
    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0) return errno;
    const int rc = SpawnChild(args, {pipefd[1], -1}, pid);
    ::close(pipefd[1]);
    if (rc != 0) {
        ::close(pipefd[0]);
        return rc;
    }
    outFd = pipefd[0];
    return 0;
}

// Runs `argv` and returns its exit status (-1 if it could not run or was
// killed); standard output goes to `out` when given.
inline int RunAndCapture(const std::vector<std::string>& args, std::string* out = nullptr, int timeoutMs = 10000)
{
    pid_t pid = -1;
    int outFd = -1;
    if (SpawnWithOutputPipe(args, pid, outFd) != 0) return -1;
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!ReadPipeUntil(outFd, deadline, text)) ::kill(pid, SIGKILL);
    ::close(outFd);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SimServerProcess {
public:
    SimServerProcess() = default;
    ~SimServerProcess() { Stop(); }
    SimServerProcess(const SimServerProcess&) = delete;
    SimServerProcess& operator=(const SimServerProcess&) = delete;

    // Starts the server on `scenarioJson` (empty: the demo) and `port` (0: a
    // free one).
    bool Start(const std::string& scenarioJson, uint16_t port = 0)
    {
        SimServerOptions options;
        options.ScenarioJson = scenarioJson;
        options.Port = port;
        return Start(options);
    }

    // Starts the server and waits until it listens. false, with Error(),
    // when it did not come up (bad scenario, port taken, ...).
    bool Start(const SimServerOptions& options = SimServerOptions())
    {
        Stop();
        error_.clear();
        serverPath_ = options.ServerPath.empty() ? DefaultServerPath() : options.ServerPath;
        // --parent: should this process die without stopping it, the server
        // stops by itself instead of holding the port and the test's output.
        std::vector<std::string> args = {serverPath_, "--port", std::to_string(options.Port), "--parent",
                                         std::to_string(::getpid())};
        if (!options.ScenarioJson.empty()) {
            char name[] = "/tmp/ksv-sim-scenario-XXXXXX.json";
            int fd = ::mkstemps(name, 5);
            if (fd < 0) return Fail("cannot create a scenario file");
            scenarioFile_ = name;
            const std::string& j = options.ScenarioJson;
            bool ok = ::write(fd, j.data(), j.size()) == static_cast<ssize_t>(j.size());
            ::close(fd);
            if (!ok) return Fail("cannot write the scenario file");
            args.push_back("--config");
            args.push_back(scenarioFile_);
        }
        for (const auto& a : options.ExtraArgs) args.push_back(a);

        int outFd = -1;
        if (int rc = SpawnWithOutputPipe(args, pid_, outFd); rc != 0)
            return Fail("cannot start " + serverPath_ + ": " + std::strerror(rc));
        // The first line tells the port: "... listening on 127.0.0.1:PORT ...".
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.StartTimeoutMs);
        ReadPipeUntil(outFd, deadline, line,
                      [](const std::string& text) { return text.find('\n') != std::string::npos; });
        // Nothing else comes on standard output; the server ignores SIGPIPE.
        ::close(outFd);
        auto at = line.find("127.0.0.1:");
        if (at == std::string::npos) {
            int status = Stop();
            return Fail("the server did not come up (exit status " + std::to_string(status) + ")");
        }
        port_ = static_cast<uint16_t>(std::atoi(line.c_str() + at + 10));
        return true;
    }

    bool Running() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    uint16_t Port() const { return port_; }
    const std::string& Error() const { return error_; }

    // Makes the libraries in this process talk to this server.
    void ExportPort() const { ::setenv("KSV_SIM_PORT", std::to_string(port_).c_str(), 1); }

    // Sends a control command; true when the server answered "ok ...".
    bool Control(const std::string& command, std::string* reply = nullptr) const
    {
        if (pid_ <= 0) return false;
        std::string out;
        int rc = RunAndCapture({serverPath_, "--port", std::to_string(port_), "--control", command}, &out);
        if (reply) *reply = out;
        return rc == 0;
    }

    void Freeze() const
    {
        if (pid_ > 0) ::kill(pid_, SIGSTOP);
    }
    void Thaw() const
    {
        if (pid_ > 0) ::kill(pid_, SIGCONT);
    }
    // SIGKILL, and reaps the process.
    void Kill()
    {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        Reap(0);
        Forget();
    }

    // SIGTERM, waits up to `timeoutMs` (then SIGKILL). Returns the exit
    // status: 0 for a clean exit, -1 when it had to be killed or none ran.
    int Stop(int timeoutMs = 10000)
    {
        if (pid_ <= 0) {
            Forget();
            return -1;
        }
        ::kill(pid_, SIGCONT);
        ::kill(pid_, SIGTERM);
        int status = Reap(timeoutMs);
        Forget();
        return status;
    }

private:
    bool Fail(const std::string& why)
    {
        error_ = why;
        return false;
    }

    int Reap(int timeoutMs)
    {
        int status = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) break;
            if (r < 0 && errno != EINTR) return -1;
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(pid_, SIGKILL);
                while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
                }
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void Forget()
    {
        pid_ = -1;
        if (!scenarioFile_.empty()) ::unlink(scenarioFile_.c_str());
        scenarioFile_.clear();
    }

    pid_t pid_ = -1;
    uint16_t port_ = 0;
    std::string serverPath_;
    std::string scenarioFile_;
    std::string error_;
};

} // namespace ksv::simtest
