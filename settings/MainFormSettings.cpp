// Window-side settings: creating the default settings file, loading the
// program's and the module's settings into the window, saving them from the
// window, and the save controls.
//
// This side only moves values between the controls and settings/core, which
// decides what is read and written and writes it: a save and a default
// rewrite are each one replacement of the file. A write the file system
// refuses leaves the file as it was and is shown once, in the application's
// general error box, with the file system's words; nothing of it leaves these
// operations, so the close handler and the discovery that call them always
// finish their own steps.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <exception>
#include <new>
#include <string>

#include "BoundedText.h"
#include "Ksv27adcchannelpanel.h"
#include "Ksv27mainform.h"
#include "TBusyScope.h"
#include "MessagePump.h"
#include "MezzanineKind.h"
#include "ModalDialogs.h"
#include "PinTables.h"
#include "TApplication.h"
#include "core/IniFile.h"
#include "core/SettingsFolderOverride.h"
#include "core/SettingsLoadSave.h"

namespace {

namespace text {
constexpr const char* kDefaultCaption = "ОШИБКА CreateDefaultIniFile()!";
constexpr const char* kBadDefaultName = "Неправильное название файла штатных настроек!";
constexpr const char* kCannotCreateDefaultBefore = "Не могу создать файл штатных настроек '";
constexpr const char* kCannotCreateDefaultAfter = "'!";

constexpr const char* kVoltageUnit = "Напряжение, мВ";
constexpr const char* kCurrentUnit = "Сила тока, мА";
constexpr const char* kResistanceUnit = "Сопротивление, Ом";
constexpr const char* kUnknown = "????????????";
constexpr const char* kEmptySlot = "Пустой";
constexpr const char* kNoPin = "--";
constexpr const char* kNoValue = "--------";
} // namespace text

QString Utf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

void ShowSettingsBox(const char* message, const char* caption)
{
    ksv::ShowMessageBox(QString::fromUtf8(message), QString::fromUtf8(caption), ksv::TDialogKind::Information);
}

// What a fitted slot shows for its mezzanine: the unit caption and the pin
// table, none for a name of no known kind (its pin labels stay as they are).
struct TSlotLegend {
    const char* Unit = text::kUnknown;
    const ksv::TPinTable* Pins = nullptr;
};

TSlotLegend LegendOf(const TMainForm& form, const std::string& name)
{
    switch (ksv::MezzanineKindOf(name)) {
    case ksv::TMezzanineKind::Voltage:
    case ksv::TMezzanineKind::Temperature: return {text::kVoltageUnit, &form.VoltagePinTable};
    case ksv::TMezzanineKind::Current: return {text::kCurrentUnit, &form.CurrentPinTable};
    case ksv::TMezzanineKind::Resistance: return {text::kResistanceUnit, &form.ResistancePinTable};
    case ksv::TMezzanineKind::None:
    case ksv::TMezzanineKind::Unknown: break;
    }
    return {};
}

void ShowPin(QLabel* plusName, QLabel* plusContact, QLabel* minusName, QLabel* minusContact,
             const ksv::TPinTexts& pin)
{
    plusName->setText(Utf8(pin.PlusName));
    plusContact->setText(Utf8(pin.PlusContact));
    minusName->setText(Utf8(pin.MinusName));
    minusContact->setText(Utf8(pin.MinusContact));
}

std::array<QLabel*, 8> PinLabels(ksv::TKsv27AdcChannelFrame* f)
{
    return {f->Pin1PlusNameLMDLabel, f->Pin1PlusNumberLMDLabel, f->Pin1MinusNameLMDLabel, f->Pin1MinusNumberLMDLabel,
            f->Pin2PlusNameLMDLabel, f->Pin2PlusNumberLMDLabel, f->Pin2MinusNameLMDLabel, f->Pin2MinusNumberLMDLabel};
}

// A grayed box is not "checked": a mixed slot choice is saved as such, so
// the next load takes the slots' own keys instead of enabling them all.
bool IsChecked(const QCheckBox* box) { return box && box->checkState() == Qt::Checked; }

// The controls as a save takes them.
ksv::TAppSnapshot AppSnapshotOf(const TMainForm& form)
{
    ksv::TAppSnapshot app;
    app.AutoSave = IsChecked(form.AutoSaveSettingsLMDCheckBox);
    const QRect frame = form.frameGeometry();
    app.Top = frame.y();
    app.Left = frame.x();

    // A list entry the inventory does not hold selects nothing: the saved
    // serial and slot must name a crate and module that discovery found.
    const ksv::TDeviceInventory& inv = form.Inventory;
    const int c = form.KsvCratesComboBox->currentIndex();
    const int m = form.ModulesComboBox->currentIndex();
    const bool crateKnown = c >= 0 && c < inv.Ksv27CrateCount && c < KSV_MAX_CRATES;
    if (crateKnown) {
        app.CrateIndex = c;
        app.CrateSerial = ksv::FieldText(inv.Ksv27CrateSerials[c]);
        const bool moduleKnown = m >= 0 && m < inv.Ksv27ModuleCount[c] && m < KSV_MAX_SLOTS;
        if (moduleKnown) {
            app.ModuleIndex = m;
            app.ModuleSlot = inv.Ksv27Slots[c][m];
        }
    }
    return app;
}

ksv::TModuleSnapshot ModuleSnapshotOf(const TMainForm& form)
{
    ksv::TModuleSnapshot module;
    module.RateIndex = form.AdcRateLMDComboBox->currentIndex();
    module.AllSlots = IsChecked(form.AllSlotsLMDCheckBox);
    for (std::size_t s = 0; s < form.SlotFrames.size(); ++s)
        module.SlotChecked[s] = form.SlotFrames[s] && IsChecked(form.SlotFrames[s]->SlotNumberLMDCheckBox);
    return module;
}

// How long a save from the button keeps the button disabled, so that the
// user sees that something happened.
constexpr int kSavePauseMs = 500;

} // namespace

