#include "CrateScan.h"

#include <algorithm>
#include <thread>

#include "DeviceMessages.h"
#include "MeasureEngine.h"
#include "MeasureMessages.h"
#include "ModuleInventory.h"
#include "SlotPicture.h"

namespace ksv {

namespace {

using TSteady = std::chrono::steady_clock;

// A module's cycle: ended by the scan's stop, stopped by its own first failure.
class TModuleRun final : public TRunControl {
public:
    TModuleRun(const std::atomic<bool>& quit, const std::function<bool()>& terminated)
        : quit_(quit), terminated_(terminated)
    {
    }
    bool RunTerminated() const override { return quit_ || (terminated_ && terminated_()); }
    bool RunStopRequested() const override { return failed_; }
    void ReportFailure(const char* text) override
    {
        if (failed_) return;
        failed_ = true;
        text_ = text;
    }
    bool Failed() const { return failed_; }
    const std::string& Text() const { return text_; }

private:
    const std::atomic<bool>& quit_;
    const std::function<bool()>& terminated_;
    bool failed_ = false;
    std::string text_;
};

// The channels of a module without values this scan: those it measures
// when open, each without a value.
void EmptyCycle(const TRunDescription& run, TCycleResult& cycle)
{
    for (int c = 0; c < kChannelCount; ++c) {
        const std::size_t slot = static_cast<std::size_t>(c / 2);
        TChannelResult& channel = cycle.Channels[static_cast<std::size_t>(c)];
        channel = TChannelResult{};
        channel.Active = run.SlotActive[slot];
        channel.MezzanineName = run.MezzanineNames[slot];
        channel.Kind = MezzanineKindOf(channel.MezzanineName);
        channel.Unit = UnitOf(channel.Kind);
        channel.Text = kNoValueText;
    }
}

} // namespace

struct TCrateScan::TModule {
    int Slot = 0;
    Ksv27ModuleRecord Record{};             // module thread only
    std::unique_ptr<TMeasureEngine> Engine; // module thread only
    std::thread Thread;
    // Under the scan's lock:
    bool Open = false;
    bool Attempted = false; // tried to open since the last Reopen
    bool RetryNow = true;
    bool Reconfigure = false; // open: configure anew before the next cycle
    bool Idle = false;        // open, but none of its channels is chosen
    bool Reported = false;    // its failure was reported since it last measured
    TSteady::time_point RetryAt{};
    std::uint64_t Go = 0;   // the scan it is to measure
    std::uint64_t Done = 0; // the last scan it finished
    TModuleInfo Info;
    TRunDescription Run;
    // Written by the module's thread while it measures scan Go, read by the
    // caller once Done reached Go.
    bool Measured = false;
    TSteady::time_point CycleStart{};
    TCycleResult Cycle;
};

TCrateScan::TCrateScan(TCrateScanRequest request, TFaultSink faults)
    : request_(std::move(request)), faults_(std::move(faults))
{
    for (int slot : request_.Slots) {
        auto module = std::make_unique<TModule>();
        module->Slot = slot;
        module->Info.Slot = slot;
        module->Info.CrateSerial = request_.CrateSerial;
        module->Run.Slot = slot;
        module->Run.CrateSerial = request_.CrateSerial;
        modules_.push_back(std::move(module));
    }
}

TCrateScan::~TCrateScan()
{
    RequestStop();
    for (auto& module : modules_)
        if (module->Thread.joinable()) module->Thread.join();
}

void TCrateScan::Start()
{
    for (auto& module : modules_) {
        TModule& m = *module;
        m.Thread = std::thread([this, &m] { RunModule(m); });
    }
    std::unique_lock lock(mutex_);
    WaitForAttempts(lock);
}

void TCrateScan::Reopen()
{
    std::unique_lock lock(mutex_);
    for (auto& module : modules_) {
        if (module->Open) continue;
        module->RetryNow = true;
        module->Attempted = false;
    }
    wake_.notify_all();
    WaitForAttempts(lock);
}

void TCrateScan::Configure(int rateIndex, double acquisitionTime, TChooseSlots chooseSlots)
{
    std::unique_lock lock(mutex_);
    request_.RateIndex = rateIndex;
    request_.AcquisitionTime = acquisitionTime;
    request_.ChooseSlots = std::move(chooseSlots);
    for (auto& module : modules_) module->Reconfigure = module->Open;
    wake_.notify_all();
    done_.wait(lock, [this] {
        return quit_ || std::none_of(modules_.begin(), modules_.end(), [](const auto& m) { return m->Reconfigure; });
    });
}

void TCrateScan::WaitForAttempts(std::unique_lock<std::mutex>& lock)
{
    done_.wait(lock, [this] {
        return quit_ || std::all_of(modules_.begin(), modules_.end(),
                                    [](const auto& m) { return m->Open || m->Attempted; });
    });
}

void TCrateScan::RequestStop()
{
    quit_ = true;
    std::lock_guard lock(mutex_);
    wake_.notify_all();
    done_.notify_all();
}

bool TCrateScan::Scan(TScan& scan)
{
    std::unique_lock lock(mutex_);
    if (quit_) return false;
    const std::uint64_t generation = ++generation_;
    bool any = false;
    for (auto& module : modules_) {
        if (!module->Open || module->Idle) continue;
        module->Go = generation;
        any = true;
    }
    scanStart_ = std::chrono::system_clock::now();
    wake_.notify_all();
    if (any) {
        // A module thread that sees the stop first never measures this scan.
        done_.wait(lock, [&] {
            return quit_ || std::all_of(modules_.begin(), modules_.end(),
                                        [&](const auto& m) { return m->Go != generation || m->Done == generation; });
        });
    } else {
        // Nothing to measure: a scan of empty values once per cycle time,
        // unless a module opens or the scan is stopped first.
        done_.wait_for(lock, std::chrono::duration<double>(request_.AcquisitionTime), [this] { return quit_.load(); });
    }
    if (quit_) return false;
    scan.Index = nextIndex_++;
    scan.StartTime = scanStart_;
    scan.Modules.resize(modules_.size());
    TSteady::time_point first = TSteady::time_point::max(), last = TSteady::time_point::min();
    for (std::size_t i = 0; i < modules_.size(); ++i) {
        TModule& m = *modules_[i];
        TModuleScan& out = scan.Modules[i];
        out.Slot = m.Slot;
        out.Measured = m.Go == generation && m.Measured;
        if (out.Measured) {
            std::swap(out.Cycle, m.Cycle);
            first = std::min(first, m.CycleStart);
            last = std::max(last, m.CycleStart);
        } else {
            EmptyCycle(m.Run, out.Cycle);
        }
        out.Cycle.Index = scan.Index;
        out.Cycle.StartTime = scan.StartTime;
    }
    scan.StartSkew = first < last ? std::chrono::duration<double>(last - first).count() : 0.0;
    return true;
}

std::vector<TScanModuleState> TCrateScan::Modules() const
{
    std::lock_guard lock(mutex_);
    std::vector<TScanModuleState> states;
    for (const auto& m : modules_) states.push_back({m->Slot, m->Open, m->Info, m->Run});
    return states;
}

void TCrateScan::RunModule(TModule& m)
{
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (!m.Open && (m.RetryNow || TSteady::now() >= m.RetryAt)) {
            m.RetryNow = false;
            lock.unlock();
            const bool open = TryOpen(m);
            lock.lock();
            m.Open = open;
            m.Attempted = true;
            if (!open) m.RetryAt = TSteady::now() + request_.RetryInterval;
            done_.notify_all();
        } else if (m.Open && m.Reconfigure) {
            lock.unlock();
            const bool ready = Prepare(m);
            lock.lock();
            m.Reconfigure = false;
            if (!ready) {
                m.Open = false;
                m.RetryAt = TSteady::now() + request_.RetryInterval;
            }
            done_.notify_all();
        } else if (m.Open && m.Go != m.Done) {
            const std::uint64_t generation = m.Go;
            lock.unlock();
            MeasureOne(m);
            lock.lock();
            m.Done = generation;
            if (m.Measured) m.Reported = false;
            if (!m.Engine) {
                m.Open = false;
                m.RetryAt = TSteady::now() + request_.RetryInterval;
            }
            done_.notify_all();
        } else if (m.Open) {
            wake_.wait(lock);
        } else {
            wake_.wait_until(lock, m.RetryAt);
        }
    }
    lock.unlock();
    if (m.Engine) m.Engine->Finish();
    m.Engine.reset();
    CloseModuleIfOpen(m.Record);
}

