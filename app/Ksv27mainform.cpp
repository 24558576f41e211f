// The main window's construction: its data and tables, its parts, the
// context menu, the application-wide settings and the size and position
// rules. The lifecycle, page and Escape handling are in
// Ksv27mainformEvents.cpp, the two workers' views in MainFormViews.cpp.
#include "Ksv27mainform.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QIcon>
#include <QMenu>
#include <QRadioButton>
#include <QScreen>
#include <QToolTip>

#include "DecimalSeparator.h"
#include "DevicePanel.h"
#include "Ksv27adcchannelpanel.h"
#include "MultimeterPage.h"
#include "RecordTrendPanel.h"
#include "SettingsController.h"
#include "TApplication.h"
#include "THintPlacement.h"
#include "TWorkerLifecycle.h"
#include "WindowGeometry.h"
#include "WindowsVersion.h"
#include "IniFile.h"

TMainForm* MainForm = nullptr;

// The resource initialiser lives in this static library; naming it here
// keeps the linker from dropping the icon. (Declared at global scope, as
// the initialiser is.)
static void InitWindowResources() { Q_INIT_RESOURCE(ksv27_vorn); }

namespace {

// Connects `signal` to a part's handler, run guarded: an exception shows the
// standard error box instead of crossing the toolkit.
template <class TSender, class TSignal, class TPart>
void ConnectGuarded(QObject* context, TSender* sender, TSignal signal, TPart* part, void (TPart::*handler)())
{
    QObject::connect(sender, signal, context, [part, handler] { ksv::RunGuarded([&] { (part->*handler)(); }); });
}

} // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent), Workers(std::make_unique<ksv::TWorkerLifecycle>(*this))
{
    // Set first: handlers that run while the window is built may reach it.
    MainForm = this;
    try {
        Construct();
    } catch (...) {
        // No destructor runs for a window whose construction failed, so
        // nothing may keep pointing at it.
        SetShortcutHookEnabled(false);
        MainForm = nullptr;
        throw;
    }
}

TMainForm::~TMainForm()
{
    SetShortcutHookEnabled(false);
    if (MainForm == this) MainForm = nullptr;
}

void TMainForm::Construct()
{
    InitWindowResources();
    setupUi(this);
    BuildParts();
    ApplyApplicationSettings();
    ShowUnknownState();
    // '.' as the decimal separator.
    ksv::UseDotDecimalSeparator();
    // The guard stays set until construction is over, so no handler acts on
    // the changes made below.
    HandlerBusy = true;
    ConnectHandlers();
    for (QLabel* label : {ComputationModeLabLMDLabel, AmplitudeTypeLabLMDLabel}) {
        label->setText(QStringLiteral("---"));
        label->setAutoFillBackground(true);
    }
    multimeter_->BuildTables();
    AllSlotsLMDCheckBox->setCheckState(Qt::Unchecked);
    multimeter_->BuildSlotFrames([this](QCheckBox* box) {
        connect(box, &QCheckBox::stateChanged, this,
                [this, box] { ksv::RunGuarded([&] { multimeter_->EnaSlotLMDCheckBoxChange(box); }); });
    });
    ApplyWindowDefaults();
    RecordTrendPanel = new ksv::TRecordTrendPanel(
        {*this, *AdcGroupParsLMDGroupBox, *AcquisitionTimeLMDSimplePanel, HandlerBusy, DiscoveryRunning,
         device_->State().ModuleState, device_->State().ModuleRecord, [this] { return multimeter_->DescribeRun(); }});
    connect(multimeter_.get(), &ksv::TMultimeterPage::CycleShown, RecordTrendPanel,
            &ksv::TRecordTrendPanel::CycleShown);
    HandlerBusy = false;
    StartupPhase = ksv::kStartupConstructed;
    WindowsVersionCode = ksv::QueryWindowsVersionCode();
    // Kept for the window's look on older systems; nothing here depends on
    // WindowsVersionCode yet.
}

