// ksv27-vorn-cli --mqtt end to end: the real tool against the simulated
// crate server, publishing to a real broker (mosquitto) read by a real
// subscriber (mosquitto_sub with a persistent session at QoS 1).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "CliProcess.h"
#include "MqttBroker.h"
#include "SimServerProcess.h"

namespace {

using namespace ksv::mqtttest;

// A crate whose serial is no safe topic level, and a module of two mezzanines.
const char* const kScenario = R"({
  "crates": [ { "serial": "MQ/1", "slots": [
    { "slot": 3, "serial": "27M-0003", "firmware": "3.2.1.0", "mezzanines": [
      { "name": "U10", "channels": [ { "dc": 2.5 }, { "dc": -1.25 } ] },
      { "name": "R100", "channels": [ { "dc": 47.0 }, { "dc": 0.47 } ] } ] } ] } ]
})";
const std::string kBase = "ksv27/MQ_1/3/";

// A SCPI client of `serve` on loopback `port`; -1 when it cannot connect.
int ConnectScpi(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

void SendScpi(int fd, const std::string& text)
{
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::send(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
}

class MqttTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Start(kScenario)) << server.Error();
        server.ExportPort();
        ASSERT_TRUE(broker.Start());
        ASSERT_TRUE(subscriber.Start("ksv27/#"));
    }

    // The tool in the background with --mqtt to the broker.
    void StartTool(TBackground& tool, std::vector<std::string> args)
    {
        args.insert(args.begin(), {ksv::clitest::CliPath(), "measure", "--rate", "100", "--time", "0.1", "--format",
                                   "json", "--mqtt", broker.Url()});
        ASSERT_TRUE(tool.Start(args, broker.Dir() / "tool.out", broker.Dir() / "tool.err"));
    }

    // The cycle numbers of the cycle messages, in order of first arrival.
    std::vector<int> FirstArrivals() const
    {
        std::vector<int> cycles;
        std::set<int> seen;
        for (const std::string& payload : subscriber.Payloads(kBase + "cycle")) {
            const int cycle = nlohmann::json::parse(payload)["cycle"].get<int>();
            if (seen.insert(cycle).second) cycles.push_back(cycle);
        }
        return cycles;
    }

    static std::vector<int> Range(int first, int last)
    {
        std::vector<int> range;
        for (int i = first; i <= last; ++i) range.push_back(i);
        return range;
    }

    std::vector<nlohmann::json> Statuses() const
    {
        std::vector<nlohmann::json> statuses;
        for (const std::string& payload : subscriber.Payloads(kBase + "status"))
            statuses.push_back(nlohmann::json::parse(payload));
        return statuses;
    }

    ksv::simtest::SimServerProcess server;
    TBroker broker{"ksv-mqtt-test"};
    TSubscriber subscriber{broker, "ksv-test-sub"};
};

