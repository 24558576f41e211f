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
#include "Ksv27adcchannelpanel.h"
#include "Ksv27mainform.h"
#include "TBusyScope.h"
#include "TWorkerLifecycle.h"
#include "MeasureMessages.h"
#include "ThreadDialogLayout.h"

ksv::TMainThread* MainThread = nullptr;

namespace ksv {

namespace {

const QColor kStopCaptionColor(255, 0, 0);
const QColor kStartCaptionColor(0, 128, 0);
const QColor kAmmeterColor(255, 128, 255);
const QString kStartCaption = QStringLiteral("С   Т   А   Р   Т");
const QString kStopCaption = QStringLiteral("С   Т   О   П");

void SetTextColor(QWidget* widget, QPalette::ColorRole role, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(role, color);
    widget->setPalette(palette);
}

QStyle::StandardPixmap IconOf(TDialogKind kind)
{
    switch (kind) {
    case TDialogKind::Error: return QStyle::SP_MessageBoxCritical;
    case TDialogKind::Warning: return QStyle::SP_MessageBoxWarning;
    case TDialogKind::Confirmation: return QStyle::SP_MessageBoxQuestion;
    case TDialogKind::Information: return QStyle::SP_MessageBoxInformation;
    case TDialogKind::None: break;
    }
    return QStyle::SP_CustomBase;
}

// The standard buttons of `buttons` in the order a message box shows them;
// the i-th gets the i-th caption and answers with its own value.
QList<int> ButtonResults(int buttons, int count)
{
    QList<int> results;
    for (int bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
        if (buttons & bit) results.push_back(bit);
    while (results.size() < count) results.push_back(QMessageBox::Ok);
    return results;
}

std::unique_ptr<QDialog> BuildThreadDialog(const TModalRequest& request)
{
    constexpr int kWidth = 570, kHeight = 600, kMargin = 16, kIcon = 32;
    auto dialog = std::make_unique<QDialog>(MainForm);
    dialog->setWindowTitle(request.Caption);
    dialog->resize(kWidth, kHeight);
    QFont font = dialog->font();
    font.setPointSize(12);
    dialog->setFont(font);
    if (request.Kind == TDialogKind::Error || request.Kind == TDialogKind::Confirmation) {
        const bool error = request.Kind == TDialogKind::Error;
        QPalette palette = dialog->palette();
        palette.setColor(QPalette::Window, error ? QColor(255, 128, 32) : QColor(206, 249, 255));
        palette.setColor(QPalette::WindowText, error ? QColor(Qt::white) : QColor(Qt::black));
        dialog->setPalette(palette);
        dialog->setAutoFillBackground(true);
    }

    int textLeft = kMargin;
    const QStyle::StandardPixmap iconKind = IconOf(request.Kind);
    if (iconKind != QStyle::SP_CustomBase) {
        auto* icon = new QLabel(dialog.get());
        icon->setPixmap(dialog->style()->standardIcon(iconKind).pixmap(kIcon, kIcon));
        icon->setGeometry(kMargin, kMargin, kIcon, kIcon);
        textLeft += kIcon + kMargin;
    }
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
    if (MainForm) {
        const QRect main = MainForm->frameGeometry();
        dialog->move(CentredOver(main.left(), main.width(), kWidth),
                     CentredOver(main.top(), main.height(), layout.DialogHeight));
    }
    return dialog;
}

} // namespace

int ThreadMessageDialog(const QString& caption, TDialogKind kind, int buttons, const QStringList& buttonCaptions,
                        const QString& text)
{
    // Escape must not reach the window's handling while the dialog is up.
    struct THookOff {
        THookOff() { if (MainForm) MainForm->SetShortcutHookEnabled(false); }
        ~THookOff() { if (MainForm) MainForm->SetShortcutHookEnabled(true); }
    } hookOff;
    TModalRequest request;
    request.Caption = caption;
    request.Text = text;
    request.Kind = kind;
    request.Buttons = buttons;
    request.ButtonCaptions = buttonCaptions;
    request.Build = [request] { return BuildThreadDialog(request); };
    return ShowModal(request);
}

// ---- the thread ---------------------------------------------------------------

namespace {

// The record a thread made without a window works on; never opened.
Ksv27ModuleRecord& NoWindowRecord()
{
    static Ksv27ModuleRecord record{};
    return record;
}

} // namespace

TMainThread::TMainThread()
    : Engine(MainForm ? MainForm->ModuleRecord : NoWindowRecord()),
      startedOnMultimeterPage_(MainForm && MainForm->MainLMDPageControl->currentIndex() == 0),
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
    if (!MainForm->Workers->FailureMayBeShown()) return;
    ThreadMessageDialog(QString::fromUtf8(msg::kThreadMessageCaption), TDialogKind::Error, QMessageBox::Ok,
                        {QString::fromUtf8(msg::kAcceptedButton)}, MessageText);
}

void TMainThread::Execute()
{
    try {
        try {
            MainForm->MeasurementRunning = true;
            UseDotDecimalSeparator();
            StopRequested = false;
            if (startedOnMultimeterPage_) MainForm->AcquisitionIdle = false;
            Handlers[0] = {&TMainThread::MultimeterHandler, this};
            Sleep(100);
            if (!Handlers[0].Empty())
                Handlers[0].Procedure(Handlers[0].UserData);
            else
                ReportFailure(msg::kNoHandler);
        } catch (const TConversionError&) {
            const std::lconv* conventions = std::localeconv();
            const char separator = conventions && conventions->decimal_point ? conventions->decimal_point[0] : '.';
            UseDotDecimalSeparator();
            Report(QString::fromUtf8(msg::kConversionPrefix) + QChar::fromLatin1(separator) +
                   QString::fromUtf8(msg::kConversionSuffix));
        } catch (...) {
            ReportFailure(msg::kThreadException);
            MainForm->CrateStatusOk = 0;
            MainForm->ModuleState = 0;
        }
    } catch (...) {
        // Showing the failure failed as well; the thread still waits for its stop.
    }
    while (!Terminated()) Sleep(50);
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
    TBusyScope change;
    TMainForm& w = *MainForm;
    w.StartMultimeterLMDSpeedButton->setText(kStopCaption);
    SetTextColor(w.StartMultimeterLMDSpeedButton, QPalette::ButtonText, kStopCaptionColor);
    w.VoltmeterValueLMDLabel->clear();
    w.AmperemeterValueLMDLabel->clear();
    w.ResistanceValueLMDLabel->clear();
    SetTextColor(w.AmperemeterValueLMDLabel, QPalette::WindowText, kAmmeterColor);
    for (TKsv27AdcChannelFrame* frame : w.SlotFrames) {
        if (!frame) continue;
        frame->Value1LMDEdit->clear();
        frame->Value2LMDEdit->clear();
        frame->SetChannelLamp(1, TKsv27AdcChannelFrame::kLampOff);
        frame->SetChannelLamp(2, TKsv27AdcChannelFrame::kLampOff);
    }
    AcquisitionTime = w.AcquisitionTime;
}

void TMainThread::ConfigureModule()
{
    const TMainForm& w = *MainForm;
    TMeasureRequest request;
    request.AcquisitionTime = AcquisitionTime;
    request.RateIndex = w.AdcRateLMDComboBox->currentIndex();
    if (request.RateIndex >= 0) request.RateText = w.AdcRateLMDComboBox->itemText(request.RateIndex).toStdString();
    // The run uses this picture of the check boxes, never the boxes
    // themselves, which belong to the window's thread.
    for (std::size_t s = 0; s < request.SlotChecked.size(); ++s)
        request.SlotChecked[s] = w.SlotFrames[s] && w.SlotFrames[s]->SlotNumberLMDCheckBox->isChecked();
    const TEngineStatus configured = Engine.Configure(request);
    AdcRate = Engine.RateHz();
    if (!configured) ReportFailure(configured.Message.c_str());
}

void TMainThread::ShowChannelValues()
{
    {
        TBusyScope change;
        TMainForm& w = *MainForm;
        for (TKsv27AdcChannelFrame* frame : w.SlotFrames) {
            if (!frame) continue;
            frame->SetChannelLamp(1, TKsv27AdcChannelFrame::kLampOff);
            frame->SetChannelLamp(2, TKsv27AdcChannelFrame::kLampOff);
        }
        for (std::size_t s = 0; s < 8; ++s) {
            TKsv27AdcChannelFrame* frame = w.SlotFrames[s];
            if (!frame) continue;
            // A slot that was not averaged in this run has no value to show,
            // even if its box has been ticked since.
            const bool shown = Engine.Slots().Active[s] && frame->SlotNumberLMDCheckBox->isChecked();
            const TChannelResult* channels = &LastCycle.Channels[2 * s];
            frame->Value1LMDEdit->setText(shown ? QString::fromStdString(channels[0].Text) : QString(kNoValueText));
            frame->Value2LMDEdit->setText(shown ? QString::fromStdString(channels[1].Text) : QString(kNoValueText));
        }
    }
    if (MainForm->OnCycleShown) MainForm->OnCycleShown(LastCycle);
}

void TMainThread::ShowUpdateMarks()
{
    TMainForm& w = *MainForm;
    for (std::size_t s = 0; s < 8; ++s) {
        TKsv27AdcChannelFrame* frame = w.SlotFrames[s];
        if (!frame) continue;
        const bool shown = Engine.Slots().Active[s] && frame->SlotNumberLMDCheckBox->isChecked();
        const TSlotLamps lamps = SlotUpdateMarks(shown, Engine.Slots().Names[s]);
        const TLampUpdate each[2] = {lamps.Lamp1, lamps.Lamp2};
        for (int c = 0; c < 2; ++c) {
            if (each[c] == TLampUpdate::Updated) frame->SetChannelLamp(c + 1, TKsv27AdcChannelFrame::kLampUpdated);
            if (each[c] == TLampUpdate::Off) frame->SetChannelLamp(c + 1, TKsv27AdcChannelFrame::kLampOff);
        }
    }
}

void TMainThread::ShowStopState()
{
    {
        TBusyScope change;
        TMainForm& w = *MainForm;
        w.StartMultimeterLMDSpeedButton->setText(kStartCaption);
        SetTextColor(w.StartMultimeterLMDSpeedButton, QPalette::ButtonText, kStartCaptionColor);
        w.StartMultimeterLMDSpeedButton->setChecked(false);
        for (QWidget* hinted : {static_cast<QWidget*>(w.AmpltudeGeneratorLMDEdit), static_cast<QWidget*>(w.VoltmeterValueLMDLabel),
                                static_cast<QWidget*>(w.AmperemeterValueLMDLabel), static_cast<QWidget*>(w.ResistanceValueLMDLabel)})
            hinted->setToolTip(QString());
    }
    Engine.FreeBuffers();
    MainForm->AcquisitionIdle = true;
}

} // namespace ksv
