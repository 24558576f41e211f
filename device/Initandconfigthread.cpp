#include "Initandconfigthread.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QLineEdit>
#include <new>

#include "BoundedText.h"
#include "Ksv27mainform.h"
#include "TBusyScope.h"
#include "TWorkerLifecycle.h"
#include "WindowGeometry.h"
#include "ModuleInventory.h"
#include "core/IniFile.h"
#include "core/SettingsLoadSave.h"
#include "core/SettingsFolderOverride.h"

ksv::TInitAndConfigThread* InitAndConfigThread = nullptr;

namespace ksv {

namespace {

std::function<void(const std::string&)>& StepHook()
{
    static std::function<void(const std::string&)> hook;
    return hook;
}

// Empties a combo box: no selection, no items.
void ClearCombo(QComboBox* combo)
{
    combo->setCurrentIndex(-1);
    combo->clear();
}

void SetDropDownCount(QComboBox* combo, int count)
{
    // The list shows every item without scrolling; Qt wants at least one row.
    combo->setMaxVisibleItems(count > 0 ? count : 1);
}

// Whether the main window, moved to `topLeft`, shows its caption on a screen.
bool PositionReachable(const QPoint& topLeft)
{
    const QRect frame = MainForm->frameGeometry();
    QList<QRect> workAreas;
    for (const QScreen* screen : QGuiApplication::screens()) workAreas.append(screen->availableGeometry());
    const TWindowDecoration decoration = DecorationFrom(frame, MainForm->geometry());
    return CaptionReachable(QRect(topLeft, frame.size()), decoration.Caption + decoration.FrameY, workAreas);
}

QString RecordText(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

} // namespace

TInitAndConfigThread::TInitAndConfigThread(bool discoveryUsesSavedSettings, int discoveryMode)
    : DiscoveryUsesSavedSettings(discoveryUsesSavedSettings), DiscoveryMode(discoveryMode)
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
        MainForm->DiscoveryRunning = true;
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
        MessageText = QString::fromUtf8(discovery_text::kException);
        try {
            Synchronize([this] { ShowThreadMessage(); });
        } catch (...) {
        }
        MainForm->CrateStatusOk = 0;
        MainForm->ModuleState = 0;
    }
    Sleep(100);
    try {
        Synchronize([this] { FinishDiscovery(); });
    } catch (...) {
        // FinishDiscovery has restored the cursor and the guard on its way
        // out; report what went wrong unless a message was shown already.
        MessageText = QString::fromUtf8(discovery_text::kException);
        try {
            Synchronize([this] { ShowThreadMessage(); });
        } catch (...) {
        }
        MainForm->CrateStatusOk = 0;
        MainForm->ModuleState = 0;
    }
}

void TInitAndConfigThread::RunModeWork()
{
    switch (DiscoveryMode) {
    case 3:
        Synchronize([this] { FindAndOpenModule(); });
        Sleep(100);
        if (!StopRequested) {
            // Its result shows in the module lamp only.
            if (MainForm->ModuleState == 1) OpenSelectedModule();
            Sleep(100);
        }
        ShowFinalStatus();
        break;
    case 1:
    case 2: {
        // Mode 1 opens the chosen module of the selected crate; mode 2 opens
        // the selected crate's module after refilling its module list.
        const bool moduleMode = DiscoveryMode == 1;
        if (!(moduleMode ? OpenSelectedModule() : ReopenCrateModule())) {
            MessageText = QString::fromUtf8(moduleMode ? discovery_text::kModuleOpenFailed
                                                       : discovery_text::kCrateOpenFailed);
            Synchronize([this] { ShowThreadMessage(); });
            return;
        }
        ShowFinalStatus();
        break;
    }
    default:
        break;
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
        MainForm->ShowDeviceStatus(TMainForm::TStatusKind::Final, DiscoveryMode, StatusModuleName);
    });
    Sleep(100);
}

