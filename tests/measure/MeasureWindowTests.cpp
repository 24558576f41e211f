// The measurement through the real window: START, STOP, Escape, slot
// changes and every failure of a run, against a scripted module.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

#include "FormControls.h"
#include "FakeKsvApi.h"
#include "Ksv27adcchannelpanel.h"
#include "Ksv27mainform.h"
#include "Mainthread.h"
#include "MeasureMessages.h"
#include "MessagePump.h"
#include "MezzanineKind.h"
#include "ModalDialogs.h"
#include "TLed.h"
#include "WindowTestSupport.h"

namespace {

using ksv::test::TFakeKsvApi;
namespace msg = ksv::msg;

class MeasureWindowTest : public ksv::test::TMeasureWindowFixture {
protected:
    TFakeKsvApi api;

    void SetUp() override
    {
        api.Paced = true;
        api.PaceRateHz = 1000.0;
        ksv::SetKsvApi(&api);
        TMeasureWindowFixture::SetUp();
    }
    void TearDown() override
    {
        TMeasureWindowFixture::TearDown();
        ksv::SetKsvApi(nullptr);
    }

    // A module with these mezzanines, every fitted slot checked; levels per channel.
    void Open(const std::vector<std::string>& names, double seconds = 0.1, int rateIndex = 7)
    {
        TFakeKsvApi::Describe(window->ModuleRecord(), names);
        OpenDescribedModule(seconds, rateIndex);
    }
};

const std::vector<std::string> kMixed = {"U10", "I5", "R100", "T", "U20", "EMPTY", "X9", "UDEF"};

TEST_F(MeasureWindowTest, StartShowsEveryCheckedSlotByKindAndBlinksItsLamps)
{
    const double levels[16] = {0.5, -0.25, 0.25, 1.0, 100.0, 7.0, 23.5, -4.0, 1.5, 0.001, 9, 9, 9, 9, 9, 9};
    for (int c = 0; c < 16; ++c) api.SetLevel(c, levels[c]);
    Open(kMixed);
    ClickStart();
    EXPECT_TRUE(MainThread && window->MeasurementRunning);
    EXPECT_TRUE(FORM_UI(window, StartMultimeterLMDSpeedButton)->isChecked());
    ASSERT_TRUE(WaitUntil([&] { return FORM_UI(window, StartMultimeterLMDSpeedButton)->text() == QStringLiteral("С   Т   О   П"); }));
    ASSERT_TRUE(WaitUntil([&] { return Value(0, 1) == "500.000"; })) << Value(0, 1).toStdString();
    EXPECT_EQ(Value(0, 2), "-250.000");
    EXPECT_EQ(Value(1, 1), "0.2500");
    EXPECT_EQ(Value(1, 2), "1.0000");
    EXPECT_EQ(Value(2, 1), "100.000");
    EXPECT_EQ(Value(2, 2), "--------");
    EXPECT_EQ(Value(3, 1), "23.500");
    EXPECT_EQ(Value(3, 2), "-4.000");
    EXPECT_EQ(Value(4, 1), "1500.000");
    EXPECT_EQ(Value(4, 2), "1.000");
    EXPECT_EQ(Value(6, 1), "--------"); // a name the program does not know
    EXPECT_TRUE(shown.empty());

    // The lamps go off with each value update and come on 100 ms later;
    // a resistance slot blinks only its first channel.
    ASSERT_TRUE(WaitUntil([&] { return LampLit(0, 1); }));
    EXPECT_TRUE(LampLit(0, 2));
    EXPECT_TRUE(LampLit(2, 1));
    EXPECT_FALSE(LampLit(2, 2));
    ASSERT_TRUE(WaitUntil([&] { return !LampLit(0, 1); }));
    ASSERT_TRUE(WaitUntil([&] { return LampLit(0, 1); }));

    // The module got the chosen divisor and the description's coefficients.
    EXPECT_EQ(api.SetConfigCalls, 1);
    EXPECT_EQ(api.ConfiguredDivisor, 0);
    EXPECT_EQ(api.ConfiguredCoefs[3][2], 32.5);
    EXPECT_EQ(api.RecvRequests().front(), 1600u);
}

TEST_F(MeasureWindowTest, StopRestoresTheButtonAndKeepsTheValues)
{
    api.SetLevel(0, 0.5);
    Open(kMixed);
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Value(0, 1) == "500.000"; }));
    QElapsedTimer stop;
    stop.start();
    ClickStart(); // the button comes up: stop only
    EXPECT_LT(stop.elapsed(), 500);
    EXPECT_EQ(MainThread, nullptr);
    EXPECT_FALSE(FORM_UI(window, StartMultimeterLMDSpeedButton)->isChecked());
    EXPECT_EQ(FORM_UI(window, StartMultimeterLMDSpeedButton)->text(), QStringLiteral("С   Т   А   Р   Т"));
    EXPECT_FALSE(window->MeasurementRunning);
    EXPECT_TRUE(window->AcquisitionIdle);
    EXPECT_TRUE(window->MeasurementRequestAllowed);
    EXPECT_EQ(Value(0, 1), "500.000");
    const int starts = api.AdcStartCalls;
    ksv::SleepAndProcessMessages(300);
    EXPECT_EQ(api.AdcStartCalls, starts); // nothing runs on
    EXPECT_TRUE(shown.empty());
}

