#include "Mainthread.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <clocale>
#include <cstddef>

#include "DecimalSeparator.h"
#include "MeasureMessages.h"
#include "ThreadDialogLayout.h"
#include "WorkerDialog.h"

ksv::TMainThread* MainThread = nullptr;

namespace ksv {

namespace {

// The standard buttons of `buttons` in the order a message box shows them;
// the i-th gets the i-th caption and answers with its own value.
QList<int> ButtonResults(int buttons, int count)
{
    QList<int> results = StandardButtonsOf(buttons);
    while (results.size() < count) results.push_back(QMessageBox::Ok);
    return results;
}

std::unique_ptr<QDialog> BuildThreadDialog(const TModalRequest& request, QWidget* parent)
{
    constexpr int kWidth = kWorkerDialogWidth, kMargin = kWorkerDialogMargin, kIcon = kWorkerDialogIcon;
    auto dialog = std::make_unique<QDialog>(parent);
    dialog->setWindowTitle(request.Caption);
    dialog->resize(kWidth, kWorkerDialogHeight);
    ApplyWorkerLook(*dialog, request.Kind, true);
    const QFont font = dialog->font();
    const int textLeft = PlaceKindIcon(*dialog, request.Kind);
    // The text takes the whole width the wider dialog gives it.
    auto* label = new QLabel(request.Text, dialog.get());
    label->setObjectName(QStringLiteral("ThreadMessageLabel"));
    label->setWordWrap(true);
    const int labelWidth = kWidth - textLeft - kMargin;
    const int labelHeight = std::max(label->heightForWidth(labelWidth), kIcon);
    label->setGeometry(textLeft, kMargin, labelWidth, labelHeight);

    const QStringList captions =
        request.ButtonCaptions.isEmpty() ? QStringList{QStringLiteral("OK")} : request.ButtonCaptions;
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString& caption : captions) widest = std::max(widest, metrics.horizontalAdvance(caption));

    TThreadDialogLayoutInput in;
    in.DialogWidth = kWidth;
    in.ButtonCount = static_cast<int>(captions.size());
    in.WidestCaptionWidth = widest;
    in.CaptionTextHeight = metrics.height();
    in.LabelTop = kMargin;
    in.LabelHeight = labelHeight;
    in.CaptionBarHeight = dialog->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    in.FrameHeight = dialog->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const TThreadDialogLayout layout = ThreadDialogLayout(in);

    const QList<int> results = ButtonResults(request.Buttons, in.ButtonCount);
    QDialog* target = dialog.get();
    for (int i = 0; i < in.ButtonCount; ++i) {
        auto* button = new QPushButton(captions[i], dialog.get());
        button->setGeometry(layout.ButtonLefts[static_cast<std::size_t>(i)], layout.ButtonTop, layout.ButtonWidth,
                            layout.ButtonHeight);
        button->setAutoFillBackground(false);
        const int result = results[i];
        QObject::connect(button, &QPushButton::clicked, target, [target, result] { target->done(result); });
        if (i == 0) button->setDefault(true);
    }
    // The toolkit sizes the client area; the title bar and frames come on top.
    const int clientHeight = layout.DialogHeight - in.CaptionBarHeight - 2 * in.FrameHeight;
    dialog->setFixedSize(kWidth, clientHeight);
    if (parent) {
        const QRect main = parent->frameGeometry();
        dialog->move(CentredOver(main.left(), main.width(), kWidth),
                     CentredOver(main.top(), main.height(), layout.DialogHeight));
    }
    return dialog;
}

} // namespace

int ThreadMessageDialog(const QString& caption, TDialogKind kind, int buttons, const QStringList& buttonCaptions,
                        const QString& text, QWidget* parent)
{
    TModalRequest request;
    request.Caption = caption;
    request.Text = text;
    request.Kind = kind;
    request.Buttons = buttons;
    request.ButtonCaptions = buttonCaptions;
    request.Build = [request, parent] { return BuildThreadDialog(request, parent); };
    return ShowWorkerDialog(request);
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
    view_.ShowRunStarted();
    AcquisitionTime = view_.RunAcquisitionTime();
}

void TMainThread::ConfigureModule()
{
    // The run uses this picture of the controls, never the controls
    // themselves, which belong to the window's thread.
    TMeasureRequest request = view_.RunRequest();
    request.AcquisitionTime = AcquisitionTime;
    const TEngineStatus configured = Engine.Configure(request);
    AdcRate = Engine.RateHz();
    if (!configured) ReportFailure(configured.Message.c_str());
}

void TMainThread::ShowChannelValues() { view_.ShowCycle(LastCycle, Engine.Slots()); }

void TMainThread::ShowUpdateMarks() { view_.ShowUpdateMarks(Engine.Slots()); }

void TMainThread::ShowStopState()
{
    view_.ShowRunStopped();
    Engine.FreeBuffers();
    view_.SetAcquisitionIdle(true);
}

} // namespace ksv