TEST_F(MqttTest, CyclesCarryTheKnownLevelsAndTheStatusFollowsTheToolsLife)
{
    TBackground tool;
    StartTool(tool, {});
    ASSERT_TRUE(WaitFor([&] { return subscriber.Payloads(kBase + "cycle").size() >= 3; }, 20000)) << tool.Err();
    ASSERT_FALSE(Statuses().empty());
    const nlohmann::json online = Statuses().back();
    EXPECT_EQ(online["state"], "online");
    EXPECT_EQ(online["crate"], "MQ/1");
    EXPECT_EQ(online["module"], "27M-0003");
    EXPECT_EQ(online["rate_hz"], 100);
    tool.Signal(SIGTERM);
    EXPECT_EQ(tool.Wait(15000), 143) << tool.Err();
    ASSERT_TRUE(WaitFor([&] { return Statuses().back()["state"] == "offline"; }, 5000));
    EXPECT_TRUE(Statuses().back().contains("time")) << "said by the tool itself";

    const nlohmann::json cycle = nlohmann::json::parse(subscriber.Payloads(kBase + "cycle").back());
    const auto& channels = cycle["channels"];
    ASSERT_EQ(channels.size(), 4u) << cycle;
    EXPECT_EQ(channels[0]["mezzanine"], "U10");
    EXPECT_EQ(channels[0]["unit"], "mV");
    EXPECT_DOUBLE_EQ(channels[1]["value"].get<double>(), -1250.0);
    EXPECT_DOUBLE_EQ(channels[2]["value"].get<double>(), 47.0);
    EXPECT_TRUE(channels[3]["value"].is_null());
    EXPECT_EQ(channels[3]["unit"], channels[2]["unit"]) << "a channel without a value keeps its unit";
    const std::string ch1 = subscriber.Payloads(kBase + "ch1").back();
    EXPECT_NE(ch1.find("\"channel\":1,\"value\":2500.000,\"unit\":\"mV\"}"), std::string::npos) << ch1;
    EXPECT_EQ(nlohmann::json::parse(ch1)["time"], nlohmann::json::parse(subscriber.Payloads(kBase + "cycle").back())["time"]);
    EXPECT_NE(subscriber.Payloads(kBase + "ch3").back().find("\"value\":47.000,"), std::string::npos);
    EXPECT_TRUE(subscriber.Payloads(kBase + "ch4").empty()) << "no value, no message";
    const std::vector<int> cycles = FirstArrivals();
    EXPECT_EQ(cycles, Range(0, static_cast<int>(cycles.size()) - 1));

    // Killed outright: the broker says offline through the last will.
    TBackground killed;
    StartTool(killed, {});
    ASSERT_TRUE(WaitFor([&] { return Statuses().back()["state"] == "online"; }, 20000)) << killed.Err();
    killed.Signal(SIGKILL);
    killed.Wait(5000);
    ASSERT_TRUE(WaitFor([&] { return Statuses().back()["state"] == "offline"; }, 10000));
    EXPECT_FALSE(Statuses().back().contains("time")) << "the will";
}

TEST_F(MqttTest, BrokerAwayForFiveSecondsLosesNoCycle)
{
    TBackground tool;
    StartTool(tool, {"--cycles", "100", "--mqtt-flush", "20"});
    ASSERT_TRUE(WaitFor([&] { return subscriber.Payloads(kBase + "cycle").size() >= 5; }, 20000)) << tool.Err();
    broker.Stop();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    ASSERT_TRUE(broker.Start());
    ASSERT_EQ(tool.Wait(60000), 0) << tool.Err();
    ASSERT_TRUE(WaitFor([&] { return FirstArrivals().size() >= 100; }, 20000)) << FirstArrivals().size();
    EXPECT_EQ(FirstArrivals(), Range(0, 99));
    EXPECT_NE(tool.Err().find("mqtt: lost the broker"), std::string::npos) << tool.Err();
}

