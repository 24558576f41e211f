// The main window as construction leaves it, its size and layout, and its
// lifecycle: show and resize phases, close, Escape, the page rule, the
// context menu and the general error display.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTranslator>
#include <stdexcept>

#include "FormControls.h"
#include "Ksv27adcchannelpanel.h"
#include "Ksv27mainform.h"
#include "TApplication.h"
#include "TLed.h"
#include "ToolkitTranslations.h"
#include "WindowTestSupport.h"

namespace {

class MainWindow : public ::testing::Test {
protected:
    ksv::test::TModalRecorder Modal;
    ksv::test::TClosedCrateApi Api;
    TMainForm Window;
};

TEST_F(MainWindow, IsTheOneInstanceUntilDestroyed)
{
    EXPECT_EQ(MainForm, &Window);
    {
        auto* second = new TMainForm;
        EXPECT_EQ(MainForm, second);
        delete second;
    }
    EXPECT_EQ(MainForm, nullptr);
}

TEST_F(MainWindow, DataStartsAtItsDefaults)
{
    EXPECT_EQ(Window.Device().State().Inventory.SelectedCrate, -1);
    EXPECT_EQ(Window.ModuleState(), 0);
    EXPECT_EQ(Window.CrateStatusOk(), 0);
    EXPECT_EQ(Window.StartupPhase, 1);
    EXPECT_FALSE(Window.HandlerBusy);
    EXPECT_TRUE(Window.DiscoveryRequestAllowed);
    EXPECT_TRUE(Window.MeasurementRequestAllowed);
    EXPECT_FALSE(Window.DiscoveryRunning);
    EXPECT_FALSE(Window.MeasurementRunning);
    EXPECT_TRUE(Window.AcquisitionIdle);
    EXPECT_EQ(Window.SettingsIniFile(), nullptr);
    EXPECT_EQ(Window.HandlerPages()[0], FORM_UI(Window, MultimeterLMDTabSheet));
    EXPECT_EQ(Window.HandlerIndex(), 0);
    EXPECT_DOUBLE_EQ(Window.AcquisitionTime(), 0.0);
    EXPECT_EQ(Window.TitleTemplate(), QStringLiteral("KSV27_vorn - ?.?.?"));
    EXPECT_EQ(Window.windowTitle(), QStringLiteral("KSV27"));
    EXPECT_EQ(Window.WindowsVersionCode, 0);
}

TEST_F(MainWindow, NotYetKnownTextsAndHints)
{
    EXPECT_EQ(FORM_UI(Window, ModuleSerialNumberLMDLabel)->text(), QStringLiteral("????????"));
    EXPECT_EQ(FORM_UI(Window, ModuleFirmwareVersionLMDLabel)->text(), QStringLiteral("??.??.??.??"));
    EXPECT_EQ(FORM_UI(Window, ModuleStatusLed)->toolTip(), QStringLiteral("Статус модуля -> ???"));
    EXPECT_EQ(FORM_UI(Window, GeneratorStatusLed)->toolTip(), QStringLiteral("Статус генератора -> ???"));
    EXPECT_EQ(FORM_UI(Window, MultimeterStatusLed)->toolTip(), QStringLiteral("Статус мультиметра -> ???"));
    EXPECT_EQ(FORM_UI(Window, ModuleSerialNumberLMDLabel)->toolTip(), QStringLiteral("Серийный номер модуля"));
    EXPECT_EQ(FORM_UI(Window, ModuleFirmwareVersionLMDLabel)->toolTip(), QStringLiteral("Версия микропрограммы модуля"));
    for (QLabel* label : {FORM_UI(Window, ComputationModeLabLMDLabel), FORM_UI(Window, AmplitudeTypeLabLMDLabel)}) {
        EXPECT_EQ(label->text(), QStringLiteral("---"));
        EXPECT_TRUE(label->autoFillBackground());
    }
    EXPECT_EQ(FORM_UI(Window, AllSlotsLMDCheckBox)->checkState(), Qt::Unchecked);
    EXPECT_TRUE(FORM_UI(Window, AllSlotsLMDCheckBox)->isTristate());
}

TEST_F(MainWindow, ControlsExistUnderTheirNamesWithTheirCaptions)
{
    struct Row {
        const char* Name;
        const char* Class;
        QString Caption;
    };
    const Row rows[] = {
        {"ModuleDetectionLMDGroupBox", "QGroupBox", {}},
        {"FindDeviceLMDButton", "QPushButton", QStringLiteral("Обнаружить")},
        {"SelectedModuleLMDSimplePanel", "QFrame", {}},
        {"KsvCratesLabLMDLabel", "QLabel", QStringLiteral("Крейт")},
        {"KsvCratesComboBox", "QComboBox", {}},
        {"ModulesLabLMDLabel", "QLabel", QStringLiteral("Модуль")},
        {"ModulesComboBox", "QComboBox", {}},
        {"KsvCrateStatusLed", "TLed", {}},
        {"ModuleStatusLed", "TLed", {}},
        {"GeneratorStatusLed", "TLed", {}},
        {"MultimeterStatusLed", "TLed", {}},
        {"ModuleSerialNumberLabLMDLabel", "QLabel", QStringLiteral("Серийный номер")},
        {"ModuleFirmwareVersionLabLMDLabel", "QLabel", QStringLiteral("Версия микропрограммы")},
        {"Bevel3", "QFrame", {}},
        {"StartMultimeterLMDSimplePanel", "QFrame", {}},
        {"StartMultimeterLMDSpeedButton", "QPushButton", QStringLiteral("С   Т   А   Р   Т")},
        {"SaveIniSettingLMDGroupBox", "QGroupBox", QStringLiteral("Настройки")},
        {"AutoSaveSettingsLMDCheckBox", "QCheckBox", QStringLiteral("    Авто Сохранение")},
        {"SaveSettingsButton", "QPushButton", QStringLiteral("Сохранить")},
        {"MainLMDSimplePanel", "QFrame", {}},
        {"MainLMDPageControl", "TPageControl", {}},
        {"MultimeterLMDSimplePanel", "QFrame", {}},
        {"EquipmentLMDSimplePanel", "QFrame", {}},
        {"EquipmentModeLMDGroupBox", "QGroupBox", {}},
        {"EquipmentModeLMDRadioGroup", "QGroupBox", {}},
        {"GeneratorLMDGroupBox", "QGroupBox", {}},
        {"AmpltudeGeneratorLMDEdit", "QLineEdit", {}},
        {"MezzaninesLMDComboBox", "QComboBox", {}},
        {"MultimeterLMDGroupBox", "QGroupBox", {}},
        {"VoltmeterValueLMDLabel", "QLabel", {}},
        {"AmperemeterValueLMDLabel", "QLabel", {}},
        {"ResistanceValueLMDLabel", "QLabel", {}},
        {"AdcStreamLMDSimplePanel", "QFrame", {}},
        {"AdcGroupParsLMDGroupBox", "QGroupBox", QStringLiteral("Групповые параметры")},
        {"AdcRateLMDComboBox", "QComboBox", {}},
        {"AllSlotsLMDCheckBox", "QCheckBox", QStringLiteral("Все слоты")},
        {"AcquisitionTimeLMDSimplePanel", "QFrame", {}},
        {"ComputationInfoLMDSimplePanel", "QFrame", {}},
        {"AdcIndividualParsLMDGroupBox", "QGroupBox", QStringLiteral("Индивидуальные параметры")},
        {"MultimeterLMDTabSheet", "QWidget", {}},
        {"CorrectionFactorsLMDTabSheet", "QWidget", {}},
        {"VerificationLMDTabSheet", "QWidget", {}},
    };
    for (const Row& row : rows) {
        QWidget* widget = Window.findChild<QWidget*>(QString::fromLatin1(row.Name));
        ASSERT_NE(widget, nullptr) << row.Name;
        EXPECT_TRUE(widget->inherits(row.Class)) << row.Name << " is a " << widget->metaObject()->className();
        if (row.Caption.isEmpty()) continue;
        QString caption;
        if (auto* label = qobject_cast<QLabel*>(widget)) caption = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(widget)) caption = button->text();
        else if (auto* box = qobject_cast<QGroupBox*>(widget)) caption = box->title();
        EXPECT_EQ(caption, row.Caption) << row.Name;
    }
    EXPECT_TRUE(FORM_UI(Window, StartMultimeterLMDSpeedButton)->isCheckable());
    EXPECT_EQ(FORM_UI(Window, StartMultimeterLMDSpeedButton)->palette().color(QPalette::ButtonText), QColor(0, 128, 0));
    EXPECT_GE(FORM_UI(Window, EquipmentModeLMDRadioGroup)->findChildren<QRadioButton*>().size(), 2);
    for (QComboBox* combo : {FORM_UI(Window, KsvCratesComboBox), FORM_UI(Window, ModulesComboBox), FORM_UI(Window, AdcRateLMDComboBox),
                             FORM_UI(Window, MezzaninesLMDComboBox)})
        EXPECT_FALSE(combo->isEditable()) << combo->objectName().toStdString();
}

