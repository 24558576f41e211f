// The window's settings: creating the default settings file, loading the
// program's and the module's settings into the controls, saving them from
// the controls, and the save controls' handlers. Window's thread.
//
// This side only moves values between the controls and settings/core, which
// decides what is read and written and writes it: a save and a default
// rewrite are each one replacement of the file. A write the file system
// refuses leaves the file as it was and is shown once, in the application's
// general error box, with the file system's words; nothing of it leaves these
// operations, so the close handler and the discovery that call them always
// finish their own steps.
#pragma once

#include <memory>
#include <string>

#include "DeviceInventory.h"
#include "DeviceState.h"
#include "MultimeterPage.h"
#include "WindowState.h"
#include "PinTables.h"
#include "ksvapi.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QWidget;

namespace ksv {

class TIniFile;
class TIniWriteBatch;
struct TDefaultFileOutcome;

// The form's controls the settings work on.
struct TSettingsControls {
    QWidget* Window;
    QCheckBox *AutoSaveSettingsLMDCheckBox, *AllSlotsLMDCheckBox;
    QPushButton* SaveSettingsButton;
    QComboBox *KsvCratesComboBox, *ModulesComboBox, *AdcRateLMDComboBox;
};

class TSettingsController {
public:
    TSettingsController(const TSettingsControls& controls, TWindowState& state, const TDeviceState& device,
                        TMultimeterPage& page);
    ~TSettingsController();
    TSettingsController(const TSettingsController&) = delete;
    TSettingsController& operator=(const TSettingsController&) = delete;

    // The settings file the last load, save or default-file write opened;
    // none once the window has closed.
    std::unique_ptr<TIniFile> SettingsIniFile;

    bool CreateDefaultIniFile(const std::string& path);
    // The window's part of a default-file write that settings/core made:
    // opens the settings object on the path and shows the outcome's box.
    bool TakeDefaultIniFile(const std::string& path, const TDefaultFileOutcome& outcome);
    bool LoadSettings(TIniFile* ini);
    bool LoadModuleSettings(TIniFile* ini);
    void SaveIniFile(const std::string& path);

    // The four write steps: false without an object; inside a save or a
    // default-file write they go into its one batch, alone they are a write
    // of their own.
    bool WriteAppSettings(TIniFile* ini);
    bool WriteModuleSettings(TIniFile* ini);
    bool WriteDefaultAppSettings(TIniFile* ini);
    bool WriteDefaultModuleSettings(TIniFile* ini);

    // ---- handlers ------------------------------------------------------
    void AutoSaveSettingsLMDCheckBoxChange();
    void SaveSettingsButtonClick();
    void SaveCurrentSettingsClick();
    void SaveDefaultSettingsClick();

    // The save button after a discovery: offered unless auto-save is on.
    void EnableSaveButton();
    bool AutoSaveChecked() const;

private:
    void ShowSlotLegend(std::size_t slot, const std::string& name);
    // Into the batch under way, or into `ini` as a write of its own; false
    // without an object.
    template <class TWrite> bool WriteStep(TIniFile* ini, const TWrite& write);
    void WriteInBatch(TIniFile& ini, TIniWriteBatch& batch, bool defaults);
    void PauseAfterSave();

    const TSettingsControls c_;
    TWindowState& shared_;
    const TDeviceState& device_;
    TMultimeterPage& page_;
    // The batch of the save or default-file write under way, or none.
    TIniWriteBatch* batch_ = nullptr;
};

} // namespace ksv