TEST_F(MqttTest, AFullQueueDropsExactlyTheOldestAndSaysHowMany)
{
    broker.Stop();
    TBackground tool;
    StartTool(tool, {"--cycles", "8", "--mqtt-queue", "3", "--mqtt-flush", "30"});
    ASSERT_TRUE(WaitFor([&] { return tool.Out().find("\"cycle\":7") != std::string::npos; }, 20000)) << tool.Err();
    ASSERT_TRUE(broker.Start());
    ASSERT_EQ(tool.Wait(40000), 0) << tool.Err();
    ASSERT_TRUE(WaitFor([&] { return FirstArrivals().size() >= 3; }, 10000));
    EXPECT_EQ(FirstArrivals(), Range(5, 7));
    EXPECT_NE(tool.Err().find("dropped the 5 oldest"), std::string::npos) << tool.Err();
    EXPECT_NE(tool.Err().find("3 cycles published, 5 dropped"), std::string::npos) << tool.Err();

    // A queue of one with the broker there: every cycle is counted once.
    const ksv::clitest::TCliRun run = ksv::clitest::TCliProcess::Run(
        {"measure", "--cycles", "400", "--rate", "1000", "--time", "0.005", "--format", "csv", "--mqtt", broker.Url(),
         "--mqtt-queue", "1", "--mqtt-bare-values"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    std::smatch counts;
    const std::regex line(R"(mqtt: (\d+) cycles? published(, (\d+) dropped)?(, (\d+) not sent)?)");
    ASSERT_TRUE(std::regex_search(run.Err, counts, line)) << run.Err;
    const auto number = [&](int i) { return counts[i].matched ? std::stoi(counts[i]) : 0; };
    EXPECT_EQ(number(1) + number(3) + number(5), 400) << run.Err;
}

TEST_F(MqttTest, RefusedCredentialsAtTheFirstConnectionHaveTheirOwnStatus)
{
    broker.Stop();
    ASSERT_TRUE(broker.Start("bench", "right"));
    const auto credentials = broker.Dir() / "credentials";
    std::ofstream(credentials) << "bench\nwrong\n";
    const ksv::clitest::TCliRun refused = ksv::clitest::TCliProcess::Run(
        {"measure", "--cycles", "50", "--time", "0.1", "--rate", "100", "--format", "json", "--mqtt", broker.Url(),
         "--mqtt-credentials", credentials.string()});
    EXPECT_EQ(refused.Status, 6) << refused.Err;
    EXPECT_NE(refused.Err.find("refused the user name or password"), std::string::npos) << refused.Err;

    std::ofstream(credentials) << "bench\nright\n";
    const ksv::clitest::TCliRun accepted = ksv::clitest::TCliProcess::Run(
        {"measure", "--cycles", "1", "--mqtt", broker.Url(), "--mqtt-credentials", credentials.string()});
    EXPECT_EQ(accepted.Status, 0) << accepted.Err;
    EXPECT_NE(accepted.Err.find("1 cycle published"), std::string::npos) << accepted.Err;
}

TEST_F(MqttTest, PublishesOverTlsTrustingTheGivenCertificate)
{
    const auto key = broker.Dir() / "tls.key", certificate = broker.Dir() / "tls.crt";
    ASSERT_EQ(TBroker::RunQuiet({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                                 "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key.string(),
                                 "-out", certificate.string()}),
              0);
    std::filesystem::permissions(key, std::filesystem::perms::others_read, std::filesystem::perm_options::add);
    const std::string tlsPort = std::to_string(FreePort());
    broker.Stop();
    ASSERT_TRUE(broker.Start("", "",
                             "listener " + tlsPort + " 127.0.0.1\ncertfile " + certificate.string() + "\nkeyfile " +
                                 key.string() + '\n'));
    const ksv::clitest::TCliRun run = ksv::clitest::TCliProcess::Run(
        {"measure", "--cycles", "2", "--rate", "100", "--time", "0.1", "--mqtt", "mqtts://127.0.0.1:" + tlsPort,
         "--mqtt-ca", certificate.string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    ASSERT_TRUE(WaitFor([&] { return FirstArrivals().size() >= 2; }, 10000)) << run.Err;
    EXPECT_EQ(FirstArrivals(), Range(0, 1));

    // A failure names its reason: a CA that did not sign the broker's
    // certificate, a CA file that holds no certificate (refused at start).
    const auto otherKey = broker.Dir() / "other.key", other = broker.Dir() / "other.crt";
    ASSERT_EQ(TBroker::RunQuiet({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                 "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1", "-keyout", otherKey.string(), "-out",
                                 other.string()}),
              0);
    const ksv::clitest::TCliRun untrusted = ksv::clitest::TCliProcess::Run(
        {"measure", "--cycles", "1", "--mqtt", "mqtts://127.0.0.1:" + tlsPort, "--mqtt-ca", other.string(),
         "--mqtt-flush", "1"});
    EXPECT_NE(untrusted.Err.find("certificate refused: self-signed certificate"), std::string::npos) << untrusted.Err;
    const ksv::clitest::TCliRun notCertificate = ksv::clitest::TCliProcess::Run(
        {"measure", "--mqtt", "mqtts://127.0.0.1:" + tlsPort, "--mqtt-ca", otherKey.string()});
    EXPECT_EQ(notCertificate.Status, 2) << notCertificate.Err;
    EXPECT_NE(notCertificate.Err.find("holds no PEM certificate"), std::string::npos) << notCertificate.Err;
}

TEST(MqttOptions, OptionsOfThePublisherNeedItAndBadValuesAreNotEchoedRaw)
{
    for (const char* option : {"--mqtt-qos", "--mqtt-queue", "--mqtt-flush", "--mqtt-client-id"}) {
        const ksv::clitest::TCliRun run = ksv::clitest::TCliProcess::Run({"measure", option, "1"});
        EXPECT_EQ(run.Status, 2) << option;
        EXPECT_NE(run.Err.find("requires --mqtt"), std::string::npos) << run.Err;
    }
    const ksv::clitest::TCliRun control = ksv::clitest::TCliProcess::Run({"measure", "--mqtt", "mqtt://bro\x1b[2Jker"});
    EXPECT_EQ(control.Status, 2);
    EXPECT_EQ(control.Err.find('\x1b'), std::string::npos) << control.Err;
}

// A stock broker (its queue of 1000 messages per subscriber) frozen for 30 s
// at 100 cycles a second, and the persistent subscriber still busy for 1.5 s
// as the broker goes on: the catch-up is paced, so what the broker keeps for
// the subscriber meanwhile stays within its queue, and every cycle arrives.
// (Sent as fast as the broker takes them, some 800 of 2600 cycles were lost.)
TEST_F(MqttTest, StockBrokerFrozenHalfAMinuteLosesNothingAtAPersistentSubscriber)
{
    TBackground tool;
    ASSERT_TRUE(tool.Start({ksv::clitest::CliPath(), "measure", "--rate", "1000", "--time", "0.01", "--format", "csv",
                            "--mqtt", broker.Url(), "--mqtt-flush", "150"},
                           broker.Dir() / "tool.out", broker.Dir() / "tool.err"));
    ASSERT_TRUE(WaitFor([&] { return FirstArrivals().size() >= 5; }, 20000)) << tool.Err();
    broker.Freeze(true);
    std::this_thread::sleep_for(std::chrono::seconds(30));
    subscriber.Freeze(true);
    broker.Freeze(false);
    tool.Signal(SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    subscriber.Freeze(false);
    ASSERT_EQ(tool.Wait(200000), 143) << tool.Err();
    std::smatch published;
    const std::string err = tool.Err();
    ASSERT_TRUE(std::regex_search(err, published, std::regex(R"(mqtt: (\d+) cycles published\n)"))) << tool.Err();
    const int cycles = std::stoi(published[1]);
    EXPECT_GT(cycles, 1000) << "the cycles of the outage waited";
    ASSERT_TRUE(WaitFor([&] { return FirstArrivals().size() >= static_cast<std::size_t>(cycles); }, 30000))
        << FirstArrivals().size() << " of " << cycles;
    EXPECT_EQ(FirstArrivals(), Range(0, cycles - 1));
}

// serve: a measurement asked for over SCPI is published as measure publishes.
TEST_F(MqttTest, ServePublishesEachMeasurement)
{
    TBackground serve;
    ASSERT_TRUE(serve.Start({ksv::clitest::CliPath(), "serve", "--port", "0", "--mqtt", broker.Url()},
                            broker.Dir() / "serve.out", broker.Dir() / "serve.err"));
    ASSERT_TRUE(WaitFor([&] { return serve.Out().find('\n') != std::string::npos; }, 20000)) << serve.Err();
    const int fd = ConnectScpi(std::stoi(serve.Out()));
    SendScpi(fd, "RATE 100;APER 0.1;:TRIG:COUN 3;:INIT\n");
    ASSERT_TRUE(WaitFor([&] { return FirstArrivals().size() >= 3; }, 20000)) << serve.Err();
    ::close(fd);
    EXPECT_EQ(FirstArrivals(), Range(0, 2));
    EXPECT_EQ(Statuses().back()["rate_hz"], 100);
    serve.Signal(SIGTERM);
    EXPECT_EQ(serve.Wait(15000), 0) << serve.Err();
    ASSERT_TRUE(WaitFor([&] { return Statuses().back()["state"] == "offline"; }, 5000));
}

} // namespace

namespace {

const char* const kCrateScenario = R"({"crates": [ { "serial": "MQ2", "slots": [
  { "slot": 2, "mezzanines": [ { "name": "I20", "channels": [ { "dc": 4.0 }, { "dc": 20.0 } ] } ] },
  { "slot": 6, "mezzanines": [ { "name": "U10", "channels": [ { "dc": 1.0 } ] } ] } ] } ] })";

