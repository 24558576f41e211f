// The window fixture of the measurement tests: a fresh main window per test,
// every modal request recorded and answered at once, and helpers that read
// what the slot frames show; and the same with the module in slot 1 of a
// crate on the simulated crate server.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <functional>
#include <memory>
#include <vector>

#include "FormControls.h"
#include "BoundedText.h"
#include "Ksv27adcchannelpanel.h"
#include "Ksv27mainform.h"
#include "Mainthread.h"
#include "MessagePump.h"
#include "MezzanineKind.h"
#include "ModalDialogs.h"
#include "SuiteSimServer.h"
#include "TKsvApi.h"
#include "TLed.h"

namespace ksv::test {

class TMeasureWindowFixture : public ::testing::Test {
protected:
    std::vector<TModalRequest> shown;
    std::unique_ptr<TMainForm> window;

    void SetUp() override
    {
        SetModalHandler([this](const TModalRequest& request) {
            shown.push_back(request);
            return static_cast<int>(QMessageBox::Ok);
        });
        window = std::make_unique<TMainForm>();
    }

    void TearDown() override
    {
        if (window) {
            window->HandlerBusy = false;
            window->StopMeasurement();
            EXPECT_EQ(MainThread, nullptr);
            window.reset();
        }
        SetModalHandler({});
    }

    // Presents the mezzanines already in ModuleRecord as an opened module:
    // fitted slots checked and enabled, the START button usable.
    void OpenDescribedModule(double seconds, int rateIndex)
    {
        window->HandlerBusy = true;
        window->ModuleState() = 2;
        window->AcquisitionTime() = seconds;
        FORM_UI(window, AdcRateLMDComboBox)->setCurrentIndex(rateIndex);
        for (std::size_t s = 0; s < 8; ++s) {
            const std::string name = FieldText(window->ModuleRecord().Mezzanines[s].MezzanineName);
            window->SlotFrames()[s]->SlotNumberLMDCheckBox->setChecked(IsFittedName(name));
        }
        for (QWidget* w = FORM_UI(window, StartMultimeterLMDSpeedButton); w; w = w->parentWidget()) w->setEnabled(true);
        for (QWidget* w = FORM_UI(window, AllSlotsLMDCheckBox); w; w = w->parentWidget()) w->setEnabled(true);
        FORM_UI(window, AdcIndividualParsLMDGroupBox)->setEnabled(true);
        window->Multimeter().ApplySlotEnabling(true);
        window->Multimeter().UpdateAllSlotsCheckBox();
        window->HandlerBusy = false;
    }

    void ClickStart() { FORM_UI(window, StartMultimeterLMDSpeedButton)->click(); }

    // Serves the window's thread until `done` or the time-out.
    static bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > timeoutMs) return false;
            SleepAndProcessMessages(10);
        }
        return true;
    }

    QString Value(int slot, int channel) const
    {
        const TKsv27AdcChannelFrame* f = window->SlotFrames()[static_cast<std::size_t>(slot)];
        return (channel == 1 ? f->Value1LMDEdit : f->Value2LMDEdit)->text();
    }

    // An updated lamp shows green; an off one the panel's own colour.
    bool LampLit(int slot, int channel) const
    {
        const TKsv27AdcChannelFrame* f = window->SlotFrames()[static_cast<std::size_t>(slot)];
        return (channel == 1 ? f->FlashLed1 : f->FlashLed2)->shownColor() == QColor(0, 255, 0);
    }

    QStringList Texts() const
    {
        QStringList texts;
        for (const TModalRequest& r : shown) texts.push_back(r.Text);
        return texts;
    }
};

// The window fixture with the real libraries and the simulated crate server,
// which runs for a whole suite: a suite's SetUpTestSuite calls StartServer.
class TSimModuleFixture : public TMeasureWindowFixture {
protected:
    static inline std::unique_ptr<simtest::SimServerProcess> server;

    static void StartServer(const char* scenarioJson) { simtest::StartSuiteServer(server, scenarioJson); }
    static void TearDownTestSuite() { simtest::StopSuiteServer(server); }

    // The module in slot 1 of `crate` opened as a discovery opens it
    // (configuration and description read), then shown as opened.
    void OpenSimModule(const char* crate, double seconds)
    {
        TKsvApi& api = KsvApi();
        Ksv27ModuleRecord& r = window->ModuleRecord();
        api.KSV27_Init(&r);
        ASSERT_EQ(api.KSV27_Open(&r, KSV_SERVER_ADDRESS, KSV_SERVER_PORT, crate, 1), 0);
        ASSERT_EQ(api.KSV27_GetConfig(&r), 0);
        ASSERT_EQ(api.KSV27_GetDescription(&r, KSV27_DESCRIPTION_MASK), 0);
        OpenDescribedModule(seconds, 7);
    }

    void TearDown() override
    {
        if (window) {
            window->HandlerBusy = false;
            window->StopMeasurement();
            KsvApi().KSV27_Close(&window->ModuleRecord());
        }
        TMeasureWindowFixture::TearDown();
    }
};

} // namespace ksv::test
