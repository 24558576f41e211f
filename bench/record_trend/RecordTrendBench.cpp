// record_trend_bench: what the trend window and a recording cost at 1000 Hz
// with 0.2 s cycles and all sixteen channels active.
//
// The fast run feeds the trend window (shown offscreen, redrawn once a second as
// its timer does), the statistics and a recording directly with 30 minutes
// of cycles, as fast as it can, and prints the CPU time each simulated
// minute takes (as a share of one core) and the peak memory after 10, 20 and
// 30 minutes. The real-time run runs the real window against the simulated crate server
// in real time: a stretch without trend and recording, then one with both.
// Exit status 1 when a target is missed. See bench/README.md.
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <sys/resource.h>

#include "FormControls.h"
#include "BoundedText.h"
#include "ChannelStatistics.h"
#include "CycleRecorder.h"
#include "Ksv27adcchannelpanel.h"
#include "Ksv27mainform.h"
#include "MeasureCore.h"
#include "MessagePump.h"
#include "MezzanineKind.h"
#include "ModalDialogs.h"
#include "OffscreenScreen.h"
#include "RecordTrendPanel.h"
#include "SimServerProcess.h"
#include "TKsvApi.h"
#include "TrendWindow.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kCycleSeconds = 0.2; // the cycle period the part-1 feed pretends
constexpr double kTargetShare = 0.02;

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long PeakKiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

const char* const kNames[8] = {"U10", "U20", "I5", "I10", "T", "U01", "I20", "U10"};

// Cycle i: every channel a level with a slow wave and some noise on it.
ksv::TCycleResult SyntheticCycle(std::uint64_t i, std::chrono::system_clock::time_point start)
{
    ksv::TCycleResult cycle;
    cycle.Index = i;
    cycle.StartTime = start + std::chrono::milliseconds(static_cast<long>(i * kCycleSeconds * 1000));
    std::uint32_t noise = static_cast<std::uint32_t>(i * 2654435761u);
    for (int c = 0; c < ksv::kChannelCount; ++c) {
        ksv::TChannelResult& ch = cycle.Channels[static_cast<std::size_t>(c)];
        ch.MezzanineName = kNames[c / 2];
        ch.Kind = ksv::MezzanineKindOf(ch.MezzanineName);
        ch.Unit = ksv::UnitOf(ch.Kind);
        ch.Active = ch.Valid = true;
        noise = noise * 1664525u + 1013904223u;
        ch.Value = 100.0 * (c + 1) + 5.0 * std::sin(i * 0.01 + c) + (noise >> 8) / 16777216.0;
        ch.Text = ksv::FormatFixed(ch.Value, ch.Unit == ksv::TChannelUnit::Milliamp ? 4 : 3);
    }
    return cycle;
}

ksv::TRunDescription SyntheticRun()
{
    ksv::TRunDescription run;
    run.CrateSerial = "KSV-B-0001";
    run.Slot = 1;
    run.ModuleSerial = "27B-0001";
    run.Firmware = "1.0.0.0";
    run.RateHz = 1000.0;
    run.AcquisitionTime = kCycleSeconds;
    for (std::size_t s = 0; s < 8; ++s) {
        run.MezzanineNames[s] = kNames[s];
        run.SlotActive[s] = true;
    }
    return run;
}

