// The module's running clock: successive acquisitions see the signals move
// on, the same frame always carries the same samples, and "per-start"
// repeats every cycle. Drives the server's state directly, without sockets.
#include <gtest/gtest.h>

#include <algorithm>

#include "Protocol.h"
#include "Scenario.h"
#include "World.h"

namespace ksv::sim {
namespace {

constexpr uint32_t kFrames = 20;

std::string ScenarioWithClock(const std::string& clock)
{
    return R"({"clock": )" + clock + R"(, "crates": [{"serial": "A", "slots": [{"slot": 1, "mezzanines": [
        {"name": "U10", "channels": [{"dc": 1, "noise": 0.5, "seed": 9}, {"amplitude": 2, "frequency": 7}]}]}]}]})";
}

std::vector<uint8_t> Request(World& world, uint64_t id, Op op, const Writer& body = {})
{
    Reader in(body.Bytes());
    Action a = world.Handle(id, static_cast<uint16_t>(op), in);
    EXPECT_EQ(a.What, Action::Reply);
    EXPECT_EQ(a.Status, 0);
    return a.Body;
}

// The words of the first kFrames frames of one start.
std::vector<uint8_t> OneCycle(World& world, uint64_t id)
{
    Request(world, id, Op::Start);
    Writer recv;
    recv.U32(kFrames * 16);
    recv.U32(2000);
    std::vector<uint8_t> body = Request(world, id, Op::Recv, recv);
    Request(world, id, Op::Stop);
    EXPECT_EQ(body.size(), 4 + kFrames * 16 * 4);
    return {body.begin() + std::min<size_t>(4, body.size()), body.end()};
}

// The frame of the module's clock that `words` begin with, searched in
// [from, from + span); -1 when none matches.
int64_t FrameOf(const std::vector<uint8_t>& words, const MezzanineSpec& fitted, uint64_t from, uint64_t span)
{
    std::array<MezzanineSpec, 8> mz{};
    mz[0] = fitted;
    for (uint64_t n = from; n < from + span; ++n) {
        std::vector<uint8_t> expected;
        GenerateWords(mz, 0, n * 16, kFrames * 16, expected);
        if (expected == words) return static_cast<int64_t>(n);
    }
    return -1;
}

struct Opened {
    explicit Opened(const std::string& clock) : world(ParseScenario(ScenarioWithClock(clock)))
    {
        id = world.Register(-1);
        Writer open;
        open.Str("A");
        open.I32(1);
        Request(world, id, Op::Open, open);
    }
    World world;
    uint64_t id = 0;
};

TEST(ModuleClock, CyclesMoveOnAndEachFrameKeepsItsSamples)
{
    Opened m("1000");
    const MezzanineSpec fitted = ParseScenario(ScenarioWithClock("1000")).Crates[0].Slots[0].Module->Mezzanines[0];
    const std::vector<uint8_t> first = OneCycle(m.world, m.id);
    const std::vector<uint8_t> second = OneCycle(m.world, m.id);
    EXPECT_NE(first, second) << "fresh noise and a sine that moved on";
    // The clock read 1000 s at the server's start: the first start is at
    // frame one million and a little, the second after its 20 frames.
    const int64_t n1 = FrameOf(first, fitted, 1'000'000, 5000);
    ASSERT_GE(n1, 0) << "the first cycle is the signal of its clock frames";
    EXPECT_GE(FrameOf(second, fitted, static_cast<uint64_t>(n1) + kFrames, 5000), 0);
}

TEST(ModuleClock, PerStartRepeatsEveryCycle)
{
    Opened m(R"("per-start")");
    const std::vector<uint8_t> first = OneCycle(m.world, m.id);
    EXPECT_EQ(first, OneCycle(m.world, m.id));
    const MezzanineSpec fitted =
        ParseScenario(ScenarioWithClock(R"("per-start")")).Crates[0].Slots[0].Module->Mezzanines[0];
    EXPECT_EQ(FrameOf(first, fitted, 0, 1), 0);

    for (const char* bad : {R"("running")", "-1", "2e9", "[1]"}) {
        EXPECT_THROW(ParseScenario(ScenarioWithClock(bad)), ScenarioError) << bad;
    }
}

} // namespace
} // namespace ksv::sim
