// The measurement engine against the scripted module: each configuration
// and cycle failure with its text, what a cycle hands back, and a stop from
// another thread.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "MeasureEngine.h"
#include "FakeKsvApi.h"

using namespace ksv;

namespace {

class MeasureEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetKsvApi(&api);
        test::TFakeKsvApi::Describe(record, {"U10", "I5", "R100", "EMPTY", "T", "X9", "U01", "I20"});
        api.SetLevel(0, 0.5);
        api.SetLevel(2, 0.25);
        api.SetLevel(4, 100.0);
        api.SetLevel(5, 7.0);
        request.RateIndex = 4; // 100 Hz
        request.AcquisitionTime = 0.2;
        request.SlotChecked.fill(true);
        request.SlotChecked[7] = false;
    }
    void TearDown() override { SetKsvApi(nullptr); }

    test::TFakeKsvApi api;
    Ksv27ModuleRecord record{};
    TMeasureEngine engine{record};
    TMeasureRequest request;
};

TEST_F(MeasureEngineTest, ConfigurationFailuresCarryTheirTexts)
{
    struct Case {
        const char* What;
        std::function<void(TMeasureRequest&, test::TFakeKsvApi&)> Spoil;
        const char* Text;
    };
    const Case cases[] = {
        {"stop", [](TMeasureRequest&, test::TFakeKsvApi& a) { a.AdcStopFailFrom = 0; }, msg::kConfigStopFailed},
        {"no rate", [](TMeasureRequest& r, test::TFakeKsvApi&) { r.RateIndex = -1; }, msg::kRateError},
        {"rate text", [](TMeasureRequest& r, test::TFakeKsvApi&) { r.RateText = "  50.0"; }, msg::kRateError},
        {"no slot", [](TMeasureRequest& r, test::TFakeKsvApi&) { r.SlotChecked.fill(false); }, msg::kNoActiveChannel},
        {"set config", [](TMeasureRequest&, test::TFakeKsvApi& a) { a.SetConfigResult = -1; }, msg::kSetConfigFailed},
        {"time", [](TMeasureRequest& r, test::TFakeKsvApi&) { r.AcquisitionTime = NAN; }, msg::kBadAcquisitionTime},
    };
    for (const Case& c : cases) {
        test::TFakeKsvApi local;
        SetKsvApi(&local);
        TMeasureRequest spoilt = request;
        c.Spoil(spoilt, local);
        const TEngineStatus status = engine.Configure(spoilt);
        EXPECT_TRUE(status.Failed()) << c.What;
        EXPECT_EQ(status.Message, c.Text) << c.What;
        EXPECT_EQ(local.SetConfigCalls > 0, c.Text == msg::kSetConfigFailed || c.Text == msg::kBadAcquisitionTime)
            << c.What << ": the module is configured only once everything before it holds";
    }
    SetKsvApi(&api);
}

TEST_F(MeasureEngineTest, ACycleGivesTheWindowsTextsValuesAndUnits)
{
    ASSERT_TRUE(engine.Configure(request));
    EXPECT_EQ(api.ConfiguredDivisor, 9);
    EXPECT_EQ(api.ConfiguredCoefs[2][1], 21.5) << "the description's coefficients are configured";
    EXPECT_EQ(engine.Sizes().SamplesPerChannel, 20u);
    ASSERT_TRUE(engine.Allocate());

    TCycleResult cycle;
    ASSERT_TRUE(engine.MeasureCycle(cycle));
    const auto& ch = cycle.Channels;
    EXPECT_EQ(ch[0].Text, "500.000");
    EXPECT_DOUBLE_EQ(ch[0].Value, 500.0);
    EXPECT_EQ(ch[0].Unit, TChannelUnit::Millivolt);
    EXPECT_TRUE(ch[0].Valid);
    EXPECT_EQ(ch[2].Text, "0.2500");
    EXPECT_EQ(ch[2].Unit, TChannelUnit::Milliamp);
    EXPECT_EQ(ch[4].Text, "100.000");
    EXPECT_EQ(ch[5].Text, "--------") << "a resistance mezzanine has one value";
    EXPECT_TRUE(ch[5].Active);
    EXPECT_FALSE(ch[5].Valid);
    EXPECT_FALSE(ch[6].Active) << "an empty slot takes no part";
    EXPECT_FALSE(ch[10].Valid) << "a mezzanine of no known kind shows nothing";
    EXPECT_TRUE(ch[10].Active);
    EXPECT_FALSE(ch[14].Active) << "an unchecked slot takes no part";
    EXPECT_EQ(ch[14].Text, "--------");
    EXPECT_EQ(ch[14].MezzanineName, "I20");

    ASSERT_TRUE(engine.MeasureCycle(cycle));
    EXPECT_EQ(cycle.Index, 1u);
    EXPECT_TRUE(engine.Finish());

    const TRunDescription run = engine.Describe("C-1", 3);
    EXPECT_EQ(run.Slot, 3);
    EXPECT_DOUBLE_EQ(run.RateHz, 100.0);
    EXPECT_EQ(run.MezzanineNames[2], "R100");
    EXPECT_FALSE(run.SlotActive[3]);
}

TEST_F(MeasureEngineTest, TheFirstFailureOfACycleWins)
{
    ASSERT_TRUE(engine.Configure(request));
    ASSERT_TRUE(engine.Allocate());
    TCycleResult cycle;
    api.SetRecvScript([](int, std::uint32_t) { return -1; });
    api.AdcStopFailFrom = api.AdcStopCalls + 0;
    TEngineStatus status = engine.MeasureCycle(cycle);
    EXPECT_EQ(status.Message, msg::kRecvFailed) << "not the stop failure that followed it";

    api.SetRecvScript({});
    api.AdcStopFailFrom = -1;
    api.ProcessDataResult = -1;
    status = engine.MeasureCycle(cycle);
    EXPECT_EQ(status.Message, msg::kProcessFailed);

    api.AdcStopFailFrom = 0;
    EXPECT_EQ(engine.Finish().Message, msg::kEndStopFailed);
    TCycleResult none;
    EXPECT_TRUE(engine.MeasureCycle(none).Stopped()) << "no buffers after the end of a run";
}

TEST_F(MeasureEngineTest, AStopFromAnotherThreadIsSeenBetweenReads)
{
    request.AcquisitionTime = 60.0;
    ASSERT_TRUE(engine.Configure(request));
    ASSERT_TRUE(engine.Allocate());
    api.Paced = true;
    api.PaceRateHz = 100.0; // each read of a tenth of a second takes that long
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        engine.RequestStop();
    });
    const auto t0 = std::chrono::steady_clock::now();
    TCycleResult cycle;
    const TEngineStatus status = engine.MeasureCycle(cycle);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
    stopper.join();
    EXPECT_TRUE(status.Stopped());
    EXPECT_LT(ms.count(), 5000) << "a minute's cycle ends soon after the stop";
    EXPECT_EQ(api.AdcStopCalls, api.AdcStartCalls + 1) << "the read is followed by its ADC stop";
}

} // namespace