// The texts that show "not known yet"; every lamp unlit in the button face.
void TMainForm::ShowUnknownState()
{
    device_->ShowUnknown();
    GeneratorStatusLed->setToolTip(QStringLiteral("Статус генератора -> ???"));
    MultimeterStatusLed->setToolTip(QStringLiteral("Статус мультиметра -> ???"));
    const QColor face = palette().color(QPalette::Button);
    for (TLed* led : {KsvCrateStatusLed, ModuleStatusLed, GeneratorStatusLed, MultimeterStatusLed}) {
        led->setOnColor(face);
        led->setOffColor(face);
        led->setLit(false);
    }
}

void TMainForm::BuildParts()
{
    device_ = std::make_unique<ksv::TDevicePanel>(
        ksv::TDeviceControls{this, ModuleDetectionLMDGroupBox, MainLMDSimplePanel, FindDeviceLMDButton,
                             KsvCratesComboBox, ModulesComboBox, ModuleSerialNumberLMDLabel,
                             ModuleFirmwareVersionLMDLabel, KsvCrateStatusLed, ModuleStatusLed},
        shared_,
        ksv::TDeviceActions{[this] { StopMeasurement(); },
                            [this](ksv::TDiscoveryMode mode, bool useSaved) { StartDiscovery(mode, useSaved); },
                            [this] { multimeter_->ResetSlots(); }});
    multimeter_ = std::make_unique<ksv::TMultimeterPage>(
        ksv::TMultimeterControls{MainLMDPageControl, MultimeterLMDTabSheet, MultimeterLMDSimplePanel,
                                 AdcStreamLMDSimplePanel, AdcGroupParsLMDGroupBox, AdcIndividualParsLMDGroupBox,
                                 StartMultimeterLMDSimplePanel, StartMultimeterLMDSpeedButton, AdcRateLMDComboBox,
                                 AllSlotsLMDCheckBox, AcquisitionTimeLMDLabel, VoltmeterValueLMDLabel,
                                 AmperemeterValueLMDLabel, ResistanceValueLMDLabel, AmpltudeGeneratorLMDEdit},
        shared_, device_->State(),
        ksv::TMultimeterActions{[this] { StopMeasurement(); },
                                [this] {
                                    return !MeasurementRunning && MeasurementRequestAllowed &&
                                           Workers->MayStartMeasurement();
                                },
                                [this] { Workers->RequestMeasurement(); }});
    settings_ = std::make_unique<ksv::TSettingsController>(
        ksv::TSettingsControls{this, AutoSaveSettingsLMDCheckBox, AllSlotsLMDCheckBox, SaveSettingsButton,
                               KsvCratesComboBox, ModulesComboBox, AdcRateLMDComboBox},
        shared_, device_->State(), *multimeter_);
}

void TMainForm::ApplyApplicationSettings()
{
    // Hints: a large bold monospace face on pale yellow.
    QFont hintFont(QStringLiteral("Courier New"), 12, QFont::Bold);
    hintFont.setStyleHint(QFont::TypeWriter);
    QToolTip::setFont(hintFont);
    QPalette hint = QToolTip::palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        hint.setColor(group, QPalette::ToolTipBase, QColor(255, 255, 164));
        hint.setColor(group, QPalette::ToolTipText, Qt::black);
    }
    QToolTip::setPalette(hint);
    new ksv::THintPlacement(this, &HintWindow);

    const QIcon icon(QStringLiteral(":/APPL_ICON"));
    QApplication::setWindowIcon(icon);
    setWindowIcon(icon);

    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        ksv::RunGuarded([&] { ApplicationActivate(state == Qt::ApplicationActive); });
    });
    SetShortcutHookEnabled(true);
    BuildPopupMenu();
}