// ---- window-thread steps -------------------------------------------------

void TInitAndConfigThread::PrepareDiscovery()
{
    Step("PrepareDiscovery");
    MainForm->MainLMDPageControl->setEnabled(false);
    SavedCursor = static_cast<std::int16_t>(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape()
                                                                           : Qt::ArrowCursor);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    cursorOverridden_ = true;
    {
        TBusyScope busy;
        MainForm->MainLMDPageControl->setCurrentIndex(0);
        MainForm->StartMultimeterLMDSimplePanel->setVisible(false);
    }

    if (!OpenSettingsFile()) return;

    const TDeviceInventory& inventory = MainForm->Inventory;
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

    switch (DiscoveryMode) {
    case 3:
        SetDetectionControlsEnabled(false);
        MainForm->CrateStatusOk = 0;
        MainForm->ModuleState = 0;
        break;
    case 1:
        SetDetectionControlsEnabled(false);
        MainForm->ModuleState = 0;
        break;
    case 2:
        SetDetectionControlsEnabled(false);
        MainForm->CrateStatusOk = 0;
        break;
    default:
        return;
    }
    MainForm->ShowDeviceStatus(TMainForm::TStatusKind::Reset, DiscoveryMode, StatusModuleName);
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
    if (ensured.Created && !MainForm->TakeDefaultIniFile(path, ensured.Defaults)) return false;
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
    // A position whose caption no screen shows (a monitor since detached, a
    // file from another desk) would leave the window out of reach: it counts
    // as none saved.
    const QPoint target(position.Left != -1 ? position.Left : MainForm->x(),
                        position.Top != -1 ? position.Top : MainForm->y());
    if (!PositionReachable(target)) return;
    if (position.Top != -1) MainForm->move(MainForm->x(), position.Top);
    if (position.Left != -1) MainForm->move(position.Left, MainForm->y());
}

bool TInitAndConfigThread::FindAndOpenModule()
{
    Step("FindAndOpenModule");
    TDeviceInventory& inventory = MainForm->Inventory;
    {
        TBusyScope busy;
        ClearCombo(MainForm->ModulesComboBox);
        SetDropDownCount(MainForm->ModulesComboBox, 0);
    }

    const TEngineStatus found = MainForm->DeviceEngine.FindModules(WantedCrateSerial, WantedSlot);
    if (!found) {
        if (!found.Message.empty()) {
            MessageText = RecordText(found.Message);
            ShowThreadMessage();
        }
        return false;
    }

    {
        TBusyScope busy;
        QComboBox* crates = MainForm->KsvCratesComboBox;
        ClearCombo(crates);
        for (int c = 0; c < inventory.Ksv27CrateCount; ++c)
            crates->addItem(RecordText(CrateItemText(c, Ksv27CrateSerial(inventory, c))));
        SetDropDownCount(crates, inventory.Ksv27CrateCount);
        crates->setCurrentIndex(inventory.SelectedCrate);
    }
    MainForm->CrateStatusOk = 1;
    FillModulesComboBox(inventory.SelectedCrate);

    if (!MainForm->DeviceEngine.OpenChosenModule()) return false;
    MainForm->ModuleState = 1;
    return true;
}

void TInitAndConfigThread::FillModulesComboBox(int crate)
{
    const TDeviceInventory& inventory = MainForm->Inventory;
    TBusyScope busy;
    QComboBox* modules = MainForm->ModulesComboBox;
    ClearCombo(modules);
    const int count = Ksv27ModuleCountOf(inventory, crate);
    for (int m = 0; m < count; ++m) modules->addItem(RecordText(ModuleItemText(inventory.Ksv27Slots[crate][m])));
    SetDropDownCount(modules, count);
    const int chosen = ValidCrateIndex(inventory, crate) ? inventory.SelectedModuleInCrate[crate] : -1;
    modules->setCurrentIndex(ValidModuleIndex(inventory, crate, chosen) ? chosen : -1);
}

