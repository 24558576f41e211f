// `measure --slot 2,5|all`: several KSV27 of one crate measured side by
// side (TCrateScan), one record per scan with every module's channels. A
// module that fails gives no values and one message naming its slot; the
// others keep measuring, and it is tried again every 3 s. The run then ends
// with kExitMeasureFailed once it is over, as a single module's failure does.
#include <algorithm>
#include <atomic>
#include <chrono>

#include "CliRunControl.h"
#include "Commands.h"
#include "CrateScan.h"
#include "CyclePublisher.h"
#include "DeviceEngine.h"
#include "DeviceMessages.h"
#include "ExitStatus.h"
#include "ModuleChoice.h"
#include "RecordFormat.h"
#include "RecordSink.h"
#include "ScanPublisher.h"

namespace ksv::cli {

namespace {

struct TScanRun {
    const TMeasureChoice& Choice;
    TRecordSink& Sink;
    const TRecordFormat& Format;
    TCliRunControl Control;
    std::atomic<bool> ModuleFailed{false};
};

bool Enough(const TMeasureChoice& choice, std::uint64_t scans, std::chrono::steady_clock::time_point start)
{
    if (choice.Cycles) return scans >= *choice.Cycles;
    if (choice.Duration)
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= *choice.Duration;
    return false;
}

std::vector<TRunDescription> Runs(const TCrateScan& scan)
{
    std::vector<TRunDescription> runs;
    for (const TScanModuleState& module : scan.Modules()) runs.push_back(module.Run);
    return runs;
}

void ScanUntilDone(TCrateScan& crate, TScanRun& run, TScanPublisher* publisher)
{
    const auto start = std::chrono::steady_clock::now();
    TScan scan;
    std::uint64_t done = 0;
    while (!run.Control.ShouldStop() && crate.Scan(scan) && !run.Control.ShouldStop()) {
        for (TModuleScan& module : scan.Modules)
            ApplyChannelTable(run.Choice.Channels, module.Slot, false, run.Choice.Raw, module.Cycle);
        if (!run.Sink.Write(run.Format.ScanRecord(scan))) {
            run.Control.ReportFailure(run.Sink.Error().c_str());
            break;
        }
        if (publisher) {
            publisher->Publish(scan);
            if (publisher->Refused()) run.Control.RequestStop();
        }
        if (Enough(run.Choice, ++done, start)) run.Control.RequestStop();
    }
}

} // namespace

int RunMeasureScan(const TMeasureChoice& choice, TFormat format, const std::string& outputPath,
                   const TPublisherFactory& makePublisher)
{
    TRecordSink sink;
    if (!sink.Open(outputPath)) {
        PrintError(sink.Error());
        return kExitOutputFile;
    }
    TCrateScanRequest request;
    std::string error;
    const bool resolved = ResolveCrateModules(choice, request.CrateSerial, request.Slots, error);
    if (InterruptSignal()) return InterruptStatus();
    if (!resolved || request.Slots.empty()) {
        PrintError(resolved ? "no KSV27 in crate " + request.CrateSerial : error);
        return kExitNoDevice;
    }
    request.RateIndex = choice.RateIndex;
    request.AcquisitionTime = choice.AcquisitionTime;
    request.ChooseSlots = [&choice](int, const std::array<std::string, kSlotCount>& names) {
        return ChooseActiveSlots(choice, names);
    };
    request.Terminated = [] { return InterruptSignal() != 0; };
    const std::unique_ptr<TRecordFormat> records = MakeRecordFormat(format, {&choice.Channels, choice.Raw});
    TScanRun run{choice, sink, *records, {}, {}};
    TCrateScan crate(request, [&run](const TModuleFault& fault) {
        run.ModuleFailed = true;
        PrintError("module in slot " + std::to_string(fault.Slot) + ": " + fault.Text);
    });
    crate.Start();
    const std::vector<TScanModuleState> modules = crate.Modules();
    if (std::none_of(modules.begin(), modules.end(), [](const TScanModuleState& m) { return m.Open; })) {
        PrintError(std::string(discovery_text::kModuleOpenFailed) + " (crate " + request.CrateSerial + ")");
        return kExitNoDevice;
    }
    const std::vector<TRunDescription> runs = Runs(crate);
    if (!sink.Write(records->ScanHeader(runs))) {
        PrintError(sink.Error());
        return kExitMeasureFailed;
    }
    std::unique_ptr<TScanPublisher> publisher;
    if (makePublisher) {
        publisher = std::make_unique<TScanPublisher>(makePublisher);
        publisher->Start(runs);
    }
    ScanUntilDone(crate, run, publisher.get());
    crate.RequestStop();
    const std::string refusal = publisher ? publisher->Stop() : std::string();
    if (run.Control.Failed()) {
        PrintError(run.Control.Failure());
        return kExitMeasureFailed;
    }
    if (!refusal.empty()) {
        PrintError(refusal);
        return kExitPublishRefused;
    }
    if (InterruptSignal()) return InterruptStatus();
    return run.ModuleFailed ? kExitMeasureFailed : kExitOk;
}

} // namespace ksv::cli