TEST_F(MeasureWindowTest, StartAfterAnEndedRunReplacesTheIdleThread)
{
    Open(kMixed);
    api.SetConfigResult = -1;
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return window->AcquisitionIdle.load(); }));
    EXPECT_EQ(Texts(), QStringList{msg::kSetConfigFailed});
    EXPECT_EQ(shown.front().Caption, QString::fromUtf8(msg::kThreadMessageCaption));
    EXPECT_EQ(shown.front().ButtonCaptions, QStringList{QString::fromUtf8(msg::kAcceptedButton)});
    EXPECT_EQ(shown.front().Kind, ksv::TDialogKind::Error);
    EXPECT_NE(MainThread, nullptr); // idle, waiting for its stop
    EXPECT_FALSE(FORM_UI(window, StartMultimeterLMDSpeedButton)->isChecked());

    api.SetConfigResult = 0;
    api.SetLevel(1, 0.25);
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Value(0, 2) == "250.000"; }));
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(api.SetConfigCalls, 2);
}

TEST_F(MeasureWindowTest, EscapeStopsTheMeasurement)
{
    Open(kMixed);
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Value(0, 1) == "0.000"; }));
    QTest::keyClick(window.get(), Qt::Key_Escape);
    ASSERT_TRUE(WaitUntil([&] { return MainThread == nullptr; }));
    EXPECT_EQ(FORM_UI(window, StartMultimeterLMDSpeedButton)->text(), QStringLiteral("С   Т   А   Р   Т"));
    EXPECT_TRUE(window->AcquisitionIdle);

    // With the guard held, Escape only clears it.
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Value(0, 1) == "0.000"; }));
    window->HandlerBusy = true;
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->HandlerBusy);
    EXPECT_NE(MainThread, nullptr);
    EXPECT_FALSE(window->AcquisitionIdle);
}

