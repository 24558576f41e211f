// The main window: the one object that holds the program's state.
//
// Its controls come from the form (Ksv27mainform.ui) under their own names;
// its data block follows. The operations of each subsystem are members of
// the window but live in their subsystem's folder:
//   app/Ksv27mainform*.cpp      construction, tables, lifecycle, pages, menu
//   device/MainFormDevice*.cpp  discovery requests, selection, status display
//   settings/MainFormSettings.cpp   settings load, save and defaults
//   measure/MainFormMeasure*.cpp    measurement start/stop, slot selection
// Threads: every member runs on the window's thread unless it says otherwise;
// the flags that workers write are atomic.
#pragma once

#include <QMainWindow>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "CycleResult.h"
#include "DeviceEngine.h"
#include "DeviceInventory.h"
#include "PinTables.h"
#include "WindowMessages.h"
#include "ksvapi.h"
#include "ui_Ksv27mainform.h"

class QAction;
class QMenu;
class QShortcut;

namespace ksv {
class TIniFile;
struct TDefaultFileOutcome;
class TInitAndConfigThread;
class TMainThread;
class TKsv27AdcChannelFrame;
class TRecordTrendPanel;
class TWorkerLifecycle;
} // namespace ksv

class TMainForm : public QMainWindow, public Ui::TMainForm {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // Starts, stops and takes down the two workers; the operations below of
    // the same names call it.
    std::unique_ptr<ksv::TWorkerLifecycle> Workers;

    // ---- guards and hand-off flags -------------------------------------
    std::atomic<bool> DiscoveryRequestAllowed{true};
    std::atomic<bool> MeasurementRequestAllowed{true};
    std::unique_ptr<ksv::TIniFile> SettingsIniFile;
    std::uint8_t StartupPhase = 0;
    QWidget* HintWindow = nullptr;
    int WindowsVersionCode = 0;
    bool HandlerBusy = false;
    std::atomic<bool> DiscoveryRunning{false};
    std::atomic<bool> MeasurementRunning{false};
    std::atomic<bool> AcquisitionIdle{true};

    // ---- device inventory ----------------------------------------------
    std::atomic<int> CrateStatusOk{0};
    std::atomic<std::uint8_t> ModuleState{0}; // 0 none, 1 found, 2 open for work
    ksv::TDeviceInventory Inventory;
    Ksv27ModuleRecord ModuleRecord{};
    // The library steps on the two above: inventory, choice, open, close.
    ksv::TDeviceEngine DeviceEngine{Inventory, ModuleRecord};

    // ---- measurement tables and frames ---------------------------------
    double AcquisitionTime = 0.0;
    std::array<double, 8> AdcRatesHz{};
    std::array<std::uint8_t, 8> AdcRateDivisors{};
    std::array<ksv::TKsv27AdcChannelFrame*, 8> SlotFrames{};
    QString TitleTemplate;
    ksv::TPinTable VoltagePinTable, CurrentPinTable, ResistancePinTable;
    std::array<QWidget*, 1> HandlerPages{};
    std::uint16_t HandlerIndex = 0;
    // Called on the window's thread right after a cycle's values are shown,
    // with that cycle; empty unless something records or follows the run.
    std::function<void(const ksv::TCycleResult&)> OnCycleShown;
    // Recording and trend controls; owned by the group parameters box.
    ksv::TRecordTrendPanel* RecordTrendPanel = nullptr;

    // ---- the context menu ----------------------------------------------
    QMenu* PopupMenu = nullptr;
    QAction* RebootDeviceMenuItem = nullptr;
    QAction* SaveDefaultSettings = nullptr;
    QAction* SaveCurrentSettings = nullptr;
    QAction* AboutProgram = nullptr;
    QAction* ApplicationExit = nullptr;
    QAction* BreakLine1 = nullptr;
    QAction* BreakLine2 = nullptr;
    QAction* BreakLine3 = nullptr;

    // ---- construction and tables (app) ---------------------------------
    void ResetSlotDisplay(int slot);
    // Shows AcquisitionTime in AcquisitionTimeLMDSimplePanel ("---" while it is 0).
    void ShowAcquisitionTime();
    // Design size of the window's client area (from the form), remembered at construction.
    int DesignMinHeight = 0;
    int DesignMinWidth = 0;
    // How far the top bar's right-hand panels moved left (Bevel3 rule).
    int Shift = 0;

    // ---- lifecycle and pages (app) -------------------------------------
    void FormShow();
    void FormResize();
    void FormClose();
    void ApplicationActivate(bool active);
    void ApplicationExitClick();
    // Setting `cancel` keeps the current page.
    void MainLMDPageControlChangingEx(int newPage, bool& cancel);
    void MainLMDPageControlChanging();
    void MainLMDPageControlChange();
    // Escape: key code 27 seen by the application's shortcut hook; returns handled.
    bool EscapeKeyPressed();
    void SetShortcutHookEnabled(bool enabled);

    // ---- device access (device) ----------------------------------------
    void StartDiscovery(int mode, bool useSaved);
    void OnStartInitDevicesThread(const ksv::TWindowMessage& message);
    void FindDeviceLMDButtonClick();
    void KsvCratesComboBoxChange();
    void ModulesComboBoxChange();
    // Serves a running discovery's hand-offs until it has ended (bounded).
    void WaitForDiscoveryToEnd();
    // kind: reset or final; mode 1..3; moduleName empty when not read this run.
    enum class TStatusKind {
        Reset,
        Final
    };
    void ShowDeviceStatus(TStatusKind kind, int mode, const std::string& moduleName);

    // ---- settings (settings) -------------------------------------------
    bool CreateDefaultIniFile(const std::string& path);
    // The window's part of a default-file write that settings/core made:
    // opens the settings object on the path and shows the outcome's box.
    bool TakeDefaultIniFile(const std::string& path, const ksv::TDefaultFileOutcome& outcome);
    bool WriteDefaultAppSettings(ksv::TIniFile* ini);
    bool WriteDefaultModuleSettings(ksv::TIniFile* ini);
    bool LoadSettings(ksv::TIniFile* ini);
    bool LoadModuleSettings(ksv::TIniFile* ini);
    void SaveIniFile(const std::string& path);
    bool WriteAppSettings(ksv::TIniFile* ini);
    bool WriteModuleSettings(ksv::TIniFile* ini);
    void AutoSaveSettingsLMDCheckBoxChange();
    void SaveSettingsButtonClick();
    void SaveCurrentSettingsClick();
    void SaveDefaultSettingsClick();

    // ---- measurement (measure) -----------------------------------------
    void StartThread();
    void OnStartMainThread();
    void StopMeasurement();
    void StartLMDSpeedButtonClick();
    void ApplySlotEnabling(bool enable);
    void UpdateAllSlotsCheckBox();
    void EnaSlotLMDCheckBoxChange(QObject* sender);
    void AllSlotsLMDCheckBoxChange();
    void AdcRateLMDComboBoxChange();
    void EquipmentModeLMDRadioGroupChange();
    void MezzaninesLMDComboBoxChange();

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void Construct();
    void ApplyApplicationSettings();
    void ConnectHandlers();
    void BuildTables();
    void BuildSlotFrames();
    void BuildPopupMenu();
    void ApplyWindowDefaults();
    // Window size from the design size and the work area, and the centring
    // of MultimeterLMDSimplePanel in its page; safe to run again.
    void FitToWorkArea();

    int MultimeterPanelDesignHeight = 0;
    QObject* EscapeHook = nullptr;
};

// The one instance, on the window's thread.
extern TMainForm* MainForm;
