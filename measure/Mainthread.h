// The measurement thread of the multimeter page.
//
// The window creates one per START (OnStartMainThread) and deletes it in
// StopMeasurement; FreeOnTerminate is false. The body runs the page's
// handler (MultimeterHandler: configure, allocate, then cycles of read,
// convert, average and show until stopped or the first failure), then idles
// until Terminate. It sees the window only through its IMeasurementView;
// everything it does to the window runs on the window's thread through
// Synchronize. The module steps are those of the thread's engine, which the
// window's steps fill and read while the worker waits.
#pragma once

#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "MeasureCore.h"
#include "MeasureEngine.h"
#include "MeasurementView.h"
#include "ModalDialogs.h"
#include "TThread.h"

namespace ksv {

// One page handler: a procedure and the pointer it is given. Empty while
// the procedure is null.
struct ThreadHandler {
    void (*Procedure)(void* userData) = nullptr;
    void* UserData = nullptr;
    bool Empty() const { return Procedure == nullptr; }
};

class TMainThread : public TThread, public TRunControl {
public:
    // Created running. Call on the window's thread: it notes which page is
    // active, for the set-up step.
    explicit TMainThread(IMeasurementView& view);
    ~TMainThread() override;

    // Set by the first reported failure; every loop ends when it is set.
    std::atomic<bool> StopRequested{false};
    std::array<ThreadHandler, 1> Handlers{};
    // The text ShowThreadMessage shows.
    QString MessageText;

    // Window's thread: shows MessageText unless a failure was shown already
    // in this run, and sets StopRequested.
    void ShowThreadMessage();

    // ---- the measurement's own data (Multimeter handler) --------------
    // Copied from the window when the run starts.
    double AcquisitionTime = 0.0;
    // The configured rate, for the window's own use.
    double AdcRate = 0.0;
    // The module steps of the run: configuration, buffers, cycles. Its slot
    // picture (names, which slots take part) is taken on the window's
    // thread when the module is configured; the window changes neither
    // while a run goes on.
    TMeasureEngine Engine;
    // The cycle last measured; the window shows it and hands it on.
    TCycleResult LastCycle;

    // The page handler; `userData` is the thread.
    static void MultimeterHandler(void* userData);

    // TRunControl
    bool RunTerminated() const override { return Terminated(); }
    bool RunStopRequested() const override { return StopRequested; }
    // Reports a failure from either thread: MessageText, then ShowThreadMessage
    // on the window's thread.
    void ReportFailure(const char* text) override;

protected:
    void Execute() override;

private:
    void RunMultimeter();
    void PrepareMeasurement();
    // Window's thread.
    void ShowStartState();
    void ConfigureModule();
    void ShowChannelValues();
    void ShowUpdateMarks();
    void ShowStopState();

    void Report(const QString& text);
    void ReportConversionError();

    IMeasurementView& view_;
    const bool startedOnMultimeterPage_;
    // The hand-off steps, built once so a cycle allocates nothing.
    const std::function<void()> showValuesStep_;
    const std::function<void()> showMarksStep_;
    const std::function<void()> showMessageStep_;
};

// The measurement thread's dialog: a message dialog 570 wide with 12 pt text,
// coloured by kind (error: white on orange; confirmation: black on light
// blue), one button per caption, sized to its text and centred over
// `parent` when there is one. Returns the modal result.
int ThreadMessageDialog(const QString& caption, TDialogKind kind, int buttons, const QStringList& buttonCaptions,
                        const QString& text, QWidget* parent = nullptr);

} // namespace ksv

// The running measurement thread, or null.
extern ksv::TMainThread* MainThread;