TEST_F(MeasureWindowTest, UncheckingASlotStopsAndBlanksIt)
{
    api.SetLevel(2, 0.25);
    Open(kMixed);
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Value(1, 1) == "0.2500" && LampLit(1, 1); }));
    ksv::TKsv27AdcChannelFrame* frame = window->SlotFrames()[1];
    frame->SlotNumberLMDCheckBox->click();
    EXPECT_EQ(MainThread, nullptr);
    EXPECT_EQ(Value(1, 1), "--------");
    EXPECT_EQ(Value(1, 2), "--------");
    EXPECT_FALSE(LampLit(1, 1));
    EXPECT_FALSE(LampLit(1, 2));
    EXPECT_FALSE(frame->Value1LMDEdit->isEnabled());
    EXPECT_TRUE(frame->SlotNumberLMDCheckBox->isEnabled());
    EXPECT_EQ(FORM_UI(window, AllSlotsLMDCheckBox)->checkState(), Qt::PartiallyChecked);
    EXPECT_FALSE(FORM_UI(window, StartMultimeterLMDSpeedButton)->isChecked());

    // A run without it shows nothing for it, and checking it again brings it back.
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Value(0, 1) == "0.000"; }));
    EXPECT_EQ(Value(1, 1), "--------");
    frame->SlotNumberLMDCheckBox->click();
    EXPECT_EQ(MainThread, nullptr);
    EXPECT_TRUE(frame->Value1LMDEdit->isEnabled());
    EXPECT_EQ(FORM_UI(window, AllSlotsLMDCheckBox)->checkState(), Qt::Checked);
}

TEST_F(MeasureWindowTest, ResistanceSlotKeepsItsSecondChannelOff)
{
    Open(kMixed);
    ksv::TKsv27AdcChannelFrame* r = window->SlotFrames()[2];
    EXPECT_TRUE(r->Value1LMDEdit->isEnabled());
    EXPECT_FALSE(r->Value2LMDEdit->isEnabled());
    EXPECT_FALSE(r->FlashLed2->isEnabled());
    EXPECT_FALSE(r->Channel2LMDLabel->isEnabled());
    EXPECT_TRUE(window->SlotFrames()[0]->Value2LMDEdit->isEnabled());
    // Slots without a mezzanine stay as construction left them.
    EXPECT_FALSE(window->SlotFrames()[5]->SlotNumberLMDCheckBox->isEnabled());
}

TEST_F(MeasureWindowTest, AllSlotsBoxChecksOnlyFittedSlots)
{
    Open(kMixed);
    FORM_UI(window, AllSlotsLMDCheckBox)->click(); // checked -> unchecked
    for (int s : {0, 1, 2, 3, 4, 6}) EXPECT_FALSE(window->SlotFrames()[s]->SlotNumberLMDCheckBox->isChecked()) << s;
    EXPECT_FALSE(window->SlotFrames()[0]->Value1LMDEdit->isEnabled());
    FORM_UI(window, AllSlotsLMDCheckBox)->click();
    for (int s : {0, 1, 2, 3, 4, 6}) EXPECT_TRUE(window->SlotFrames()[s]->SlotNumberLMDCheckBox->isChecked()) << s;
    for (int s : {5, 7}) {
        EXPECT_FALSE(window->SlotFrames()[s]->SlotNumberLMDCheckBox->isChecked()) << s;
        EXPECT_FALSE(window->SlotFrames()[s]->SlotNumberLMDCheckBox->isEnabled()) << s;
    }
    EXPECT_FALSE(window->SlotFrames()[2]->Value2LMDEdit->isEnabled());

    // From the grayed state a click checks every slot.
    window->SlotFrames()[0]->SlotNumberLMDCheckBox->click();
    ASSERT_EQ(FORM_UI(window, AllSlotsLMDCheckBox)->checkState(), Qt::PartiallyChecked);
    FORM_UI(window, AllSlotsLMDCheckBox)->click();
    EXPECT_EQ(FORM_UI(window, AllSlotsLMDCheckBox)->checkState(), Qt::Checked);
    EXPECT_TRUE(window->SlotFrames()[0]->SlotNumberLMDCheckBox->isChecked());
    EXPECT_TRUE(shown.empty());
}

TEST_F(MeasureWindowTest, NoCheckedSlotGivesItsMessageAndTheButtonBack)
{
    Open(kMixed);
    FORM_UI(window, AllSlotsLMDCheckBox)->click();
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return window->AcquisitionIdle.load(); }));
    EXPECT_EQ(Texts(), QStringList{msg::kNoActiveChannel});
    EXPECT_EQ(api.SetConfigCalls, 0);
    EXPECT_EQ(FORM_UI(window, StartMultimeterLMDSpeedButton)->text(), QStringLiteral("С   Т   А   Р   Т"));
    EXPECT_FALSE(FORM_UI(window, StartMultimeterLMDSpeedButton)->isChecked());
}