bool TMainForm::CreateDefaultIniFile(const std::string& path)
{
    SettingsIniFile.reset();
    try {
        return TakeDefaultIniFile(path, ksv::CreateDefaultSettingsFile(path));
    } catch (...) {
        ksv::ShowExceptionBox(std::current_exception());
        return false;
    }
}

bool TMainForm::TakeDefaultIniFile(const std::string& path, const ksv::TDefaultFileOutcome& outcome)
{
    SettingsIniFile.reset();
    if (outcome.Result == ksv::TDefaultFileResult::EmptyPath) {
        ShowSettingsBox(text::kBadDefaultName, text::kDefaultCaption);
        return false;
    }
    try {
        SettingsIniFile = std::make_unique<ksv::TIniFile>(path);
    } catch (const std::bad_alloc&) {
        ksv::ShowMessageBox(QString::fromUtf8(text::kCannotCreateDefaultBefore) + Utf8(path) +
                                QString::fromUtf8(text::kCannotCreateDefaultAfter),
                            QString::fromUtf8(text::kDefaultCaption), ksv::TDialogKind::Information);
        return false;
    }
    if (outcome.Result != ksv::TDefaultFileResult::Written) {
        ksv::ShowErrorBox(Utf8(outcome.Error));
        return false;
    }
    return true;
}

bool TMainForm::WriteDefaultAppSettings(ksv::TIniFile* ini)
{
    if (!ini) return false;
    ksv::WriteDefaultAppSettings(*ini);
    return true;
}

bool TMainForm::WriteDefaultModuleSettings(ksv::TIniFile* ini)
{
    if (!ini) return false;
    ksv::WriteDefaultModuleSettings(*ini);
    return true;
}

bool TMainForm::LoadSettings(ksv::TIniFile* ini)
{
    if (!ini) return false;
    AutoSaveSettingsLMDCheckBox->setChecked(ksv::ReadAutoSave(*ini));
    return LoadModuleSettings(ini);
}