void TInitAndConfigThread::ApplySettings()
{
    Step("ApplySettings");
    if (!MainForm->LoadSettings(ThreadIniFile.get())) {
        MessageText = QString::fromUtf8(discovery_text::kSettingsNotApplied);
        ShowThreadMessage();
    }
}

void TInitAndConfigThread::ShowThreadMessage()
{
    if (StopRequested) return;
    StopRequested = true;
    // A close under way ends this work; its failures are not shown.
    if (!MainForm->Workers->FailureMayBeShown()) return;
    DiscoveryMessageDialog(QString::fromUtf8(discovery_text::kCaption), TDialogKind::Error, QMessageBox::Ok,
                           QStringList{QString::fromUtf8(discovery_text::kAccepted)}, MessageText);
}

void TInitAndConfigThread::FinishDiscovery()
{
    // Whatever happens inside, the guard is released, the settings file
    // closed and the cursor restored.
    struct TFinally {
        TInitAndConfigThread* self;
        ~TFinally()
        {
            MainForm->HandlerBusy = false;
            self->ThreadIniFile.reset();
            self->RestoreCursor();
        }
    } finally{this};

    MainForm->HandlerBusy = true;
    SetControlsEnabled(MainForm->ModuleDetectionLMDGroupBox, true);
    MainForm->SaveSettingsButton->setEnabled(!MainForm->AutoSaveSettingsLMDCheckBox->isChecked());
    MainForm->ModuleDetectionLMDGroupBox->repaint();

    MainForm->MainLMDSimplePanel->setEnabled(true);
    MainForm->MainLMDPageControl->setEnabled(true);
    if (QWidget* page0 = MainForm->MainLMDPageControl->widget(0)) page0->setEnabled(true);

    if (MainForm->ModuleState == 2) {
        MainForm->MultimeterLMDSimplePanel->setEnabled(true);
        MainForm->AdcStreamLMDSimplePanel->setEnabled(true);
        SetControlsEnabled(MainForm->AdcGroupParsLMDGroupBox, true);
        MainForm->AdcGroupParsLMDGroupBox->setEnabled(true);
        MainForm->AdcIndividualParsLMDGroupBox->setEnabled(true);
        MainForm->ApplySlotEnabling(true);
        MainForm->StartMultimeterLMDSpeedButton->setEnabled(true);
        MainForm->StartMultimeterLMDSimplePanel->setVisible(true);
        MainForm->MultimeterLMDSimplePanel->setEnabled(true);
    } else {
        // Normally hidden since the preparation; a run that failed before
        // that must not leave START offered without a module.
        MainForm->StartMultimeterLMDSimplePanel->setVisible(false);
    }
}

void TInitAndConfigThread::RestoreCursor()
{
    if (!cursorOverridden_) return;
    cursorOverridden_ = false;
    QApplication::restoreOverrideCursor();
}

namespace {

// The controls placed inside `control` by the form: a page control's pages,
// a container's child controls. The toolkit's own parts of a composite
// control (a page control's tab bar and page stack, a list's scroll bars) are
// not controls of the form: enabling the composite covers them, and
// disabling them one by one would leave them disabled for good.
QList<QWidget*> DesignedChildren(QWidget* control)
{
    QList<QWidget*> children;
    if (auto* pages = qobject_cast<QTabWidget*>(control)) {
        for (int i = 0; i < pages->count(); ++i) children.append(pages->widget(i));
        return children;
    }
    if (qobject_cast<QAbstractButton*>(control) || qobject_cast<QComboBox*>(control) ||
        qobject_cast<QLineEdit*>(control) || qobject_cast<QAbstractScrollArea*>(control) ||
        qobject_cast<QAbstractSpinBox*>(control) || qobject_cast<QLabel*>(control))
        return children;
    for (QWidget* child : control->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow()) children.append(child); // pop-ups are windows of their own
    return children;
}

} // namespace