// The fast run. Returns false when a minute past the first ten costs too much.
bool SimulatedHalfHour(const QString& folder, int minutes)
{
    ksv::TChannelStatistics stats;
    auto trend = std::make_unique<ksv::TTrendWindow>(
        stats, [&] { stats.Reset(); }, nullptr);
    trend->show();
    ksv::TCycleRecorder recorder;
    const std::string path = QDir(folder).filePath(QStringLiteral("simulated.csv")).toStdString();
    if (!recorder.Start(path, SyntheticRun(), false)) {
        std::printf("cannot record: %s\n", recorder.Error().c_str());
        return false;
    }
    const auto start = std::chrono::system_clock::now();
    constexpr int kPerMinute = static_cast<int>(60.0 / kCycleSeconds);
    constexpr int kPerRefresh = static_cast<int>(1.0 / kCycleSeconds);
    std::printf("fast run: %d simulated minutes, 0.2 s cycles, 16 channels, trend shown and redrawn each second, "
                "recording\n%8s %12s %12s %14s %10s\n",
                minutes, "minute", "cpu,s", "cpu,%", "redraw,ms", "peak,KiB");
    bool ok = true;
    std::uint64_t i = 0;
    for (int minute = 1; minute <= minutes; ++minute) {
        const double cpu0 = CpuSeconds();
        double redraw = 0.0;
        for (int k = 0; k < kPerMinute; ++k, ++i) {
            const ksv::TCycleResult cycle = SyntheticCycle(i, start);
            stats.Add(cycle);
            if (!recorder.Add(cycle)) {
                std::printf("record write failed: %s\n", recorder.Error().c_str());
                return false;
            }
            trend->Add(cycle);
            if ((k + 1) % kPerRefresh == 0) {
                const double r0 = CpuSeconds();
                trend->Refresh();
                trend->repaint();
                QCoreApplication::processEvents();
                redraw += CpuSeconds() - r0;
            }
        }
        const double cpu = CpuSeconds() - cpu0;
        const double share = cpu / 60.0;
        if (minute % 5 == 0 || minute == 1 || minute == minutes)
            std::printf("%8d %12.3f %12.3f %14.2f %10ld\n", minute, cpu, share * 100.0, redraw * 1000.0 / 60.0,
                        PeakKiB());
        if (minute > 10 && share > kTargetShare) ok = false;
    }
    std::printf("rows recorded: %llu; trend points kept per channel: %zu (bound %zu)\n",
                static_cast<unsigned long long>(recorder.Rows()), trend->History().Channel(0).Size(),
                ksv::kTrendCapacity);
    return ok;
}

constexpr const char* kScenario = R"json({
  "crates": [ { "serial": "KSV-B-0001", "slots": [
    { "slot": 1, "id": 6939, "name": "KSV27", "serial": "27B-0001",
      "mezzanines": [
        { "name": "U10", "channels": [ { "dc": 1.0, "noise": 0.01, "seed": 1 }, { "dc": 2.0 } ] },
        { "name": "U20", "channels": [ { "dc": 3.0 }, { "dc": 4.0, "noise": 0.1, "seed": 2 } ] },
        { "name": "I5", "channels": [ { "dc": 1.0 }, { "dc": 2.0 } ] },
        { "name": "I10", "channels": [ { "dc": 3.0 }, { "dc": 4.0 } ] },
        { "name": "T", "channels": [ { "dc": 5.0 }, { "dc": 6.0 } ] },
        { "name": "U01", "channels": [ { "dc": 0.1 }, { "dc": 0.2 } ] },
        { "name": "I20", "channels": [ { "dc": 7.0 }, { "dc": 8.0 } ] },
        { "name": "U10", "channels": [ { "dc": -1.0 }, { "dc": -2.0 } ] }
      ] } ] } ]
})json";

double CpuShareOver(double seconds)
{
    const double cpu0 = CpuSeconds();
    const auto wall0 = Clock::now();
    ksv::SleepAndProcessMessages(static_cast<int>(seconds * 1000));
    return (CpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - wall0).count();
}

