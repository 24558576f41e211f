// The measurement end to end against the simulated crate server: the real
// libraries, a module with known DC levels, and the server's faults.
#include <gtest/gtest.h>

#include <memory>

#include "Ksv27mainform.h"
#include "Mainthread.h"
#include "MeasureMessages.h"
#include "SimServerProcess.h"
#include "TKsvApi.h"
#include "WindowTestSupport.h"

namespace {

namespace msg = ksv::msg;

constexpr const char* kCrate = "KSV-M-0001";

constexpr const char* kScenario = R"json({
  "crates": [ { "serial": "KSV-M-0001", "slots": [
    { "slot": 1, "id": 6939, "name": "KSV27", "serial": "27M-0001", "firmware": "1.2.3.4",
      "mezzanines": [
        { "name": "U10", "serial": "M1", "channels": [ { "dc": 0.5 }, { "dc": -0.25 } ] },
        { "name": "I5", "serial": "M2", "channels": [ { "dc": 0.25 }, { "dc": 1.0 } ] },
        { "name": "R100", "serial": "M3", "channels": [ { "dc": 100.0 }, { "dc": 0.3 } ] },
        { "name": "T", "serial": "M4", "channels": [ { "dc": 2.5 }, { "dc": -4.0 } ] },
        { "name": "U20", "serial": "M5", "channels": [ { "dc": 1.5 }, { "dc": 0.001 } ] },
        { "name": "EMPTY" },
        { "name": "I10", "serial": "M7", "coefs": [0.5, 2.0, 0.0, 1.0],
          "channels": [ { "dc": 3.25 }, { "dc": -2.5 } ] },
        { "name": "UDEF" }
      ] } ] } ]
})json";

class MeasureSimTest : public ksv::test::TMeasureWindowFixture {
protected:
    static inline std::unique_ptr<ksv::simtest::SimServerProcess> server;

    static void SetUpTestSuite()
    {
        server = std::make_unique<ksv::simtest::SimServerProcess>();
        ksv::simtest::SimServerOptions options;
        options.ScenarioJson = kScenario;
        if (!server->Start(options)) return;
        server->ExportPort();
        ksv::SetKsvApi(nullptr);
        ksv::SetKsvLibraryFolder(ksv::simtest::ExecutableFolder().c_str());
    }
    static void TearDownTestSuite()
    {
        if (server) server->Stop();
        server.reset();
    }

    void SetUp() override
    {
        ASSERT_TRUE(server && server->Running()) << (server ? server->Error() : std::string());
        ASSERT_TRUE(server->Control("clear"));
        TMeasureWindowFixture::SetUp();
        // The module opened as a discovery opens it: configuration and description read.
        ksv::TKsvApi& api = ksv::KsvApi();
        Ksv27ModuleRecord& r = window->ModuleRecord;
        api.KSV27_Init(&r);
        ASSERT_EQ(api.KSV27_Open(&r, KSV_SERVER_ADDRESS, KSV_SERVER_PORT, kCrate, 1), 0);
        ASSERT_EQ(api.KSV27_GetConfig(&r), 0);
        ASSERT_EQ(api.KSV27_GetDescription(&r, KSV27_DESCRIPTION_MASK), 0);
        OpenDescribedModule(0.2, 7);
    }

    void TearDown() override
    {
        if (window) {
            window->HandlerBusy = false;
            window->StopMeasurement();
            ksv::KsvApi().KSV27_Close(&window->ModuleRecord);
        }
        TMeasureWindowFixture::TearDown();
        if (server) server->Control("clear");
    }

    void Fault(const std::string& op, const std::string& mode)
    {
        ASSERT_TRUE(server->Control(std::string("fault crate=") + kCrate + " slot=1 " + op + "=" + mode));
    }
};