TEST_F(MeasureWindowTest, ChangingTheRateStopsTheMeasurement)
{
    Open(kMixed);
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Value(0, 1) == "0.000"; }));
    FORM_UI(window, AdcRateLMDComboBox)->setCurrentIndex(6);
    EXPECT_EQ(MainThread, nullptr);
    EXPECT_FALSE(window->HandlerBusy);
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return api.ConfiguredDivisor == 1; }));
}

// Each failure of a run: its one message, the button back, and the next run works.
struct TFault {
    const char* name;
    std::function<void(TFakeKsvApi&)> set;
    const char* message;
};

class MeasureFaultTest : public MeasureWindowTest, public ::testing::WithParamInterface<TFault> {};

TEST_P(MeasureFaultTest, ShowsItsMessageOnceAndLeavesTheProgramUsable)
{
    const TFault& fault = GetParam();
    api.SetLevel(0, 0.5);
    Open(kMixed);
    fault.set(api);
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return !shown.empty() && window->AcquisitionIdle; })) << fault.name;
    ksv::SleepAndProcessMessages(200);
    EXPECT_EQ(Texts(), QStringList{QString::fromUtf8(fault.message)}) << fault.name;
    EXPECT_EQ(FORM_UI(window, StartMultimeterLMDSpeedButton)->text(), QStringLiteral("С   Т   А   Р   Т")) << fault.name;
    EXPECT_FALSE(FORM_UI(window, StartMultimeterLMDSpeedButton)->isChecked());

    // Cleared, the next START measures again.
    TFakeKsvApi clean;
    clean.Paced = true;
    clean.SetLevel(0, 0.5);
    ksv::SetKsvApi(&clean);
    ClickStart();
    const bool measured = WaitUntil([&] { return Value(0, 1) == "500.000" && MainThread && !window->AcquisitionIdle; });
    ClickStart();
    ksv::SetKsvApi(&api);
    EXPECT_TRUE(measured) << fault.name;
    EXPECT_EQ(shown.size(), 1u) << fault.name;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MeasureFaultTest,
    ::testing::Values(
        TFault{"ConfigStop", [](TFakeKsvApi& a) { a.AdcStopFailFrom = 0; }, msg::kConfigStopFailed},
        TFault{"SetConfig", [](TFakeKsvApi& a) { a.SetConfigResult = -1; }, msg::kSetConfigFailed},
        TFault{"AdcStart", [](TFakeKsvApi& a) { a.AdcStartResult = -1; }, msg::kAdcStartFailed},
        TFault{"RecvError", [](TFakeKsvApi& a) { a.SetRecvScript([](int, std::uint32_t) { return -4; }); },
               msg::kRecvFailed},
        TFault{"RecvZero", [](TFakeKsvApi& a) { a.SetRecvScript([](int, std::uint32_t) { return 0; }); },
               msg::kRecvNothing},
        TFault{"RecvShort",
               [](TFakeKsvApi& a) {
                   a.SetRecvScript([](int, std::uint32_t w) { return static_cast<std::int32_t>(w / 2); });
               },
               msg::kRecvWrongCount},
        TFault{"RecvStall", [](TFakeKsvApi& a) { a.Stall = true; }, msg::kRecvNothing},
        TFault{"CycleStop", [](TFakeKsvApi& a) { a.AdcStopFailFrom = 1; }, msg::kAdcStopFailed},
        TFault{"ProcessData", [](TFakeKsvApi& a) { a.ProcessDataResult = -1; }, msg::kProcessFailed},
        TFault{"ProcessDataCount", [](TFakeKsvApi& a) { a.ProcessDataShortCount = true; }, msg::kProcessFailed},
        // A read error, then both stops fail as well: only the first is shown.
        TFault{"SecondFailureHidden",
               [](TFakeKsvApi& a) {
                   a.SetRecvScript([](int, std::uint32_t) { return -1; });
                   a.AdcStopFailFrom = 1;
               },
               msg::kRecvFailed}),
    [](const ::testing::TestParamInfo<TFault>& info) { return std::string(info.param.name); });

