// Several modules of one crate scanned as one instrument, against the
// simulated crate server: one time stamp per scan, each module's own
// levels, and a module that fails while the others keep measuring.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "CrateScan.h"
#include "SimServerProcess.h"
#include "SuiteSimServer.h"

using namespace ksv;

namespace {

// Three KSV27 (slots 2, 5, 9) with levels of their own, and a foreign
// module in slot 3.
const char* const kCrate = R"({"crates": [ { "serial": "SCAN-1", "slots": [
  { "slot": 2, "serial": "27S-2", "mezzanines": [
    { "name": "U10", "channels": [ { "dc": 1.5 }, { "dc": -2.0 } ] } ] },
  { "slot": 3, "id": 4660 },
  { "slot": 5, "serial": "27S-5", "mezzanines": [
    { "name": "I20", "channels": [ { "dc": 4.0 }, { "dc": 20.0 } ] },
    { "name": "EMPTY" }, { "name": "U01", "channels": [ { "dc": 0.25 }, { "dc": 0.5 } ] } ] },
  { "slot": 9, "serial": "27S-9", "mezzanines": [
    { "name": "R100", "channels": [ { "dc": 47.0 }, { "dc": 0.1 } ] } ] } ] } ] })";

class CrateScanSim : public ::testing::Test {
protected:
    static inline std::unique_ptr<simtest::SimServerProcess> server;
    static void SetUpTestSuite() { simtest::StartSuiteServer(server, kCrate); }
    static void TearDownTestSuite() { simtest::StopSuiteServer(server); }
    void SetUp() override
    {
        ASSERT_TRUE(server && server->Running()) << (server ? server->Error() : std::string());
        ASSERT_TRUE(server->Control("clear"));
    }

    static TCrateScanRequest Request()
    {
        TCrateScanRequest request;
        request.CrateSerial = "SCAN-1";
        request.Slots = {2, 5, 9};
        request.RateIndex = 7; // 1000 Hz
        request.AcquisitionTime = 0.05;
        request.RetryInterval = std::chrono::hours(1); // only Reopen retries here
        return request;
    }

    std::vector<TModuleFault> Faults()
    {
        std::lock_guard lock(mutex_);
        return faults_;
    }
    TCrateScan::TFaultSink Sink()
    {
        return [this](const TModuleFault& fault) {
            std::lock_guard lock(mutex_);
            faults_.push_back(fault);
        };
    }

private:
    std::mutex mutex_;
    std::vector<TModuleFault> faults_;
};

double Value(const TScan& scan, std::size_t module, int channel)
{
    return scan.Modules[module].Cycle.Channels[static_cast<std::size_t>(channel)].Value;
}

TEST_F(CrateScanSim, EveryModuleMeasuresItsOwnLevelsUnderOneTime)
{
    TCrateScan crate(Request(), Sink());
    crate.Start();
    TScan scan;
    for (std::uint64_t index = 0; index < 2; ++index) {
        ASSERT_TRUE(crate.Scan(scan));
        EXPECT_EQ(scan.Index, index);
        ASSERT_EQ(scan.Modules.size(), 3u);
        for (const TModuleScan& module : scan.Modules) {
            EXPECT_TRUE(module.Measured) << "slot " << module.Slot;
            EXPECT_EQ(module.Cycle.StartTime, scan.StartTime) << "one time stamp per scan";
            EXPECT_EQ(module.Cycle.Index, index);
        }
    }
    EXPECT_EQ(scan.Modules[1].Slot, 5);
    EXPECT_NEAR(Value(scan, 0, 0), 1500.0, 0.01); // mV
    EXPECT_NEAR(Value(scan, 0, 1), -2000.0, 0.01);
    EXPECT_NEAR(Value(scan, 1, 1), 20.0, 1e-4); // mA
    EXPECT_FALSE(scan.Modules[1].Cycle.Channels[2].Active) << "an EMPTY mezzanine";
    EXPECT_NEAR(Value(scan, 1, 5), 500.0, 0.01);
    EXPECT_NEAR(Value(scan, 2, 0), 47.0, 0.01); // Ohm
    EXPECT_TRUE(Faults().empty());
    const auto modules = crate.Modules();
    EXPECT_EQ(modules[2].Info.ModuleSerial, "27S-9");
    EXPECT_EQ(modules[0].Run.MezzanineNames[0], "U10");
}

TEST_F(CrateScanSim, AFailingModuleIsReportedOnceAndOpensAgain)
{
    TCrateScan crate(Request(), Sink());
    crate.Start();
    ASSERT_TRUE(server->Control("fault crate=SCAN-1 slot=5 recv=drop"));
    TScan scan;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(crate.Scan(scan));
        EXPECT_TRUE(scan.Modules[0].Measured);
        EXPECT_FALSE(scan.Modules[1].Measured);
        EXPECT_TRUE(scan.Modules[2].Measured);
        EXPECT_FALSE(scan.Modules[1].Cycle.Channels[0].Valid);
        EXPECT_TRUE(scan.Modules[1].Cycle.Channels[0].Active) << "its channels stay in the scan, without values";
        crate.Reopen(); // the fault stays: it opens and fails again at its next read
    }
    const auto faults = Faults();
    ASSERT_EQ(faults.size(), 1u) << "one report until the module measured again";
    EXPECT_EQ(faults[0].Slot, 5);

    ASSERT_TRUE(server->Control("clear"));
    crate.Reopen();
    ASSERT_TRUE(crate.Scan(scan));
    EXPECT_TRUE(scan.Modules[1].Measured);
    EXPECT_NEAR(Value(scan, 1, 0), 4.0, 1e-4);
}

TEST_F(CrateScanSim, AStopEndsTheScan)
{
    TCrateScanRequest request = Request();
    request.AcquisitionTime = 30.0;
    TCrateScan crate(request, Sink());
    crate.Start();
    std::thread stopper([&crate] { crate.RequestStop(); });
    TScan scan;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(crate.Scan(scan));
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << "not the whole 30 s cycle";
    EXPECT_TRUE(Faults().empty());
}

} // namespace
