// record_trend_bench: what the trend and a recording cost at 1000 Hz with
// 0.1 s cycles and all sixteen channels active.
//
// The fast run feeds the history, limits and statistics (what the program
// keeps whether the trend is open or not) with 8 simulated hours of cycles
// as fast as it can, with the trend window shown offscreen on its 8-hour
// span and redrawn now and then as its timer would. Per simulated hour it
// prints the memory the history takes and the process's resident and peak
// memory; then the CPU per cycle (the upkeep, trend closed), per redraw, and
// what they come to as a share of one core. The real-time run runs the real
// window against the simulated crate server in real time: a stretch with the
// trend closed, then one with the trend open and a recording running; for
// each it gives the worst cycle-to-screen delay: from a cycle's end (its
// start plus the acquisition time) until the window's thread is free to
// paint its values. Run under
// `strace -f -e inject=fdatasync:delay_enter=200000` it shows what a slow
// disk does to the window.
// Exit status 1 when a target is missed. See bench/README.md.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <fstream>
#include <unistd.h>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <utility>

#include "FormControls.h"
#include "BoundedText.h"
#include "ChannelStatistics.h"
#include "CycleRecorder.h"
#include "Ksv27adcchannelpanel.h"
#include "Ksv27mainform.h"
#include "MeasureCore.h"
#include "MessagePump.h"
#include "MezzanineKind.h"
#include "MultimeterPage.h"
#include "ModalDialogs.h"
#include "OffscreenScreen.h"
#include "RecordTrendPanel.h"
#include "BenchServer.h"
#include "SimServerProcess.h"
#include "TKsvApi.h"
#include "TrendLimits.h"
#include "TrendWindow.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kCycleSeconds = 0.1;  // the cycle period the fast run pretends
constexpr double kTargetShare = 0.01;  // trend open, on average
constexpr double kUpkeepShare = 0.001; // trend closed
constexpr double kRedrawMs = 20.0;

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

long ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The fast run. Returns false when a target is missed.
bool SimulatedHours(int hours, int redrawEverySeconds)
{
    ksv::TChannelStatistics stats;
    ksv::TTrendHistory history;
    ksv::TTrendLimits limits;
    ksv::TTrendViewState view;
    view.Span = 3; // 8 h
    ksv::TTrendWindow::TSources sources;
    sources.History = &history;
    sources.Limits = &limits;
    sources.Statistics = &stats;
    sources.View = &view;
    sources.Run = [] { return SyntheticRun(); };
    auto trend = std::make_unique<ksv::TTrendWindow>(std::move(sources), nullptr);
    trend->show();
    for (int c = 0; c < ksv::kChannelCount; c += 3) limits.Set(c, 100.0 * (c + 1) - 4.0, 100.0 * (c + 1) + 4.0);
    const auto start = std::chrono::system_clock::now() - std::chrono::hours(hours);
    constexpr int kPerHour = static_cast<int>(3600 / kCycleSeconds);
    const int perRedraw = static_cast<int>(redrawEverySeconds / kCycleSeconds);
    std::printf("fast run: %d simulated hours, 0.1 s cycles, 16 channels, trend shown on its 8-hour span and redrawn "
                "every %d simulated s\n%6s %14s %14s %12s %14s %12s %12s\n",
                hours, redrawEverySeconds, "hour", "history,KiB", "resident,KiB", "peak,KiB", "upkeep,us/cyc",
                "redraw,ms", "painting,ms");
    double upkeep = 0.0, redraw = 0.0, worstRedraw = 0.0;
    std::uint64_t cycles = 0, redraws = 0, i = 0;
    ksv::TCycleResult cycle = SyntheticCycle(0, start);
    for (int hour = 1; hour <= hours; ++hour) {
        double hourUpkeep = 0.0, hourRedraw = 0.0, hourPaint = 0.0;
        std::uint64_t hourRedraws = 0;
        for (int k = 0; k < kPerHour; ++k, ++i) {
            cycle = SyntheticCycle(i, start);
            const double c0 = CpuSeconds();
            history.Add(cycle);
            limits.Add(cycle);
            stats.Add(cycle);
            hourUpkeep += CpuSeconds() - c0;
            if ((k + 1) % perRedraw == 0) {
                const double r0 = CpuSeconds();
                trend->Refresh();
                const double r1 = CpuSeconds();
                // What the window's own timer sets off: the chart and the changed cells repainted.
                QCoreApplication::processEvents();
                const double r = CpuSeconds() - r0;
                hourPaint += CpuSeconds() - r1;
                hourRedraw += r;
                worstRedraw = std::max(worstRedraw, r);
                ++hourRedraws;
            }
        }
        upkeep += hourUpkeep;
        redraw += hourRedraw;
        cycles += kPerHour;
        redraws += hourRedraws;
        std::printf("%6d %14zu %14ld %12ld %14.2f %12.2f %12.2f\n", hour, history.Bytes() / 1024, ResidentKiB(),
                    PeakKiB(), hourUpkeep * 1e6 / kPerHour, hourRedraws ? hourRedraw * 1e3 / hourRedraws : 0.0,
                    hourRedraws ? hourPaint * 1e3 / hourRedraws : 0.0);
    }
    const double perCycle = upkeep / static_cast<double>(cycles), perRedraw_ = redraw / static_cast<double>(redraws);
    const double closed = perCycle / kCycleSeconds, open = closed + perRedraw_ / 1.0;
    std::printf("upkeep per cycle %.2f us: %.4f %% of one core with the trend closed (target under %.1f %%)\n"
                "redraw %.2f ms on average, %.2f ms at worst (target under %.0f ms); once a second with 10 cycles: "
                "%.3f %% of one core with the trend open (target under %.0f %%)\n",
                perCycle * 1e6, closed * 100, kUpkeepShare * 100, perRedraw_ * 1e3, worstRedraw * 1e3, kRedrawMs,
                open * 100, kTargetShare * 100);
    return closed < kUpkeepShare && open < kTargetShare && perRedraw_ * 1e3 < kRedrawMs;
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

// Calls `follow` after every cycle the window shows, after what the window
// does with it itself.
void FollowShownCycles(TMainForm& window, std::function<void(const ksv::TCycleResult&)> follow)
{
    QObject::connect(&window.Multimeter(), &ksv::TMultimeterPage::CycleShown, follow);
}

// The worst delay from a cycle's end to the window's thread being free
// again after showing it, over the cycles shown since the last Take.
class TScreenDelay {
public:
    void CycleShown(const ksv::TCycleResult& cycle)
    {
        const auto end = cycle.StartTime + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                               std::chrono::duration<double>(kCycleSeconds));
        QMetaObject::invokeMethod(
            qApp, [this, end] {
                worst_ = std::max(worst_, std::chrono::duration<double>(std::chrono::system_clock::now() - end).count());
            },
            Qt::QueuedConnection);
    }
    double Take() { return std::exchange(worst_, 0.0); }

private:
    double worst_ = 0.0;
};

double CpuShareOver(double seconds)
{
    const double cpu0 = CpuSeconds();
    const auto wall0 = Clock::now();
    // The window's own main loop, as the program runs it.
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    return (CpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - wall0).count();
}

