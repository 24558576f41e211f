// Faults of the scenario and of the control command, and a server that is
// killed or frozen while a module measures.
#include <future>
#include <thread>

#include "SimFixture.h"

namespace ksv::simtest {
namespace {

using Faults = SimTest;

// Runs `call` on a thread of its own: its status, and how long it took.
template <class Call> auto TimedAsync(Call call)
{
    return std::async(std::launch::async, [call] {
        auto t0 = Clock::now();
        int32_t rc = call();
        return std::make_pair(rc, MsSince(t0));
    });
}

TEST_F(Faults, CrateListAndSlotQuery)
{
    Serve();
    KsvCrateConnection c;
    ASSERT_NO_FATAL_FAILURE(OpenConnection(c));
    KsvCrateList list;
    uint16_t modules[KSV_MAX_SLOTS];
    std::strcpy(c.CrateSerial, "TC-1");

    Control("fault list=fail");
    EXPECT_LT(L.GetCrates(&c, list), 0);
    EXPECT_EQ(list[0][0], '\0') << "a failed listing lists nothing";
    EXPECT_LT(L.GetCrates(&c, list), 0) << "persistent";
    EXPECT_EQ(L.GetCrateModules(&c, modules), 0) << "only the listing fails";
    Control("fault list=fail:once");
    EXPECT_LT(L.GetCrates(&c, list), 0);
    EXPECT_EQ(L.GetCrates(&c, list), 0) << "one-shot";

    Control("fault crate=TC-1 slots=fail");
    EXPECT_LT(L.GetCrateModules(&c, modules), 0);
    for (uint16_t id : modules) EXPECT_EQ(id, 0);
    std::strcpy(c.CrateSerial, "TC-2");
    EXPECT_EQ(L.GetCrateModules(&c, modules), 0) << "another crate answers";
    Control("clear crate=TC-1");
    std::strcpy(c.CrateSerial, "TC-1");
    EXPECT_EQ(L.GetCrateModules(&c, modules), 0);

    // A dropped connection fails every call until it is opened anew.
    Control("fault list=drop:once");
    EXPECT_LT(L.GetCrates(&c, list), 0);
    EXPECT_LT(L.GetCrateModules(&c, modules), 0);
    ASSERT_EQ(L.Open(&c), 0);
    EXPECT_EQ(L.GetCrates(&c, list), 0);
    L.Close(&c);
}

TEST_F(Faults, FromTheScenario)
{
    Serve(R"({"faults": {"list": "fail:once"}, "crates": [
      {"serial": "F1", "faults": {"slots": "fail"}, "slots": [
        {"slot": 1, "faults": {"open": "fail:once", "getconfig": "fail", "processdata": "fail"}}]}]})");
    KsvCrateConnection c;
    ASSERT_NO_FATAL_FAILURE(OpenConnection(c));
    KsvCrateList list;
    uint16_t modules[KSV_MAX_SLOTS];
    EXPECT_LT(L.GetCrates(&c, list), 0);
    EXPECT_EQ(L.GetCrates(&c, list), 0);
    std::strcpy(c.CrateSerial, "F1");
    EXPECT_LT(L.GetCrateModules(&c, modules), 0);
    L.Close(&c);

    Ksv27ModuleRecord r;
    EXPECT_LT(OpenModule(r, "F1", 1), 0);
    EXPECT_NE(L.IsOpened(&r), 0) << "a refused open leaves the record closed";
    ASSERT_EQ(OpenModule(r, "F1", 1), 0);
    EXPECT_LT(L.GetConfig(&r), 0);
    EXPECT_LT(L.GetConfig(&r), 0);
    EXPECT_EQ(L.GetDescription(&r, KSV27_DESCRIPTION_MASK), 0);
    uint32_t raw = 0;
    double value = 0;
    uint32_t count = 1;
    EXPECT_LT(L.ProcessData(&r, &raw, &value, &count, 1, 1), 0);
    L.ModClose(&r);
}

