// The multimeter page: the START button, the eight channel frames, the slot
// check boxes, the rate and acquisition time, and what a measurement run
// shows on them. Window's thread.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "CycleRecorder.h"
#include "CycleResult.h"
#include "DeviceInventory.h"
#include "DeviceState.h"
#include "MeasureEngine.h"
#include "MeasurementView.h"
#include "MultimeterTables.h"
#include "SlotPicture.h"
#include "WindowState.h"
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

// The form's controls the page works on.
struct TMultimeterControls {
    QTabWidget* MainLMDPageControl;
    QWidget *MultimeterLMDTabSheet, *MultimeterLMDSimplePanel, *AdcStreamLMDSimplePanel, *AdcGroupParsLMDGroupBox,
        *AdcIndividualParsLMDGroupBox, *StartMultimeterLMDSimplePanel;
    QPushButton* StartMultimeterLMDSpeedButton;
    QComboBox* AdcRateLMDComboBox;
    QCheckBox* AllSlotsLMDCheckBox;
    QLabel *AcquisitionTimeLMDLabel, *VoltmeterValueLMDLabel, *AmperemeterValueLMDLabel, *ResistanceValueLMDLabel;
    QLineEdit* AmpltudeGeneratorLMDEdit;
};

// What the page's handlers ask of the rest of the window.
struct TMultimeterActions {
    std::function<void()> StopMeasurement;
    // No run, no start under way, no stop or close under way.
    std::function<bool()> MayStartMeasurement;
    std::function<void()> RequestMeasurement;
};

class TMultimeterPage : public QObject, public IRunDisplay {
    Q_OBJECT

public:
    TMultimeterPage(const TMultimeterControls& controls, TWindowState& state, const TDeviceState& device,
                    TMultimeterActions actions);

    TMultimeterTables& Tables() { return tables_; }
    // The rate table and its list, and the three pin tables.
    void BuildTables();

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
    void ShowRunStarted() override;
    TMeasureRequest RunRequest() const override;
    void ShowCycle(const TCycleResult& cycle, const TSlotPicture& picture) override;
    void ShowUpdateMarks(const TSlotPicture& picture) override;
    void ShowRunStopped() override;
    // The run the page is set up for now: crate, module, rate, time, slots.
    TRunDescription DescribeRun() const;

signals:
    // Right after a cycle's values are shown, on the window's thread; what
    // records or follows the run connects to it once.
    void CycleShown(const ksv::TCycleResult& cycle);

private:
    bool SlotShown(const TSlotPicture& picture, std::size_t s) const;
    int SlotOf(QObject* sender) const;

    const TMultimeterControls c_;
    TWindowState& shared_;
    const TDeviceState& device_;
    const TMultimeterActions actions_;
    TMultimeterTables tables_;
};

} // namespace ksv
