// The main window: wires its parts, menus, start-up and close.
//
// Its controls come from the form (Ksv27mainform.ui) under their own names;
// the form is private, and the window hands each part of its behaviour the
// controls that part works on:
//   device/DevicePanel        the find button, crate and module lists, status
//   measure/MultimeterPage    START, the channel frames, slots, rate, a run's display
//   settings/SettingsController   settings load, save and defaults
//   measure/RecordTrendPanel  recording and the trend window
// The two workers see the window only through the two views it implements
// (device/DiscoveryView.h, measure/MeasurementView.h).
// Threads: every member runs on the window's thread unless it says otherwise;
// the flags that workers write are atomic. The window keeps only the flags
// its parts share (TWindowState, WindowState.h) and its start-up; the device
// panel, the multimeter page and the settings controller own their state,
// which stays reachable here under its own names.
#pragma once

#include <QMainWindow>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "CycleResult.h"
#include "DeviceInventory.h"
#include "DeviceState.h"
#include "DiscoveryView.h"
#include "MeasurementView.h"
#include "MultimeterTables.h"
#include "PinTables.h"
#include "WindowMessages.h"
#include "WindowState.h"
#include "ksvapi.h"
#include "ui_Ksv27mainform.h"

class QAction;
class QMenu;

namespace ksv {
class TIniFile;
class TKsv27AdcChannelFrame;
class TRecordTrendPanel;
class TWorkerLifecycle;
class TDevicePanel;
class TMultimeterPage;
class TSettingsController;

// The window's start-up: built, shown, sized again once shown, then running
// (the start-up discovery has been asked for).
enum TStartupPhase : std::uint8_t {
    kStartupConstructing = 0,
    kStartupConstructed = 1,
    kStartupShown = 2,
    kStartupRunning = 3,
};
} // namespace ksv

