// What the window's parts own, reachable from the window under its own
// names: the device panel's device state and title, the multimeter page's
// tables and frames, the settings controller's settings file.
#include "DevicePanel.h"
#include "Ksv27mainform.h"
#include "MultimeterPage.h"
#include "SettingsController.h"

// ---- the device panel's ----------------------------------------------------------

std::atomic<int>& TMainForm::CrateStatusOk() { return device_->State().CrateStatusOk; }

std::atomic<std::uint8_t>& TMainForm::ModuleState() { return device_->State().ModuleState; }

Ksv27ModuleRecord& TMainForm::ModuleRecord() { return device_->State().ModuleRecord; }

QString& TMainForm::TitleTemplate() { return device_->TitleTemplate; }

// ---- the multimeter page's -------------------------------------------------------

double& TMainForm::AcquisitionTime() { return multimeter_->Tables().AcquisitionTime; }

std::array<double, 8>& TMainForm::AdcRatesHz() { return multimeter_->Tables().AdcRatesHz; }

std::array<std::uint8_t, 8>& TMainForm::AdcRateDivisors() { return multimeter_->Tables().AdcRateDivisors; }

ksv::TSlotFrames& TMainForm::SlotFrames() { return multimeter_->Tables().SlotFrames; }

ksv::TPinTable& TMainForm::VoltagePinTable() { return multimeter_->Tables().VoltagePinTable; }

ksv::TPinTable& TMainForm::CurrentPinTable() { return multimeter_->Tables().CurrentPinTable; }

ksv::TPinTable& TMainForm::ResistancePinTable() { return multimeter_->Tables().ResistancePinTable; }

std::array<QWidget*, 1>& TMainForm::HandlerPages() { return multimeter_->Tables().HandlerPages; }

std::uint16_t& TMainForm::HandlerIndex() { return multimeter_->Tables().HandlerIndex; }

// ---- the settings controller's ---------------------------------------------------

std::unique_ptr<ksv::TIniFile>& TMainForm::SettingsIniFile() { return settings_->SettingsIniFile; }
