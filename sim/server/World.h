// The running state of the simulated crate system: the scenario, which
// connection holds which module, each module's configuration and
// acquisition, and the faults in force. Every connection thread calls in
// here; one mutex guards it all.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Protocol.h"
#include "Scenario.h"

namespace ksv::sim {

using Clock = std::chrono::steady_clock;

// What the connection thread does with a request.
struct Action {
    // Hangup: the client has gone; close without a word of its own.
    enum Kind {
        Reply,
        Drop,
        Silent,
        Hangup
    } What = Reply;
    int32_t Status = 0;
    uint32_t Flags = 0;
    std::vector<uint8_t> Body;
};

// The words of frame k, channel c, of one module.
void GenerateWords(const std::array<MezzanineSpec, 8>& mezzanines, uint8_t divisor, uint64_t firstWord,
                   uint32_t count, std::vector<uint8_t>& out);

class World {
public:
    explicit World(Scenario scenario);

    // Each connection is known by an id; its fd is kept so that a drop or
    // a shutdown can wake its thread.
    uint64_t Register(int fd);
    // Forgets the connection and releases the module it held. Returns a
    // line for the log when it left while an acquisition ran, else "".
    std::string Unregister(uint64_t id);
    void Shutdown();
    bool Stopping();
    size_t Connections();

    Action Handle(uint64_t connection, uint16_t op, Reader& payload);
    // Runs a control command; the reply text starts with "ok" or "error:".
    std::string Control(std::string_view command);

private:
    struct Runtime {
        uint64_t Holder = 0;
        bool Running = false;
        Clock::time_point T0{};
        uint64_t FirstFrame = 0; // the module clock's frame number of the start's first frame
        uint64_t Consumed = 0;   // words handed out since the start
        uint64_t Served = 0;     // words handed out since the server started
        uint8_t Divisor = 0;
        std::array<std::array<double, 4>, 8> Applied{};
        bool ProcessOnceDue = false;
    };
    struct ConnState {
        int Fd = -1;
        int Crate = -1; // index of the module held, or -1
        int Slot = -1;  // 0-based
        bool DropRequested = false;
    };
    using Lock = std::unique_lock<std::mutex>;

    int FindCrate(std::string_view serial) const;
    Runtime& RuntimeOf(int crate, int slot) { return runtime_[{crate, slot}]; }
    ModuleSpec& SpecOf(int crate, int slot) { return *scenario_.Crates[crate].Slots[slot].Module; }
    // The fault of `op` in `table`, consumed when it is a one-shot.
    static Fault Strike(FaultTable& table, FaultOp op);
    uint32_t ProcessFlags(int crate, int slot);
    // The frame of the module's running clock that an acquisition started
    // at `start` begins with, at the frame period of `divisor`.
    uint64_t FirstFrameAt(Clock::time_point start, uint8_t divisor) const;
    void Release(ConnState& c);

    Action Open(Lock& lock, uint64_t id, Reader& in);
    Action ModuleRequest(Lock& lock, uint64_t id, Op op, Reader& in);
    Action Recv(Lock& lock, uint64_t id, ConnState& c, uint32_t words, uint32_t waitMs, FaultMode mode);
    std::string Status();

    std::mutex mu_;
    std::condition_variable wake_;
    Scenario scenario_;
    const Clock::time_point started_ = Clock::now();
    std::map<std::pair<int, int>, Runtime> runtime_;
    std::map<uint64_t, ConnState> connections_;
    uint64_t nextId_ = 1;
    bool stopping_ = false;
};

} // namespace ksv::sim
