// The server as a process: its rate, its port, its command line, and how it
// stands up to clients that misbehave.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <fstream>
#include <thread>

#include "Protocol.h"
#include "Scenario.h"
#include "SimFixture.h"

namespace ksv::simtest {
namespace {

using Server = SimTest;

int RawConnect(uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void SendBytes(int fd, const std::vector<uint8_t>& bytes)
{
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

// Reads until the server closes the connection or `ms` pass; the bytes read.
std::vector<uint8_t> ReadUntilClosed(int fd, int ms, bool* closed)
{
    std::vector<uint8_t> got;
    *closed = false;
    auto t0 = Clock::now();
    while (MsSince(t0) < ms) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        uint8_t buf[4096];
        ssize_t k = ::recv(fd, buf, sizeof buf, 0);
        if (k <= 0) {
            *closed = true;
            break;
        }
        got.insert(got.end(), buf, buf + k);
    }
    return got;
}

std::vector<uint8_t> Request(sim::Op op, uint32_t seq, const sim::Writer& w = {})
{
    return sim::MakeFrame(static_cast<uint16_t>(op), seq, w.Bytes());
}

// Words per second over about two seconds at 1000 Hz, fitted by least
// squares over the arrival times of 50 ms blocks, so that a late wake-up of
// this test on a loaded machine does not count as rate.
TEST_F(Server, DataRateIsSixteenWordsPerFramePerSecond)
{
    Serve();
    Ksv27ModuleRecord r;
    ASSERT_NO_FATAL_FAILURE(OpenAndStart(r, 0));
    std::vector<uint32_t> block(800);
    ASSERT_EQ(L.Recv(&r, block.data(), nullptr, 800, 5000), 800);
    std::vector<double> t, w;
    const auto t0 = Clock::now();
    double total = 0;
    while (MsSince(t0) < 2000) {
        int32_t n = L.Recv(&r, block.data(), nullptr, 800, 5000);
        ASSERT_EQ(n, 800);
        total += n;
        t.push_back(MsSince(t0) / 1000.0);
        w.push_back(total);
    }
    ASSERT_GE(t.size(), 20u);
    double mt = 0, mw = 0;
    for (size_t i = 0; i < t.size(); ++i) mt += t[i], mw += w[i];
    mt /= t.size();
    mw /= t.size();
    double num = 0, den = 0;
    for (size_t i = 0; i < t.size(); ++i) num += (t[i] - mt) * (w[i] - mw), den += (t[i] - mt) * (t[i] - mt);
    const double rate = num / den;
    RecordProperty("words_per_second", std::to_string(rate));
    std::printf("measured %.1f words/s (expected 16000)\n", rate);
    EXPECT_NEAR(rate, 16000.0, 16000.0 * 0.02);

    // Production goes on while nobody reads: after a pause the backlog is
    // all there at once.
    ASSERT_EQ(L.Stop(&r), 0);
    ASSERT_EQ(L.Start(&r), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    std::vector<uint32_t> backlog(16 * 500);
    auto t1 = Clock::now();
    EXPECT_EQ(L.Recv(&r, backlog.data(), nullptr, static_cast<uint32_t>(backlog.size()), 5000), 16 * 500);
    EXPECT_LT(MsSince(t1), 300) << "the frames of the pause were produced during the pause";
    L.ModClose(&r);
}

TEST_F(Server, SlowRatesKeepTheirPeriod)
{
    Serve();
    Ksv27ModuleRecord r;
    ASSERT_NO_FATAL_FAILURE(OpenAndStart(r, 49)); // 20 Hz
    auto t0 = Clock::now();
    std::vector<uint32_t> words = Acquire(r, 10);
    double ms = MsSince(t0);
    EXPECT_GE(ms, 450) << "ten frames at 20 Hz take half a second";
    EXPECT_LT(ms, 1500);
    L.ModClose(&r);
}

TEST_F(Server, SurvivesGarbageOversizedAndTruncatedRequests)
{
    Serve();
    bool closed = false;
    {
        int fd = RawConnect(server.Port());
        ASSERT_GE(fd, 0);
        SendBytes(fd, std::vector<uint8_t>(100, 0xA5));
        ReadUntilClosed(fd, 3000, &closed);
        EXPECT_TRUE(closed) << "garbage ends the connection";
        ::close(fd);
    }
    {
        int fd = RawConnect(server.Port());
        std::vector<uint8_t> frame = sim::MakeFrame(static_cast<uint16_t>(sim::Op::ListCrates), 1, {});
        frame[12] = 0x00, frame[13] = 0x00, frame[14] = 0x00, frame[15] = 0x10; // 256 MiB payload
        SendBytes(fd, frame);
        ReadUntilClosed(fd, 3000, &closed);
        EXPECT_TRUE(closed) << "an oversized request ends the connection";
        ::close(fd);
    }
    {
        // An unknown request and a too-short payload get an error answer;
        // the connection stays usable.
        int fd = RawConnect(server.Port());
        SendBytes(fd, sim::MakeFrame(0x77, 5, {}));
        SendBytes(fd, Request(sim::Op::Open, 6));
        SendBytes(fd, Request(sim::Op::ListCrates, 7));
        std::vector<uint8_t> got = ReadUntilClosed(fd, 500, &closed);
        EXPECT_FALSE(closed);
        std::vector<uint32_t> seqs;
        std::vector<int32_t> statuses;
        for (size_t at = 0; at + sim::kHeaderSize <= got.size();) {
            sim::FrameHeader h = sim::DecodeHeader(got.data() + at);
            sim::Reader rd(got.data() + at + sim::kHeaderSize, h.Length);
            seqs.push_back(h.Seq);
            statuses.push_back(rd.I32());
            at += sim::kHeaderSize + h.Length;
        }
        EXPECT_EQ(seqs, (std::vector<uint32_t>{5, 6, 7}));
        ASSERT_EQ(statuses.size(), 3u);
        EXPECT_LT(statuses[0], 0);
        EXPECT_LT(statuses[1], 0);
        EXPECT_EQ(statuses[2], 0);
        // Half a header, then gone.
        SendBytes(fd, std::vector<uint8_t>(sim::kHeaderSize / 2, 0x4B));
        ::close(fd);
    }
    KsvCrateConnection c;
    ASSERT_NO_FATAL_FAILURE(OpenConnection(c));
    KsvCrateList list;
    EXPECT_EQ(L.GetCrates(&c, list), 0) << "still serving";
    L.Close(&c);
}

TEST_F(Server, SurvivesManyConnectionsAndClientsLeavingMidStream)
{
    Serve();
    for (int i = 0; i < 300; ++i) {
        int fd = RawConnect(server.Port());
        ASSERT_GE(fd, 0) << "cycle " << i;
        ::close(fd);
    }
    for (int i = 0; i < 100; ++i) {
        KsvCrateConnection c;
        L.Init(&c);
        ASSERT_EQ(L.Open(&c), 0) << "cycle " << i;
        KsvCrateList list;
        ASSERT_EQ(L.GetCrates(&c, list), 0) << "cycle " << i;
        L.Close(&c);
    }
    // A client opens the module, starts it and vanishes while answers flow.
    for (int i = 0; i < 5; ++i) {
        int fd = RawConnect(server.Port());
        sim::Writer open;
        open.Str("TC-1");
        open.I32(2);
        SendBytes(fd, Request(sim::Op::Open, 1, open));
        SendBytes(fd, Request(sim::Op::Start, 2));
        sim::Writer recv;
        recv.U32(65536);
        recv.U32(2000);
        for (uint32_t s = 3; s < 8; ++s) SendBytes(fd, Request(sim::Op::Recv, s, recv));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        ::close(fd);
    }
    // The module is released: it opens again within a moment.
    Ksv27ModuleRecord r;
    int32_t rc = -1;
    for (int i = 0; i < 100 && rc != 0; ++i) {
        rc = OpenModule(r);
        if (rc != 0) std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    ASSERT_EQ(rc, 0);
    std::string status;
    EXPECT_TRUE(server.Control("status", &status));
    EXPECT_NE(status.find("connections=2"), std::string::npos) << status; // the module's and the command's
    L.ModClose(&r);
}

TEST_F(Server, ControlCommandsAreCheckedAndChangeSignals)
{
    Serve();
    std::string reply;
    EXPECT_TRUE(server.Control("ping", &reply));
    EXPECT_FALSE(server.Control("fault crate=TC-1 slot=2 recv=sometimes", &reply));
    EXPECT_NE(reply.find("error:"), std::string::npos);
    EXPECT_FALSE(server.Control("fault crate=TC-1 recv=fail", &reply)) << "recv belongs to a module";
    EXPECT_FALSE(server.Control("fault crate=NOPE slots=fail", &reply));
    EXPECT_FALSE(server.Control("fault crate=TC-1 slot=3 open=fail", &reply)) << "slot 3 is foreign";
    EXPECT_FALSE(server.Control("fault crate=TC-1 slot=2 processdata=drop", &reply));
    EXPECT_FALSE(server.Control("explode", &reply));
    EXPECT_FALSE(server.Control("", &reply));

    Control("signal crate=TC-1 slot=2 channel=12 dc=-7.25");
    Ksv27ModuleRecord r;
    ASSERT_NO_FATAL_FAILURE(OpenAndStart(r, 0));
    std::vector<double> mean = ChannelMeans(r, Acquire(r, 20));
    EXPECT_NEAR(mean[12], -7.25, 1e-5);
    EXPECT_NEAR(mean[13], -15.5, 1e-5);
    L.ModClose(&r);

    EXPECT_NE(RunAndCapture({DefaultServerPath(), "--port", "1", "--control", "ping"}), 0)
        << "no server there: a nonzero exit";
}

TEST_F(Server, RefusesATakenPort)
{
    Serve();
    SimServerProcess second;
    EXPECT_FALSE(second.Start("", server.Port()));
    std::string out;
    std::string cmd = DefaultServerPath() + " --port " + std::to_string(server.Port()) + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[512] = {};
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    int status = pclose(p);
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(out.find("already in use"), std::string::npos) << out;
}

// Runs the server on a scenario file; its exit status and what it said.
int RunWithScenario(const std::string& text, std::string& said)
{
    char name[] = "/tmp/ksv-sim-bad-XXXXXX.json";
    int fd = ::mkstemps(name, 5);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
    std::string cmd = DefaultServerPath() + " --port 0 --check --config " + name + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    said.clear();
    char buf[512];
    while (p && std::fgets(buf, sizeof buf, p)) said += buf;
    int status = p ? pclose(p) : -1;
    ::unlink(name);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Server, MalformedScenarioGivesOneLineAndNonzeroExit)
{
    const std::pair<const char*, const char*> cases[] = {
        {"{\"crates\": [", "not valid JSON"},
        {"[1,2]", "must be a JSON object"},
        {R"({"crates": [{"serial": 5}]})", "crates[0].serial"},
        {R"({"crates": [{"serial": "A", "slots": [{"slot": 99}]}]})", "crates[0].slots[0].slot"},
        {R"({"crates": [{"serial": "A", "slots": [{"slot": 1, "mezzanines": [{"name": "U10", "coefs": [0, 0, 0, 1]}]}]}]})", "scale"},
        {R"({"crates": [{"serial": "A", "slots": [{"slot": 1, "faults": {"recv": "sometimes"}}]}]})", "recv"},
        {R"({"crates": [{"serial": "A", "faults": {"recv": "stall"}}]})", "belongs to a KSV27 slot"},
        {R"({"crates": [{"serial": "SAME-FIRST-15-CHARS-1"}, {"serial": "SAME-FIRST-15-CHARS-2"}]})", "15 characters"},
        {R"({"crates": [{"serial": "A", "slots": [{"slot": 1, "firmware": "1.2.300.4"}]}]})", "firmware"},
        {"", "not valid JSON"},
    };
    for (const auto& [text, mention] : cases) {
        std::string said;
        EXPECT_NE(RunWithScenario(text, said), 0) << text;
        EXPECT_NE(said.find(mention), std::string::npos) << text << " -> " << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
    std::string said;
    EXPECT_NE(RunAndCapture({DefaultServerPath(), "--config", "/nonexistent/scenario.json"}), 0);
    EXPECT_EQ(RunWithScenario(R"({"crates": [{"serial": "A", "colour": "red"}]})", said), 0) << said;
    EXPECT_NE(said.find("unknown key"), std::string::npos) << "an unknown key is only a warning";
}

TEST_F(Server, PrintedDemoIsAValidScenarioAndIsWhatItServes)
{
    std::string demo;
    ASSERT_EQ(RunAndCapture({DefaultServerPath(), "--print-demo"}, &demo), 0);
    EXPECT_EQ(demo, std::string(sim::DemoScenarioJson()));
    std::string said;
    EXPECT_EQ(RunWithScenario(demo, said), 0) << said;

    ASSERT_TRUE(server.Start()) << server.Error();
    server.ExportPort();
    KsvCrateConnection c;
    ASSERT_NO_FATAL_FAILURE(OpenConnection(c));
    KsvCrateList list;
    ASSERT_EQ(L.GetCrates(&c, list), 0);
    EXPECT_STREQ(list[0], "KSV-C-0001");
    EXPECT_STREQ(list[1], "KSV-C-0002");
    L.Close(&c);
    // The demo's description coefficients give its levels exactly.
    Ksv27ModuleRecord r;
    ASSERT_EQ(OpenModule(r, "KSV-C-0001", 1), 0);
    Configure(r, 0, true);
    ASSERT_EQ(L.Start(&r), 0);
    std::vector<double> mean = ChannelMeans(r, Acquire(r, 10));
    const double levels[14] = {0.125, 0.25, 2.5, -3.75, 12.0, -15.5, 4.096, 10.25, 1.25, 4.0, 7.5, -2.5, 47.0, 0.47};
    for (int ch = 0; ch < 14; ++ch) EXPECT_NEAR(mean[ch], levels[ch], 1e-5) << "channel " << ch;
    L.ModClose(&r);
}

// A server whose starter died (an aborted test) stops by itself: the shell
// that starts it here exits after half a second, and the output pipe closes
// only once the server has gone too.
TEST(Orphan, ServerStopsWhenItsParentHasGone)
{
    std::string out;
    auto t0 = Clock::now();
    int rc = RunAndCapture({"/bin/sh", "-c", "\"$0\" --port 0 --parent $$ 2>&1 & sleep 0.5", DefaultServerPath()}, &out, 8000);
    EXPECT_EQ(rc, 0);
    EXPECT_LT(MsSince(t0), 5000) << out;
    EXPECT_NE(out.find("listening on"), std::string::npos) << out;
    EXPECT_NE(out.find("has gone; stopping"), std::string::npos) << out;
}

// The real program always uses port 11111; this is registered with a ctest
// resource lock so that no other test holds the port meanwhile.
TEST(DefaultPort, ServerAndLibrariesMeetOn11111WithoutOverride)
{
    int probe = RawConnect(KSV_SERVER_PORT);
    if (probe >= 0) {
        ::close(probe);
        GTEST_SKIP() << "something already listens on 11111";
    }
    SimServerProcess server;
    ASSERT_TRUE(server.Start("", KSV_SERVER_PORT)) << server.Error();
    EXPECT_EQ(server.Port(), KSV_SERVER_PORT);
    ::unsetenv("KSV_SIM_PORT");
    const SimLibraries& L = SimLibraries::Get();
    KsvCrateConnection c;
    L.Init(&c);
    EXPECT_EQ(c.Port, KSV_SERVER_PORT);
    ASSERT_EQ(L.Open(&c), 0);
    KsvCrateList list;
    EXPECT_EQ(L.GetCrates(&c, list), 0);
    L.Close(&c);
    Ksv27ModuleRecord r{};
    EXPECT_EQ(L.ModOpen(&r, KSV_SERVER_ADDRESS, KSV_SERVER_PORT, "KSV-C-0001", 1), 0);
    L.ModClose(&r);
    EXPECT_EQ(server.Stop(), 0);
}

} // namespace
} // namespace ksv::simtest
