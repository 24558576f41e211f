// Window-side settings: creating the default settings file, loading and
// saving the program's and the module's settings, and the save controls.
// Empty bodies for now so the window links; the settings subsystem fills them.
#include "Ksv27mainform.h"

bool TMainForm::CreateDefaultIniFile(const std::string&) { return false; }
bool TMainForm::WriteDefaultAppSettings(ksv::TIniFile*) { return false; }
bool TMainForm::WriteDefaultModuleSettings(ksv::TIniFile*) { return false; }
bool TMainForm::LoadSettings(ksv::TIniFile*) { return false; }
bool TMainForm::LoadModuleSettings(ksv::TIniFile*) { return false; }
void TMainForm::SaveIniFile(const std::string&) {}
bool TMainForm::WriteAppSettings(ksv::TIniFile*) { return false; }
bool TMainForm::WriteModuleSettings(ksv::TIniFile*) { return false; }
void TMainForm::AutoSaveSettingsLMDCheckBoxChange() {}
void TMainForm::SaveSettingsButtonClick() {}
void TMainForm::SaveCurrentSettingsClick() {}
void TMainForm::SaveDefaultSettingsClick() {}
