// Window-side measurement: starting and stopping the measurement thread, the
// START button, slot selection and the group parameters' handlers. Every
// member here runs on the window's thread.
#include <QCheckBox>
#include <QCoreApplication>

#include "Ksv27adcchannelpanel.h"
#include "Ksv27mainform.h"
#include "BoundedText.h"
#include "Mainthread.h"
#include "MeasureCore.h"
#include "MeasureMessages.h"
#include "MessagePump.h"
#include "MezzanineKind.h"
#include "ModalDialogs.h"
#include "SlotRules.h"
#include "TWorkerLifecycle.h"

namespace {

std::array<std::string, 8> MezzanineNames(const Ksv27ModuleRecord& record)
{
    std::array<std::string, 8> names;
    for (std::size_t s = 0; s < names.size(); ++s) names[s] = ksv::FieldText(record.Mezzanines[s].MezzanineName);
    return names;
}

bool IsResistance(const std::string& name) { return ksv::MezzanineKindOf(name) == ksv::TMezzanineKind::Resistance; }

// A checked slot shows all its controls, but a resistance mezzanine gives
// one value, so its second channel stays off; an unchecked slot keeps only
// its check box.
void ShowSlotChecked(ksv::TKsv27AdcChannelFrame* frame, bool checked, const std::string& name)
{
    if (checked) {
        frame->EnableSlotControls();
        if (IsResistance(name))
            frame->DisableSecondChannel();
        else
            frame->EnableSecondChannel();
    } else {
        frame->DisableSlotControls();
        frame->SlotNumberLMDCheckBox->setEnabled(true);
    }
}

} // namespace

void TMainForm::StartThread()
{
    if (MeasurementRunning || !MeasurementRequestAllowed || !Workers->MayStartMeasurement()) return;
    int found = -1;
    QWidget* active = MainLMDPageControl->currentWidget();
    for (std::size_t i = 0; i < HandlerPages.size(); ++i)
        if (HandlerPages[i] && HandlerPages[i] == active) found = static_cast<int>(i);
    if (found < 0) {
        ksv::ShowMessageBox(QString::fromUtf8(ksv::msg::kUnknownPage), QString::fromUtf8(ksv::msg::kUnknownPageCaption),
                            ksv::TDialogKind::Information);
        return;
    }
    HandlerIndex = static_cast<std::uint16_t>(found);
    if (HandlerPages[static_cast<std::size_t>(found)] == MultimeterLMDTabSheet) Workers->RequestMeasurement();
}

void TMainForm::OnStartMainThread() { Workers->StartMeasurementThread(); }

void TMainForm::StopMeasurement() { Workers->StopMeasurement(); }

void TMainForm::StartLMDSpeedButtonClick()
{
    if (HandlerBusy) return;
    HandlerBusy = true;
    StopMeasurement();
    if (MainLMDPageControl->currentIndex() == 0 && StartMultimeterLMDSpeedButton->isChecked()) StartThread();
    HandlerBusy = false;
}

void TMainForm::ApplySlotEnabling(bool enable)
{
    if (!enable) return;
    const std::array<std::string, 8> names = MezzanineNames(ModuleRecord);
    for (std::size_t s = 0; s < SlotFrames.size(); ++s) {
        ksv::TKsv27AdcChannelFrame* frame = SlotFrames[s];
        if (!frame || !ksv::IsFittedName(names[s])) continue;
        frame->setEnabled(true);
        frame->Ksv27AdcChannelLMDSimplePanel->setEnabled(true);
        frame->SlotNumberLMDCheckBox->setEnabled(true);
        ShowSlotChecked(frame, frame->SlotNumberLMDCheckBox->isChecked(), names[s]);
    }
}

void TMainForm::UpdateAllSlotsCheckBox()
{
    std::array<bool, 8> checked{};
    for (std::size_t s = 0; s < SlotFrames.size(); ++s)
        checked[s] = SlotFrames[s] && SlotFrames[s]->SlotNumberLMDCheckBox->isChecked();
    const ksv::TSlotAgreement agreement = ksv::SlotsAgree(MezzanineNames(ModuleRecord), checked);
    // Without a fitted slot there is nothing to sum up.
    if (!agreement.Any) return;
    if (agreement.Agree) {
        // Two states again, so the user's next click checks or unchecks.
        AllSlotsLMDCheckBox->setTristate(false);
        AllSlotsLMDCheckBox->setCheckState(agreement.State ? Qt::Checked : Qt::Unchecked);
    } else {
        AllSlotsLMDCheckBox->setCheckState(Qt::PartiallyChecked);
    }
}

void TMainForm::EnaSlotLMDCheckBoxChange(QObject* sender)
{
    if (HandlerBusy) return;
    HandlerBusy = true;
    StopMeasurement();
    auto* box = qobject_cast<QCheckBox*>(sender);
    if (!box) {
        ksv::ShowMessageBox(QString::fromUtf8(ksv::msg::kCannotCast), QString::fromUtf8(ksv::msg::kCannotCastCaption),
                            ksv::TDialogKind::Information);
        HandlerBusy = false;
        return;
    }
    int slot = -1;
    for (std::size_t s = 0; s < SlotFrames.size(); ++s)
        if (SlotFrames[s] && SlotFrames[s]->SlotNumberLMDCheckBox == box) slot = static_cast<int>(s);
    if (slot < 0) {
        ksv::ShowMessageBox(QString::fromUtf8(ksv::msg::kUnknownSlotControl),
                            QString::fromUtf8(ksv::msg::kUnknownSlotControlCaption), ksv::TDialogKind::None);
        HandlerBusy = false;
        return;
    }
    ksv::TKsv27AdcChannelFrame* frame = SlotFrames[static_cast<std::size_t>(slot)];
    const bool checked = box->isChecked();
    ShowSlotChecked(frame, checked, ksv::FieldText(ModuleRecord.Mezzanines[slot].MezzanineName));
    UpdateAllSlotsCheckBox();
    if (!checked) {
        frame->Value1LMDEdit->setText(QString::fromUtf8(ksv::kNoValueText));
        frame->Value2LMDEdit->setText(QString::fromUtf8(ksv::kNoValueText));
        frame->SetChannelLamp(1, ksv::TKsv27AdcChannelFrame::kLampOff);
        frame->SetChannelLamp(2, ksv::TKsv27AdcChannelFrame::kLampOff);
    }
    HandlerBusy = false;
}

void TMainForm::AllSlotsLMDCheckBoxChange()
{
    if (HandlerBusy) return;
    HandlerBusy = true;
    StopMeasurement();
    // A click on the grayed box moves it on to checked; from here on it has
    // two states until the slots disagree again.
    const bool value = AllSlotsLMDCheckBox->checkState() == Qt::Checked;
    AllSlotsLMDCheckBox->setTristate(false);
    AllSlotsLMDCheckBox->setChecked(value);
    const std::array<std::string, 8> names = MezzanineNames(ModuleRecord);
    for (std::size_t s = 0; s < SlotFrames.size(); ++s) {
        ksv::TKsv27AdcChannelFrame* frame = SlotFrames[s];
        if (!frame || !ksv::IsFittedName(names[s])) continue;
        frame->SlotNumberLMDCheckBox->setChecked(value);
        ShowSlotChecked(frame, value, names[s]);
    }
    HandlerBusy = false;
}

void TMainForm::AdcRateLMDComboBoxChange()
{
    if (HandlerBusy) return;
    HandlerBusy = true;
    StopMeasurement();
    HandlerBusy = false;
}

void TMainForm::EquipmentModeLMDRadioGroupChange() {}

void TMainForm::MezzaninesLMDComboBoxChange() {}
