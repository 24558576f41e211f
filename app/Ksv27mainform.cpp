// The main window's construction: its data and tables, the eight channel
// frames, the context menu, the application-wide settings and the size and
// position rules. The lifecycle, page and Escape handling are in
// Ksv27mainformEvents.cpp.
#include "Ksv27mainform.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QIcon>
#include <QMenu>
#include <QRadioButton>
#include <QScreen>
#include <QToolTip>

#include "THintPlacement.h"
#include "TWorkerLifecycle.h"

#include "AdcRates.h"
#include "DecimalSeparator.h"
#include "Ksv27adcchannelpanel.h"
#include "RecordTrendPanel.h"
#include "TApplication.h"
#include "WindowGeometry.h"
#include "WindowsVersion.h"
#include "core/IniFile.h"

TMainForm* MainForm = nullptr;

// The resource initialiser lives in this static library; naming it here
// keeps the linker from dropping the icon. (Declared at global scope, as
// the initialiser is.)
static void InitWindowResources() { Q_INIT_RESOURCE(ksv27_vorn); }

namespace {

// Disables `widget` and, one by one, every widget inside it, so that each
// keeps its own disabled state when its container is enabled again.
void DisableRecursively(QWidget* widget)
{
    widget->setEnabled(false);
    for (QWidget* child : widget->findChildren<QWidget*>(Qt::FindChildrenRecursively)) child->setEnabled(false);
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

void TMainForm::Construct()
{
    InitWindowResources();
    setupUi(this);

    // 1. Strings and string tables start empty (their defaults).
    // 2. Application-wide settings.
    ApplyApplicationSettings();

    // 3. Texts that show "not known yet".
    TitleTemplate = QStringLiteral("KSV27_vorn - ?.?.?");
    ModuleSerialNumberLMDLabel->setText(QStringLiteral("????????"));
    ModuleFirmwareVersionLMDLabel->setText(QStringLiteral("??.??.??.??"));
    ModuleStatusLed->setToolTip(QStringLiteral("Статус модуля -> ???"));
    GeneratorStatusLed->setToolTip(QStringLiteral("Статус генератора -> ???"));
    MultimeterStatusLed->setToolTip(QStringLiteral("Статус мультиметра -> ???"));
    const QColor face = palette().color(QPalette::Button);
    for (TLed* led : {KsvCrateStatusLed, ModuleStatusLed, GeneratorStatusLed, MultimeterStatusLed}) {
        led->setOnColor(face);
        led->setOffColor(face);
        led->setLit(false);
    }

    // 4. '.' as the decimal separator.
    ksv::UseDotDecimalSeparator();

    // 5. Flags; then the guard stays set until construction is over, so no
    // handler acts on the changes made below.
    HandlerBusy = false;
    StartupPhase = 0;
    Inventory.SelectedCrate = -1;
    HandlerPages[0] = MultimeterLMDTabSheet;
    DiscoveryRunning = false;
    DiscoveryRequestAllowed = true;
    MeasurementRunning = false;
    MeasurementRequestAllowed = true;
    AcquisitionIdle = true;
    HandlerBusy = true;
    ConnectHandlers();

    // 6.
    for (QLabel* label : {ComputationModeLabLMDLabel, AmplitudeTypeLabLMDLabel}) {
        label->setText(QStringLiteral("---"));
        label->setAutoFillBackground(true);
    }

    // 7. to 10.
    BuildTables();
    AllSlotsLMDCheckBox->setCheckState(Qt::Unchecked);

    // 11.
    BuildSlotFrames();

    // 12.
    ApplyWindowDefaults();
    RecordTrendPanel = new ksv::TRecordTrendPanel(*this);
    HandlerBusy = false;
    StartupPhase = 1;
    WindowsVersionCode = ksv::QueryWindowsVersionCode();
    // The caption-tracing effect of the original control suite has no
    // counterpart here, so nothing depends on WindowsVersionCode yet.
}

TMainForm::~TMainForm()
{
    SetShortcutHookEnabled(false);
    if (MainForm == this) MainForm = nullptr;
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

    connect(SaveDefaultSettings, &QAction::triggered, this,
            [this] { ksv::RunGuarded([this] { SaveDefaultSettingsClick(); }); });
    connect(SaveCurrentSettings, &QAction::triggered, this,
            [this] { ksv::RunGuarded([this] { SaveCurrentSettingsClick(); }); });
    connect(ApplicationExit, &QAction::triggered, this,
            [this] { ksv::RunGuarded([this] { ApplicationExitClick(); }); });
    // RebootDeviceMenuItem and AboutProgram have no action.

    // The menu's automatic pop-up on a right click is off: its items act
    // through their shortcuts.
    setContextMenuPolicy(Qt::PreventContextMenu);
}

void TMainForm::ConnectHandlers()
{
    // Every handler runs guarded: an exception shows the standard error box
    // instead of crossing the toolkit. Change events fire on programmatic
    // changes too (as the original's did); HandlerBusy filters those.
    const auto guarded = [this](void (TMainForm::*handler)()) {
        return [this, handler] { ksv::RunGuarded([&] { (this->*handler)(); }); };
    };
    connect(FindDeviceLMDButton, &QPushButton::clicked, this, guarded(&TMainForm::FindDeviceLMDButtonClick));
    connect(KsvCratesComboBox, &QComboBox::currentIndexChanged, this, guarded(&TMainForm::KsvCratesComboBoxChange));
    connect(ModulesComboBox, &QComboBox::currentIndexChanged, this, guarded(&TMainForm::ModulesComboBoxChange));
    connect(StartMultimeterLMDSpeedButton, &QPushButton::clicked, this,
            guarded(&TMainForm::StartLMDSpeedButtonClick));
    connect(AdcRateLMDComboBox, &QComboBox::currentIndexChanged, this,
            guarded(&TMainForm::AdcRateLMDComboBoxChange));
    connect(AllSlotsLMDCheckBox, &QCheckBox::stateChanged, this, guarded(&TMainForm::AllSlotsLMDCheckBoxChange));
    connect(AutoSaveSettingsLMDCheckBox, &QCheckBox::stateChanged, this,
            guarded(&TMainForm::AutoSaveSettingsLMDCheckBoxChange));
    connect(SaveSettingsButton, &QPushButton::clicked, this, guarded(&TMainForm::SaveSettingsButtonClick));
    connect(MezzaninesLMDComboBox, &QComboBox::currentIndexChanged, this,
            guarded(&TMainForm::MezzaninesLMDComboBoxChange));
    for (QRadioButton* radio : EquipmentModeLMDRadioGroup->findChildren<QRadioButton*>())
        connect(radio, &QRadioButton::toggled, this, [guarded](bool on) {
            if (on) std::invoke(guarded(&TMainForm::EquipmentModeLMDRadioGroupChange));
        });

    MainLMDPageControl->setChangingEx([this](int newIndex, bool& cancel) {
        ksv::RunGuarded([&] {
            MainLMDPageControlChanging();
            MainLMDPageControlChangingEx(newIndex, cancel);
        });
    });
    connect(MainLMDPageControl, &QTabWidget::currentChanged, this, guarded(&TMainForm::MainLMDPageControlChange));
}

void TMainForm::BuildTables()
{
    // 7. Rates: divisor d gives 1000 / (d + 1) Hz.
    for (int i = 0; i < ksv::kAdcRateCount; ++i) {
        AdcRateDivisors[i] = ksv::kAdcRateDivisors[i];
        AdcRatesHz[i] = ksv::AdcRateFromDivisor(AdcRateDivisors[i]);
    }
    // 8. The rate list, in index order.
    AdcRateLMDComboBox->clear();
    for (double rate : AdcRatesHz) AdcRateLMDComboBox->addItem(QString::fromStdString(ksv::AdcRateText(rate)));
    AdcRateLMDComboBox->setMaxVisibleItems(ksv::kAdcRateCount);
    // 9. Pin tables.
    VoltagePinTable = ksv::MakeVoltagePinTable();
    CurrentPinTable = ksv::MakeCurrentPinTable();
    ResistancePinTable = ksv::MakeResistancePinTable();
}

void TMainForm::BuildSlotFrames()
{
    for (int column = 0; column < 2; ++column) {
        for (int row = 0; row < 4; ++row) {
            const int slot = 4 * column + row;
            auto* frame = new ksv::TKsv27AdcChannelFrame(AdcIndividualParsLMDGroupBox, slot);
            SlotFrames[slot] = frame;
            frame->setObjectName(QStringLiteral("Ksv27AdcChannel%1Frame").arg(slot));

            QWidget* panel = frame->Ksv27AdcChannelLMDSimplePanel;
            frame->resize(panel->x() + panel->width(), panel->y() + panel->height());
            frame->move(frame->width() * column + 1, frame->height() * row + 27);

            QCheckBox* box = frame->SlotNumberLMDCheckBox;
            connect(box, &QCheckBox::stateChanged, this,
                    [this, box] { ksv::RunGuarded([&] { EnaSlotLMDCheckBoxChange(box); }); });

            DisableRecursively(panel);
            ResetSlotDisplay(slot);
            frame->show();
        }
    }
}

void TMainForm::ResetSlotDisplay(int slot)
{
    if (slot < 0 || slot >= static_cast<int>(SlotFrames.size()) || !SlotFrames[slot]) return;
    ksv::TKsv27AdcChannelFrame* frame = SlotFrames[slot];
    frame->SlotNumberLMDCheckBox->setChecked(false);
    frame->MezzaninenameLMDLabel->setText(QStringLiteral("????????????"));
    frame->ValuesLabLMDLabel->setText(QStringLiteral("????????????"));
    for (QLabel* pin : {frame->Pin1PlusNameLMDLabel, frame->Pin1PlusNumberLMDLabel, frame->Pin1MinusNameLMDLabel,
                        frame->Pin1MinusNumberLMDLabel, frame->Pin2PlusNameLMDLabel, frame->Pin2PlusNumberLMDLabel,
                        frame->Pin2MinusNameLMDLabel, frame->Pin2MinusNumberLMDLabel})
        pin->setText(QStringLiteral("--"));
    for (int channel = 1; channel <= 2; ++channel) {
        (channel == 1 ? frame->Value1LMDEdit : frame->Value2LMDEdit)->setText(QStringLiteral("--------"));
        frame->SetValueColor(channel, QColor(0, 255, 0));
        frame->SetChannelLamp(channel, ksv::TKsv27AdcChannelFrame::kLampOff);
    }
}

void TMainForm::ShowAcquisitionTime()
{
    const QString seconds = AcquisitionTime > 0.0 ? QString::number(AcquisitionTime, 'f', 1) : QStringLiteral("---");
    AcquisitionTimeLMDLabel->setText(QStringLiteral("Время измерения: %1 с").arg(seconds));
}

void TMainForm::ApplyWindowDefaults()
{
    // 1. The multimeter page (the guard is set, so the change is not asked about).
    MainLMDPageControl->setCurrentIndex(0);

    // 2. The design size of the form.
    DesignMinHeight = minimumHeight();
    DesignMinWidth = minimumWidth();
    MultimeterPanelDesignHeight = MultimeterLMDSimplePanel->height();

    // 3. No maximise button, a border that does not resize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    // 4. The lamps right of Bevel3 are not used: cut the panel at Bevel3
    // and close the gap.
    Shift = SelectedModuleLMDSimplePanel->width() - Bevel3->x() - 1;
    SelectedModuleLMDSimplePanel->resize(SelectedModuleLMDSimplePanel->width() - Shift,
                                         SelectedModuleLMDSimplePanel->height());
    StartMultimeterLMDSimplePanel->move(StartMultimeterLMDSimplePanel->pos() - QPoint(Shift, 0));
    SaveIniSettingLMDGroupBox->move(SaveIniSettingLMDGroupBox->pos() - QPoint(Shift, 0));

    // 5. to 7., then centred on the screen as the window opens.
    FitToWorkArea();
    if (const QScreen* display = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect work = display->availableGeometry();
        move(work.x() + (work.width() - width()) / 2, work.y() + (work.height() - height()) / 2);
    }

    // The START button's idle look: its caption in green.
    QPalette start = StartMultimeterLMDSpeedButton->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        start.setColor(group, QPalette::ButtonText, QColor(0, 128, 0));
    StartMultimeterLMDSpeedButton->setPalette(start);

    // 8. What is shown and hidden.
    Bevel3->hide();
    GeneratorStatusLed->hide();
    MultimeterStatusLed->hide();
    AcquisitionTimeLMDSimplePanel->move((AdcGroupParsLMDGroupBox->width() - AcquisitionTimeLMDSimplePanel->width()) / 2,
                                        AcquisitionTimeLMDSimplePanel->y());
    AcquisitionTimeLMDSimplePanel->show();
    ShowAcquisitionTime();
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