void TMainForm::BuildPopupMenu()
{
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    const auto item = [this](QAction*& action, const char* name, const QString& caption, const QKeySequence& key) {
        action = new QAction(caption, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        action->setShortcutVisibleInContextMenu(true);
        PopupMenu->addAction(action);
        // Also on the window, so that the keys work while the menu is closed.
        addAction(action);
    };
    const auto separator = [this](QAction*& action, const char* name) {
        action = PopupMenu->addSeparator();
        action->setObjectName(QString::fromLatin1(name));
    };
    item(RebootDeviceMenuItem, "RebootDeviceMenuItem", QStringLiteral("Перезагрузка Изделия"),
         QKeySequence(Qt::CTRL | Qt::Key_R));
    separator(BreakLine1, "BreakLine1");
    item(SaveDefaultSettings, "SaveDefaultSettings", QStringLiteral("Сохранение штатных настроек"),
         QKeySequence(Qt::CTRL | Qt::Key_D));
    item(SaveCurrentSettings, "SaveCurrentSettings", QStringLiteral("Сохранение текущих настроек"),
         QKeySequence(Qt::CTRL | Qt::Key_S));
    separator(BreakLine2, "BreakLine2");
    item(AboutProgram, "AboutProgram", QStringLiteral("О программе ..."), QKeySequence(Qt::CTRL | Qt::Key_A));
    separator(BreakLine3, "BreakLine3");
    item(ApplicationExit, "ApplicationExit", QStringLiteral("Выход"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    ApplicationExit->setToolTip(QStringLiteral("Спокойный выход из программы"));
    ApplicationExit->setStatusTip(QStringLiteral("Спокойный выход из программы"));
    PopupMenu->setDefaultAction(RebootDeviceMenuItem);
    PopupMenu->setToolTipsVisible(true);

    // The menu's automatic pop-up on a right click is off: its items act
    // through their shortcuts.
    setContextMenuPolicy(Qt::PreventContextMenu);
}

void TMainForm::ConnectHandlers()
{
    // Every handler runs guarded: an exception shows the standard error box
    // instead of crossing the toolkit. Change events fire on programmatic
    // changes too (a list filled, a box ticked by code); HandlerBusy filters
    // those.
    const auto on = [this](auto* sender, auto signal, auto* part, auto handler) {
        ConnectGuarded(this, sender, signal, part, handler);
    };
    on(FindDeviceLMDButton, &QPushButton::clicked, device_.get(), &ksv::TDevicePanel::FindDeviceLMDButtonClick);
    on(KsvCratesComboBox, &QComboBox::currentIndexChanged, device_.get(), &ksv::TDevicePanel::KsvCratesComboBoxChange);
    on(ModulesComboBox, &QComboBox::currentIndexChanged, device_.get(), &ksv::TDevicePanel::ModulesComboBoxChange);
    ConnectPartHandlers();
    on(SaveDefaultSettings, &QAction::triggered, settings_.get(), &ksv::TSettingsController::SaveDefaultSettingsClick);
    on(SaveCurrentSettings, &QAction::triggered, settings_.get(), &ksv::TSettingsController::SaveCurrentSettingsClick);
    on(ApplicationExit, &QAction::triggered, this, &TMainForm::ApplicationExitClick);
    // RebootDeviceMenuItem and AboutProgram have no action.

    MainLMDPageControl->setChangingEx([this](int newIndex, bool& cancel) {
        ksv::RunGuarded([&] {
            MainLMDPageControlChanging();
            MainLMDPageControlChangingEx(newIndex, cancel);
        });
    });
    on(MainLMDPageControl, &QTabWidget::currentChanged, this, &TMainForm::MainLMDPageControlChange);
}

void TMainForm::ConnectPartHandlers()
{
    using ksv::TMultimeterPage;
    using ksv::TSettingsController;
    const auto on = [this](auto* sender, auto signal, auto* part, auto handler) {
        ConnectGuarded(this, sender, signal, part, handler);
    };
    TMultimeterPage* page = multimeter_.get();
    on(StartMultimeterLMDSpeedButton, &QPushButton::clicked, page, &TMultimeterPage::StartLMDSpeedButtonClick);
    on(AdcRateLMDComboBox, &QComboBox::currentIndexChanged, page, &TMultimeterPage::AdcRateLMDComboBoxChange);
    on(AllSlotsLMDCheckBox, &QCheckBox::stateChanged, page, &TMultimeterPage::AllSlotsLMDCheckBoxChange);
    on(MezzaninesLMDComboBox, &QComboBox::currentIndexChanged, page, &TMultimeterPage::MezzaninesLMDComboBoxChange);
    for (QRadioButton* radio : EquipmentModeLMDRadioGroup->findChildren<QRadioButton*>())
        connect(radio, &QRadioButton::toggled, this, [page](bool checked) {
            if (checked) ksv::RunGuarded([page] { page->EquipmentModeLMDRadioGroupChange(); });
        });
    TSettingsController* settings = settings_.get();
    on(AutoSaveSettingsLMDCheckBox, &QCheckBox::stateChanged, settings,
       &TSettingsController::AutoSaveSettingsLMDCheckBoxChange);
    on(SaveSettingsButton, &QPushButton::clicked, settings, &TSettingsController::SaveSettingsButtonClick);
}

void TMainForm::ApplyWindowDefaults()
{
    // The multimeter page (the guard is set, so the change is not asked about).
    MainLMDPageControl->setCurrentIndex(0);
    // The design size of the form.
    DesignMinHeight = minimumHeight();
    DesignMinWidth = minimumWidth();
    MultimeterPanelDesignHeight = MultimeterLMDSimplePanel->height();
    // No maximise button, a border that does not resize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    CutTopBarAtBevel();
    FitToWorkArea();
    CentreOnScreen();
    multimeter_->ShowStartIdle();
    HideUnusedControls();
}

// The lamps right of Bevel3 are not used: the panel is cut at Bevel3 and the
// gap closed.
void TMainForm::CutTopBarAtBevel()
{
    Shift = SelectedModuleLMDSimplePanel->width() - Bevel3->x() - 1;
    SelectedModuleLMDSimplePanel->resize(SelectedModuleLMDSimplePanel->width() - Shift,
                                         SelectedModuleLMDSimplePanel->height());
    StartMultimeterLMDSimplePanel->move(StartMultimeterLMDSimplePanel->pos() - QPoint(Shift, 0));
    SaveIniSettingLMDGroupBox->move(SaveIniSettingLMDGroupBox->pos() - QPoint(Shift, 0));
}

void TMainForm::CentreOnScreen()
{
    if (const QScreen* display = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect work = display->availableGeometry();
        move(work.x() + (work.width() - width()) / 2, work.y() + (work.height() - height()) / 2);
    }
}

void TMainForm::HideUnusedControls()
{
    Bevel3->hide();
    GeneratorStatusLed->hide();
    MultimeterStatusLed->hide();
    AcquisitionTimeLMDSimplePanel->move((AdcGroupParsLMDGroupBox->width() - AcquisitionTimeLMDSimplePanel->width()) / 2,
                                        AcquisitionTimeLMDSimplePanel->y());
    AcquisitionTimeLMDSimplePanel->show();
    multimeter_->ShowAcquisitionTime();
    ComputationInfoLMDSimplePanel->hide();
    EquipmentLMDSimplePanel->hide();
    EquipmentModeLMDGroupBox->hide();
    GeneratorLMDGroupBox->hide();
    MultimeterLMDGroupBox->hide();
    MainLMDPageControl->setTabVisible(MainLMDPageControl->indexOf(CorrectionFactorsLMDTabSheet), false);
    MainLMDPageControl->setTabVisible(MainLMDPageControl->indexOf(VerificationLMDTabSheet), false);
}

void TMainForm::FitToWorkArea()
{
    const QScreen* display = screen() ? screen() : QGuiApplication::primaryScreen();
    const int workHeight = display ? display->availableGeometry().height() : DesignMinHeight;
    const int equipment = EquipmentLMDSimplePanel->height();
    const QSize client = ksv::MainWindowClientSize(QSize(DesignMinWidth, DesignMinHeight), equipment, Shift,
                                                   ksv::DecorationFrom(frameGeometry(), geometry()), workHeight);
    setMinimumSize(client);
    setMaximumSize(client);
    resize(client);

    // The page's size follows from the layouts: the top bar keeps its
    // height, MainLMDSimplePanel takes the rest, the page control fills it.
    // (Worked out here because a window that has not been shown has not
    // laid out its children yet.)
    const QLayout* outer = centralWidget()->layout();
    const QMargins around = outer->contentsMargins();
    const QMargins inside = MainLMDSimplePanel->layout()->contentsMargins();
    const QSize control(client.width() - around.left() - around.right() - inside.left() - inside.right(),
                        client.height() - around.top() - around.bottom() - ModuleDetectionLMDGroupBox->height() -
                            outer->spacing() - inside.top() - inside.bottom());
    const QSize sheet = MainLMDPageControl->sheetSizeFor(control);
    MultimeterLMDSimplePanel->setGeometry(ksv::CentredMultimeterPanel(sheet, MultimeterLMDSimplePanel->width(),
                                                                      MultimeterPanelDesignHeight, equipment));
}