TEST_F(Faults, EachModuleOperationPersistentAndOneShot)
{
    Serve();
    Ksv27ModuleRecord r;
    ASSERT_EQ(OpenModule(r), 0);
    ASSERT_EQ(L.GetConfig(&r), 0);
    struct Case {
        const char* Op;
        std::function<int32_t()> Call;
    };
    const std::vector<Case> cases = {
        {"getconfig", [&] { return L.GetConfig(&r); }},
        {"getdescription", [&] { return L.GetDescription(&r, KSV27_DESCRIPTION_MASK); }},
        {"setconfig", [&] { return L.SetConfig(&r); }},
        {"start", [&] { return L.Start(&r); }},
        {"stop", [&] { return L.Stop(&r); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Op);
        Control(std::string("fault crate=TC-1 slot=2 ") + c.Op + "=fail");
        EXPECT_LT(c.Call(), 0);
        EXPECT_LT(c.Call(), 0);
        Control(std::string("fault crate=TC-1 slot=2 ") + c.Op + "=fail:once");
        EXPECT_LT(c.Call(), 0);
        EXPECT_EQ(c.Call(), 0);
        if (std::string(c.Op) == "start") {
            ASSERT_EQ(L.Stop(&r), 0);
        }
    }
    // Dropping at an operation cuts the connection: the record reads as not
    // open, and the module is free for another client.
    Control("fault crate=TC-1 slot=2 getdescription=drop");
    EXPECT_LT(L.GetDescription(&r, KSV27_DESCRIPTION_MASK), 0);
    EXPECT_NE(L.IsOpened(&r), 0);
    EXPECT_LT(L.GetConfig(&r), 0);
    L.ModClose(&r);
    Ksv27ModuleRecord other;
    EXPECT_EQ(OpenModule(other), 0);
    L.ModClose(&other);

    Control("fault crate=TC-1 slot=2 open=fail");
    EXPECT_LT(OpenModule(other), 0);
    Control("clear");
    EXPECT_EQ(OpenModule(other), 0);
    L.ModClose(&other);
}

TEST_F(Faults, RecvErrorZeroShortStall)
{
    Serve();
    Ksv27ModuleRecord r;
    ASSERT_NO_FATAL_FAILURE(OpenAndStart(r, 0));
    std::vector<uint32_t> buf(16 * 200);
    StreamOrder stream;

    Control("fault crate=TC-1 slot=2 recv=error:once");
    EXPECT_LT(L.Recv(&r, buf.data(), nullptr, 160, 2000), 0);
    int32_t n = L.Recv(&r, buf.data(), nullptr, 160, 2000);
    EXPECT_EQ(n, 160);
    stream.Check(buf.data(), n);

    Control("fault crate=TC-1 slot=2 recv=zero");
    auto t0 = Clock::now();
    EXPECT_EQ(L.Recv(&r, buf.data(), nullptr, 160, 2000), 0);
    EXPECT_EQ(L.Recv(&r, buf.data(), nullptr, 160, 2000), 0);
    EXPECT_LT(MsSince(t0), 1000) << "zero words come back at once";

    Control("fault crate=TC-1 slot=2 recv=short:once");
    t0 = Clock::now();
    n = L.Recv(&r, buf.data(), nullptr, 1600, 3000);
    EXPECT_GT(n, 0);
    EXPECT_LT(n, 1600);
    EXPECT_EQ(n % 16, 0);
    EXPECT_LT(MsSince(t0), 1500) << "a short count comes back before the time-out";
    stream.Check(buf.data(), n);

    Control("fault crate=TC-1 slot=2 recv=stall:once");
    t0 = Clock::now();
    n = L.Recv(&r, buf.data(), nullptr, 160, 400);
    double ms = MsSince(t0);
    EXPECT_GE(n, 0);
    EXPECT_LT(n, 160);
    EXPECT_GE(ms, 380);
    EXPECT_LT(ms, 1400) << "a stalled server costs the time-out and no more";
    stream.Check(buf.data(), n);
    // After the stall the stream goes on where it was.
    n = L.Recv(&r, buf.data(), nullptr, 160, 2000);
    EXPECT_EQ(n, 160);
    stream.Check(buf.data(), n);

    Control("fault crate=TC-1 slot=2 recv=error");
    EXPECT_LT(L.Recv(&r, buf.data(), nullptr, 16, 500), 0);
    EXPECT_LT(L.Recv(&r, buf.data(), nullptr, 16, 500), 0);
    Control("fault crate=TC-1 slot=2 recv=drop");
    EXPECT_LT(L.Recv(&r, buf.data(), nullptr, 16, 500), 0);
    EXPECT_NE(L.IsOpened(&r), 0);
    L.ModClose(&r);
}

TEST_F(Faults, ProcessDataFails)
{
    Serve();
    Ksv27ModuleRecord r;
    ASSERT_NO_FATAL_FAILURE(OpenAndStart(r, 0));
    std::vector<uint32_t> words = Acquire(r, 4);
    std::vector<double> values(words.size());
    uint32_t count = static_cast<uint32_t>(words.size());
    auto process = [&] { return L.ProcessData(&r, words.data(), values.data(), &count, 1, 1); };
    EXPECT_EQ(process(), 0);

    // The fault reaches the library with the next answer of the server.
    Control("fault crate=TC-1 slot=2 processdata=fail:once");
    words = Acquire(r, 4);
    EXPECT_LT(process(), 0);
    EXPECT_EQ(process(), 0) << "one-shot";
    EXPECT_EQ(count, words.size());

    Control("fault crate=TC-1 slot=2 processdata=fail");
    words = Acquire(r, 4);
    EXPECT_LT(process(), 0);
    EXPECT_LT(process(), 0);
    Control("fault crate=TC-1 slot=2 processdata=off");
    words = Acquire(r, 4);
    EXPECT_EQ(process(), 0);
    L.ModClose(&r);
}

TEST_F(Faults, DropCommandEndsAWaitingRecv)
{
    Serve();
    Ksv27ModuleRecord r;
    ASSERT_NO_FATAL_FAILURE(OpenAndStart(r, 199));
    std::vector<uint32_t> buf(16 * 1000);
    auto t0 = Clock::now();
    auto pending = std::async(std::launch::async, [&] { return L.Recv(&r, buf.data(), nullptr, 16 * 1000, 5000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Control("drop crate=TC-1 slot=2");
    int32_t n = pending.get();
    EXPECT_LT(MsSince(t0), 3000);
    EXPECT_LT(n, 16 * 1000);
    EXPECT_NE(L.IsOpened(&r), 0);
    EXPECT_LT(L.Recv(&r, buf.data(), nullptr, 16, 100), 0);
    L.ModClose(&r);
    std::string reply;
    EXPECT_FALSE(server.Control("drop crate=TC-1 slot=2", &reply)) << "nothing left to drop";
}

TEST_F(Faults, KilledServerFailsEveryCallQuickly)
{
    Serve();
    KsvCrateConnection c;
    ASSERT_NO_FATAL_FAILURE(OpenConnection(c));
    Ksv27ModuleRecord r;
    ASSERT_NO_FATAL_FAILURE(OpenAndStart(r, 0));
    Acquire(r, 10);
    std::vector<uint32_t> buf(16 * 1000);
    auto pending = std::async(std::launch::async, [&] { return L.Recv(&r, buf.data(), nullptr, 16 * 1000, 5000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto t0 = Clock::now();
    server.Kill();
    int32_t n = pending.get();
    EXPECT_LT(MsSince(t0), 2000) << "a lost connection ends the wait";
    EXPECT_LT(n, 16 * 1000);
    t0 = Clock::now();
    EXPECT_LT(L.Recv(&r, buf.data(), nullptr, 16, 5000), 0);
    EXPECT_LT(L.GetConfig(&r), 0);
    EXPECT_LT(L.Stop(&r), 0);
    KsvCrateList list;
    EXPECT_LT(L.GetCrates(&c, list), 0);
    EXPECT_NE(L.IsOpened(&r), 0);
    Ksv27ModuleRecord again;
    EXPECT_LT(OpenModule(again), 0);
    EXPECT_LT(MsSince(t0), 1000);
    L.ModClose(&r);
    L.Close(&c);
}

TEST_F(Faults, FrozenServerCostsTheTimeOutsAndRecovers)
{
    Serve();
    KsvCrateConnection c;
    ASSERT_NO_FATAL_FAILURE(OpenConnection(c));
    Ksv27ModuleRecord r;
    ASSERT_NO_FATAL_FAILURE(OpenAndStart(r, 0));
    std::vector<uint32_t> buf(16 * 1000);
    StreamOrder stream;
    int32_t n = L.Recv(&r, buf.data(), nullptr, 160, 2000);
    ASSERT_EQ(n, 160);
    stream.Check(buf.data(), n);

    server.Freeze();
    auto t0 = Clock::now();
    n = L.Recv(&r, buf.data(), nullptr, 16 * 1000, 500);
    double ms = MsSince(t0);
    EXPECT_GE(n, 0);
    EXPECT_LT(n, 16 * 1000);
    EXPECT_GE(ms, 480);
    EXPECT_LT(ms, 1500);
    stream.Check(buf.data(), n);
    // The other calls give up after their fixed time-out, at the same time.
    auto config = TimedAsync([&] { return L.GetConfig(&r); });
    auto crates = TimedAsync([&] {
        KsvCrateList list;
        return L.GetCrates(&c, list);
    });
    for (auto* f : {&config, &crates}) {
        auto [rc, took] = f->get();
        EXPECT_LT(rc, 0);
        EXPECT_GE(took, 2500);
        EXPECT_LT(took, 5000);
    }

    // Thawed, it answers again; late answers are recognised and the
    // stream has no gap.
    server.Thaw();
    n = L.Recv(&r, buf.data(), nullptr, 1600, 3000);
    EXPECT_EQ(n, 1600);
    stream.Check(buf.data(), n);
    EXPECT_EQ(L.GetConfig(&r), 0);
    EXPECT_STREQ(r.ModuleSerial, "27T-0001");
    KsvCrateList list;
    EXPECT_EQ(L.GetCrates(&c, list), 0);
    EXPECT_STREQ(list[0], "TC-1");
    EXPECT_EQ(L.Stop(&r), 0);
    L.ModClose(&r);
    L.Close(&c);
}

} // namespace
} // namespace ksv::simtest