TEST_F(MeasureWindowTest, StopFailureAtTheEndOfARunIsShownOnce)
{
    Open(kMixed);
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Value(0, 1) == "0.000"; }));
    api.FailRepeatedStop = true;
    ClickStart();
    EXPECT_EQ(MainThread, nullptr);
    EXPECT_EQ(Texts(), QStringList{msg::kEndStopFailed});
    EXPECT_EQ(FORM_UI(window, StartMultimeterLMDSpeedButton)->text(), QStringLiteral("С   Т   А   Р   Т"));
}

TEST_F(MeasureWindowTest, ConfigurationsThatGiveNoUsableCycle)
{
    // No rate selected (a rate index from the settings outside the list).
    Open(kMixed);
    window->HandlerBusy = true;
    FORM_UI(window, AdcRateLMDComboBox)->setCurrentIndex(-1);
    window->HandlerBusy = false;
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return window->AcquisitionIdle && !shown.empty(); }));
    EXPECT_EQ(Texts(), QStringList{msg::kRateError});
    EXPECT_EQ(api.SetConfigCalls, 0);

    // Times from the settings file that cannot be measured.
    for (double bad : {-1.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 1e12}) {
        shown.clear();
        Open(kMixed, bad);
        ClickStart();
        ASSERT_TRUE(WaitUntil([&] { return window->AcquisitionIdle && !shown.empty(); })) << bad;
        EXPECT_EQ(Texts(), QStringList{msg::kBadAcquisitionTime}) << bad;
        EXPECT_EQ(FORM_UI(window, StartMultimeterLMDSpeedButton)->text(), QStringLiteral("С   Т   А   Р   Т"));
    }

    // Shorter than one frame: nothing to read, and no made-up value.
    shown.clear();
    Open(kMixed, 0.001, 0);
    const int requests = static_cast<int>(api.RecvRequests().size());
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return window->AcquisitionIdle && !shown.empty(); }));
    EXPECT_EQ(Texts(), QStringList{msg::kRecvNothing});
    EXPECT_EQ(api.RecvRequests().back(), 0u);
    EXPECT_EQ(static_cast<int>(api.RecvRequests().size()), requests + 1);
    EXPECT_EQ(Value(0, 1), "");
}

TEST_F(MeasureWindowTest, WindowSideMessageBoxes)
{
    Open(kMixed);
    // A page without a handler.
    QWidget* page = window->HandlerPages()[0];
    window->HandlerPages()[0] = nullptr;
    window->Multimeter().StartThread();
    window->HandlerPages()[0] = page;
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Text, QString::fromUtf8(msg::kUnknownPage));
    EXPECT_EQ(shown[0].Caption, QString::fromUtf8(msg::kUnknownPageCaption));
    EXPECT_EQ(shown[0].Kind, ksv::TDialogKind::Information);
    EXPECT_EQ(MainThread, nullptr);

    // A sender that is not a check box, and one that no frame holds.
    QObject stranger;
    window->Multimeter().EnaSlotLMDCheckBoxChange(&stranger);
    QCheckBox loose;
    window->Multimeter().EnaSlotLMDCheckBoxChange(&loose);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[1].Text, QString::fromUtf8(msg::kCannotCast));
    EXPECT_EQ(shown[1].Caption, QString::fromUtf8(msg::kCannotCastCaption));
    EXPECT_EQ(shown[1].Kind, ksv::TDialogKind::Information);
    EXPECT_EQ(shown[2].Text, QString::fromUtf8(msg::kUnknownSlotControl));
    EXPECT_EQ(shown[2].Caption, QString::fromUtf8(msg::kUnknownSlotControlCaption));
    EXPECT_EQ(shown[2].Kind, ksv::TDialogKind::None);
    EXPECT_FALSE(window->HandlerBusy);
}

