// Window-side device access: discovery requests and the discovery thread's
// hand-off, crate and module selection, and the device status display.
// Empty bodies for now so the window links; the device subsystem fills them.
#include "Ksv27mainform.h"

void TMainForm::StartDiscovery(int, bool) {}
void TMainForm::OnStartInitDevicesThread(const ksv::TWindowMessage&) {}
void TMainForm::FindDeviceLMDButtonClick() {}
void TMainForm::KsvCratesComboBoxChange() {}
void TMainForm::ModulesComboBoxChange() {}
void TMainForm::ShowDeviceStatus(TStatusKind, int, const std::string&) {}
