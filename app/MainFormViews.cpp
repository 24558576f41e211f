// The two views the workers see of the main window: the discovery's and the
// measurement's. The window keeps the shared flags and the window-wide
// steps; what a worker shows goes to the part that shows it (the device
// panel, the multimeter page), which implements that half itself.
#include <QTabWidget>

#include "DevicePanel.h"
#include "HandlerGuard.h"
#include "Ksv27mainform.h"
#include "MultimeterPage.h"
#include "SettingsController.h"
#include "TWorkerLifecycle.h"

// ---- the discovery's view ---------------------------------------------------------

void TMainForm::SetDiscoveryRunning(bool running) { DiscoveryRunning = running; }

ksv::TModuleState TMainForm::ModuleStateNow() const
{
    return static_cast<ksv::TModuleState>(device_->State().ModuleState.load());
}

void TMainForm::SetModuleState(ksv::TModuleState state) { ModuleState() = state; }

void TMainForm::SetCrateStatusOk(bool ok) { CrateStatusOk() = ok ? 1 : 0; }

ksv::TDeviceInventory& TMainForm::DeviceInventory() { return device_->State().Inventory; }

ksv::TDeviceEngine& TMainForm::Engine() { return device_->State().DeviceEngine; }

void TMainForm::ShowDiscoveryBegun()
{
    MainLMDPageControl->setEnabled(false);
    const ksv::TBusyScope busy(HandlerBusy);
    MainLMDPageControl->setCurrentIndex(0);
    StartMultimeterLMDSimplePanel->setVisible(false);
}

ksv::IDiscoveryDisplay& TMainForm::DeviceDisplay() { return *device_; }

QRect TMainForm::WindowFrame() const { return frameGeometry(); }

QRect TMainForm::WindowClient() const { return geometry(); }

void TMainForm::MoveWindow(const QPoint& topLeft) { move(topLeft); }

bool TMainForm::TakeDefaultIniFile(const std::string& path, const ksv::TDefaultFileOutcome& outcome)
{
    return settings_->TakeDefaultIniFile(path, outcome);
}

bool TMainForm::LoadSettings(ksv::TIniFile* ini) { return settings_->LoadSettings(ini); }

void TMainForm::ShowDiscoveryEnded()
{
    // The end of a discovery holds the guard while it gives the controls
    // back, and frees it on every way out.
    HandlerBusy = true;
    try {
        GiveControlsBack();
    } catch (...) {
        ksv::ReleaseGuard(HandlerBusy);
        throw;
    }
    ksv::ReleaseGuard(HandlerBusy);
}

void TMainForm::GiveControlsBack()
{
    device_->EnableDetection();
    settings_->EnableSaveButton();
    ModuleDetectionLMDGroupBox->repaint();
    MainLMDSimplePanel->setEnabled(true);
    MainLMDPageControl->setEnabled(true);
    if (QWidget* page0 = MainLMDPageControl->widget(0)) page0->setEnabled(true);
    multimeter_->EnableAfterDiscovery(ModuleState() == ksv::kModuleOpen);
}

bool TMainForm::FailureMayBeShown() { return Workers->FailureMayBeShown(); }

QWidget* TMainForm::DialogParent() { return this; }

// ---- the measurement's view -------------------------------------------------------

void TMainForm::SetMeasurementRunning(bool running) { MeasurementRunning = running; }

void TMainForm::SetAcquisitionIdle(bool idle) { AcquisitionIdle = idle; }

void TMainForm::ForgetDevice()
{
    CrateStatusOk() = 0;
    ModuleState() = ksv::kNoModule;
}

Ksv27ModuleRecord& TMainForm::MeasuredRecord() { return ModuleRecord(); }

bool TMainForm::OnMultimeterPage() const { return MainLMDPageControl->currentIndex() == 0; }

double TMainForm::RunAcquisitionTime() const { return multimeter_->Tables().AcquisitionTime; }

ksv::IRunDisplay& TMainForm::RunDisplay() { return *multimeter_; }
