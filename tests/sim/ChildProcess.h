// Starts a child process of a test or bench that dies with it: the kernel
// sends the child SIGKILL when the starting process ends, however it ends
// (a failed check, a sanitizer's abort, ctest's time-out), so no server a
// test started, running or held stopped with SIGSTOP, outlives the test.
// Header-only, Linux.
#pragma once

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace ksv::simtest {

// Descriptors the child gets as its standard output and error; -1 keeps the
// parent's. They are the caller's to close after the start.
struct TChildOutput {
    int Out = -1;
    int Err = -1;
};

namespace detail {

// In the child after fork: only async-signal-safe calls from here on.
[[noreturn]] inline void ExecChild(char* const* argv, TChildOutput output, pid_t parent, int report)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    int error = 0;
    if (::getppid() != parent) ::_exit(127); // the parent is already gone
    if ((output.Out >= 0 && ::dup2(output.Out, STDOUT_FILENO) < 0) ||
        (output.Err >= 0 && ::dup2(output.Err, STDERR_FILENO) < 0)) {
        error = errno;
    } else {
        ::execvp(argv[0], argv);
        error = errno;
    }
    [[maybe_unused]] const ssize_t told = ::write(report, &error, sizeof error);
    ::_exit(127);
}

} // namespace detail

// Starts `args` (the program first; a name without a slash is looked up on
// PATH). 0 with `pid` set, or the error number of what failed (the program
// could not be run, as posix_spawn reports it) with `pid` -1.
inline int SpawnChild(const std::vector<std::string>& args, TChildOutput output, pid_t& pid)
{
    pid = -1;
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // The child writes its errno here when exec fails; a successful exec
    // closes the pipe (O_CLOEXEC) and the parent reads nothing.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return errno;
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) detail::ExecChild(argv.data(), output, parent, report[1]);
    const int forkError = child < 0 ? errno : 0;
    ::close(report[1]);
    int error = forkError;
    if (child > 0) {
        ssize_t n;
        while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
        }
        if (n != static_cast<ssize_t>(sizeof error)) error = 0;
        if (error != 0) {
            while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
    ::close(report[0]);
    if (error == 0) pid = child;
    return error;
}

} // namespace ksv::simtest