void TInitAndConfigThread::SetControlsEnabled(QWidget* control, bool enabled)
{
    if (!control) return;
    control->setEnabled(enabled);
    if (enabled && MainForm && control == MainForm->AdcIndividualParsLMDGroupBox) return;
    for (QWidget* child : DesignedChildren(control)) {
        if (!DesignedChildren(child).isEmpty()) SetControlsEnabled(child, enabled);
        child->setEnabled(enabled);
    }
}

void TInitAndConfigThread::SetDetectionControlsEnabled(bool enabled)
{
    TBusyScope busy;
    SetControlsEnabled(MainForm->ModuleDetectionLMDGroupBox, enabled);
    SetControlsEnabled(MainForm->MainLMDSimplePanel, enabled);
}

int TInitAndConfigThread::DiscoveryMessageDialog(const QString& caption, TDialogKind kind, int buttons,
                                                 const QStringList& buttonCaptions, const QString& text)
{
    TModalRequest request;
    request.Caption = caption;
    request.Text = text;
    request.Kind = kind;
    request.Buttons = buttons;
    request.ButtonCaptions = buttonCaptions;
    request.Build = [=] { return BuildDiscoveryMessageDialog(caption, kind, buttons, buttonCaptions, text, MainForm); };

    // The Escape hook would clear the window's guard under the dialog.
    struct THookOff {
        THookOff()
        {
            if (MainForm) MainForm->SetShortcutHookEnabled(false);
        }
        ~THookOff()
        {
            if (MainForm) MainForm->SetShortcutHookEnabled(true);
        }
    } hookOff;
    return ShowModal(request);
}

// ---- worker steps --------------------------------------------------------

bool TInitAndConfigThread::OpenSelectedModule()
{
    Step("OpenSelectedModule");
    StatusModuleName.clear();
    if (!MainForm->DeviceEngine.OpenChosenModule()) return false;
    StatusModuleName = MainForm->DeviceEngine.ModuleName();
    MainForm->ModuleState = 2;
    return true;
}

bool TInitAndConfigThread::ReopenCrateModule()
{
    Step("ReopenCrateModule");
    MainForm->DeviceEngine.CloseModule();
    // The module just closed is not open any more: should the new one fail
    // to open, nothing may offer it for measurement.
    MainForm->ModuleState = 0;
    const int crate = MainForm->Inventory.SelectedCrate;
    Synchronize([this, crate] { FillModulesComboBox(crate); });
    if (!MainForm->DeviceEngine.OpenChosenModule()) return false;
    MainForm->CrateStatusOk = 1;
    MainForm->ModuleState = 2;
    return true;
}

// ---- the message dialog --------------------------------------------------

namespace {

QStyle::StandardPixmap IconOf(TDialogKind kind)
{
    switch (kind) {
    case TDialogKind::Information: return QStyle::SP_MessageBoxInformation;
    case TDialogKind::Warning: return QStyle::SP_MessageBoxWarning;
    case TDialogKind::Error: return QStyle::SP_MessageBoxCritical;
    case TDialogKind::Confirmation: return QStyle::SP_MessageBoxQuestion;
    case TDialogKind::None: break;
    }
    return QStyle::SP_CustomBase;
}

} // namespace

