// mqtt_bench: what publishing costs and how fast it goes.
//
// 1. ksv27-vorn-cli against the simulated crate server (sixteen channels) at
//    1000 Hz with 0.1 s cycles and with the shortest the engine allows
//    (0.001 s), in three ways: records as JSON lines on standard output
//    ("plain"), the same with --mqtt to a mosquitto broker on 127.0.0.1 at
//    QoS 1 ("mqtt") and at QoS 0 ("mqtt qos0"), and records into a CSV file synced per cycle
//    ("csv file"). Each runs twice, for a few and for many more cycles; the
//    differences of CPU time (user + system) and wall time over the extra
//    cycles give the CPU per steady cycle and the cycles per second, start-up
//    and discovery dropping out. A subscriber counts the cycle messages that
//    reached the broker.
// 2. In this process: a publisher whose broker is away, fed the default
//    bound of cycles and a tenth more: the time of one Publish (what the
//    acquisition's thread pays) and the memory the full queue holds.
//
// Exit status 2 when the server, the broker or the tool failed, 1 when
// cycles did not all reach the broker.
#include <cstdio>
#include <string>
#include <vector>

#include "BenchScenario.h"
#include "BenchServer.h"
#include "MqttBroker.h"
#include "MqttPublisher.h"
#include "SimServerProcess.h"
#include "ToolRun.h"

namespace {

using namespace ksv::mqtttest;
using Clock = std::chrono::steady_clock;

using ksv::bench::TToolRun;

// Runs the tool, its standard output read and thrown away.
TToolRun RunTool(const std::vector<std::string>& args) { return ksv::bench::RunCli(args, std::chrono::minutes(5)); }

enum class TWay {
    Plain,
    Mqtt,
    MqttQos0,
    CsvFile
};
const char* const kWayNames[] = {"plain", "mqtt", "mqtt qos0", "csv file"};

std::vector<std::string> Args(double time, int cycles, TWay way, const TBroker& broker, const std::string& csv)
{
    std::vector<std::string> args = {"measure", "--crate", ksv::bench::kBenchCrate, "--slot", "1", "--rate", "1000",
                                     "--time", time < 0.01 ? "0.001" : "0.1", "--cycles", std::to_string(cycles)};
    if (way == TWay::CsvFile) {
        std::filesystem::remove(csv);
        args.insert(args.end(), {"--output", csv});
    } else {
        args.insert(args.end(), {"--format", "json"});
    }
    if (way == TWay::Mqtt || way == TWay::MqttQos0) args.insert(args.end(), {"--mqtt", broker.Url("bench")});
    if (way == TWay::MqttQos0) args.insert(args.end(), {"--mqtt-qos", "0"});
    return args;
}

std::size_t CountLines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

// The tool runs (1. above); false when a run failed.
bool ToolRuns(const TBroker& broker, bool& allArrived)
{
    std::printf("%8s %4s %-9s %12s %9s %10s %10s %9s\n", "time,s", "", "way", "cpu/cycle,ms", "added,ms",
                "cycles/s", "arrived", "peak,KiB");
    const std::string csv = (broker.Dir() / "bench.csv").string();
    for (const double time : {0.1, 0.001}) {
        const int few = time < 0.01 ? 200 : 3;
        const int many = time < 0.01 ? 3200 : 53;
        double plainCpu = 0;
        for (const TWay way : {TWay::Plain, TWay::Mqtt, TWay::MqttQos0, TWay::CsvFile}) {
            TBackground subscriber;
            if (way == TWay::Mqtt) {
                std::filesystem::remove(broker.Dir() / "sub.out");
                subscriber.Start({"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(broker.Port()), "-q",
                                  "1", "-t", "bench/+/+/cycle"},
                                 broker.Dir() / "sub.out", broker.Dir() / "sub.err");
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
            const TToolRun a = RunTool(Args(time, few, way, broker, csv));
            const TToolRun b = RunTool(Args(time, many, way, broker, csv));
            if (!a.Ok || !b.Ok) return false;
            const double extra = many - few;
            const double cpu = (b.CpuSeconds - a.CpuSeconds) / extra;
            if (way == TWay::Plain) plainCpu = cpu;
            std::string arrived = "";
            if (way == TWay::Mqtt) {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                const std::size_t count = CountLines(subscriber.Out());
                arrived = std::to_string(count) + "/" + std::to_string(few + many);
                allArrived = allArrived && count == static_cast<std::size_t>(few + many);
            }
            std::printf("%8.3f %4s %-9s %12.3f %9.3f %10.1f %10s %9ld\n", time, "", kWayNames[static_cast<int>(way)],
                        cpu * 1000.0, (cpu - plainCpu) * 1000.0, extra / (b.WallSeconds - a.WallSeconds),
                        arrived.c_str(), b.PeakKiB);
        }
    }
    std::filesystem::remove(csv);
    return true;
}

long ResidentKiB()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// The full queue (2. above).
void FullQueue()
{
    ksv::TCycleResult cycle;
    const char* names[8] = {"U10", "U20", "I5", "I10", "T", "R100", "U01", "I20"};
    for (int c = 0; c < ksv::kChannelCount; ++c) {
        ksv::TChannelResult& channel = cycle.Channels[static_cast<std::size_t>(c)];
        channel.Active = channel.Valid = true;
        channel.MezzanineName = names[c / 2];
        channel.Kind = ksv::MezzanineKindOf(channel.MezzanineName);
        channel.Unit = ksv::UnitOf(channel.Kind);
        channel.Text = c % 2 ? "-12345.678" : "2500.000";
    }
    ksv::cli::TMqttSettings settings;
    settings.Url.Host = "127.0.0.1";
    settings.Url.Port = FreePort(); // nobody listens: the broker is away
    settings.FlushSeconds = 0;
    ksv::TRunDescription run;
    run.CrateSerial = "KSV-B-0001";
    run.Slot = 1;
    const long before = ResidentKiB();
    ksv::cli::TMqttPublisher publisher(settings);
    publisher.Start(run);
    const std::size_t total = settings.QueueCycles + settings.QueueCycles / 10;
    const auto start = Clock::now();
    for (std::size_t i = 0; i < total; ++i) {
        cycle.Index = i;
        publisher.Publish(cycle);
    }
    const double perCycle = std::chrono::duration<double>(Clock::now() - start).count() / static_cast<double>(total);
    const long full = ResidentKiB() - before;
    const ksv::cli::TMqttStopReport report = publisher.Finish();
    std::printf("\nqueue of %zu cycles (16 channels) full, broker away: %.2f MiB resident (%.0f bytes per cycle), "
                "Publish %.2f us per cycle; %llu dropped, %zu left\n",
                settings.QueueCycles, full / 1024.0, full * 1024.0 / static_cast<double>(settings.QueueCycles),
                perCycle * 1e6, static_cast<unsigned long long>(report.Dropped), report.Unsent);
}

} // namespace

int main()
{
    ksv::simtest::SimServerProcess server;
    if (!ksv::bench::StartBenchServer("mqtt_bench", server, ksv::bench::kScenario)) return 2;
    TBroker broker("ksv-mqtt-bench");
    if (!broker.Start()) {
        std::fprintf(stderr, "mqtt_bench: the broker did not start\n");
        return 2;
    }
    std::printf("mqtt_bench: ksv27-vorn-cli at 1000 Hz against ksv-crate-server and mosquitto\n");
    bool allArrived = true;
    if (!ToolRuns(broker, allArrived)) {
        std::fprintf(stderr, "mqtt_bench: the tool failed\n");
        return 2;
    }
    FullQueue();
    return allArrived ? 0 : 1;
}