// The real-time run. Returns 2 when the server or the module cannot be had.
int RealTime(double seconds)
{
    ksv::simtest::SimServerProcess server;
    if (!ksv::bench::StartBenchServer("record_trend_bench", server, kScenario)) return 2;
    ksv::SetKsvLibraryFolder(ksv::simtest::ExecutableFolder().c_str());
    auto window = std::make_unique<TMainForm>();
    Ksv27ModuleRecord& r = window->ModuleRecord();
    ksv::TKsvApi& api = ksv::KsvApi();
    api.KSV27_Init(&r);
    if (api.KSV27_Open(&r, KSV_SERVER_ADDRESS, KSV_SERVER_PORT, "KSV-B-0001", 1) != 0 || api.KSV27_GetConfig(&r) != 0 ||
        api.KSV27_GetDescription(&r, KSV27_DESCRIPTION_MASK) != 0) {
        std::fprintf(stderr, "record_trend_bench: cannot open the module\n");
        return 2;
    }
    window->HandlerBusy = true;
    window->ModuleState() = 2;
    window->AcquisitionTime() = kCycleSeconds;
    FORM_UI(window, AdcRateLMDComboBox)->setCurrentIndex(7);
    for (std::size_t s = 0; s < 8; ++s) window->SlotFrames()[s]->SlotNumberLMDCheckBox->setChecked(true);
    for (QWidget* w = FORM_UI(window, StartMultimeterLMDSpeedButton); w; w = w->parentWidget()) w->setEnabled(true);
    FORM_UI(window, AdcIndividualParsLMDGroupBox)->setEnabled(true);
    window->Multimeter().ApplySlotEnabling(true);
    window->HandlerBusy = false;
    window->show();

    TScreenDelay delay;
    FollowShownCycles(*window, [&delay](const ksv::TCycleResult& cycle) { delay.CycleShown(cycle); });
    FORM_UI(window, StartMultimeterLMDSpeedButton)->click();
    ksv::SleepAndProcessMessages(2000);
    delay.Take();
    const double plain = CpuShareOver(seconds);
    const double plainDelay = delay.Take();
    ksv::TRecordTrendPanel& panel = *window->RecordTrendPanel;
    const std::size_t kept = panel.History().Channel(0).Size();
    panel.TrendClick();
    panel.RecordClick();
    ksv::SleepAndProcessMessages(2000);
    const std::uint64_t rows0 = panel.Recorder().Rows();
    delay.Take();
    const double both = CpuShareOver(seconds);
    const double bothDelay = delay.Take();
    const std::uint64_t rows = panel.Recorder().Rows() - rows0;
    FORM_UI(window, StartMultimeterLMDSpeedButton)->click();
    panel.RecordClick();
    api.KSV27_Close(&r);
    std::printf("real-time run: against ksv-crate-server, 1000 Hz, 0.1 s cycles, 16 channels, %.0f s each\n"
                "%36s %8.3f %%   (history kept meanwhile: %zu cycles)\n%36s %8.3f %%   (%llu rows, %.3f s per cycle)\n",
                seconds, "cpu measuring, trend closed:", plain * 100.0, kept, "cpu with trend open and recording:",
                both * 100.0, static_cast<unsigned long long>(rows), rows ? seconds / rows : 0.0);
    std::printf("%36s %8.1f ms\n%36s %8.1f ms\n", "worst cycle-to-screen, trend closed:", plainDelay * 1e3,
                "worst cycle-to-screen, recording:", bothDelay * 1e3);
    window.reset();
    server.Stop();
    return panel.Recorder().Error().empty() && rows > 0 && kept > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 30.0;
    int hours = 8, redrawEvery = 10;
    for (int a = 1; a + 1 < argc; ++a) {
        if (std::strcmp(argv[a], "--seconds") == 0) seconds = std::atof(argv[a + 1]);
        if (std::strcmp(argv[a], "--hours") == 0) hours = std::max(1, std::atoi(argv[a + 1]));
        if (std::strcmp(argv[a], "--redraw-every") == 0) redrawEvery = std::max(1, std::atoi(argv[a + 1]));
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each line as it comes, also into a file
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
    const bool simulated = SimulatedHours(hours, redrawEvery);
    const int real = seconds > 0 ? RealTime(seconds) : 0;
    std::printf("peak memory (ru_maxrss): %ld KiB\n", PeakKiB());
    for (const QString& m : messages) std::printf("message shown: %s\n", m.toUtf8().constData());
    ksv::SetModalHandler({});
    if (real == 2) return 2;
    const bool ok = simulated && real == 0 && messages.empty();
    std::printf("%s\n", ok ? "all targets met" : "TARGET MISSED");
    return ok ? 0 : 1;
}