bool TCrateScan::TryOpen(TModule& m)
{
    m.Engine.reset();
    CloseModuleIfOpen(m.Record);
    if (OpenModule(m.Record, request_.CrateSerial, m.Slot)) return Prepare(m);
    CloseAfterFailure(m, discovery_text::kModuleOpenFailed);
    return false;
}

bool TCrateScan::Prepare(TModule& m)
{
    if (m.Engine) m.Engine->Finish();
    auto engine = std::make_unique<TMeasureEngine>(m.Record);
    TMeasureRequest measure;
    TChooseSlots choose;
    {
        std::lock_guard lock(mutex_);
        measure.RateIndex = request_.RateIndex;
        measure.AcquisitionTime = request_.AcquisitionTime;
        choose = request_.ChooseSlots;
    }
    const std::array<std::string, kSlotCount> names = MezzanineNames(m.Record);
    if (choose) {
        measure.SlotChecked = choose(m.Slot, names);
    } else {
        for (std::size_t s = 0; s < names.size(); ++s) measure.SlotChecked[s] = true;
    }
    const bool idle = std::none_of(measure.SlotChecked.begin(), measure.SlotChecked.end(), [](bool b) { return b; });
    TEngineStatus status = idle ? TEngineStatus::Success() : engine->Configure(measure);
    if (status && !idle) status = engine->Allocate();
    if (!status) {
        m.Engine.reset();
        CloseAfterFailure(m, status.Message);
        return false;
    }
    const TModuleInfo info = DescribeModule(m.Record, request_.CrateSerial, m.Slot);
    const TRunDescription run = engine->Describe(request_.CrateSerial, m.Slot);
    m.Engine = std::move(engine);
    std::lock_guard lock(mutex_);
    m.Info = info;
    m.Run = run;
    m.Idle = idle;
    return true;
}

void TCrateScan::MeasureOne(TModule& m)
{
    TModuleRun run(quit_, request_.Terminated);
    m.Measured = false;
    m.CycleStart = TSteady::now();
    try {
        m.Measured = m.Engine->RunCycle(run, m.Cycle);
    } catch (...) {
        run.ReportFailure(msg::kHandlerException);
    }
    if (run.Failed()) CloseAfterFailure(m, run.Text());
}

void TCrateScan::CloseAfterFailure(TModule& m, const std::string& text)
{
    if (m.Engine) m.Engine->Finish();
    m.Engine.reset();
    CloseModuleIfOpen(m.Record);
    bool report = false;
    {
        std::lock_guard lock(mutex_);
        report = !m.Reported;
        m.Reported = true;
    }
    if (report && faults_ && !quit_) faults_({m.Slot, text});
}

} // namespace ksv