TEST_F(MainWindow, PagesAndWhatIsShownAfterConstruction)
{
    TPageControl* pages = FORM_UI(Window, MainLMDPageControl);
    ASSERT_EQ(pages->count(), 3);
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_EQ(pages->tabText(0), QStringLiteral("Мультиметр"));
    EXPECT_EQ(pages->tabText(1), QStringLiteral("Коэффициенты"));
    EXPECT_EQ(pages->tabText(2), QStringLiteral("Поверка"));
    EXPECT_TRUE(pages->isTabVisible(0));
    EXPECT_FALSE(pages->isTabVisible(1));
    EXPECT_FALSE(pages->isTabVisible(2));

    for (QWidget* hidden :
         {static_cast<QWidget*>(FORM_UI(Window, Bevel3)), static_cast<QWidget*>(FORM_UI(Window, GeneratorStatusLed)),
          static_cast<QWidget*>(FORM_UI(Window, MultimeterStatusLed)), static_cast<QWidget*>(FORM_UI(Window, ComputationInfoLMDSimplePanel)),
          static_cast<QWidget*>(FORM_UI(Window, EquipmentLMDSimplePanel)), static_cast<QWidget*>(FORM_UI(Window, EquipmentModeLMDGroupBox)),
          static_cast<QWidget*>(FORM_UI(Window, GeneratorLMDGroupBox)), static_cast<QWidget*>(FORM_UI(Window, MultimeterLMDGroupBox))})
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();
    EXPECT_FALSE(FORM_UI(Window, AcquisitionTimeLMDSimplePanel)->isHidden());
    const QRect time = FORM_UI(Window, AcquisitionTimeLMDSimplePanel)->geometry();
    EXPECT_EQ(time.left(), (FORM_UI(Window, AdcGroupParsLMDGroupBox)->width() - time.width()) / 2);
}