TEST_F(MeasureWindowTest, ThreadDialogIsBuiltToSizeAndColour)
{
    std::unique_ptr<QDialog> built;
    ksv::SetModalHandler([&](const ksv::TModalRequest& r) {
        built = r.Build();
        return static_cast<int>(QMessageBox::Ok);
    });
    ksv::ThreadMessageDialog(QStringLiteral("C"), ksv::TDialogKind::Error, QMessageBox::Ok,
                             {QStringLiteral("Принято")}, QString::fromUtf8(msg::kThreadException));
    ASSERT_TRUE(built);
    EXPECT_EQ(built->width(), 570);
    EXPECT_EQ(built->font().pointSize(), 12);
    EXPECT_EQ(built->palette().color(QPalette::Window), QColor(255, 128, 32));
    EXPECT_EQ(built->palette().color(QPalette::WindowText), QColor(Qt::white));
    const auto buttons = built->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), QStringLiteral("Принято"));
    EXPECT_GE(buttons[0]->width(), 100);
    EXPECT_EQ(buttons[0]->x(), (570 - buttons[0]->width()) / 2);
    auto* label = built->findChild<QLabel*>(QStringLiteral("ThreadMessageLabel"));
    ASSERT_TRUE(label);
    EXPECT_TRUE(label->wordWrap());
    EXPECT_EQ(buttons[0]->y(), label->y() + label->height() + 10);
    EXPECT_EQ(built->height(), buttons[0]->y() + buttons[0]->height() + 10);
    // The Escape handling is back once the dialog is gone.
    built.reset();

    ksv::ThreadMessageDialog(QStringLiteral("C"), ksv::TDialogKind::Confirmation, QMessageBox::Yes | QMessageBox::No,
                             {QStringLiteral("Да"), QStringLiteral("Нет, не сейчас")}, QStringLiteral("?"));
    ASSERT_TRUE(built);
    EXPECT_EQ(built->palette().color(QPalette::Window), QColor(206, 249, 255));
    const auto two = built->findChildren<QPushButton*>();
    ASSERT_EQ(two.size(), 2);
    EXPECT_EQ(two[0]->width(), two[1]->width());
    EXPECT_LT(two[0]->x() + two[0]->width(), two[1]->x());
}

TEST_F(MeasureWindowTest, QuickStartStopEscapeAndSlotChangesNeverHang)
{
    Open(kMixed);
    QCheckBox* box = window->SlotFrames()[3]->SlotNumberLMDCheckBox;
    for (int round = 0; round < 12; ++round) {
        ClickStart();
        ksv::SleepAndProcessMessages(round * 17 % 120);
        switch (round % 4) {
        case 0: ClickStart(); break;
        case 1: QTest::keyClick(window.get(), Qt::Key_Escape); break;
        case 2: box->click(); break;
        case 3: FORM_UI(window, AdcRateLMDComboBox)->setCurrentIndex(FORM_UI(window, AdcRateLMDComboBox)->currentIndex() == 7 ? 6 : 7); break;
        }
        ASSERT_TRUE(WaitUntil([&] { return MainThread == nullptr; })) << round;
        EXPECT_TRUE(window->AcquisitionIdle) << round;
        EXPECT_FALSE(window->HandlerBusy) << round;
        if (!FORM_UI(window, StartMultimeterLMDSpeedButton)->isChecked()) continue;
        // A stop by Escape leaves the button as the end step set it.
        ADD_FAILURE() << "button still down after round " << round;
    }
    if (!box->isChecked()) box->click();
    ClickStart();
    EXPECT_TRUE(WaitUntil([&] { return Value(3, 1) == "0.000"; }));
    EXPECT_TRUE(shown.empty());
}

} // namespace