// The real-time run. Returns 2 when the server or the module cannot be had.
int RealTime(double seconds)
{
    ksv::simtest::SimServerProcess server;
    ksv::simtest::SimServerOptions options;
    options.ScenarioJson = kScenario;
    if (!server.Start(options)) {
        std::fprintf(stderr, "record_trend_bench: the crate server did not start: %s\n", server.Error().c_str());
        return 2;
    }
    server.ExportPort();
    ksv::SetKsvLibraryFolder(ksv::simtest::ExecutableFolder().c_str());
    auto window = std::make_unique<TMainForm>();
    Ksv27ModuleRecord& r = window->ModuleRecord;
    ksv::TKsvApi& api = ksv::KsvApi();
    api.KSV27_Init(&r);
    if (api.KSV27_Open(&r, KSV_SERVER_ADDRESS, KSV_SERVER_PORT, "KSV-B-0001", 1) != 0 || api.KSV27_GetConfig(&r) != 0 ||
        api.KSV27_GetDescription(&r, KSV27_DESCRIPTION_MASK) != 0) {
        std::fprintf(stderr, "record_trend_bench: cannot open the module\n");
        return 2;
    }
    window->HandlerBusy = true;
    window->ModuleState = 2;
    window->AcquisitionTime = kCycleSeconds;
    FORM_UI(window, AdcRateLMDComboBox)->setCurrentIndex(7);
    for (std::size_t s = 0; s < 8; ++s) window->SlotFrames[s]->SlotNumberLMDCheckBox->setChecked(true);
    for (QWidget* w = FORM_UI(window, StartMultimeterLMDSpeedButton); w; w = w->parentWidget()) w->setEnabled(true);
    FORM_UI(window, AdcIndividualParsLMDGroupBox)->setEnabled(true);
    window->Multimeter().ApplySlotEnabling(true);
    window->HandlerBusy = false;
    window->show();

    FORM_UI(window, StartMultimeterLMDSpeedButton)->click();
    ksv::SleepAndProcessMessages(2000);
    const double plain = CpuShareOver(seconds);
    ksv::TRecordTrendPanel& panel = *window->RecordTrendPanel;
    panel.TrendClick();
    panel.RecordClick();
    ksv::SleepAndProcessMessages(2000);
    const std::uint64_t rows0 = panel.Recorder().Rows();
    const double both = CpuShareOver(seconds);
    const std::uint64_t rows = panel.Recorder().Rows() - rows0;
    FORM_UI(window, StartMultimeterLMDSpeedButton)->click();
    panel.RecordClick();
    api.KSV27_Close(&r);
    std::printf("real-time run: against ksv-crate-server, 1000 Hz, 0.2 s cycles, 16 channels, %.0f s each\n"
                "%34s %8.3f %%\n%34s %8.3f %%   (%llu rows, %.3f s per cycle)\n",
                seconds, "cpu without trend and recording:", plain * 100.0, "cpu with trend open and recording:",
                both * 100.0, static_cast<unsigned long long>(rows), rows ? seconds / rows : 0.0);
    window.reset();
    server.Stop();
    return both <= kTargetShare && panel.Recorder().Error().empty() && rows > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 30.0;
    int minutes = 30;
    for (int a = 1; a + 1 < argc; ++a) {
        if (std::strcmp(argv[a], "--seconds") == 0) seconds = std::atof(argv[a + 1]);
        if (std::strcmp(argv[a], "--minutes") == 0) minutes = std::atoi(argv[a + 1]);
    }
    ksv::test::UseDesktopSizedOffscreenScreen();
    QApplication application(argc, argv);
    ksv::InstallSynchronizerPump();
    QTemporaryDir folder;
    std::vector<QString> messages;
    ksv::SetModalHandler([&](const ksv::TModalRequest& request) {
        if (request.ChosenFile) {
            *request.ChosenFile = QDir(folder.path()).filePath(QStringLiteral("real-time.csv"));
            return 1;
        }
        messages.push_back(request.Text);
        return 0;
    });
    const bool simulated = SimulatedHalfHour(folder.path(), minutes);
    const int real = seconds > 0 ? RealTime(seconds) : 0;
    std::printf("peak memory (ru_maxrss): %ld KiB\n", PeakKiB());
    for (const QString& m : messages) std::printf("message shown: %s\n", m.toUtf8().constData());
    ksv::SetModalHandler({});
    if (real == 2) return 2;
    const bool ok = simulated && real == 0 && messages.empty();
    std::printf("%s\n", ok ? "all targets met" : "TARGET MISSED");
    return ok ? 0 : 1;
}
