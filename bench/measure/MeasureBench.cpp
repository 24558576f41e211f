// measure_bench: the real measurement (window, thread, loop) against the
// simulated crate server, at 5, 100 and 1000 Hz with 1 s cycles. Prints per
// rate the cycle period against the ideal (acquisition time + 0.1 s), the
// time from STOP to the START button restored, the program's CPU time per
// cycle and its share of one core, and allocations per steady cycle on the
// measurement thread; at the end the peak memory. Exit status 1 when a
// target is missed. See bench/README.md.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "FormControls.h"
#include "BenchScenario.h"
#include "BenchServer.h"
#include "BoundedText.h"
#include "Ksv27adcchannelpanel.h"
#include "Ksv27mainform.h"
#include "Mainthread.h"
#include "MessagePump.h"
#include "OffscreenScreen.h"
#include "MezzanineKind.h"
#include "ModalDialogs.h"
#include "SimServerProcess.h"
#include "TKsvApi.h"
#include "TSynchronizer.h"

// ---- allocation counting ----------------------------------------------------------

namespace {
std::atomic<std::thread::id> gCountedThread{};
std::atomic<long> gCountedAllocations{0};
thread_local int tInLibrary = 0;

void CountAllocation()
{
    if (tInLibrary == 0 && gCountedThread.load(std::memory_order_relaxed) == std::this_thread::get_id())
        gCountedAllocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

void* operator new(std::size_t size)
{
    CountAllocation();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    CountAllocation();
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Passes every call to the loaded libraries and notes when cycles start and
// how long the library spends in start and stop. Allocations inside the
// libraries are theirs and are not counted.
class TTimingApi final : public ksv::TKsvApi {
public:
    explicit TTimingApi(ksv::TKsvApi& real) : real_(real) { cycles_.reserve(4096); }

    // Runs a library call with allocation counting off.
    template <typename F> auto Lib(F&& call)
    {
        struct TScope {
            TScope() { ++tInLibrary; }
            ~TScope() { --tInLibrary; }
        } scope;
        return call();
    }

    struct TCycle {
        Clock::time_point Start;
        double LibraryStartStop = 0.0; // seconds in ADCStart and the cycle's ADCStop
    };
    std::vector<TCycle> Cycles() const
    {
        std::lock_guard lock(mutex_);
        return cycles_;
    }
    void Reset()
    {
        std::lock_guard lock(mutex_);
        cycles_.clear();
    }

    void KSV_Init(KsvCrateConnection* c) override
    {
        Lib([&] { real_.KSV_Init(c); });
    }
    void KSV_Close(KsvCrateConnection* c) override
    {
        Lib([&] { real_.KSV_Close(c); });
    }
    int32_t KSV_Open(KsvCrateConnection* c) override
    {
        return Lib([&] { return real_.KSV_Open(c); });
    }
    int32_t KSV_GetCrates(KsvCrateConnection* c, KsvCrateList l) override
    {
        return Lib([&] { return real_.KSV_GetCrates(c, l); });
    }
    int32_t KSV_GetCrateModules(KsvCrateConnection* c, uint16_t m[KSV_MAX_SLOTS]) override
    {
        return Lib([&] { return real_.KSV_GetCrateModules(c, m); });
    }
    void KSV27_Init(Ksv27ModuleRecord* m) override
    {
        Lib([&] { real_.KSV27_Init(m); });
    }
    void KSV27_Close(Ksv27ModuleRecord* m) override
    {
        Lib([&] { real_.KSV27_Close(m); });
    }
    int32_t KSV27_IsOpened(Ksv27ModuleRecord* m) override
    {
        return Lib([&] { return real_.KSV27_IsOpened(m); });
    }
    int32_t KSV27_Open(Ksv27ModuleRecord* m, uint32_t a, uint16_t p, const char* s, int32_t slot) override
    {
        return Lib([&] { return real_.KSV27_Open(m, a, p, s, slot); });
    }
    int32_t KSV27_GetConfig(Ksv27ModuleRecord* m) override
    {
        return Lib([&] { return real_.KSV27_GetConfig(m); });
    }
    int32_t KSV27_GetDescription(Ksv27ModuleRecord* m, uint32_t mask) override
    {
        return Lib([&] { return real_.KSV27_GetDescription(m, mask); });
    }
    int32_t KSV27_SetConfig(Ksv27ModuleRecord* m) override
    {
        return Lib([&] { return real_.KSV27_SetConfig(m); });
    }
    int32_t KSV27_ADCStart(Ksv27ModuleRecord* m) override
    {
        gCountedThread = std::this_thread::get_id();
        const auto t0 = Clock::now();
        const int32_t rc = Lib([&] { return real_.KSV27_ADCStart(m); });
        std::lock_guard lock(mutex_);
        cycles_.push_back({t0, Seconds(Clock::now() - t0)});
        inCycle_ = true;
        return rc;
    }
    int32_t KSV27_ADCStop(Ksv27ModuleRecord* m) override
    {
        const auto t0 = Clock::now();
        const int32_t rc = Lib([&] { return real_.KSV27_ADCStop(m); });
        std::lock_guard lock(mutex_);
        if (inCycle_ && !cycles_.empty()) cycles_.back().LibraryStartStop += Seconds(Clock::now() - t0);
        inCycle_ = false;
        return rc;
    }
    int32_t KSV27_Recv(Ksv27ModuleRecord* m, uint32_t* b, uint32_t* t, uint32_t w, uint32_t to) override
    {
        return Lib([&] { return real_.KSV27_Recv(m, b, t, w, to); });
    }
    int32_t KSV27_ProcessData(Ksv27ModuleRecord* m, const uint32_t* r, double* v, uint32_t* c, int32_t a,
                              int32_t b) override
    {
        return Lib([&] { return real_.KSV27_ProcessData(m, r, v, c, a, b); });
    }

private:
    ksv::TKsvApi& real_;
    mutable std::mutex mutex_;
    std::vector<TCycle> cycles_;
    bool inCycle_ = false;
};

using ksv::bench::kScenario;

void Serve(double seconds) { ksv::SleepAndProcessMessages(static_cast<int>(seconds * 1000)); }

bool WaitFor(const std::function<bool()>& done, double seconds)
{
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > end) return false;
        ksv::SleepAndProcessMessages(5);
    }
    return true;
}

// Allocations one hand-off to the window's thread makes by itself (its
// wake-up event and the queue's storage), measured on a thread of its own.
double AllocationsPerHandOff()
{
    constexpr int kCalls = 640;
    std::atomic<bool> done{false};
    long before = 0, after = 0;
    std::thread probe([&] {
        gCountedThread = std::this_thread::get_id();
        const std::function<void()> step = [] {};
        for (int i = 0; i < 64; ++i) ksv::TSynchronizer::Instance().Synchronize(step);
        before = gCountedAllocations;
        for (int i = 0; i < kCalls; ++i) ksv::TSynchronizer::Instance().Synchronize(step);
        after = gCountedAllocations;
        gCountedThread = std::thread::id{};
        done = true;
    });
    WaitFor([&] { return done.load(); }, 30.0);
    probe.join();
    return static_cast<double>(after - before) / kCalls;
}

struct TRateResult {
    double RateHz = 0, Ideal = 0, Period = 0, PeriodNet = 0, StopSeconds = 0, StopTotal = 0, CpuPerCycle = 0;
    double CpuShare = 0;
    double AllocationsPerCycle = 0;
    int Cycles = 0;
};

} // namespace