// Two modules of one crate (--slot all), from `measure` and from `serve`
// (a measurement asked for over SCPI): each under its own topics, both with
// the scan's one time, the channel file's label and scaling in the payload
// (with serve, also those a SCPI client set), and each module's status naming it.
TEST(MqttCrate, EveryModulePublishesUnderItsTopicsWithTheScansTime)
{
    for (const bool serve : {false, true}) {
        SCOPED_TRACE(serve ? "serve" : "measure");
        ksv::simtest::SimServerProcess server;
        ASSERT_TRUE(server.Start(kCrateScenario)) << server.Error();
        server.ExportPort();
        TBroker broker{"ksv-mqtt-crate"};
        ASSERT_TRUE(broker.Start());
        TSubscriber subscriber{broker, "ksv-test-crate"};
        ASSERT_TRUE(subscriber.Start("ksv27/#"));
        const auto channels = broker.Dir() / "channels.json";
        std::ofstream(channels) << R"({"channels": {"201": {"label": "P1", "gain": 625, "offset": -2.5, "unit": "bar"}}})";
        std::vector<std::string> args{ksv::clitest::CliPath(), "serve", "--port", "0", "--slot", "all",
                                      "--channels", channels.string(), "--mqtt", broker.Url()};
        if (!serve)
            args = {ksv::clitest::CliPath(), "measure", "--slot", "all", "--rate", "100", "--time", "0.1", "--cycles",
                    "2", "--format", "json", "--channels", channels.string(), "--mqtt", broker.Url()};
        TBackground tool;
        ASSERT_TRUE(tool.Start(args, broker.Dir() / "tool.out", broker.Dir() / "tool.err"));
        const auto cycles = [&](const char* slot) {
            return subscriber.Payloads(std::string("ksv27/MQ2/") + slot + "/cycle");
        };
        if (serve) {
            ASSERT_TRUE(WaitFor([&] { return tool.Out().find('\n') != std::string::npos; }, 20000)) << tool.Err();
            const int fd = ConnectScpi(std::stoi(tool.Out()));
            // A name and scaling a client sets are what the payloads carry.
            SendScpi(fd, "ROUT:CHAN:LAB \"Feed\",(@601);:CALC:SCAL:STAT ON,(@601)\n");
            SendScpi(fd, "RATE 100;APER 0.1;:TRIG:COUN 2;:INIT\n");
            ASSERT_TRUE(WaitFor([&] { return cycles("2").size() >= 2 && cycles("6").size() >= 2; }, 20000))
                << tool.Err();
            ::close(fd);
            tool.Signal(SIGTERM);
        }
        EXPECT_EQ(tool.Wait(30000), 0) << tool.Err();
        ASSERT_TRUE(WaitFor([&] { return cycles("2").size() >= 2 && cycles("6").size() >= 2; }, 10000));
        const nlohmann::json two = nlohmann::json::parse(cycles("2").back());
        const nlohmann::json six = nlohmann::json::parse(cycles("6").back());
        EXPECT_EQ(two["time"], six["time"]) << "one time per scan";
        EXPECT_EQ(two["channels"][0]["label"], "P1");
        EXPECT_EQ(two["channels"][0]["unit"], "bar");
        EXPECT_NEAR(two["channels"][0]["value"].get<double>(), 0.0, 1e-4);
        EXPECT_NEAR(two["channels"][0]["raw"].get<double>(), 4.0, 1e-4);
        if (serve) {
            EXPECT_EQ(six["channels"][0]["label"], "Feed");
            EXPECT_EQ(six["channels"][0]["unit"], "V");
            EXPECT_NEAR(six["channels"][0]["value"].get<double>(), 1.0, 1e-4);
        }
        EXPECT_EQ(nlohmann::json::parse(subscriber.Payloads("ksv27/MQ2/2/status").front())["slot"], 2);
        EXPECT_EQ(nlohmann::json::parse(subscriber.Payloads("ksv27/MQ2/6/status").front())["slot"], 6);
    }
}

} // namespace
