#include "SettingsController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <array>
#include <exception>
#include <new>

#include "BoundedText.h"
#include "HandlerGuard.h"
#include "Ksv27adcchannelpanel.h"
#include "MessagePump.h"
#include "ModalDialogs.h"
#include "ModuleInventory.h"
#include "SlotLegend.h"
#include "SlotPicture.h"
#include "TApplication.h"
#include "IniFile.h"
#include "SettingsFolderOverride.h"
#include "SettingsLoadSave.h"

namespace ksv {

namespace {

namespace text {
constexpr const char* kDefaultCaption = "ОШИБКА CreateDefaultIniFile()!";
constexpr const char* kBadDefaultName = "Неправильное название файла штатных настроек!";
constexpr const char* kCannotCreateDefaultBefore = "Не могу создать файл штатных настроек '";
constexpr const char* kCannotCreateDefaultAfter = "'!";
} // namespace text

QString Utf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

void ShowDefaultFileBox(const QString& message)
{
    ShowMessageBox(message, QString::fromUtf8(text::kDefaultCaption), TDialogKind::Information);
}

void ShowPin(QLabel* plusName, QLabel* plusContact, QLabel* minusName, QLabel* minusContact, const TPinTexts& pin)
{
    plusName->setText(Utf8(pin.PlusName));
    plusContact->setText(Utf8(pin.PlusContact));
    minusName->setText(Utf8(pin.MinusName));
    minusContact->setText(Utf8(pin.MinusContact));
}

// A grayed box is not "checked": a mixed slot choice is saved as such, so
// the next load takes the slots' own keys instead of enabling them all.
bool IsChecked(const QCheckBox* box) { return box && box->checkState() == Qt::Checked; }

// How long a save from the button keeps the button disabled, so that the
// user sees that something happened.
constexpr int kSavePauseMs = 500;

} // namespace

TSettingsController::TSettingsController(const TSettingsControls& controls, TWindowState& state,
                                         const TDeviceState& device, TMultimeterPage& page)
    : c_(controls), shared_(state), device_(device), page_(page)
{
}

TSettingsController::~TSettingsController() = default;

// ---- the default file ------------------------------------------------------------

bool TSettingsController::CreateDefaultIniFile(const std::string& path)
{
    SettingsIniFile.reset();
    try {
        const TDefaultFileOutcome outcome = ksv::CreateDefaultSettingsFile(
            path, [this](TIniFile& ini, TIniWriteBatch& batch) { WriteInBatch(ini, batch, true); });
        return TakeDefaultIniFile(path, outcome);
    } catch (...) {
        ShowExceptionBox(std::current_exception());
        return false;
    }
}

bool TSettingsController::TakeDefaultIniFile(const std::string& path, const TDefaultFileOutcome& outcome)
{
    SettingsIniFile.reset();
    if (outcome.Result == TDefaultFileResult::EmptyPath) {
        ShowDefaultFileBox(QString::fromUtf8(text::kBadDefaultName));
        return false;
    }
    try {
        SettingsIniFile = std::make_unique<TIniFile>(path);
    } catch (const std::bad_alloc&) {
        ShowDefaultFileBox(QString::fromUtf8(text::kCannotCreateDefaultBefore) + Utf8(path) +
                           QString::fromUtf8(text::kCannotCreateDefaultAfter));
        return false;
    }
    if (outcome.Result != TDefaultFileResult::Written) {
        ShowErrorBox(Utf8(outcome.Error));
        return false;
    }
    return true;
}

// ---- the four write steps ------------------------------------------------------

void TSettingsController::WriteInBatch(TIniFile& ini, TIniWriteBatch& batch, bool defaults)
{
    batch_ = &batch;
    struct TDone {
        TIniWriteBatch*& Batch;
        ~TDone() { Batch = nullptr; }
    } done{batch_};
    if (defaults) {
        WriteDefaultAppSettings(&ini);
        WriteDefaultModuleSettings(&ini);
    } else {
        WriteAppSettings(&ini);
        WriteModuleSettings(&ini);
    }
}

template <class TWrite> bool TSettingsController::WriteStep(TIniFile* ini, const TWrite& write)
{
    if (!ini) return false;
    if (batch_)
        write(*batch_);
    else
        write(*ini);
    return true;
}

bool TSettingsController::WriteAppSettings(TIniFile* ini)
{
    if (!ini) return false;
    TAppSnapshot app;
    app.AutoSave = IsChecked(c_.AutoSaveSettingsLMDCheckBox);
    const QRect frame = c_.Window->frameGeometry();
    app.Top = frame.y();
    app.Left = frame.x();
    // A list entry the inventory does not hold selects nothing: the saved
    // serial and slot must name a crate and module that discovery found.
    const TDeviceInventory& inventory = device_.Inventory;
    const int c = c_.KsvCratesComboBox->currentIndex();
    const int m = c_.ModulesComboBox->currentIndex();
    if (ValidCrateIndex(inventory, c)) {
        app.CrateIndex = c;
        app.CrateSerial = Ksv27CrateSerial(inventory, c);
        if (ValidModuleIndex(inventory, c, m)) {
            app.ModuleIndex = m;
            app.ModuleSlot = inventory.Ksv27Slots[c][m];
        }
    }
    return WriteStep(ini, [&app](auto& to) { ksv::WriteAppSettings(to, app); });
}

bool TSettingsController::WriteModuleSettings(TIniFile* ini)
{
    if (!ini) return false;
    TModuleSnapshot module;
    module.RateIndex = c_.AdcRateLMDComboBox->currentIndex();
    module.AllSlots = IsChecked(c_.AllSlotsLMDCheckBox);
    const TSlotFrames& frames = page_.Tables().SlotFrames;
    for (std::size_t s = 0; s < frames.size(); ++s)
        module.SlotChecked[s] = frames[s] && IsChecked(frames[s]->SlotNumberLMDCheckBox);
    return WriteStep(ini, [&module](auto& to) { ksv::WriteModuleSettings(to, module); });
}

bool TSettingsController::WriteDefaultAppSettings(TIniFile* ini)
{
    return WriteStep(ini, [](auto& to) { ksv::WriteDefaultAppSettings(to); });
}

bool TSettingsController::WriteDefaultModuleSettings(TIniFile* ini)
{
    return WriteStep(ini, [](auto& to) { ksv::WriteDefaultModuleSettings(to); });
}

// ---- load ----------------------------------------------------------------------

bool TSettingsController::LoadSettings(TIniFile* ini)
{
    if (!ini) return false;
    c_.AutoSaveSettingsLMDCheckBox->setChecked(ReadAutoSave(*ini));
    return LoadModuleSettings(ini);
}

bool TSettingsController::LoadModuleSettings(TIniFile* ini)
{
    if (!ini) return false;
    const std::array<std::string, KSV27_MEZZANINES> names = MezzanineNames(device_.ModuleRecord);
    const TModuleSettings settings = ReadModuleSettings(*ini, names);

    // A rate index the table does not have selects no rate at all.
    const bool rateKnown = settings.RateIndex >= 0 && settings.RateIndex < c_.AdcRateLMDComboBox->count();
    c_.AdcRateLMDComboBox->setCurrentIndex(rateKnown ? settings.RateIndex : -1);
    page_.Tables().AcquisitionTime = settings.AcquisitionTime;
    page_.ShowAcquisitionTime();

    // The check boxes below must not run their change handlers.
    const TBusyScope busy(shared_.HandlerBusy);
    c_.AllSlotsLMDCheckBox->setTristate(false);
    c_.AllSlotsLMDCheckBox->setCheckState(settings.AllSlots ? Qt::Checked : Qt::Unchecked);
    const TSlotFrames& frames = page_.Tables().SlotFrames;
    for (std::size_t s = 0; s < frames.size(); ++s) {
        if (!frames[s]) continue;
        ShowSlotLegend(s, names[s]);
        frames[s]->SlotNumberLMDCheckBox->setChecked(IsFittedName(names[s]) && settings.SlotEnabled[s]);
        frames[s]->ShowNoValues();
    }
    // The group box sums the fitted slots up; with none fitted it keeps the
    // file's group flag.
    page_.UpdateAllSlotsCheckBox();
    return true;
}

void TSettingsController::ShowSlotLegend(std::size_t slot, const std::string& name)
{
    const TMultimeterTables& tables = page_.Tables();
    TKsv27AdcChannelFrame* frame = tables.SlotFrames[slot];
    const int s = static_cast<int>(slot);
    const TSlotLegend legend =
        SlotLegendOf(name, FieldText(Ksv27MezzanineDescOf(const_cast<Ksv27ModuleRecord*>(&device_.ModuleRecord), s)
                                         ->MezzanineSerial)); // read only
    frame->MezzaninenameLMDLabel->setText(Utf8(legend.MezzanineCaption));
    frame->ValuesLabLMDLabel->setText(QString::fromUtf8(legend.Unit));
    const TPinTable* pins = legend.Pins == TPinFamily::Voltage      ? &tables.VoltagePinTable
                            : legend.Pins == TPinFamily::Current    ? &tables.CurrentPinTable
                            : legend.Pins == TPinFamily::Resistance ? &tables.ResistancePinTable
                                                                    : nullptr;
    if (pins) {
        ShowPin(frame->Pin1PlusNameLMDLabel, frame->Pin1PlusNumberLMDLabel, frame->Pin1MinusNameLMDLabel,
                frame->Pin1MinusNumberLMDLabel, SlotPin(*pins, s, 0));
        ShowPin(frame->Pin2PlusNameLMDLabel, frame->Pin2PlusNumberLMDLabel, frame->Pin2MinusNameLMDLabel,
                frame->Pin2MinusNumberLMDLabel, SlotPin(*pins, s, 1));
    } else if (legend.Pins == TPinFamily::None) {
        frame->ShowNoPins();
    }
}

// ---- save ----------------------------------------------------------------------

void TSettingsController::SaveIniFile(const std::string& path)
{
    SettingsIniFile.reset();
    try {
        SettingsIniFile = std::make_unique<TIniFile>(path);
        const TSaveOutcome out =
            SaveSettings(*SettingsIniFile, [this](TIniFile& ini, TIniWriteBatch& batch) { WriteInBatch(ini, batch, false); });
        // Both parts go in one replacement: a refusal is one box.
        if (!out.AppSaved) ShowErrorBox(Utf8(out.AppError));
    } catch (...) {
        ShowExceptionBox(std::current_exception());
    }
}

void TSettingsController::AutoSaveSettingsLMDCheckBoxChange()
{
    if (shared_.HandlerBusy) return;
    const TBusyScope busy(shared_.HandlerBusy);
    c_.SaveSettingsButton->setEnabled(!c_.AutoSaveSettingsLMDCheckBox->isChecked());
}

void TSettingsController::SaveSettingsButtonClick()
{
    const THandlerScope handler(shared_.HandlerBusy);
    if (!handler.Entered()) return;
    c_.SaveSettingsButton->setEnabled(false);
    SaveIniFile(ActiveSettingsPath());
    PauseAfterSave();
    c_.SaveSettingsButton->setEnabled(true);
}

void TSettingsController::PauseAfterSave()
{
    // Keeps the window painting and the worker hand-offs served meanwhile.
    QElapsedTimer pause;
    pause.start();
    for (qint64 left = kSavePauseMs; left > 0; left = kSavePauseMs - pause.elapsed())
        SleepAndProcessMessages(static_cast<int>(left < 50 ? left : 50));
}

void TSettingsController::SaveCurrentSettingsClick() { SaveSettingsButtonClick(); }

// The defaults reach the window at the next discovery, not now.
void TSettingsController::SaveDefaultSettingsClick() { CreateDefaultIniFile(ActiveSettingsPath()); }

void TSettingsController::EnableSaveButton() { c_.SaveSettingsButton->setEnabled(!AutoSaveChecked()); }

bool TSettingsController::AutoSaveChecked() const { return c_.AutoSaveSettingsLMDCheckBox->isChecked(); }

} // namespace ksv
