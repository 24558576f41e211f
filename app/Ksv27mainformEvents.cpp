// The main window's lifecycle (show, resize, activate, close), its window
// messages and the workers' operations, the page rule and the Escape key.
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>

#include "DecimalSeparator.h"
#include "HandlerGuard.h"
#include "Ksv27adcchannelpanel.h"
#include "Ksv27mainform.h"
#include "ModalDialogs.h"
#include "MultimeterPage.h"
#include "TApplication.h"
#include "TWorkerLifecycle.h"

namespace {

// The application's shortcut hook for the Escape key. It sees a key press
// once, when it is delivered to the widget that has the focus (or to the
// window when none has), before that widget acts on it. Keys meant for a
// modal dialog or an open pop-up are left alone: Escape closes those.
class TEscapeKeyHook final : public QObject {
public:
    explicit TEscapeKeyHook(TMainForm* window) : QObject(window), Window(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Keys go to widgets. Events for other objects (among them the
        // workers' wake-ups, made on their own threads) are not looked at.
        if (!watched->isWidgetType() || event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Escape) return false;
        if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) return false;
        auto* target = qobject_cast<QWidget*>(watched);
        if (!target) return false;
        QWidget* focus = QApplication::focusWidget();
        if (focus ? target != focus : !target->isWindow()) return false;
        bool handled = false;
        ksv::RunGuarded([&] { handled = Window->EscapeKeyPressed(); });
        return handled;
    }

private:
    TMainForm* Window;
};

} // namespace

bool TMainForm::event(QEvent* e)
{
    if (e->type() == static_cast<QEvent::Type>(ksv::WM_START_DISCOVERY)) {
        OnStartInitDevicesThread(*static_cast<ksv::TWindowMessage*>(e));
        return true;
    }
    if (e->type() == static_cast<QEvent::Type>(ksv::WM_START_MEASUREMENT)) {
        OnStartMainThread();
        return true;
    }
    return QMainWindow::event(e);
}

void TMainForm::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    FormShow();
}

void TMainForm::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    FormResize();
}

void TMainForm::closeEvent(QCloseEvent* e)
{
    if (Workers->CloseEvent())
        e->accept();
    else
        e->ignore();
}

void TMainForm::FormShow()
{
    const ksv::THandlerScope handler(HandlerBusy);
    if (!handler.Entered() || StartupPhase != ksv::kStartupConstructed) return;
    StartupPhase = ksv::kStartupShown;
    // Qt delivers a hidden window's pending resize before its show, and a
    // fixed-size window gets no resize after it; so the resize that follows
    // the first show is queued here. A real one that comes first does the
    // work, and this one then finds nothing to do.
    QTimer::singleShot(0, this, [this] { ksv::RunGuarded([this] { FormResize(); }); });
}

void TMainForm::FormResize()
{
    const ksv::THandlerScope handler(HandlerBusy);
    if (!handler.Entered() || StartupPhase != ksv::kStartupShown) return;
    // The platform knows the window's decoration by now: size it again with
    // the true caption and frame, then centre it vertically.
    FitToWorkArea();
    if (const QScreen* display = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const int top = (display->availableGeometry().height() - frameGeometry().height()) / 2;
        move(pos().x(), top);
    }
    StartupPhase = ksv::kStartupRunning;
    StartDiscovery(ksv::TDiscoveryMode::Full, true);
}

void TMainForm::FormClose() { Workers->Close(); }

void TMainForm::ApplicationActivate(bool active)
{
    if (active) ksv::UseDotDecimalSeparator();
    for (ksv::TKsv27AdcChannelFrame* frame : SlotFrames())
        if (frame) frame->AppActive = active ? 1 : 0;
}

void TMainForm::ApplicationExitClick() { Workers->ExitRequested(); }

void TMainForm::MainLMDPageControlChangingEx(int newPage, bool& cancel)
{
    const ksv::THandlerScope handler(HandlerBusy);
    if (!handler.Entered()) return;
    if (ModuleState() != ksv::kModuleOpen) {
        MainLMDPageControl->setEnabled(true);
        // The box is modal: the window's handlers work again under it.
        ksv::ReleaseGuard(HandlerBusy);
        ksv::ShowMessageBox(QStringLiteral("Нет открытого модуля! Поэтому данная опция не доступна!"),
                            QStringLiteral("Внимание!!!"), ksv::TDialogKind::Information);
        cancel = true;
        return;
    }
    if (newPage == 0) {
        StartMultimeterLMDSimplePanel->setVisible(true);
        StopMeasurement();
    }
}

// The page control's other two events do nothing.
void TMainForm::MainLMDPageControlChanging() {}

void TMainForm::MainLMDPageControlChange() {}

bool TMainForm::EscapeKeyPressed()
{
    if (HandlerBusy || DiscoveryRunning) {
        // Escape frees a guard that a failed handler may have left set.
        ksv::ReleaseGuard(HandlerBusy);
        return true;
    }
    if (MainLMDPageControl->currentIndex() == 0 && !AcquisitionIdle) StopMeasurement();
    return false;
}

void TMainForm::SetShortcutHookEnabled(bool enabled)
{
    if (!qApp) return;
    if (!EscapeHook) EscapeHook = new TEscapeKeyHook(this);
    // Removing first keeps a second enable from installing it twice.
    qApp->removeEventFilter(EscapeHook);
    if (enabled) qApp->installEventFilter(EscapeHook);
}

void TMainForm::StartDiscovery(ksv::TDiscoveryMode mode, bool useSaved)
{
    Workers->RequestDiscovery(mode, useSaved);
}

void TMainForm::OnStartInitDevicesThread(const ksv::TWindowMessage& message)
{
    Workers->StartDiscoveryThread(static_cast<ksv::TDiscoveryMode>(message.WParam), message.LParam != 0);
}

void TMainForm::WaitForDiscoveryToEnd() { Workers->WaitForDiscoveryToEnd(); }

void TMainForm::OnStartMainThread() { Workers->StartMeasurementThread(); }

void TMainForm::StopMeasurement() { Workers->StopMeasurement(); }
