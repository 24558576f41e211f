// A real MQTT broker and clients for the publisher's tests, header-only,
// POSIX: `mosquitto` on a free 127.0.0.1 port with its persistence in a
// scratch folder (stopped and started again on the same port and folder),
// `mosquitto_sub` with a persistent session writing "topic payload" lines to
// a file, and any program run in the background with its output in files;
// every one of them dies with the test.
#pragma once

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <pwd.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ChildProcess.h"

namespace ksv::mqtttest {

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A port nobody listens on now.
inline int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// A program in the background, its standard output and error in files.
class TBackground {
public:
    TBackground() = default;
    TBackground(const TBackground&) = delete;
    TBackground& operator=(const TBackground&) = delete;
    ~TBackground()
    {
        Signal(SIGKILL);
        Wait(5000);
    }

    bool Start(const std::vector<std::string>& args, const std::filesystem::path& out,
               const std::filesystem::path& err)
    {
        out_ = out;
        err_ = err;
        const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
        const int outFd = ::open(out.c_str(), flags, 0644);
        const int errFd = ::open(err.c_str(), flags, 0644);
        const int rc = outFd >= 0 && errFd >= 0 ? simtest::SpawnChild(args, {outFd, errFd}, pid_) : errno;
        if (outFd >= 0) ::close(outFd);
        if (errFd >= 0) ::close(errFd);
        return rc == 0;
    }

    void Signal(int signal) const
    {
        if (pid_ > 0) ::kill(pid_, signal);
    }

    // The exit status; -1 when killed by a signal, or (after SIGKILL) when
    // it did not end within `timeoutMs`.
    int Wait(int timeoutMs)
    {
        if (pid_ <= 0) return -1;
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                pid_ = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Out() const { return ReadFile(out_); }
    std::string Err() const { return ReadFile(err_); }

private:
    pid_t pid_ = -1;
    std::filesystem::path out_, err_;
};

// Waits up to `timeoutMs` for `done`, polling.
template <class F>
bool WaitFor(F done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class TBroker {
public:
    // A scratch folder for the configuration, the persistence and the logs.
    explicit TBroker(const std::string& name)
        : dir_(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))), port_(FreePort())
    {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        // A broker started as root changes to its own user, which must be
        // able to write the persistence.
        std::filesystem::permissions(dir_, std::filesystem::perms::all);
    }
    ~TBroker()
    {
        process_.reset();
        std::filesystem::remove_all(dir_);
    }

    // Anonymous clients, or only `user` with `password` when given; `extra`
    // lines at the end of the configuration.
    bool Start(const std::string& user = "", const std::string& password = "", const std::string& extra = "")
    {
        std::ofstream config(dir_ / "broker.conf");
        // A broker started as root changes to its own user, and a change of
        // user makes the kernel forget that it should die with the test.
        const passwd* self = ::getpwuid(::geteuid());
        config << "listener " << port_ << " 127.0.0.1\npersistence true\npersistence_location " << dir_.string()
               << "/\nlog_dest stderr\n";
        if (self) config << "user " << self->pw_name << '\n';
        if (user.empty()) {
            config << "allow_anonymous true\n";
        } else {
            std::ofstream(dir_ / "passwords") << user << ':' << password << '\n';
            RunQuiet({"mosquitto_passwd", "-U", (dir_ / "passwords").string()});
            config << "allow_anonymous false\npassword_file " << (dir_ / "passwords").string() << '\n';
        }
        config << extra;
        config.close();
        process_ = std::make_unique<TBackground>();
        if (!process_->Start({"mosquitto", "-c", (dir_ / "broker.conf").string()}, dir_ / "broker.out",
                             dir_ / "broker.err"))
            return false;
        return WaitFor([&] { return ReadFile(dir_ / "broker.err").find("running") != std::string::npos; }, 10000);
    }

    // SIGTERM: the broker saves its sessions and ends.
    void Stop()
    {
        if (!process_) return;
        process_->Signal(SIGTERM);
        process_->Wait(10000);
        process_.reset();
        std::filesystem::remove(dir_ / "broker.err");
    }

    // SIGSTOP / SIGCONT: a broker that hangs, then goes on.
    void Freeze(bool frozen) const
    {
        if (process_) process_->Signal(frozen ? SIGSTOP : SIGCONT);
    }

    int Port() const { return port_; }
    std::string Url(const std::string& prefix = "") const
    {
        return "mqtt://127.0.0.1:" + std::to_string(port_) + (prefix.empty() ? "" : "/" + prefix);
    }
    const std::filesystem::path& Dir() const { return dir_; }

    static int RunQuiet(const std::vector<std::string>& args)
    {
        TBackground run;
        if (!run.Start(args, "/dev/null", "/dev/null")) return -1;
        return run.Wait(10000);
    }

private:
    std::filesystem::path dir_;
    int port_;
    std::unique_ptr<TBackground> process_;
};

// mosquitto_sub with a persistent session at QoS 1 on `filter`, "topic
// payload" per line into a file; Start returns once it is subscribed (a probe
// message has come through).
class TSubscriber {
public:
    TSubscriber(const TBroker& broker, std::string id) : broker_(broker), id_(std::move(id)) {}

    bool Start(const std::string& filter)
    {
        const std::string port = std::to_string(broker_.Port());
        if (!process_.Start({"mosquitto_sub", "-h", "127.0.0.1", "-p", port, "-c", "-i", id_, "-q", "1", "-v", "-t",
                             filter, "-t", "probe/" + id_},
                            broker_.Dir() / (id_ + ".out"), broker_.Dir() / (id_ + ".err")))
            return false;
        return WaitFor(
            [&] {
                TBroker::RunQuiet({"mosquitto_pub", "-h", "127.0.0.1", "-p", port, "-t", "probe/" + id_, "-m", "up"});
                return process_.Out().find("probe/" + id_ + " up") != std::string::npos;
            },
            10000);
    }

    // SIGSTOP / SIGCONT: a consumer busy with something else for a while.
    void Freeze(bool frozen) const { process_.Signal(frozen ? SIGSTOP : SIGCONT); }

    // The payloads received on `topic`, in order of arrival.
    std::vector<std::string> Payloads(const std::string& topic) const
    {
        std::vector<std::string> payloads;
        std::istringstream in(process_.Out());
        for (std::string line; std::getline(in, line);)
            if (line.rfind(topic + ' ', 0) == 0) payloads.push_back(line.substr(topic.size() + 1));
        return payloads;
    }

private:
    const TBroker& broker_;
    std::string id_;
    TBackground process_;
};

} // namespace ksv::mqtttest
