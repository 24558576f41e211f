// DNS-SD announcements of `serve` through the host's avahi-daemon: one
// service name, any number of service types (each with its port), one TXT
// record for all. Renamed on a name conflict, withdrawn when the announcer
// goes. Without a daemon it says so in one line and does nothing more.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ksv::dnssd {

struct TService {
    std::string Type; // "_scpi-raw._tcp"
    std::uint16_t Port = 0;
};

class TServiceAnnouncer {
public:
    // `txt`: "key=value" entries.
    TServiceAnnouncer(std::string name, std::vector<std::string> txt);
    ~TServiceAnnouncer();
    TServiceAnnouncer(const TServiceAnnouncer&) = delete;
    TServiceAnnouncer& operator=(const TServiceAnnouncer&) = delete;

    // Before Start.
    void Add(TService service);
    // Connects to the daemon and publishes (again whenever the daemon
    // restarts). False, with one line on standard error, without a daemon.
    bool Start();

    struct TState;

private:
    std::unique_ptr<TState> state_;
};

} // namespace ksv::dnssd