std::unique_ptr<QDialog> BuildDiscoveryMessageDialog(const QString& caption, TDialogKind kind, int buttons,
                                                     const QStringList& buttonCaptions, const QString& text,
                                                     QWidget* mainWindow)
{
    constexpr int kMargin = 16;
    constexpr int kIconSize = 32;
    constexpr int kStandardTextWidth = 400;
    constexpr int kDialogWidth = 570;
    constexpr int kDialogHeight = 600;

    // The standard message look: icon at the left, the text beside it,
    // sized to the text, and the buttons in a row below.
    auto dialog = std::make_unique<QDialog>(mainWindow);
    dialog->setObjectName("DiscoveryMessageDialog");
    dialog->setWindowTitle(caption);

    int textLeft = kMargin;
    if (IconOf(kind) != QStyle::SP_CustomBase) {
        auto* icon = new QLabel(dialog.get());
        icon->setObjectName("Image");
        icon->setPixmap(dialog->style()->standardIcon(IconOf(kind)).pixmap(kIconSize, kIconSize));
        icon->setGeometry(kMargin, kMargin, kIconSize, kIconSize);
        textLeft = kMargin + kIconSize + kMargin;
    }
    auto* label = new QLabel(text, dialog.get());
    label->setObjectName("Message");
    label->setWordWrap(false);
    label->adjustSize();
    if (label->width() > kStandardTextWidth) {
        label->setWordWrap(true);
        label->resize(kStandardTextWidth, label->heightForWidth(kStandardTextWidth));
    }
    label->move(textLeft, kMargin);

    QList<QPushButton*> pushButtons;
    const int buttonSet = buttons ? buttons : int(QMessageBox::Ok);
    int buttonsRight = kMargin;
    for (int flag = QMessageBox::FirstButton; flag <= QMessageBox::LastButton; flag <<= 1) {
        if (!(buttonSet & flag)) continue;
        QDialogButtonBox standard(static_cast<QDialogButtonBox::StandardButtons>(flag));
        auto* button = new QPushButton(dialog.get());
        button->setObjectName(QStringLiteral("Button%1").arg(pushButtons.size()));
        const QList<QAbstractButton*> made = standard.buttons();
        button->setText(made.isEmpty() ? QStringLiteral("OK") : made.front()->text());
        button->adjustSize();
        button->move(buttonsRight, label->y() + label->height() + kMargin);
        buttonsRight += button->width() + 8;
        QObject::connect(button, &QPushButton::clicked, dialog.get(), [d = dialog.get(), flag] { d->done(flag); });
        pushButtons.push_back(button);
    }
    const int standardWidth = std::max(textLeft + label->width() + kMargin, buttonsRight + kMargin);
    dialog->resize(standardWidth, label->y() + label->height() + 60);

    // The adjusted look.
    const int widening = kDialogWidth - dialog->width();
    dialog->resize(kDialogWidth, kDialogHeight);
    QFont font = dialog->font();
    font.setPointSize(12);
    dialog->setFont(font);
    if (kind == TDialogKind::Error) {
        QPalette palette = dialog->palette();
        palette.setColor(QPalette::Window, QColor(255, 128, 32));
        palette.setColor(QPalette::WindowText, Qt::white);
        dialog->setPalette(palette);
        dialog->setAutoFillBackground(true);
    }

    label->setWordWrap(true);
    const int labelWidth = label->width() + widening;
    label->resize(labelWidth, label->heightForWidth(labelWidth));

    const QFontMetrics metrics(font);
    QPushButton* last = nullptr;
    for (int i = 0; i < pushButtons.size() && i < buttonCaptions.size(); ++i) {
        QPushButton* button = pushButtons[i];
        button->setText(buttonCaptions[i]);
        const int height = metrics.height() + 15;
        const int width = metrics.horizontalAdvance(buttonCaptions[i]) + 20;
        button->setGeometry((dialog->width() - width) / 2, label->y() + label->height() + 10, width, height);
        last = button;
    }
    if (!last && !pushButtons.isEmpty()) last = pushButtons.back();
    const int bottom = last ? last->y() + last->height() : label->y() + label->height();
    dialog->resize(kDialogWidth, bottom + 10);

    if (mainWindow) {
        const QRect main = mainWindow->frameGeometry();
        dialog->move(main.left() + (main.width() - dialog->width()) / 2,
                     main.top() + (main.height() - dialog->height()) / 2);
    }
    return dialog;
}

} // namespace ksv
