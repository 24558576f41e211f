// The engine against the simulated crate server: the real libraries, the
// inventory's limits, the server's faults, and a stop during a cycle.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "DeviceEngine.h"
#include "MeasureEngine.h"
#include "SimServerProcess.h"
#include "SuiteSimServer.h"
#include "TKsvApi.h"

using namespace ksv;

namespace {

// Seventeen crates (one more than the list holds); the first holds two
// KSV27 and a module of another kind, the last listed holds one in slot 16.
std::string Scenario()
{
    std::string json = R"({"crates": [ { "serial": "E-00", "slots": [
      { "slot": 1, "serial": "27E-1", "firmware": "3.2.1.0", "mezzanines": [
        { "name": "U10", "serial": "MZ-1", "channels": [ { "dc": 0.5 }, { "dc": -0.25 } ] },
        { "name": "I5", "channels": [ { "dc": 0.25 }, { "dc": 1.0 } ] },
        { "name": "R100", "channels": [ { "dc": 100.0 }, { "dc": 0.3 } ] } ] },
      { "slot": 2, "id": 4660 },
      { "slot": 3, "serial": "27E-3" } ] })";
    for (int c = 1; c < 17; ++c) {
        const std::string serial = (c < 10 ? "E-0" : "E-") + std::to_string(c);
        json += R"(, { "serial": ")" + serial + R"(", "slots": [ { "slot": 16, "serial": "27-)" + serial + R"(" } ] })";
    }
    return json + "] }";
}

class EngineSim : public ::testing::Test {
protected:
    static inline std::unique_ptr<simtest::SimServerProcess> server;

    static void SetUpTestSuite() { simtest::StartSuiteServer(server, Scenario()); }
    static void TearDownTestSuite() { simtest::StopSuiteServer(server); }
    void SetUp() override
    {
        ASSERT_TRUE(server && server->Running()) << (server ? server->Error() : std::string());
        ASSERT_TRUE(server->Control("clear"));
    }
    void TearDown() override { device.CloseModule(); }

    TDeviceEngine device;
};

TEST_F(EngineSim, ListsSixteenCratesAndTheirModules)
{
    ASSERT_TRUE(device.FindModules("E-15", 16));
    EXPECT_EQ(device.ListedCrates().size(), 16u) << "the crate list holds sixteen";
    const auto& modules = device.Modules();
    ASSERT_EQ(modules.size(), 17u);
    EXPECT_EQ(modules[0].Slot, 1);
    EXPECT_EQ(modules[1].Slot, 3) << "the module of another kind is no KSV27";
    EXPECT_EQ(modules[0].Firmware, "3.2.1.0");
    EXPECT_EQ(modules[0].Mezzanines[0].Name, "U10");
    EXPECT_EQ(modules[0].Mezzanines[0].Serial, "MZ-1");
    EXPECT_EQ(modules[16].CrateSerial, "E-15");
    EXPECT_EQ(device.ChosenCrateSerial(), "E-15");
    EXPECT_EQ(device.ChosenSlot(), 16);
}

TEST_F(EngineSim, ServerFaultsGiveTheWindowsTexts)
{
    ASSERT_TRUE(server->Control("fault list=fail"));
    EXPECT_EQ(device.FindModules("", 0).Message, discovery_text::kNoCrate);
    ASSERT_TRUE(server->Control("clear"));
    ASSERT_TRUE(device.FindModules("E-00", 1));
    ASSERT_TRUE(server->Control("fault crate=E-00 slot=1 getdescription=fail"));
    EXPECT_TRUE(device.OpenChosenModule().Failed());
    ASSERT_TRUE(server->Control("clear"));
    ASSERT_TRUE(device.OpenChosenModule());

    TMeasureEngine measure(device.Record());
    TMeasureRequest request;
    request.RateIndex = 5; // 200 Hz
    request.AcquisitionTime = 0.2;
    request.SlotChecked.fill(true);
    ASSERT_TRUE(server->Control("fault crate=E-00 slot=1 setconfig=fail"));
    EXPECT_EQ(measure.Configure(request).Message, msg::kSetConfigFailed);
    ASSERT_TRUE(server->Control("clear"));
    ASSERT_TRUE(measure.Configure(request));
    ASSERT_TRUE(measure.Allocate());

    TCycleResult cycle;
    ASSERT_TRUE(measure.MeasureCycle(cycle));
    EXPECT_EQ(cycle.Channels[0].Text, "500.000");
    EXPECT_EQ(cycle.Channels[1].Text, "-250.000");
    EXPECT_EQ(cycle.Channels[2].Text, "0.2500");
    EXPECT_EQ(cycle.Channels[4].Text, "100.000");

    ASSERT_TRUE(server->Control("fault crate=E-00 slot=1 recv=zero:once"));
    EXPECT_EQ(measure.MeasureCycle(cycle).Message, msg::kRecvNothing);
    ASSERT_TRUE(server->Control("fault crate=E-00 slot=1 processdata=fail:once"));
    EXPECT_EQ(measure.MeasureCycle(cycle).Message, msg::kProcessFailed);
    EXPECT_TRUE(measure.MeasureCycle(cycle)) << "a failed cycle leaves the module usable";
    EXPECT_TRUE(measure.Finish());
}

TEST_F(EngineSim, AStopDuringACycleEndsItAndFreesTheModule)
{
    ASSERT_TRUE(device.FindModules("E-00", 1));
    ASSERT_TRUE(device.OpenChosenModule());
    TMeasureEngine measure(device.Record());
    TMeasureRequest request;
    request.RateIndex = 0; // 5 Hz: a read of one frame takes 0.2 s
    request.AcquisitionTime = 30.0;
    request.SlotChecked.fill(true);
    ASSERT_TRUE(measure.Configure(request));
    ASSERT_TRUE(measure.Allocate());
    std::thread stopper([&measure] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        measure.RequestStop();
    });
    const auto t0 = std::chrono::steady_clock::now();
    TCycleResult cycle;
    const TEngineStatus status = measure.MeasureCycle(cycle);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    stopper.join();
    EXPECT_TRUE(status.Stopped());
    EXPECT_LT(s, 5.0) << "a thirty-second cycle ends soon after the stop";
    EXPECT_TRUE(measure.Finish());
    device.CloseModule();
    EXPECT_FALSE(device.ModuleOpen());
}

} // namespace
