// ksv-crate-server: the simulated crate server. Plays the crates of a JSON
// scenario (or the built-in demo) on 127.0.0.1, and with --control sends a
// command to a server that runs.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include "Client.h"
#include "Scenario.h"
#include "Server.h"
#include "World.h"

#include "ksvapi.h"

using namespace ksv::sim;

namespace {

int gStopPipe[2] = {-1, -1};

// A harness may die without stopping the server, even while it holds the
// server stopped (SIGSTOP) to test a frozen crate. The kernel then sends the
// server SIGCONT, which wakes a stopped server (and is harmless to a running
// one), so the --parent watch of the serving loop sees the parent gone and
// stops the server: it never outlives the harness holding its output open.
void WakeWhenParentDies()
{
#if defined(__linux__)
    ::prctl(PR_SET_PDEATHSIG, SIGCONT);
#endif
}

void OnStopSignal(int)
{
    const char b = 1;
    ssize_t ignored = ::write(gStopPipe[1], &b, 1);
    (void)ignored;
}

constexpr const char kUsage[] =
    "usage: ksv-crate-server [--port N] [--config FILE] [--verbose]\n"
    "       ksv-crate-server [--port N] --control 'COMMAND'\n"
    "       ksv-crate-server --print-demo\n"
    "       ksv-crate-server --config FILE --check\n"
    "  --parent PID  stop when process PID, the parent, has gone (for test harnesses)\n"
    "\n"
    "Serves the crates of a scenario (without --config: the built-in demo) on\n"
    "127.0.0.1, port 11111 unless --port says otherwise; --port 0 takes a free\n"
    "port. The first line on standard output tells the port. SIGTERM or SIGINT\n"
    "stops the server. --control sends COMMAND to the server on that port and\n"
    "prints its answer ('--control help' lists the commands).\n";

int Usage(const char* problem)
{
    std::fprintf(stderr, "ksv-crate-server: %s\n%s", problem, kUsage);
    return 2;
}

bool ParsePort(const char* text, uint16_t& port)
{
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || !*text || *end != '\0' || v < 0 || v > 65535) return false;
    port = static_cast<uint16_t>(v);
    return true;
}

int RunControl(uint16_t port, const std::string& command)
{
    Connection conn;
    if (conn.Connect(KSV_SERVER_ADDRESS, port, DeadlineIn(kCallTimeoutMs)) != kOk) {
        std::fprintf(stderr, "ksv-crate-server: no crate server answers on 127.0.0.1:%u\n", port);
        return 2;
    }
    Writer w;
    w.Str(command);
    Reply reply;
    int32_t rc = conn.Call(Op::Control, w.Bytes(), DeadlineIn(kCallTimeoutMs), reply);
    if (rc != kOk) {
        std::fprintf(stderr, "ksv-crate-server: the control command got no answer: %s\n", StatusText(rc));
        return 2;
    }
    Reader r(reply.Body);
    std::string text = r.Str(kMaxReplyPayload);
    std::printf("%s\n", text.c_str());
    return reply.Status == kOk ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    uint16_t port = KSV_SERVER_PORT;
    std::string configPath;
    std::string control;
    bool haveControl = false, printDemo = false, check = false, verbose = false;
    pid_t parent = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) return nullptr;
            (void)what;
            return argv[++i];
        };
        if (a == "--port") {
            const char* v = value("port");
            if (!v || !ParsePort(v, port)) return Usage("--port needs a number 0..65535");
        } else if (a == "--config") {
            const char* v = value("config");
            if (!v) return Usage("--config needs a file");
            configPath = v;
        } else if (a == "--control") {
            const char* v = value("control");
            if (!v) return Usage("--control needs a command");
            control = v;
            haveControl = true;
        } else if (a == "--parent") {
            // Used by test harnesses: stop when that process has gone, so an
            // aborted test leaves no server behind.
            const char* v = value("parent");
            char* end = nullptr;
            long pid = v ? std::strtol(v, &end, 10) : 0;
            if (!v || *end != '\0' || pid <= 1) return Usage("--parent needs a process id");
            parent = static_cast<pid_t>(pid);
        } else if (a == "--print-demo") {
            printDemo = true;
        } else if (a == "--check") {
            check = true;
        } else if (a == "--verbose") {
            verbose = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            return Usage(("unknown argument \"" + a + "\"").c_str());
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    if (parent) WakeWhenParentDies();

    if (printDemo) {
        std::fwrite(DemoScenarioJson().data(), 1, DemoScenarioJson().size(), stdout);
        return 0;
    }
    if (haveControl) return RunControl(port == 0 ? KSV_SERVER_PORT : port, control);

    std::string text(DemoScenarioJson());
    std::string source = "demo";
    if (!configPath.empty()) {
        std::ifstream in(configPath, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "ksv-crate-server: cannot read scenario %s: %s\n", configPath.c_str(),
                         std::strerror(errno));
            return 1;
        }
        std::ostringstream buf;
        buf << in.rdbuf();
        text = buf.str();
        source = configPath;
    }
    Scenario scenario;
    try {
        std::vector<std::string> warnings;
        scenario = ParseScenario(text, &warnings);
        for (const auto& w : warnings) std::fprintf(stderr, "ksv-crate-server: scenario %s: warning: %s\n", source.c_str(), w.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ksv-crate-server: scenario %s: %s\n", source.c_str(), e.what());
        return 1;
    }
    if (check) {
        std::printf("ksv-crate-server: scenario %s is valid (%zu crates)\n", source.c_str(), scenario.Crates.size());
        return 0;
    }

    if (::pipe2(gStopPipe, O_CLOEXEC) != 0) {
        std::perror("ksv-crate-server: pipe");
        return 1;
    }
    uint16_t bound = 0;
    std::string error;
    int listenFd = Listen(port, bound, error);
    if (listenFd < 0) {
        std::fprintf(stderr, "ksv-crate-server: %s\n", error.c_str());
        return 3;
    }
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    const size_t crates = scenario.Crates.size();
    World world(std::move(scenario));
    std::printf("ksv-crate-server: listening on 127.0.0.1:%u (scenario %s, %zu crates)\n", bound, source.c_str(), crates);
    std::fflush(stdout);

    if (parent && ::getppid() != parent) {
        std::fprintf(stderr, "ksv-crate-server: process %d, which started this server, has gone\n", int(parent));
        return 1;
    }
    Serve(world, listenFd, gStopPipe[0], verbose, parent);
    ::close(listenFd);
    ::close(gStopPipe[0]);
    ::close(gStopPipe[1]);
    return 0;
}