TEST_F(MeasureSimTest, ShowsTheConfiguredLevelsInEveryFittedCheckedSlot)
{
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Value(0, 1) == "500.000"; })) << Value(0, 1).toStdString();
    EXPECT_EQ(Value(0, 2), "-250.000");
    EXPECT_EQ(Value(1, 1), "0.2500");
    EXPECT_EQ(Value(1, 2), "1.0000");
    EXPECT_EQ(Value(2, 1), "100.000");
    EXPECT_EQ(Value(2, 2), "--------");
    EXPECT_EQ(Value(3, 1), "2.500");
    EXPECT_EQ(Value(3, 2), "-4.000");
    EXPECT_EQ(Value(4, 1), "1500.000");
    EXPECT_EQ(Value(4, 2), "1.000");
    // Its description's coefficients went to the module: the raw codes of
    // this slot read right only with them.
    EXPECT_EQ(Value(6, 1), "3.2500");
    EXPECT_EQ(Value(6, 2), "-2.5000");
    ASSERT_TRUE(WaitUntil([&] { return LampLit(0, 1) && LampLit(6, 2); }));
    EXPECT_FALSE(LampLit(2, 2));
    EXPECT_TRUE(shown.empty());

    ClickStart();
    EXPECT_EQ(MainThread, nullptr);
    EXPECT_EQ(Value(0, 1), "500.000");
    EXPECT_EQ(window->StartMultimeterLMDSpeedButton->text(), QStringLiteral("С   Т   А   Р   Т"));
}

TEST_F(MeasureSimTest, EscapeAndASlotChangeStopTheRun)
{
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Value(0, 1) == "500.000"; }));
    window->EscapeKeyPressed();
    EXPECT_EQ(MainThread, nullptr);
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return window->StartMultimeterLMDSpeedButton->text() == QStringLiteral("С   Т   О   П"); }));
    window->SlotFrames[4]->SlotNumberLMDCheckBox->click();
    EXPECT_EQ(MainThread, nullptr);
    EXPECT_EQ(Value(4, 1), "--------");
    EXPECT_TRUE(shown.empty());
}

struct TSimFault {
    const char* name;
    const char* op;
    const char* mode;
    const char* message;
};

class MeasureSimFaultTest : public MeasureSimTest, public ::testing::WithParamInterface<TSimFault> {};

TEST_P(MeasureSimFaultTest, ShowsItsMessageOnceAndTheNextRunWorks)
{
    const TSimFault& f = GetParam();
    Fault(f.op, f.mode);
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return !shown.empty() && window->AcquisitionIdle; })) << f.name;
    ksv::SleepAndProcessMessages(200);
    EXPECT_EQ(Texts(), QStringList{QString::fromUtf8(f.message)}) << f.name;
    EXPECT_FALSE(window->StartMultimeterLMDSpeedButton->isChecked());

    ASSERT_TRUE(server->Control("clear"));
    ClickStart();
    EXPECT_TRUE(WaitUntil([&] { return Value(0, 1) == "500.000"; })) << f.name;
    ClickStart();
    EXPECT_EQ(shown.size(), 1u) << f.name;
}

INSTANTIATE_TEST_SUITE_P(Faults, MeasureSimFaultTest,
                         ::testing::Values(TSimFault{"SetConfig", "setconfig", "fail", msg::kSetConfigFailed},
                                           TSimFault{"Start", "start", "fail", msg::kAdcStartFailed},
                                           TSimFault{"RecvError", "recv", "fail", msg::kRecvFailed},
                                           TSimFault{"RecvZero", "recv", "zero", msg::kRecvNothing},
                                           TSimFault{"RecvShort", "recv", "short", msg::kRecvWrongCount},
                                           TSimFault{"ProcessData", "processdata", "fail", msg::kProcessFailed},
                                           TSimFault{"Stop", "stop", "fail", msg::kConfigStopFailed}),
                         [](const ::testing::TestParamInfo<TSimFault>& info) { return std::string(info.param.name); });

} // namespace
