#include "Mainthread.h"

#include <QMessageBox>
#include <clocale>

#include "DecimalSeparator.h"
#include "MeasureMessages.h"
#include "WorkerDialog.h"

ksv::TMainThread* MainThread = nullptr;

namespace ksv {

int ThreadMessageDialog(const QString& caption, TDialogKind kind, int buttons, const QStringList& buttonCaptions,
                        const QString& text, QWidget* parent)
{
    return ShowWorkerMessage(kMeasurementDialogLook, caption, kind, buttons, buttonCaptions, text, parent);
}

// ---- the thread ---------------------------------------------------------------

TMainThread::TMainThread(IMeasurementView& view)
    : Engine(view.MeasuredRecord()),
      view_(view),
      startedOnMultimeterPage_(view.OnMultimeterPage()),
      showValuesStep_([this] { ShowChannelValues(); }),
      showMarksStep_([this] { ShowUpdateMarks(); }),
      showMessageStep_([this] { ShowThreadMessage(); })
{
    FreeOnTerminate = false;
    Start();
}

TMainThread::~TMainThread()
{
    // The body must be gone before the members it uses are.
    Terminate();
    WaitFor();
}

void TMainThread::Report(const QString& text)
{
    MessageText = text;
    Synchronize(showMessageStep_);
}

void TMainThread::ReportFailure(const char* text) { Report(QString::fromUtf8(text)); }

void TMainThread::ShowThreadMessage()
{
    if (StopRequested) return;
    StopRequested = true;
    // A close under way ends this run; its failures are not shown.
    if (!view_.FailureMayBeShown()) return;
    TShortcutHookOff hookOff(view_);
    ThreadMessageDialog(QString::fromUtf8(msg::kThreadMessageCaption), TDialogKind::Error, QMessageBox::Ok,
                        {QString::fromUtf8(msg::kAcceptedButton)}, MessageText, view_.DialogParent());
}

void TMainThread::Execute()
{
    try {
        try {
            view_.SetMeasurementRunning(true);
            UseDotDecimalSeparator();
            StopRequested = false;
            if (startedOnMultimeterPage_) view_.SetAcquisitionIdle(false);
            Handlers[0] = {&TMainThread::MultimeterHandler, this};
            Sleep(100);
            if (!Handlers[0].Empty())
                Handlers[0].Procedure(Handlers[0].UserData);
            else
                ReportFailure(msg::kNoHandler);
        } catch (const TConversionError&) {
            ReportConversionError();
        } catch (...) {
            ReportFailure(msg::kThreadException);
            view_.ForgetDevice();
        }
    } catch (...) {
        // Showing the failure failed as well; the thread still waits for its stop.
    }
    while (!Terminated()) Sleep(50);
}

void TMainThread::ReportConversionError()
{
    // The text names the separator the conversion met, then '.' is set again.
    const std::lconv* conventions = std::localeconv();
    const char separator = conventions && conventions->decimal_point ? conventions->decimal_point[0] : '.';
    UseDotDecimalSeparator();
    Report(QString::fromUtf8(msg::kConversionPrefix) + QChar::fromLatin1(separator) +
           QString::fromUtf8(msg::kConversionSuffix));
}

void TMainThread::MultimeterHandler(void* userData) { static_cast<TMainThread*>(userData)->RunMultimeter(); }

void TMainThread::RunMultimeter()
{
    try {
        PrepareMeasurement();
        Sleep(100);
        // The engine measures only when the preparation went through; a stop
        // during it leaves no buffers and the loop ends at once.
        while (!Terminated() && !StopRequested) {
            if (!Engine.RunCycle(*this, LastCycle)) break;
            Synchronize(showValuesStep_);
            Sleep(100);
            Synchronize(showMarksStep_);
        }
    } catch (...) {
        ReportFailure(msg::kHandlerException);
    }
    Engine.StopAcquisition(*this);
    Sleep(100);
    Synchronize([this] { ShowStopState(); });
}

void TMainThread::PrepareMeasurement()
{
    Synchronize([this] { ShowStartState(); });
    if (ShouldStop()) return;
    Sleep(50);
    bool configured = false;
    Synchronize([this, &configured] {
        ConfigureModule();
        configured = !StopRequested;
    });
    if (ShouldStop() || !configured) return;
    Sleep(50);
    const TEngineStatus allocated = Engine.Allocate();
    if (!allocated) ReportFailure(allocated.Message.c_str());
}

void TMainThread::ShowStartState()
{
    view_.RunDisplay().ShowRunStarted();
    AcquisitionTime = view_.RunAcquisitionTime();
}

void TMainThread::ConfigureModule()
{
    // The run uses this picture of the controls, never the controls
    // themselves, which belong to the window's thread.
    TMeasureRequest request = view_.RunDisplay().RunRequest();
    request.AcquisitionTime = AcquisitionTime;
    const TEngineStatus configured = Engine.Configure(request);
    AdcRate = Engine.RateHz();
    if (!configured) ReportFailure(configured.Message.c_str());
}

void TMainThread::ShowChannelValues() { view_.RunDisplay().ShowCycle(LastCycle, Engine.Slots()); }

void TMainThread::ShowUpdateMarks() { view_.RunDisplay().ShowUpdateMarks(Engine.Slots()); }

void TMainThread::ShowStopState()
{
    view_.RunDisplay().ShowRunStopped();
    Engine.FreeBuffers();
    view_.SetAcquisitionIdle(true);
}

} // namespace ksv
