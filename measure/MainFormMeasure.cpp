// Window-side measurement: starting and stopping the measurement thread,
// the START button, slot selection and the group parameters' handlers.
// Empty bodies for now so the window links; the measurement subsystem fills them.
#include "Ksv27mainform.h"

void TMainForm::StartThread() {}
void TMainForm::OnStartMainThread() {}
void TMainForm::StopMeasurement() {}
void TMainForm::StartLMDSpeedButtonClick() {}
void TMainForm::ApplySlotEnabling(bool) {}
void TMainForm::UpdateAllSlotsCheckBox() {}
void TMainForm::EnaSlotLMDCheckBoxChange(QObject*) {}
void TMainForm::AllSlotsLMDCheckBoxChange() {}
void TMainForm::AdcRateLMDComboBoxChange() {}
void TMainForm::EquipmentModeLMDRadioGroupChange() {}
void TMainForm::MezzaninesLMDComboBoxChange() {}
