// `measure`: open the chosen module, configure it as the window does, and
// write one record per cycle (and hand it to the publisher, when there is
// one) until the cycles asked for are done, the duration has passed, a
// failure comes, the publisher is refused for good or Ctrl+C / SIGTERM ask to
// stop. Whatever ends the run, the acquisition is stopped, the module closed
// and the publisher stopped.
#include <chrono>

#include "CliRunControl.h"
#include "CyclePublisher.h"
#include "Commands.h"
#include "DeviceEngine.h"
#include "ExitStatus.h"
#include "MeasureEngine.h"
#include "ModuleChoice.h"
#include "RecordFormat.h"
#include "RecordSink.h"

namespace ksv::cli {

namespace {

struct TRun {
    const TMeasureChoice& Choice;
    TRecordSink& Sink;
    const TRecordFormat& Format;
    TCyclePublisher* Publisher; // none: records only
    int Slot;                   // the module's crate slot
    TCliRunControl Control;
};

bool Enough(const TMeasureChoice& choice, std::uint64_t cycles, std::chrono::steady_clock::time_point start)
{
    if (choice.Cycles) return cycles >= *choice.Cycles;
    if (choice.Duration)
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= *choice.Duration;
    return false;
}

// Cycles until the run ends; a record is written whole once its cycle is.
void MeasureCycles(TMeasureEngine& engine, TRun& run)
{
    const auto start = std::chrono::steady_clock::now();
    TCycleResult result;
    std::uint64_t done = 0;
    while (!run.Control.ShouldStop() && engine.RunCycle(run.Control, result)) {
        ApplyChannelTable(run.Choice.Channels, run.Slot, true, run.Choice.Raw, result);
        if (!run.Sink.Write(run.Format.Record(result))) {
            run.Control.ReportFailure(run.Sink.Error().c_str());
            break;
        }
        if (run.Publisher) {
            run.Publisher->Publish(result);
            if (run.Publisher->Refused()) run.Control.RequestStop();
        }
        if (Enough(run.Choice, ++done, start)) run.Control.RequestStop();
    }
}

// Configures the open module and measures; the module's acquisition is
// stopped at the end whatever happened.
int MeasureWithModule(TDeviceEngine& device, TRun& run)
{
    TMeasureEngine engine(device.Record());
    ksv::TMeasureRequest request;
    request.RateIndex = run.Choice.RateIndex;
    request.AcquisitionTime = run.Choice.AcquisitionTime;
    request.SlotChecked = ChooseActiveSlots(run.Choice, MezzanineNames(device.Record()));
    TEngineStatus status = engine.Configure(request);
    if (status) status = engine.Allocate();
    const TRunDescription described = engine.Describe(device.ChosenCrateSerial(), device.ChosenSlot());
    if (!status) {
        run.Control.ReportFailure(status.Message.c_str());
    } else if (!run.Sink.Write(run.Format.Header(described))) {
        run.Control.ReportFailure(run.Sink.Error().c_str());
    } else {
        if (run.Publisher) run.Publisher->Start(described);
        MeasureCycles(engine, run);
    }
    engine.StopAcquisition(run.Control);
    engine.FreeBuffers();
    const std::string refusal = run.Publisher ? run.Publisher->Stop() : std::string();
    if (run.Control.Failed()) {
        PrintError(run.Control.Failure());
        return kExitMeasureFailed;
    }
    if (!refusal.empty()) {
        PrintError(refusal);
        return kExitPublishRefused;
    }
    return InterruptSignal() ? InterruptStatus() : kExitOk;
}

} // namespace

int RunMeasure(const TMeasureChoice& choice, TFormat format, const std::string& outputPath,
               TCyclePublisher* publisher)
{
    TRecordSink sink;
    if (!sink.Open(outputPath)) {
        PrintError(sink.Error());
        return kExitOutputFile;
    }
    TDeviceEngine device;
    std::string error;
    const bool chosen = FindAndChooseModule(device, choice, error);
    if (InterruptSignal()) return InterruptStatus();
    if (!chosen) {
        PrintError(error);
        return kExitNoDevice;
    }
    if (!device.OpenChosenModule()) {
        device.CloseModule();
        PrintError(std::string(discovery_text::kModuleOpenFailed) + " (crate " + device.ChosenCrateSerial() +
                   ", slot " + std::to_string(device.ChosenSlot()) + ")");
        return kExitNoDevice;
    }
    const std::unique_ptr<TRecordFormat> records = MakeRecordFormat(format, {&choice.Channels, choice.Raw});
    TRun run{choice, sink, *records, publisher, device.ChosenSlot(), {}};
    const int status = MeasureWithModule(device, run);
    device.CloseModule();
    return status;
}

} // namespace ksv::cli