class TMainForm : public QMainWindow,
                  public ksv::IDiscoveryView,
                  public ksv::IMeasurementView,
                  private Ui::TMainForm {
    Q_OBJECT

    // First: the parts, the workers and the record and trend panel hold on
    // to it until the window is gone.
    ksv::TWindowState shared_;

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // Starts, stops and takes down the two workers; the operations below of
    // the same names call it.
    std::unique_ptr<ksv::TWorkerLifecycle> Workers;

    // The window's hint, shown by THintPlacement.
    QWidget* HintWindow = nullptr;
    // Recording and trend controls; owned by the group parameters box.
    ksv::TRecordTrendPanel* RecordTrendPanel = nullptr;

    // ---- the context menu ----------------------------------------------
    QMenu* PopupMenu = nullptr;
    QAction *RebootDeviceMenuItem = nullptr, *SaveDefaultSettings = nullptr, *SaveCurrentSettings = nullptr,
            *AboutProgram = nullptr, *ApplicationExit = nullptr;
    QAction *BreakLine1 = nullptr, *BreakLine2 = nullptr, *BreakLine3 = nullptr;

    // Design size of the window's client area (from the form), remembered at construction.
    int DesignMinHeight = 0;
    int DesignMinWidth = 0;
    // How far the top bar's right-hand panels moved left (Bevel3 rule).
    int Shift = 0;

    // ---- the parts -------------------------------------------------------
    ksv::TDevicePanel& Device() { return *device_; }
    ksv::TMultimeterPage& Multimeter() { return *multimeter_; }
    ksv::TSettingsController& Settings() { return *settings_; }

    // ---- the shared flags, under their own names ---------------------------
    bool& HandlerBusy = shared_.HandlerBusy;
    std::atomic<bool>& DiscoveryRequestAllowed = shared_.DiscoveryRequestAllowed;
    std::atomic<bool>& MeasurementRequestAllowed = shared_.MeasurementRequestAllowed;
    std::atomic<bool>& DiscoveryRunning = shared_.DiscoveryRunning;
    std::atomic<bool>& MeasurementRunning = shared_.MeasurementRunning;
    std::atomic<bool>& AcquisitionIdle = shared_.AcquisitionIdle;
    // A TStartupPhase of the window.
    std::uint8_t StartupPhase = ksv::kStartupConstructing;
    int WindowsVersionCode = 0;

    // ---- what the parts own, under its own names ------------------------
    // The device panel's.
    std::atomic<int>& CrateStatusOk();
    std::atomic<std::uint8_t>& ModuleState();
    Ksv27ModuleRecord& ModuleRecord();
    QString& TitleTemplate();
    // The multimeter page's.
    double& AcquisitionTime();
    std::array<double, 8>& AdcRatesHz();
    std::array<std::uint8_t, 8>& AdcRateDivisors();
    ksv::TSlotFrames& SlotFrames();
    ksv::TPinTable& VoltagePinTable();
    ksv::TPinTable& CurrentPinTable();
    ksv::TPinTable& ResistancePinTable();
    std::array<QWidget*, 1>& HandlerPages();
    std::uint16_t& HandlerIndex();
    // The settings controller's.
    std::unique_ptr<ksv::TIniFile>& SettingsIniFile();

    // ---- lifecycle and pages ---------------------------------------------
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
    void SetShortcutHookEnabled(bool enabled) override;

    // ---- the workers -----------------------------------------------------
    void StartDiscovery(ksv::TDiscoveryMode mode, bool useSaved);
    void OnStartInitDevicesThread(const ksv::TWindowMessage& message);
    // Serves a running discovery's hand-offs until it has ended (bounded).
    void WaitForDiscoveryToEnd();
    void OnStartMainThread();
    void StopMeasurement();

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    // ---- construction (Ksv27mainform.cpp) --------------------------------
    void Construct();
    void ShowUnknownState();
    void BuildParts();
    void ApplyApplicationSettings();
    void ConnectHandlers();
    void ConnectPartHandlers();
    void BuildPopupMenu();
    void ApplyWindowDefaults();
    void CutTopBarAtBevel();
    void HideUnusedControls();
    // Window size from the design size and the work area, and the centring
    // of MultimeterLMDSimplePanel in its page; safe to run again.
    void FitToWorkArea();
    void CentreOnScreen();

    // ---- IDiscoveryView (MainFormViews.cpp) ------------------------------
    void SetDiscoveryRunning(bool running) override;
    ksv::TModuleState ModuleStateNow() const override;
    void SetModuleState(ksv::TModuleState state) override;
    void SetCrateStatusOk(bool ok) override;
    ksv::TDeviceInventory& DeviceInventory() override;
    ksv::TDeviceEngine& Engine() override;
    void ShowDiscoveryBegun() override;
    ksv::IDiscoveryDisplay& DeviceDisplay() override;
    QRect WindowFrame() const override;
    QRect WindowClient() const override;
    void MoveWindow(const QPoint& topLeft) override;
    bool TakeDefaultIniFile(const std::string& path, const ksv::TDefaultFileOutcome& outcome) override;
    bool LoadSettings(ksv::TIniFile* ini) override;
    void ShowDiscoveryEnded() override;
    void GiveControlsBack();
    // IWorkerView, for both workers.
    bool FailureMayBeShown() override;
    QWidget* DialogParent() override;

    // ---- IMeasurementView (MainFormViews.cpp) ----------------------------
    void SetMeasurementRunning(bool running) override;
    void SetAcquisitionIdle(bool idle) override;
    void ForgetDevice() override;
    Ksv27ModuleRecord& MeasuredRecord() override;
    bool OnMultimeterPage() const override;
    double RunAcquisitionTime() const override;
    ksv::IRunDisplay& RunDisplay() override;

    std::unique_ptr<ksv::TDevicePanel> device_;
    std::unique_ptr<ksv::TMultimeterPage> multimeter_;
    std::unique_ptr<ksv::TSettingsController> settings_;
    int MultimeterPanelDesignHeight = 0;
    QObject* EscapeHook = nullptr;
};

// The one instance, on the window's thread.
extern TMainForm* MainForm;
