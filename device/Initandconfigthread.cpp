#include "Initandconfigthread.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <new>

#include "BoundedText.h"
#include "ModuleInventory.h"
#include "WindowGeometry.h"
#include "WorkerDialog.h"
#include "IniFile.h"
#include "SettingsFolderOverride.h"
#include "SettingsLoadSave.h"

ksv::TInitAndConfigThread* InitAndConfigThread = nullptr;

namespace ksv {

namespace {

std::function<void(const std::string&)>& StepHook()
{
    static std::function<void(const std::string&)> hook;
    return hook;
}

// Whether the window, moved to `topLeft`, shows its caption on a screen.
bool PositionReachable(const IDiscoveryView& view, const QPoint& topLeft)
{
    const QRect frame = view.WindowFrame();
    QList<QRect> workAreas;
    for (const QScreen* screen : QGuiApplication::screens()) workAreas.append(screen->availableGeometry());
    const TWindowDecoration decoration = DecorationFrom(frame, view.WindowClient());
    return CaptionReachable(QRect(topLeft, frame.size()), decoration.Caption + decoration.FrameY, workAreas);
}

QString RecordText(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

} // namespace

TInitAndConfigThread::TInitAndConfigThread(IDiscoveryView& view, bool discoveryUsesSavedSettings,
                                           TDiscoveryMode discoveryMode)
    : DiscoveryUsesSavedSettings(discoveryUsesSavedSettings), DiscoveryMode(discoveryMode), view_(view)
{
    FreeOnTerminate = true;
    Start();
}

TInitAndConfigThread::~TInitAndConfigThread() = default;

void TInitAndConfigThread::SetStepHook(std::function<void(const std::string& step)> hook)
{
    StepHook() = std::move(hook);
}

void TInitAndConfigThread::Step(const char* name) const
{
    if (StepHook()) StepHook()(name);
}

// ---- the body (worker) ---------------------------------------------------

void TInitAndConfigThread::Execute()
{
    try {
        view_.SetDiscoveryRunning(true);
        StopRequested = false;
        Sleep(50);
        Synchronize([this] { PrepareDiscovery(); });
        Sleep(100);
        Sleep(100);
        if (!StopRequested) {
            Synchronize([this] { RestoreWindowPosition(); });
            Sleep(100);
            RunModeWork();
        }
    } catch (...) {
        ReportException();
    }
    Sleep(100);
    try {
        Synchronize([this] { FinishDiscovery(); });
    } catch (...) {
        // FinishDiscovery has restored the cursor and the guard on its way
        // out; report what went wrong unless a message was shown already.
        ReportException();
    }
}

void TInitAndConfigThread::ReportException()
{
    MessageText = QString::fromUtf8(discovery_text::kException);
    try {
        Synchronize([this] { ShowThreadMessage(); });
    } catch (...) {
    }
    ResetDeviceState();
}

void TInitAndConfigThread::ResetDeviceState()
{
    view_.SetCrateStatusOk(false);
    view_.SetModuleState(kNoModule);
}

void TInitAndConfigThread::RunModeWork()
{
    switch (DiscoveryMode) {
    case TDiscoveryMode::Full:
        Synchronize([this] { FindAndOpenModule(); });
        Sleep(100);
        if (!StopRequested) {
            // Its result shows in the module lamp only.
            if (view_.ModuleStateNow() == kModuleFound) OpenSelectedModule();
            Sleep(100);
        }
        ShowFinalStatus();
        break;
    case TDiscoveryMode::ModuleChanged:
    case TDiscoveryMode::CrateChanged: {
        // A module change opens the chosen module of the selected crate; a
        // crate change opens the selected crate's module after refilling its
        // module list.
        const bool moduleMode = DiscoveryMode == TDiscoveryMode::ModuleChanged;
        if (!(moduleMode ? OpenSelectedModule() : ReopenCrateModule())) {
            MessageText = QString::fromUtf8(moduleMode ? discovery_text::kModuleOpenFailed
                                                       : discovery_text::kCrateOpenFailed);
            Synchronize([this] { ShowThreadMessage(); });
            return;
        }
        ShowFinalStatus();
        break;
    }
    }
    if (!StopRequested) {
        Synchronize([this] { ApplySettings(); });
        Sleep(100);
    }
}

void TInitAndConfigThread::ShowFinalStatus()
{
    Synchronize([this] {
        Step("ShowDeviceStatus");
        view_.DeviceDisplay().ShowDeviceStatus(TStatusKind::Final, DiscoveryMode, StatusModuleName);
    });
    Sleep(100);
}

// ---- window-thread steps -------------------------------------------------

void TInitAndConfigThread::PrepareDiscovery()
{
    Step("PrepareDiscovery");
    SavedCursor = static_cast<std::int16_t>(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape()
                                                                           : Qt::ArrowCursor);
    view_.ShowDiscoveryBegun();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    cursorOverridden_ = true;

    if (!OpenSettingsFile()) return;
    ChooseWantedModule();

    view_.DeviceDisplay().SetDetectionControlsEnabled(false);
    if (DiscoveryMode != TDiscoveryMode::ModuleChanged) view_.SetCrateStatusOk(false);
    if (DiscoveryMode != TDiscoveryMode::CrateChanged) view_.SetModuleState(kNoModule);
    view_.DeviceDisplay().ShowDeviceStatus(TStatusKind::Reset, DiscoveryMode, StatusModuleName);
}

void TInitAndConfigThread::ChooseWantedModule()
{
    const TDeviceInventory& inventory = view_.DeviceInventory();
    const int selected = inventory.SelectedCrate;
    // A selection outside the inventory counts as none.
    if (DiscoveryUsesSavedSettings || !ValidCrateIndex(inventory, selected)) {
        const TWantedModule wanted = ReadWantedModule(*ThreadIniFile);
        WantedCrateSerial = wanted.CrateSerial;
        WantedSlot = wanted.Slot;
    } else {
        WantedCrateSerial = Ksv27CrateSerial(inventory, selected);
        WantedSlot = static_cast<std::int16_t>(
            Ksv27ModuleSlot(inventory, selected, inventory.SelectedModuleInCrate[selected]));
    }
}

bool TInitAndConfigThread::OpenSettingsFile()
{
    ThreadIniFile.reset();
    const std::string path = ActiveSettingsPath();
    const TEnsureOutcome ensured = EnsureSettingsFile(path);
    if (ensured.Result == TEnsureResult::CreateFailed) {
        MessageText = QString::fromUtf8(discovery_text::kCannotCreateSettings);
        ShowThreadMessage();
        return false;
    }
    // A file made just now holds the defaults; the window shows how that went.
    if (ensured.Created && !view_.TakeDefaultIniFile(path, ensured.Defaults)) return false;
    try {
        ThreadIniFile = std::make_unique<TIniFile>(path);
    } catch (const std::bad_alloc&) {
        MessageText = QString::fromUtf8(discovery_text::kCannotAllocateSettings);
        ShowThreadMessage();
        return false;
    }
    return true;
}

void TInitAndConfigThread::RestoreWindowPosition()
{
    Step("RestoreWindowPosition");
    if (!DiscoveryUsesSavedSettings || !ThreadIniFile) return;
    const TWindowPosition position = ReadWindowPosition(*ThreadIniFile);
    if (position.Left == -1 && position.Top == -1) return;
    // A position whose caption no screen shows (a monitor since detached, a
    // file from another desk) would leave the window out of reach: it counts
    // as none saved.
    const QRect frame = view_.WindowFrame();
    const QPoint target(position.Left != -1 ? position.Left : frame.x(), position.Top != -1 ? position.Top : frame.y());
    if (PositionReachable(view_, target)) view_.MoveWindow(target);
}

bool TInitAndConfigThread::FindAndOpenModule()
{
    Step("FindAndOpenModule");
    view_.DeviceDisplay().ShowModuleList({}, -1);

    const TEngineStatus found = view_.Engine().FindModules(WantedCrateSerial, WantedSlot);
    if (!found) {
        if (!found.Message.empty()) {
            MessageText = RecordText(found.Message);
            ShowThreadMessage();
        }
        return false;
    }

    const TDeviceInventory& inventory = view_.DeviceInventory();
    QStringList crates;
    for (int c = 0; c < inventory.Ksv27CrateCount; ++c)
        crates.append(RecordText(CrateItemText(c, Ksv27CrateSerial(inventory, c))));
    view_.DeviceDisplay().ShowCrateList(crates, inventory.SelectedCrate);
    view_.SetCrateStatusOk(true);
    FillModulesComboBox(inventory.SelectedCrate);

    if (!view_.Engine().OpenChosenModule()) return false;
    view_.SetModuleState(kModuleFound);
    return true;
}

void TInitAndConfigThread::FillModulesComboBox(int crate)
{
    const TDeviceInventory& inventory = view_.DeviceInventory();
    QStringList modules;
    const int count = Ksv27ModuleCountOf(inventory, crate);
    for (int m = 0; m < count; ++m) modules.append(RecordText(ModuleItemText(inventory.Ksv27Slots[crate][m])));
    const int chosen = ValidCrateIndex(inventory, crate) ? inventory.SelectedModuleInCrate[crate] : -1;
    view_.DeviceDisplay().ShowModuleList(modules, ValidModuleIndex(inventory, crate, chosen) ? chosen : -1);
}

void TInitAndConfigThread::ApplySettings()
{
    Step("ApplySettings");
    if (!view_.LoadSettings(ThreadIniFile.get())) {
        MessageText = QString::fromUtf8(discovery_text::kSettingsNotApplied);
        ShowThreadMessage();
    }
}

void TInitAndConfigThread::ShowThreadMessage()
{
    if (StopRequested) return;
    StopRequested = true;
    // A close under way ends this work; its failures are not shown.
    if (!view_.FailureMayBeShown()) return;
    DiscoveryMessageDialog(QString::fromUtf8(discovery_text::kCaption), TDialogKind::Error, QMessageBox::Ok,
                           QStringList{QString::fromUtf8(discovery_text::kAccepted)}, MessageText);
}

void TInitAndConfigThread::FinishDiscovery()
{
    // Whatever happens inside, the settings file is closed and the cursor
    // restored; the window frees its guard itself.
    struct TFinally {
        TInitAndConfigThread* self;
        ~TFinally()
        {
            self->ThreadIniFile.reset();
            self->RestoreCursor();
        }
    } finally{this};
    view_.ShowDiscoveryEnded();
}

void TInitAndConfigThread::RestoreCursor()
{
    if (!cursorOverridden_) return;
    cursorOverridden_ = false;
    QApplication::restoreOverrideCursor();
}

int TInitAndConfigThread::DiscoveryMessageDialog(const QString& caption, TDialogKind kind, int buttons,
                                                 const QStringList& buttonCaptions, const QString& text)
{
    TShortcutHookOff hookOff(view_);
    return ShowWorkerMessage(kDiscoveryDialogLook, caption, kind, buttons, buttonCaptions, text, view_.DialogParent());
}

// ---- worker steps --------------------------------------------------------

bool TInitAndConfigThread::OpenSelectedModule()
{
    Step("OpenSelectedModule");
    StatusModuleName.clear();
    if (!view_.Engine().OpenChosenModule()) return false;
    StatusModuleName = view_.Engine().ModuleName();
    view_.SetModuleState(kModuleOpen);
    return true;
}

bool TInitAndConfigThread::ReopenCrateModule()
{
    Step("ReopenCrateModule");
    view_.Engine().CloseModule();
    // The module just closed is not open any more: should the new one fail
    // to open, nothing may offer it for measurement.
    view_.SetModuleState(kNoModule);
    const int crate = view_.DeviceInventory().SelectedCrate;
    Synchronize([this, crate] { FillModulesComboBox(crate); });
    if (!view_.Engine().OpenChosenModule()) return false;
    view_.SetCrateStatusOk(true);
    view_.SetModuleState(kModuleOpen);
    return true;
}

// ---- the message dialog --------------------------------------------------

std::unique_ptr<QDialog> BuildDiscoveryMessageDialog(const QString& caption, TDialogKind kind, int buttons,
                                                     const QStringList& buttonCaptions, const QString& text,
                                                     QWidget* mainWindow)
{
    return BuildWorkerDialog(WorkerRequest(caption, kind, buttons, buttonCaptions, text), kDiscoveryDialogLook,
                             mainWindow);
}

} // namespace ksv