TEST_F(MainWindow, EveryFrameIsDisabledAndShowsNothingYet)
{
    for (int slot = 0; slot < 8; ++slot) {
        ksv::TKsv27AdcChannelFrame* frame = Window.SlotFrames()[slot];
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->Slot, slot);
        EXPECT_FALSE(frame->isHidden());
        EXPECT_FALSE(frame->Ksv27AdcChannelLMDSimplePanel->isEnabled());
        for (QWidget* control : frame->Ksv27AdcChannelLMDSimplePanel->findChildren<QWidget*>())
            EXPECT_TRUE(control->testAttribute(Qt::WA_ForceDisabled))
                << "slot " << slot << " " << control->objectName().toStdString() << " is not disabled itself";
        EXPECT_FALSE(frame->SlotNumberLMDCheckBox->isChecked());
        EXPECT_EQ(frame->MezzaninenameLMDLabel->text(), QStringLiteral("????????????"));
        EXPECT_EQ(frame->ValuesLabLMDLabel->text(), QStringLiteral("????????????"));
        for (QLabel* pin : {frame->Pin1PlusNameLMDLabel, frame->Pin1PlusNumberLMDLabel, frame->Pin1MinusNameLMDLabel,
                            frame->Pin1MinusNumberLMDLabel, frame->Pin2PlusNameLMDLabel, frame->Pin2PlusNumberLMDLabel,
                            frame->Pin2MinusNameLMDLabel, frame->Pin2MinusNumberLMDLabel})
            EXPECT_EQ(pin->text(), QStringLiteral("--"));
        for (QLineEdit* value : {frame->Value1LMDEdit, frame->Value2LMDEdit}) {
            EXPECT_EQ(value->text(), QStringLiteral("--------"));
            EXPECT_EQ(value->palette().color(QPalette::Active, QPalette::Text), QColor(0, 255, 0));
        }
        for (TLed* lamp : {frame->FlashLed1, frame->FlashLed2}) {
            EXPECT_FALSE(lamp->isLit());
            EXPECT_EQ(lamp->shownColor(), frame->palette().color(QPalette::Button));
        }
    }
}