bool TMainForm::LoadModuleSettings(ksv::TIniFile* ini)
{
    if (!ini) return false;
    std::array<std::string, 8> names;
    for (std::size_t s = 0; s < names.size(); ++s) names[s] = ksv::FieldText(ModuleRecord.Mezzanines[s].MezzanineName);
    const ksv::TModuleSettings settings = ksv::ReadModuleSettings(*ini, names);

    // A rate index the table does not have selects no rate at all.
    const bool rateKnown = settings.RateIndex >= 0 && settings.RateIndex < AdcRateLMDComboBox->count();
    AdcRateLMDComboBox->setCurrentIndex(rateKnown ? settings.RateIndex : -1);
    AcquisitionTime = settings.AcquisitionTime;
    ShowAcquisitionTime();

    // The check boxes below must not run their change handlers.
    const ksv::TBusyScope busy(*this);
    AllSlotsLMDCheckBox->setTristate(false);
    AllSlotsLMDCheckBox->setCheckState(settings.AllSlots ? Qt::Checked : Qt::Unchecked);

    for (std::size_t s = 0; s < SlotFrames.size(); ++s) {
        ksv::TKsv27AdcChannelFrame* frame = SlotFrames[s];
        if (!frame) continue;
        const int slot = static_cast<int>(s);
        if (ksv::IsFittedName(names[s])) {
            const std::string serial = ksv::FieldText(Ksv27MezzanineDescOf(&ModuleRecord, slot)->MezzanineSerial);
            frame->MezzaninenameLMDLabel->setText(QStringLiteral("MZ8") + Utf8(names[s]) + QStringLiteral(" (S/N ") +
                                                  Utf8(serial) + QStringLiteral(")"));
            const TSlotLegend legend = LegendOf(*this, names[s]);
            frame->ValuesLabLMDLabel->setText(QString::fromUtf8(legend.Unit));
            if (legend.Pins) {
                ShowPin(frame->Pin1PlusNameLMDLabel, frame->Pin1PlusNumberLMDLabel, frame->Pin1MinusNameLMDLabel,
                        frame->Pin1MinusNumberLMDLabel, ksv::SlotPin(*legend.Pins, slot, 0));
                ShowPin(frame->Pin2PlusNameLMDLabel, frame->Pin2PlusNumberLMDLabel, frame->Pin2MinusNameLMDLabel,
                        frame->Pin2MinusNumberLMDLabel, ksv::SlotPin(*legend.Pins, slot, 1));
            }
            frame->SlotNumberLMDCheckBox->setChecked(settings.SlotEnabled[s]);
        } else {
            frame->MezzaninenameLMDLabel->setText(QString::fromUtf8(text::kEmptySlot));
            frame->ValuesLabLMDLabel->setText(QString::fromUtf8(text::kUnknown));
            for (QLabel* pin : PinLabels(frame)) pin->setText(QString::fromUtf8(text::kNoPin));
            frame->SlotNumberLMDCheckBox->setChecked(false);
        }
        frame->Value1LMDEdit->setText(QString::fromUtf8(text::kNoValue));
        frame->Value2LMDEdit->setText(QString::fromUtf8(text::kNoValue));
        frame->SetChannelLamp(1, ksv::TKsv27AdcChannelFrame::kLampOff);
        frame->SetChannelLamp(2, ksv::TKsv27AdcChannelFrame::kLampOff);
    }

    // The group box sums the fitted slots up; with none fitted it keeps the
    // file's group flag.
    UpdateAllSlotsCheckBox();
    return true;
}

void TMainForm::SaveIniFile(const std::string& path)
{
    SettingsIniFile.reset();
    try {
        SettingsIniFile = std::make_unique<ksv::TIniFile>(path);
        const ksv::TSaveOutcome out = ksv::SaveSettings(*SettingsIniFile, AppSnapshotOf(*this), ModuleSnapshotOf(*this));
        // Both parts go in one replacement: a refusal is one box.
        if (!out.AppSaved)
            ksv::ShowErrorBox(Utf8(out.AppError));
        else if (!out.ModuleSaved)
            ksv::ShowErrorBox(Utf8(out.ModuleError));
    } catch (...) {
        ksv::ShowExceptionBox(std::current_exception());
    }
}

bool TMainForm::WriteAppSettings(ksv::TIniFile* ini)
{
    if (!ini) return false;
    ksv::WriteAppSettings(*ini, AppSnapshotOf(*this));
    return true;
}

bool TMainForm::WriteModuleSettings(ksv::TIniFile* ini)
{
    if (!ini) return false;
    ksv::WriteModuleSettings(*ini, ModuleSnapshotOf(*this));
    return true;
}

void TMainForm::AutoSaveSettingsLMDCheckBoxChange()
{
    if (HandlerBusy) return;
    const ksv::TBusyScope busy(*this);
    SaveSettingsButton->setEnabled(!AutoSaveSettingsLMDCheckBox->isChecked());
}

void TMainForm::SaveSettingsButtonClick()
{
    if (HandlerBusy) return;
    // The button comes back and the guard is released on every way out.
    struct TRestore {
        TMainForm& Form;
        ~TRestore()
        {
            Form.SaveSettingsButton->setEnabled(true);
            Form.HandlerBusy = false;
        }
    } restore{*this};
    HandlerBusy = true;
    SaveSettingsButton->setEnabled(false);
    SaveIniFile(ksv::ActiveSettingsPath());

    // Keeps the window painting and the worker hand-offs served meanwhile.
    QElapsedTimer pause;
    pause.start();
    for (qint64 left = kSavePauseMs; left > 0; left = kSavePauseMs - pause.elapsed())
        ksv::SleepAndProcessMessages(static_cast<int>(left < 50 ? left : 50));
}

void TMainForm::SaveCurrentSettingsClick() { SaveSettingsButtonClick(); }

void TMainForm::SaveDefaultSettingsClick()
{
    // The defaults reach the window at the next discovery, not now.
    CreateDefaultIniFile(ksv::ActiveSettingsPath());
}
