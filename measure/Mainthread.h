// The measurement thread of the multimeter page.
//
// The window creates one per START (OnStartMainThread) and deletes it in
// StopMeasurement; FreeOnTerminate is false. The body runs the page's
// handler (MultimeterHandler: configure, allocate, then cycles of read,
// convert, average and show until stopped or the first failure), then idles
// until Terminate. Everything it does to the window runs on the window's
// thread through Synchronize; the loop itself works only on the thread's own
// members, which the window's steps fill and read while the worker waits.
#pragma once

#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "CycleResult.h"
#include "MeasureCore.h"
#include "ModalDialogs.h"
#include "ReadCycle.h"
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
    TMainThread();
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
    double AcquisitionTime = 0.0;
    double AdcRate = 0.0;
    std::uint32_t ActiveChannelCount = 0;
    std::array<std::uint16_t, 16> ChannelIndex{};
    TCycleSizes Sizes;         // RecvBlockSize, TotalSamples, TotalWords, SamplesPerChannel
    TMeasureBuffers Buffers;   // RcvBuffer, Data, ChannelsStatus, DataPerChannel, Window
    double WindowSum = 0.0;
    std::array<double, 16> ChannelValue{};
    // Taken on the window's thread when the module is configured: the
    // mezzanine name of each slot and whether it takes part (fitted and its
    // box checked). The window changes neither while a run goes on.
    std::array<std::string, 8> SlotNames;
    std::array<bool, 8> SlotActive{};
    // The cycle as shown, for the window's OnCycleShown: its number since
    // START, the time its acquisition began, and each channel's value and text.
    TCycleResult CycleShown;
    std::chrono::system_clock::time_point CycleStart{};

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

    const bool startedOnMultimeterPage_;
    // The hand-off steps, built once so a cycle allocates nothing.
    const std::function<void()> showValuesStep_;
    const std::function<void()> showMarksStep_;
    const std::function<void()> showMessageStep_;
};

// The measurement thread's dialog: a message dialog 570 wide with 12 pt text,
// coloured by kind (error: white on orange; confirmation: black on light
// blue), one button per caption, sized to its text and centred over the main
// window. The Escape handling of the window is off while it shows. Returns
// the modal result.
int ThreadMessageDialog(const QString& caption, TDialogKind kind, int buttons, const QStringList& buttonCaptions,
                        const QString& text);

} // namespace ksv

// The running measurement thread, or null.
extern ksv::TMainThread* MainThread;