TEST_F(MainWindow, FramesAreNamedAndPlacedInTwoColumnsOfFour)
{
    const int width = Window.SlotFrames()[0]->width();
    const int height = Window.SlotFrames()[0]->height();
    const QWidget* panel = Window.SlotFrames()[0]->Ksv27AdcChannelLMDSimplePanel;
    EXPECT_EQ(width, panel->x() + panel->width());
    EXPECT_EQ(height, panel->y() + panel->height());
    for (int slot = 0; slot < 8; ++slot) {
        ksv::TKsv27AdcChannelFrame* frame = Window.SlotFrames()[slot];
        EXPECT_EQ(frame->objectName(), QStringLiteral("Ksv27AdcChannel%1Frame").arg(slot));
        EXPECT_EQ(frame->parentWidget(), FORM_UI(Window, AdcIndividualParsLMDGroupBox));
        EXPECT_EQ(frame->property("tag").toInt(), slot);
        const int column = slot / 4, row = slot % 4;
        EXPECT_EQ(frame->geometry(), QRect(width * column + 1, height * row + 27, width, height)) << "slot " << slot;
    }
    // Slot 4 heads the right-hand column.
    EXPECT_EQ(Window.SlotFrames()[4]->pos(), QPoint(width + 1, 27));
}

TEST_F(MainWindow, SizeFollowsTheDesignLessTheUnusedParts)
{
    EXPECT_EQ(Window.DesignMinWidth, 1168);
    EXPECT_EQ(Window.DesignMinHeight, 866);
    EXPECT_EQ(Window.Shift, 552 - 518 - 1);
    EXPECT_EQ(FORM_UI(Window, SelectedModuleLMDSimplePanel)->width(), FORM_UI(Window, Bevel3)->x() + 1);
    EXPECT_EQ(FORM_UI(Window, SaveIniSettingLMDGroupBox)->x(), 992 - Window.Shift);
    EXPECT_EQ(FORM_UI(Window, StartMultimeterLMDSimplePanel)->x(), 684 - Window.Shift);
    // Not yet framed: the client is the design size less the equipment panel and Shift.
    const QSize client(1168 - Window.Shift, 866 - FORM_UI(Window, EquipmentLMDSimplePanel)->height());
    EXPECT_EQ(Window.size(), client);
    EXPECT_EQ(Window.minimumSize(), client);
    EXPECT_EQ(Window.maximumSize(), client);
    EXPECT_FALSE(Window.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(MainWindow, ShownLayoutCentresThePanelAndKeepsEveryFrameVisible)
{
    Window.StartupPhase = 3; // no discovery from the first resize
    Window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
    QCoreApplication::processEvents();

    const QSize sheet = FORM_UI(Window, MultimeterLMDTabSheet)->size();
    EXPECT_EQ(sheet, FORM_UI(Window, MainLMDPageControl)->sheetSizeFor(FORM_UI(Window, MainLMDPageControl)->size()));
    const QRect panel = FORM_UI(Window, MultimeterLMDSimplePanel)->geometry();
    EXPECT_EQ(panel.left(), (sheet.width() - panel.width()) / 2);
    EXPECT_EQ(panel.top(), (sheet.height() - panel.height()) / 2 + 1);
    EXPECT_TRUE(QRect(QPoint(0, 0), sheet).contains(panel));

    // With the equipment panel hidden the stream panel takes the whole panel.
    EXPECT_EQ(FORM_UI(Window, AdcStreamLMDSimplePanel)->geometry(), QRect(QPoint(0, 0), panel.size()));
    const QRect group = FORM_UI(Window, AdcIndividualParsLMDGroupBox)->rect();
    for (ksv::TKsv27AdcChannelFrame* frame : Window.SlotFrames())
        EXPECT_TRUE(group.contains(frame->geometry())) << frame->objectName().toStdString();
    EXPECT_TRUE(Window.rect().contains(FORM_UI(Window, ModuleDetectionLMDGroupBox)->geometry()));
    const QRect save(FORM_UI(Window, SaveIniSettingLMDGroupBox)->mapTo(&Window, QPoint(0, 0)),
                     FORM_UI(Window, SaveIniSettingLMDGroupBox)->size());
    EXPECT_TRUE(Window.rect().contains(save));
}

TEST_F(MainWindow, ShowAndResizeAdvanceTheStartupPhaseOnlyWhenNotBusy)
{
    Window.HandlerBusy = true;
    Window.FormShow();
    EXPECT_EQ(Window.StartupPhase, 1);
    Window.HandlerBusy = false;
    Window.FormShow();
    EXPECT_EQ(Window.StartupPhase, 2);
    EXPECT_FALSE(Window.HandlerBusy);
    Window.HandlerBusy = true;
    Window.FormResize();
    EXPECT_EQ(Window.StartupPhase, 2);
    Window.HandlerBusy = false;
    // A later show changes nothing.
    Window.FormShow();
    EXPECT_EQ(Window.StartupPhase, 2);
}

TEST_F(MainWindow, ApplicationActivationSetsAndClearsAppActiveInEveryFrame)
{
    Window.ApplicationActivate(true);
    for (auto* frame : Window.SlotFrames()) EXPECT_EQ(frame->AppActive, 1);
    Window.ApplicationActivate(false);
    for (auto* frame : Window.SlotFrames()) EXPECT_EQ(frame->AppActive, 0);
}

TEST_F(MainWindow, CloseClosesAnOpenModuleAndSavesNothingWithoutAutoSave)
{
    const QString settings = QCoreApplication::applicationDirPath() + QStringLiteral("/Ksv27_Vorn.ini");
    const bool existedBefore = QFileInfo::exists(settings);
    Api.Opened = true;
    Window.FormClose();
    EXPECT_EQ(Api.CloseCalls, 1);
    EXPECT_FALSE(Window.HandlerBusy);
    if (!existedBefore) {
        EXPECT_FALSE(QFileInfo::exists(settings));
    }

    // A closed module is not closed again.
    Window.FormClose();
    EXPECT_EQ(Api.CloseCalls, 1);
}

TEST_F(MainWindow, CloseWhileBusySkipsTheStepsButExitAlwaysRunsThem)
{
    Api.Opened = true;
    Window.HandlerBusy = true;
    Window.FormClose();
    EXPECT_EQ(Api.CloseCalls, 0);
    EXPECT_TRUE(Window.HandlerBusy);

    Window.StartupPhase = 3;
    Window.show();
    Window.ApplicationExitClick();
    EXPECT_EQ(Api.CloseCalls, 1);
    EXPECT_FALSE(Window.HandlerBusy);
    EXPECT_FALSE(Window.isVisible());
}

TEST_F(MainWindow, EscapeClearsTheGuardOrStopsNothingWhenIdle)
{
    Window.HandlerBusy = true;
    EXPECT_TRUE(Window.EscapeKeyPressed());
    EXPECT_FALSE(Window.HandlerBusy);

    Window.DiscoveryRunning = true;
    EXPECT_TRUE(Window.EscapeKeyPressed());
    Window.DiscoveryRunning = false;

    EXPECT_FALSE(Window.EscapeKeyPressed());
    EXPECT_TRUE(Modal.Requests.empty());
}

TEST_F(MainWindow, EscapeKeyReachesTheHookUnlessItIsDetached)
{
    Window.HandlerBusy = true;
    QTest::keyClick(&Window, Qt::Key_Escape);
    EXPECT_FALSE(Window.HandlerBusy);

    Window.SetShortcutHookEnabled(false);
    Window.HandlerBusy = true;
    QTest::keyClick(&Window, Qt::Key_Escape);
    EXPECT_TRUE(Window.HandlerBusy);

    // Enabling twice installs it once: one key press is seen once.
    Window.SetShortcutHookEnabled(true);
    Window.SetShortcutHookEnabled(true);
    QTest::keyClick(&Window, Qt::Key_Escape);
    EXPECT_FALSE(Window.HandlerBusy);
    Window.HandlerBusy = false;
    QTest::keyClick(&Window, Qt::Key_A);
    EXPECT_FALSE(Window.HandlerBusy);
}

TEST_F(MainWindow, PageChangeWithoutAnOpenModuleIsRefusedWithOneMessage)
{
    FORM_UI(Window, MainLMDPageControl)->setEnabled(false);
    FORM_UI(Window, MainLMDPageControl)->setCurrentIndex(1);
    EXPECT_EQ(FORM_UI(Window, MainLMDPageControl)->currentIndex(), 0);
    EXPECT_TRUE(FORM_UI(Window, MainLMDPageControl)->isEnabled());
    EXPECT_FALSE(Window.HandlerBusy);
    ASSERT_EQ(Modal.Requests.size(), 1u);
    EXPECT_EQ(Modal.Requests[0].Text, QStringLiteral("Нет открытого модуля! Поэтому данная опция не доступна!"));
    EXPECT_EQ(Modal.Requests[0].Caption, QStringLiteral("Внимание!!!"));
    EXPECT_EQ(Modal.Requests[0].Kind, ksv::TDialogKind::Information);
}

TEST_F(MainWindow, PageChangeWhileBusyGoesAheadSilently)
{
    Window.HandlerBusy = true;
    FORM_UI(Window, MainLMDPageControl)->setCurrentIndex(2);
    EXPECT_EQ(FORM_UI(Window, MainLMDPageControl)->currentIndex(), 2);
    FORM_UI(Window, MainLMDPageControl)->setCurrentIndex(0);
    EXPECT_EQ(FORM_UI(Window, MainLMDPageControl)->currentIndex(), 0);
    EXPECT_TRUE(Modal.Requests.empty());
    EXPECT_TRUE(Window.HandlerBusy);
}

TEST_F(MainWindow, BackToTheMultimeterPageWithAModuleShowsTheStartPanel)
{
    Window.ModuleState() = 2;
    FORM_UI(Window, MainLMDPageControl)->setCurrentIndex(1);
    EXPECT_EQ(FORM_UI(Window, MainLMDPageControl)->currentIndex(), 1);
    FORM_UI(Window, StartMultimeterLMDSimplePanel)->hide();
    FORM_UI(Window, MainLMDPageControl)->setCurrentIndex(0);
    EXPECT_EQ(FORM_UI(Window, MainLMDPageControl)->currentIndex(), 0);
    EXPECT_FALSE(FORM_UI(Window, StartMultimeterLMDSimplePanel)->isHidden());
    EXPECT_FALSE(Window.HandlerBusy);
    EXPECT_TRUE(Modal.Requests.empty());
}

TEST_F(MainWindow, PopupMenuItemsKeysAndWindowShortcuts)
{
    ASSERT_NE(Window.PopupMenu, nullptr);
    const QList<QAction*> items = Window.PopupMenu->actions();
    ASSERT_EQ(items.size(), 8);
    // clang-format off
    const QStringList captions = {QStringLiteral("Перезагрузка Изделия"), {}, QStringLiteral("Сохранение штатных настроек"),
                                  QStringLiteral("Сохранение текущих настроек"), {}, QStringLiteral("О программе ..."),
                                  {}, QStringLiteral("Выход")};
    const QList<QKeySequence> keys = {QKeySequence(QStringLiteral("Ctrl+R")), {}, QKeySequence(QStringLiteral("Ctrl+D")),
                                      QKeySequence(QStringLiteral("Ctrl+S")), {}, QKeySequence(QStringLiteral("Ctrl+A")),
                                      {}, QKeySequence(QStringLiteral("Ctrl+Q"))};
    // clang-format on
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(items[i]->isSeparator(), captions[i].isEmpty()) << i;
        if (items[i]->isSeparator()) continue;
        EXPECT_EQ(items[i]->text(), captions[i]) << i;
        EXPECT_EQ(items[i]->shortcut(), keys[i]) << i;
        EXPECT_TRUE(Window.actions().contains(items[i])) << i;
        EXPECT_TRUE(items[i]->isShortcutVisibleInContextMenu()) << i;
    }
    EXPECT_EQ(Window.PopupMenu->defaultAction(), Window.RebootDeviceMenuItem);
    EXPECT_EQ(Window.ApplicationExit->statusTip(), QStringLiteral("Спокойный выход из программы"));
    EXPECT_EQ(Window.contextMenuPolicy(), Qt::PreventContextMenu) << "no automatic pop-up on a right click";

    // The items without an action do nothing, and no box comes up.
    Window.RebootDeviceMenuItem->trigger();
    Window.AboutProgram->trigger();
    EXPECT_TRUE(Window.isHidden());
    EXPECT_TRUE(Modal.Requests.empty());
}

TEST_F(MainWindow, ExitItemClosesTheWindow)
{
    Window.StartupPhase = 3;
    Window.show();
    Window.HandlerBusy = true;
    Window.ApplicationExit->trigger();
    EXPECT_FALSE(Window.isVisible());
}

// ---- the general error display --------------------------------------

class TThrowingObject : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User) throw std::runtime_error("Опаньки!!! from a handler");
        if (e->type() == QEvent::User + 1) throw 42;
        return QObject::event(e);
    }
};

