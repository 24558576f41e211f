#include "MultimeterPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "AdcRates.h"
#include "BoundedText.h"
#include "ControlEnabling.h"
#include "HandlerGuard.h"
#include "Ksv27adcchannelpanel.h"
#include "MeasureCore.h"
#include "MeasureMessages.h"
#include "MezzanineKind.h"
#include "ModalDialogs.h"
#include "ModuleInventory.h"
#include "SlotRules.h"

namespace ksv {

namespace {

const QColor kStopCaptionColor(255, 0, 0);
const QColor kStartCaptionColor(0, 128, 0);
const QColor kAmmeterColor(255, 128, 255);
const QString kStartCaption = QStringLiteral("С   Т   А   Р   Т");
const QString kStopCaption = QStringLiteral("С   Т   О   П");

void SetTextColor(QWidget* widget, QPalette::ColorRole role, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(role, color);
    widget->setPalette(palette);
}

bool IsResistance(const std::string& name) { return MezzanineKindOf(name) == TMezzanineKind::Resistance; }

// A checked slot shows all its controls, but a resistance mezzanine gives
// one value, so its second channel stays off; an unchecked slot keeps only
// its check box.
void ShowSlotChecked(TKsv27AdcChannelFrame* frame, bool checked, const std::string& name)
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

void ShowMessage(const char* text, const char* caption, TDialogKind kind)
{
    ShowMessageBox(QString::fromUtf8(text), QString::fromUtf8(caption), kind);
}

} // namespace

TMultimeterPage::TMultimeterPage(const TMultimeterControls& controls, TWindowState& state,
                                 const TDeviceState& device, TMultimeterActions actions)
    : c_(controls), shared_(state), device_(device), actions_(std::move(actions))
{
    tables_.HandlerPages[0] = c_.MultimeterLMDTabSheet;
}

void TMultimeterPage::BuildTables()
{
    // Rates: divisor d gives 1000 / (d + 1) Hz, listed in index order.
    for (int i = 0; i < kAdcRateCount; ++i) {
        tables_.AdcRateDivisors[i] = kAdcRateDivisors[i];
        tables_.AdcRatesHz[i] = AdcRateFromDivisor(tables_.AdcRateDivisors[i]);
    }
    c_.AdcRateLMDComboBox->clear();
    for (double rate : tables_.AdcRatesHz) c_.AdcRateLMDComboBox->addItem(QString::fromStdString(AdcRateText(rate)));
    c_.AdcRateLMDComboBox->setMaxVisibleItems(kAdcRateCount);
    tables_.VoltagePinTable = MakeVoltagePinTable();
    tables_.CurrentPinTable = MakeCurrentPinTable();
    tables_.ResistancePinTable = MakeResistancePinTable();
}

void TMultimeterPage::BuildSlotFrames(const std::function<void(QCheckBox*)>& connectBox)
{
    for (int column = 0; column < 2; ++column) {
        for (int row = 0; row < 4; ++row) {
            const int slot = 4 * column + row;
            auto* frame = new TKsv27AdcChannelFrame(c_.AdcIndividualParsLMDGroupBox, slot);
            tables_.SlotFrames[slot] = frame;
            frame->setObjectName(QStringLiteral("Ksv27AdcChannel%1Frame").arg(slot));

            QWidget* panel = frame->Ksv27AdcChannelLMDSimplePanel;
            frame->resize(panel->x() + panel->width(), panel->y() + panel->height());
            frame->move(frame->width() * column + 1, frame->height() * row + 27);
            connectBox(frame->SlotNumberLMDCheckBox);
            DisableRecursively(panel);
            ResetSlotDisplay(slot);
            frame->show();
        }
    }
}

void TMultimeterPage::ResetSlotDisplay(int slot)
{
    if (slot < 0 || slot >= static_cast<int>(tables_.SlotFrames.size()) || !tables_.SlotFrames[slot]) return;
    TKsv27AdcChannelFrame* frame = tables_.SlotFrames[slot];
    frame->SlotNumberLMDCheckBox->setChecked(false);
    frame->MezzaninenameLMDLabel->setText(QStringLiteral("????????????"));
    frame->ValuesLabLMDLabel->setText(QStringLiteral("????????????"));
    frame->ShowNoPins();
    frame->ShowNoValues();
    for (int channel = 1; channel <= 2; ++channel) frame->SetValueColor(channel, QColor(0, 255, 0));
}

void TMultimeterPage::ResetSlots()
{
    c_.AllSlotsLMDCheckBox->setCheckState(Qt::Unchecked);
    for (int slot = 0; slot < static_cast<int>(tables_.SlotFrames.size()); ++slot) ResetSlotDisplay(slot);
}

void TMultimeterPage::ShowAcquisitionTime()
{
    const double time = tables_.AcquisitionTime;
    const QString seconds = time > 0.0 ? QString::number(time, 'f', 1) : QStringLiteral("---");
    c_.AcquisitionTimeLMDLabel->setText(QStringLiteral("Время измерения: %1 с").arg(seconds));
}

void TMultimeterPage::ShowStartIdle()
{
    QPalette start = c_.StartMultimeterLMDSpeedButton->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        start.setColor(group, QPalette::ButtonText, kStartCaptionColor);
    c_.StartMultimeterLMDSpeedButton->setPalette(start);
}

// ---- handlers ----------------------------------------------------------------

void TMultimeterPage::StartThread()
{
    if (!actions_.MayStartMeasurement()) return;
    int found = -1;
    const QWidget* active = c_.MainLMDPageControl->currentWidget();
    for (std::size_t i = 0; i < tables_.HandlerPages.size(); ++i)
        if (tables_.HandlerPages[i] && tables_.HandlerPages[i] == active) found = static_cast<int>(i);
    if (found < 0) {
        ShowMessage(msg::kUnknownPage, msg::kUnknownPageCaption, TDialogKind::Information);
        return;
    }
    tables_.HandlerIndex = static_cast<std::uint16_t>(found);
    if (tables_.HandlerPages[static_cast<std::size_t>(found)] == c_.MultimeterLMDTabSheet)
        actions_.RequestMeasurement();
}

void TMultimeterPage::StartLMDSpeedButtonClick()
{
    const THandlerScope handler(shared_.HandlerBusy);
    if (!handler.Entered()) return;
    actions_.StopMeasurement();
    if (c_.MainLMDPageControl->currentIndex() == 0 && c_.StartMultimeterLMDSpeedButton->isChecked()) StartThread();
}

void TMultimeterPage::ApplySlotEnabling(bool enable)
{
    if (!enable) return;
    const std::array<std::string, KSV27_MEZZANINES> names = MezzanineNames(device_.ModuleRecord);
    for (std::size_t s = 0; s < tables_.SlotFrames.size(); ++s) {
        TKsv27AdcChannelFrame* frame = tables_.SlotFrames[s];
        if (!frame || !IsFittedName(names[s])) continue;
        frame->setEnabled(true);
        frame->Ksv27AdcChannelLMDSimplePanel->setEnabled(true);
        frame->SlotNumberLMDCheckBox->setEnabled(true);
        ShowSlotChecked(frame, frame->SlotNumberLMDCheckBox->isChecked(), names[s]);
    }
}

void TMultimeterPage::UpdateAllSlotsCheckBox()
{
    std::array<bool, 8> checked{};
    for (std::size_t s = 0; s < tables_.SlotFrames.size(); ++s)
        checked[s] = tables_.SlotFrames[s] && tables_.SlotFrames[s]->SlotNumberLMDCheckBox->isChecked();
    const TSlotAgreement agreement = SlotsAgree(MezzanineNames(device_.ModuleRecord), checked);
    // Without a fitted slot there is nothing to sum up.
    if (!agreement.Any) return;
    QCheckBox* all = c_.AllSlotsLMDCheckBox;
    if (agreement.Agree) {
        // Two states again, so the user's next click checks or unchecks.
        all->setTristate(false);
        all->setCheckState(agreement.State ? Qt::Checked : Qt::Unchecked);
    } else {
        all->setCheckState(Qt::PartiallyChecked);
    }
}

int TMultimeterPage::SlotOf(QObject* sender) const
{
    for (std::size_t s = 0; s < tables_.SlotFrames.size(); ++s)
        if (tables_.SlotFrames[s] && tables_.SlotFrames[s]->SlotNumberLMDCheckBox == sender) return static_cast<int>(s);
    return -1;
}

void TMultimeterPage::EnaSlotLMDCheckBoxChange(QObject* sender)
{
    const THandlerScope handler(shared_.HandlerBusy);
    if (!handler.Entered()) return;
    actions_.StopMeasurement();
    auto* box = qobject_cast<QCheckBox*>(sender);
    if (!box) return ShowMessage(msg::kCannotCast, msg::kCannotCastCaption, TDialogKind::Information);
    const int slot = SlotOf(box);
    if (slot < 0) return ShowMessage(msg::kUnknownSlotControl, msg::kUnknownSlotControlCaption, TDialogKind::None);
    TKsv27AdcChannelFrame* frame = tables_.SlotFrames[static_cast<std::size_t>(slot)];
    const bool checked = box->isChecked();
    ShowSlotChecked(frame, checked, MezzanineNames(device_.ModuleRecord)[static_cast<std::size_t>(slot)]);
    UpdateAllSlotsCheckBox();
    if (!checked) frame->ShowNoValues();
}

void TMultimeterPage::AllSlotsLMDCheckBoxChange()
{
    const THandlerScope handler(shared_.HandlerBusy);
    if (!handler.Entered()) return;
    actions_.StopMeasurement();
    // A click on the grayed box moves it on to checked; from here on it has
    // two states until the slots disagree again.
    QCheckBox* all = c_.AllSlotsLMDCheckBox;
    const bool value = all->checkState() == Qt::Checked;
    all->setTristate(false);
    all->setChecked(value);
    const std::array<std::string, KSV27_MEZZANINES> names = MezzanineNames(device_.ModuleRecord);
    for (std::size_t s = 0; s < tables_.SlotFrames.size(); ++s) {
        TKsv27AdcChannelFrame* frame = tables_.SlotFrames[s];
        if (!frame || !IsFittedName(names[s])) continue;
        frame->SlotNumberLMDCheckBox->setChecked(value);
        ShowSlotChecked(frame, value, names[s]);
    }
}

void TMultimeterPage::AdcRateLMDComboBoxChange()
{
    const THandlerScope handler(shared_.HandlerBusy);
    if (handler.Entered()) actions_.StopMeasurement();
}

// The mode group and the mezzanine list are hidden; their changes do nothing.
void TMultimeterPage::EquipmentModeLMDRadioGroupChange() {}

void TMultimeterPage::MezzaninesLMDComboBoxChange() {}

// ---- after a discovery ---------------------------------------------------------

void TMultimeterPage::EnableAfterDiscovery(bool moduleOpen)
{
    if (!moduleOpen) {
        // Normally hidden since the discovery began; a run that failed
        // before that must not leave START offered without a module.
        c_.StartMultimeterLMDSimplePanel->setVisible(false);
        return;
    }
    c_.MultimeterLMDSimplePanel->setEnabled(true);
    c_.AdcStreamLMDSimplePanel->setEnabled(true);
    SetControlsEnabled(c_.AdcGroupParsLMDGroupBox, true);
    c_.AdcIndividualParsLMDGroupBox->setEnabled(true);
    ApplySlotEnabling(true);
    c_.StartMultimeterLMDSpeedButton->setEnabled(true);
    c_.StartMultimeterLMDSimplePanel->setVisible(true);
}

// ---- what a run shows ------------------------------------------------------------

void TMultimeterPage::ShowRunStarted()
{
    const TBusyScope change(shared_.HandlerBusy);
    c_.StartMultimeterLMDSpeedButton->setText(kStopCaption);
    SetTextColor(c_.StartMultimeterLMDSpeedButton, QPalette::ButtonText, kStopCaptionColor);
    c_.VoltmeterValueLMDLabel->clear();
    c_.AmperemeterValueLMDLabel->clear();
    c_.ResistanceValueLMDLabel->clear();
    SetTextColor(c_.AmperemeterValueLMDLabel, QPalette::WindowText, kAmmeterColor);
    for (TKsv27AdcChannelFrame* frame : tables_.SlotFrames)
        if (frame) frame->ShowNoValues(QString());
}

TMeasureRequest TMultimeterPage::RunRequest() const
{
    TMeasureRequest request;
    request.RateIndex = c_.AdcRateLMDComboBox->currentIndex();
    if (request.RateIndex >= 0) request.RateText = c_.AdcRateLMDComboBox->itemText(request.RateIndex).toStdString();
    for (std::size_t s = 0; s < request.SlotChecked.size(); ++s)
        request.SlotChecked[s] = tables_.SlotFrames[s] && tables_.SlotFrames[s]->SlotNumberLMDCheckBox->isChecked();
    return request;
}

// A slot that was not averaged in this run has no value to show, even if its
// box has been ticked since.
bool TMultimeterPage::SlotShown(const TSlotPicture& picture, std::size_t s) const
{
    return picture.Active[s] && tables_.SlotFrames[s]->SlotNumberLMDCheckBox->isChecked();
}

void TMultimeterPage::ShowCycle(const TCycleResult& cycle, const TSlotPicture& picture)
{
    {
        const TBusyScope change(shared_.HandlerBusy);
        for (std::size_t s = 0; s < tables_.SlotFrames.size(); ++s) {
            TKsv27AdcChannelFrame* frame = tables_.SlotFrames[s];
            if (!frame) continue;
            if (!SlotShown(picture, s)) {
                frame->ShowNoValues();
                continue;
            }
            frame->SetChannelLamp(1, TKsv27AdcChannelFrame::kLampOff);
            frame->SetChannelLamp(2, TKsv27AdcChannelFrame::kLampOff);
            frame->Value1LMDEdit->setText(QString::fromStdString(cycle.Channels[2 * s].Text));
            frame->Value2LMDEdit->setText(QString::fromStdString(cycle.Channels[2 * s + 1].Text));
        }
    }
    emit CycleShown(cycle);
}

void TMultimeterPage::ShowUpdateMarks(const TSlotPicture& picture)
{
    for (std::size_t s = 0; s < tables_.SlotFrames.size(); ++s) {
        TKsv27AdcChannelFrame* frame = tables_.SlotFrames[s];
        if (!frame) continue;
        const TSlotLamps lamps = SlotUpdateMarks(SlotShown(picture, s), picture.Names[s]);
        const TLampUpdate each[2] = {lamps.Lamp1, lamps.Lamp2};
        for (int c = 0; c < 2; ++c) {
            if (each[c] == TLampUpdate::Updated) frame->SetChannelLamp(c + 1, TKsv27AdcChannelFrame::kLampUpdated);
            if (each[c] == TLampUpdate::Off) frame->SetChannelLamp(c + 1, TKsv27AdcChannelFrame::kLampOff);
        }
    }
}

void TMultimeterPage::ShowRunStopped()
{
    const TBusyScope change(shared_.HandlerBusy);
    QPushButton* start = c_.StartMultimeterLMDSpeedButton;
    start->setText(kStartCaption);
    SetTextColor(start, QPalette::ButtonText, kStartCaptionColor);
    start->setChecked(false);
    for (QWidget* hinted : std::initializer_list<QWidget*>{c_.AmpltudeGeneratorLMDEdit, c_.VoltmeterValueLMDLabel,
                                                           c_.AmperemeterValueLMDLabel, c_.ResistanceValueLMDLabel})
        hinted->setToolTip(QString());
}

TRunDescription TMultimeterPage::DescribeRun() const
{
    TRunDescription run;
    std::string crate;
    int slot = 0;
    if (SelectedModuleAddress(device_.Inventory, crate, slot)) {
        run.CrateSerial = crate;
        run.Slot = slot;
    }
    const Ksv27ModuleRecord& record = device_.ModuleRecord;
    run.ModuleSerial = FieldText(record.ModuleSerial);
    run.Firmware = FirmwareText(record.FirmwareVersion);
    const int k = c_.AdcRateLMDComboBox->currentIndex();
    if (k >= 0 && k < static_cast<int>(tables_.AdcRatesHz.size())) run.RateHz = tables_.AdcRatesHz[static_cast<std::size_t>(k)];
    run.AcquisitionTime = tables_.AcquisitionTime;
    run.MezzanineNames = MezzanineNames(record);
    for (std::size_t s = 0; s < run.MezzanineNames.size(); ++s)
        run.SlotActive[s] = IsFittedName(run.MezzanineNames[s]) && tables_.SlotFrames[s] &&
                            tables_.SlotFrames[s]->SlotNumberLMDCheckBox->isChecked();
    return run;
}

} // namespace ksv
