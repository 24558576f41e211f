// The multimeter page: the START button, the eight channel frames, the slot
// check boxes, the rate and acquisition time, and what a measurement run
// shows on them. Window's thread.
#pragma once

#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "CycleRecorder.h"
#include "CycleResult.h"
#include "DeviceInventory.h"
#include "MeasureEngine.h"
#include "SlotPicture.h"
#include "ksvapi.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QObject;
class QPushButton;
class QTabWidget;
class QWidget;

namespace ksv {

class TKsv27AdcChannelFrame;

using TSlotFrames = std::array<TKsv27AdcChannelFrame*, 8>;

// The form's controls the page works on.
struct TMultimeterControls {
    QTabWidget* MainLMDPageControl = nullptr;
    QWidget* MultimeterLMDTabSheet = nullptr;
    QWidget* MultimeterLMDSimplePanel = nullptr;
    QWidget* AdcStreamLMDSimplePanel = nullptr;
    QWidget* AdcGroupParsLMDGroupBox = nullptr;
    QWidget* AdcIndividualParsLMDGroupBox = nullptr;
    QWidget* StartMultimeterLMDSimplePanel = nullptr;
    QPushButton* StartMultimeterLMDSpeedButton = nullptr;
    QComboBox* AdcRateLMDComboBox = nullptr;
    QCheckBox* AllSlotsLMDCheckBox = nullptr;
    QLabel* AcquisitionTimeLMDLabel = nullptr;
    QLabel* VoltmeterValueLMDLabel = nullptr;
    QLabel* AmperemeterValueLMDLabel = nullptr;
    QLabel* ResistanceValueLMDLabel = nullptr;
    QLineEdit* AmpltudeGeneratorLMDEdit = nullptr;
};

// The window's state the page reads and writes.
struct TMultimeterState {
    bool& HandlerBusy;
    TSlotFrames& SlotFrames;
    const Ksv27ModuleRecord& ModuleRecord;
    const TDeviceInventory& Inventory;
    const std::array<double, 8>& AdcRatesHz;
    double& AcquisitionTime;
    const std::array<QWidget*, 1>& HandlerPages;
    std::uint16_t& HandlerIndex;
    const std::function<void(const TCycleResult&)>& OnCycleShown;
};

// What the page's handlers ask of the rest of the window.
struct TMultimeterActions {
    std::function<void()> StopMeasurement;
    // No run, no start under way, no stop or close under way.
    std::function<bool()> MayStartMeasurement;
    std::function<void()> RequestMeasurement;
};

class TMultimeterPage {
public:
    TMultimeterPage(const TMultimeterControls& controls, const TMultimeterState& state, TMultimeterActions actions);

    // The eight frames in the individual parameters box, each disabled and
    // unknown; `connectBox` hooks up a frame's check box.
    void BuildSlotFrames(const std::function<void(QCheckBox*)>& connectBox);
    void ResetSlotDisplay(int slot);
    // The group box unticked and every slot back to unknown.
    void ResetSlots();
    // Shows AcquisitionTime ("---" while it is 0).
    void ShowAcquisitionTime();
    // START's idle look: its caption in green.
    void ShowStartIdle();

    // ---- handlers ------------------------------------------------------
    void StartThread();
    void StartLMDSpeedButtonClick();
    void ApplySlotEnabling(bool enable);
    void UpdateAllSlotsCheckBox();
    void EnaSlotLMDCheckBoxChange(QObject* sender);
    void AllSlotsLMDCheckBoxChange();
    void AdcRateLMDComboBoxChange();
    void EquipmentModeLMDRadioGroupChange();
    void MezzaninesLMDComboBoxChange();

    // ---- after a discovery ---------------------------------------------
    // An open module offers the page and START; otherwise START is hidden.
    void EnableAfterDiscovery(bool moduleOpen);

    // ---- what a run shows ----------------------------------------------
    void ShowRunStarted();
    TMeasureRequest RunRequest() const;
    void ShowCycle(const TCycleResult& cycle, const TSlotPicture& picture);
    void ShowUpdateMarks(const TSlotPicture& picture);
    void ShowRunStopped();
    // The run the page is set up for now: crate, module, rate, time, slots.
    TRunDescription DescribeRun() const;

private:
    bool SlotShown(const TSlotPicture& picture, std::size_t s) const;
    int SlotOf(QObject* sender) const;

    const TMultimeterControls c_;
    TMultimeterState state_;
    const TMultimeterActions actions_;
};

} // namespace ksv