TEST(ErrorDisplay, AnExceptionFromAnEventHandlerIsShownAndTheLoopGoesOn)
{
    ksv::test::TModalRecorder modal;
    TThrowingObject target;
    QEvent first(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&target, &first));
    QEvent second(static_cast<QEvent::Type>(QEvent::User + 1));
    EXPECT_FALSE(QCoreApplication::sendEvent(&target, &second));
    ASSERT_EQ(modal.Requests.size(), 2u);
    EXPECT_EQ(modal.Requests[0].Text, QStringLiteral("Опаньки!!! from a handler"));
    EXPECT_EQ(modal.Requests[0].Caption, QStringLiteral("KSV27_Vorn"));
    EXPECT_EQ(modal.Requests[0].Kind, ksv::TDialogKind::Error);
    EXPECT_TRUE(modal.Requests[1].Text.isEmpty());
}

TEST(ErrorDisplay, GuardedHandlersShowTheirExceptionsToo)
{
    ksv::test::TModalRecorder modal;
    int after = 0;
    ksv::RunGuarded([] { throw std::logic_error("broken"); });
    ksv::RunGuarded([&] { ++after; });
    ASSERT_EQ(modal.Requests.size(), 1u);
    EXPECT_EQ(modal.Requests[0].Text, QStringLiteral("broken"));
    EXPECT_EQ(after, 1);
}

} // namespace

namespace {

// The toolkit's own texts (the file dialog's labels and buttons) in Russian
// once Qt's translations are loaded; the program's own texts stay as they are.
TEST(ToolkitTranslations, TheStandardDialogsSpeakRussian)
{
    QTranslator* translator = ksv::LoadToolkitTranslations();
    ASSERT_NE(translator, nullptr) << "qtbase_ru.qm not found";
    EXPECT_NE(QCoreApplication::translate("QFileDialog", "File &name:"), QStringLiteral("File &name:"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Отмена"));
    QCoreApplication::removeTranslator(translator);
    delete translator;
}

} // namespace