int main(int argc, char** argv)
{
    ksv::test::UseDesktopSizedOffscreenScreen();
    QApplication application(argc, argv);
    ksv::InstallSynchronizerPump();
    std::vector<QString> messages;
    ksv::SetModalHandler([&](const ksv::TModalRequest& r) {
        messages.push_back(r.Text);
        return 0;
    });

    ksv::simtest::SimServerProcess server;
    if (!ksv::bench::StartBenchServer("measure_bench", server, kScenario)) return 2;
    ksv::SetKsvLibraryFolder(ksv::simtest::ExecutableFolder().c_str());
    TTimingApi timing(ksv::KsvApi());
    ksv::SetKsvApi(&timing);

    const double perHandOff = AllocationsPerHandOff();
    constexpr double kTime = 1.0;
    constexpr int kSteadyCycles = 5;
    const struct {
        int Index;
        double Hz;
    } rates[] = {{0, 5.0}, {4, 100.0}, {7, 1000.0}};
    std::vector<TRateResult> results;
    bool ok = true;

    for (const auto& rate : rates) {
        auto window = std::make_unique<TMainForm>();
        Ksv27ModuleRecord& r = window->ModuleRecord();
        ksv::KsvApi().KSV27_Init(&r);
        if (ksv::KsvApi().KSV27_Open(&r, KSV_SERVER_ADDRESS, KSV_SERVER_PORT, "KSV-B-0001", 1) != 0 ||
            ksv::KsvApi().KSV27_GetConfig(&r) != 0 ||
            ksv::KsvApi().KSV27_GetDescription(&r, KSV27_DESCRIPTION_MASK) != 0) {
            std::fprintf(stderr, "measure_bench: cannot open the module\n");
            return 2;
        }
        window->HandlerBusy = true;
        window->ModuleState() = 2;
        window->AcquisitionTime() = kTime;
        FORM_UI(window, AdcRateLMDComboBox)->setCurrentIndex(rate.Index);
        for (std::size_t s = 0; s < 8; ++s)
            window->SlotFrames()[s]->SlotNumberLMDCheckBox->setChecked(
                ksv::IsFittedName(ksv::FieldText(r.Mezzanines[s].MezzanineName)));
        for (QWidget* w = FORM_UI(window, StartMultimeterLMDSpeedButton); w; w = w->parentWidget()) w->setEnabled(true);
        FORM_UI(window, AdcIndividualParsLMDGroupBox)->setEnabled(true);
        window->Multimeter().ApplySlotEnabling(true);
        window->HandlerBusy = false;

        timing.Reset();
        FORM_UI(window, StartMultimeterLMDSpeedButton)->click();
        // Two cycles to settle, then the steady ones.
        WaitFor([&] { return timing.Cycles().size() >= 2; }, 30.0);
        const long allocBefore = gCountedAllocations;
        const double cpuBefore = CpuSeconds();
        const auto wallBefore = Clock::now();
        WaitFor([&] { return timing.Cycles().size() >= 2 + kSteadyCycles; }, 60.0);
        const long allocAfter = gCountedAllocations;
        const double cpuAfter = CpuSeconds();
        const auto wallAfter = Clock::now();
        const std::vector<TTimingApi::TCycle> cycles = timing.Cycles();

        // STOP a third of the way into a cycle.
        Serve(0.33 * kTime);
        // The end step restores the button and then marks the acquisition
        // idle, on the window's thread inside the stop; a watcher notes when.
        std::atomic<bool> watching{true};
        std::atomic<Clock::rep> restoredAt{0};
        std::thread watcher([&] {
            while (watching && !window->AcquisitionIdle) std::this_thread::sleep_for(std::chrono::microseconds(200));
            restoredAt = Clock::now().time_since_epoch().count();
        });
        const auto stopAt = Clock::now();
        FORM_UI(window, StartMultimeterLMDSpeedButton)->click();
        const auto stopDone = Clock::now();
        watching = false;
        watcher.join();
        const Clock::time_point restored{Clock::duration(restoredAt.load())};
        const double stopSeconds = Seconds(restored - stopAt);
        const double stopTotal = Seconds(stopDone - stopAt);
        if (FORM_UI(window, StartMultimeterLMDSpeedButton)->text() != QStringLiteral("С   Т   А   Р   Т")) ok = false;
        ksv::KsvApi().KSV27_Close(&r);
        window.reset();

        TRateResult res;
        res.RateHz = rate.Hz;
        res.Ideal = kTime + 0.1;
        res.Cycles = kSteadyCycles;
        double span = 0, library = 0;
        for (int i = 1; i < 1 + kSteadyCycles + 1 && i < static_cast<int>(cycles.size()); ++i) {
            span += Seconds(cycles[static_cast<std::size_t>(i)].Start - cycles[static_cast<std::size_t>(i - 1)].Start);
            library += cycles[static_cast<std::size_t>(i - 1)].LibraryStartStop;
        }
        res.Period = span / (kSteadyCycles + 1);
        res.PeriodNet = (span - library) / (kSteadyCycles + 1);
        res.StopSeconds = stopSeconds;
        res.StopTotal = stopTotal;
        res.CpuPerCycle = (cpuAfter - cpuBefore) / kSteadyCycles;
        res.CpuShare = (cpuAfter - cpuBefore) / Seconds(wallAfter - wallBefore);
        res.AllocationsPerCycle = static_cast<double>(allocAfter - allocBefore) / kSteadyCycles;
        results.push_back(res);
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("measure_bench: 1.0 s cycles against ksv-crate-server; hand-off allocations %.3f per call\n",
                perHandOff);
    std::printf("%8s %9s %9s %8s %10s %8s %9s %12s %8s %10s %10s\n", "rate,Hz", "ideal,s", "period,s", "ratio",
                "net ratio", "stop,s", "joined,s", "cpu/cycle,ms", "cpu,%", "alloc/cyc", "own alloc");
    for (const TRateResult& r : results) {
        const double own = r.AllocationsPerCycle - 2.0 * perHandOff; // two hand-offs per cycle: values, lamps
        std::printf("%8.0f %9.3f %9.4f %8.4f %10.4f %8.3f %9.3f %12.2f %8.3f %10.2f %10.2f\n", r.RateHz, r.Ideal,
                    r.Period, r.Period / r.Ideal, r.PeriodNet / r.Ideal, r.StopSeconds, r.StopTotal,
                    r.CpuPerCycle * 1000.0, r.CpuShare * 100.0, r.AllocationsPerCycle, own);
        if (r.PeriodNet / r.Ideal > 1.02) ok = false;
        if (r.RateHz >= 10.0 && r.StopSeconds > 0.35) ok = false;
        if (r.RateHz >= 1000.0 && r.CpuShare > 0.02) ok = false;
        if (own > 0.5) ok = false;
    }
    std::printf("peak memory (ru_maxrss): %ld KiB\n", usage.ru_maxrss);
    for (const QString& m : messages) std::printf("message shown: %s\n", m.toUtf8().constData());
    if (!messages.empty()) ok = false;
    std::printf("%s\n", ok ? "all targets met" : "TARGET MISSED");
    ksv::SetKsvApi(nullptr);
    ksv::SetModalHandler({});
    server.Stop();
    return ok ? 0 : 1;
}
