// One VXI-11 link of the server: its session, the message being written,
// lines held while the session holds (*WAI), answers not yet read, and the
// one call of the link that may be parked. For the server's sources only.
#pragma once

#include <asio/steady_timer.hpp>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Vxi11Server.h"
#include "scpi/ScpiSession.h"

namespace ksv::vxi11 {

struct TVxi11Server::TWaiter {
    std::function<bool()> Attempt;        // true once the call is answered
    std::function<void(long error)> Fail; // answers the call with an error
    long TimeoutError = 0;
    std::unique_ptr<asio::steady_timer> Timer;
};

struct TVxi11Server::TLink {
    int Id = 0;
    int Connection = 0; // of the core channel that made it
    std::string Peer;
    std::unique_ptr<scpi::TScpiSession> Session;
    std::string Input;                            // the message being written, up to its END
    bool Overlong = false;                        // the message passed kMaxLine: dropped at its END
    std::deque<std::optional<std::string>> Lines; // complete (none: too long), held while the session holds
    std::string Output;                           // answers not read yet
    std::shared_ptr<TWaiter> Waiter;
};

} // namespace ksv::vxi11
