// The window's device controls: the find button, the crate and module
// lists, the crate and module lamps with their hints, the open module's
// serial number and firmware version, and the window's title. Their
// handlers ask for a discovery; the discovery fills and enables them through
// the window. Window's thread.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "DeviceInventory.h"
#include "DeviceState.h"
#include "DeviceStates.h"
#include "DiscoveryView.h"
#include "WindowState.h"
#include "ksvapi.h"

class QComboBox;
class QLabel;
class QPushButton;
class QWidget;
class TLed;

namespace ksv {

// The form's controls the panel works on.
struct TDeviceControls {
    QWidget *Window, *ModuleDetectionLMDGroupBox, *MainLMDSimplePanel;
    QPushButton* FindDeviceLMDButton;
    QComboBox *KsvCratesComboBox, *ModulesComboBox;
    QLabel *ModuleSerialNumberLMDLabel, *ModuleFirmwareVersionLMDLabel;
    TLed *KsvCrateStatusLed, *ModuleStatusLed;
};

// What the panel's handlers ask of the rest of the window.
struct TDeviceActions {
    std::function<void()> StopMeasurement;
    std::function<void(TDiscoveryMode mode, bool useSaved)> StartDiscovery;
    // Every slot unticked and back to its unknown look.
    std::function<void()> ResetSlots;
};

class TDevicePanel final : public IDiscoveryDisplay {
public:
    TDevicePanel(const TDeviceControls& controls, TWindowState& state, TDeviceActions actions);

    // ---- handlers ------------------------------------------------------
    void FindDeviceLMDButtonClick();
    void KsvCratesComboBoxChange();
    void ModulesComboBoxChange();

    // ---- what the discovery shows --------------------------------------
    // The texts and lamps of "not known yet".
    void ShowUnknown();
    void ShowDeviceStatus(TStatusKind kind, TDiscoveryMode mode, const std::string& moduleName) override;
    void ShowCrateList(const QStringList& items, int current) override;
    void ShowModuleList(const QStringList& items, int current) override;
    void SetDetectionControlsEnabled(bool enabled) override;
    // The detection controls back after a discovery.
    void EnableDetection();

    // ---- the device side's state ---------------------------------------
    TDeviceState& State() { return device_; }
    // The title shown while a discovery runs.
    QString TitleTemplate = QStringLiteral("KSV27_vorn - ?.?.?");

private:
    void ChooseCrate(int index);
    void ChooseModule(int crate, int module);
    void FillList(QComboBox* combo, const QStringList& items, int current);
    void ShowModuleLabels(const std::string& serial, const std::string& firmware, bool usable, bool final);

    const TDeviceControls c_;
    TWindowState& shared_;
    const TDeviceActions actions_;
    TDeviceState device_;
};

} // namespace ksv
