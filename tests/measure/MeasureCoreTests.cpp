// The measurement's arithmetic, display rules, slot rules and read cycle,
// without the toolkit.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "AdcRates.h"
#include "FakeKsvApi.h"
#include "MeasureCore.h"
#include "MeasureMessages.h"
#include "ReadCycle.h"
#include "SlotRules.h"
#include "ThreadDialogLayout.h"

namespace ksv {
namespace {

// ---- cycle sizes -------------------------------------------------------------

TEST(CycleSizes, WorkedValuesAtTheLowestAndHighestRate)
{
    const auto slow = ComputeCycleSizes(5.0, 1.0);
    ASSERT_TRUE(slow);
    EXPECT_EQ(slow->TotalSamples, 80u);
    EXPECT_EQ(slow->TotalWords, 80u);
    EXPECT_EQ(slow->SamplesPerChannel, 5u);
    EXPECT_EQ(slow->RecvBlockSize, 16u);

    const auto fast = ComputeCycleSizes(1000.0, 1.0);
    ASSERT_TRUE(fast);
    EXPECT_EQ(fast->TotalSamples, 16000u);
    EXPECT_EQ(fast->SamplesPerChannel, 1000u);
    EXPECT_EQ(fast->RecvBlockSize, 1600u);
}

TEST(CycleSizes, RoundsToWholeFramesAndCapsTheBlock)
{
    // 0.33 s at 20 Hz: 105.6 + 0.5 -> 106 samples -> 6 frames = 96 words.
    const auto s = ComputeCycleSizes(20.0, 0.33);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->SamplesPerChannel, 6u);
    EXPECT_EQ(s->TotalWords, 96u);
    EXPECT_EQ(s->TotalSamples, s->TotalWords);
    EXPECT_EQ(s->RecvBlockSize, 32u);

    // 0.995 s at 5 Hz: 79.6 words round up to 80, five samples per channel;
    // a truncation would give 79 words and only four.
    const auto nearlyOne = ComputeCycleSizes(5.0, 0.995);
    ASSERT_TRUE(nearlyOne);
    EXPECT_EQ(nearlyOne->SamplesPerChannel, 5u);
    EXPECT_EQ(nearlyOne->TotalWords, 80u);

    // A cycle shorter than one read: the block is the whole cycle.
    const auto shortCycle = ComputeCycleSizes(1000.0, 0.05);
    ASSERT_TRUE(shortCycle);
    EXPECT_EQ(shortCycle->TotalWords, 800u);
    EXPECT_EQ(shortCycle->RecvBlockSize, 800u);
}

TEST(CycleSizes, TimeShorterThanOneFrameGivesNoSamples)
{
    for (double t : {0.0, 0.1, 0.18}) { // 5 Hz: t * 80 + 0.5 < 16
        const auto s = ComputeCycleSizes(5.0, t);
        ASSERT_TRUE(s) << t;
        EXPECT_EQ(s->SamplesPerChannel, 0u) << t;
        EXPECT_EQ(s->TotalWords, 0u) << t;
        EXPECT_EQ(s->RecvBlockSize, 0u) << t;
    }
}

TEST(CycleSizes, RejectsTimesAndRatesThatGiveNoCountableCycle)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double t : {-0.001, -1.0, inf, -inf, nan, 1e9, 4294967296.0 / 16000.0})
        EXPECT_FALSE(ComputeCycleSizes(1000.0, t)) << t;
    for (double f : {0.0, -5.0, inf, nan}) EXPECT_FALSE(ComputeCycleSizes(f, 1.0)) << f;

    // The largest accepted cycle still leaves room for the 16 extra entries.
    const double longest = (kMaxTotalSamples - 1.0) / 16000.0;
    const auto s = ComputeCycleSizes(1000.0, longest);
    ASSERT_TRUE(s);
    EXPECT_LE(s->TotalSamples, kMaxTotalSamples);
    EXPECT_GT(s->TotalSamples + 16u, s->TotalSamples);
}

// ---- rate --------------------------------------------------------------------

TEST(Rate, ChoosesFromTheTablesAndRefusesNoSelection)
{
    std::array<double, 8> rates{};
    for (std::size_t k = 0; k < 8; ++k) rates[k] = AdcRateFromDivisor(kAdcRateDivisors[k]);
    const auto first = ChooseRate(0, rates, kAdcRateDivisors);
    ASSERT_TRUE(first);
    EXPECT_DOUBLE_EQ(first->RateHz, 5.0);
    EXPECT_EQ(first->Divisor, 199);
    const auto last = ChooseRate(7, rates, kAdcRateDivisors);
    ASSERT_TRUE(last);
    EXPECT_DOUBLE_EQ(last->RateHz, 1000.0);
    EXPECT_EQ(last->Divisor, 0);
    for (int bad : {-1, 8, 100, -100}) EXPECT_FALSE(ChooseRate(bad, rates, kAdcRateDivisors)) << bad;
}

TEST(Rate, ItemTextMustAgreeWithinOneHertz)
{
    for (std::size_t k = 0; k < 8; ++k) {
        const double rate = AdcRateFromDivisor(kAdcRateDivisors[k]);
        EXPECT_TRUE(RateMatchesText(rate, AdcRateText(rate))) << k;
    }
    EXPECT_TRUE(RateMatchesText(10.0, "  11.0 "));
    EXPECT_FALSE(RateMatchesText(10.0, "11.5"));
    EXPECT_FALSE(RateMatchesText(1000.0, "     500.0"));
    // Not one number: never a match.
    for (const char* text : {"", "   ", "5,0", "5.0 Hz", "abc", "5.0.0"}) EXPECT_FALSE(RateMatchesText(5.0, text)) << text;
}

TEST(Rate, ParsingIgnoresTheLocale)
{
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "ru_RU.UTF-8")) {
        EXPECT_EQ(ParseRateText("   200.0"), 200.0);
        EXPECT_EQ(FormatFixed(0.25, 4), "0.2500");
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

// ---- averaging ---------------------------------------------------------------

TEST(Averaging, RectangularWindowGivesTheArithmeticMean)
{
    std::vector<double> w(5, 0.0);
    BuildWindow(w.data(), 5);
    for (double v : w) EXPECT_EQ(v, 1.0);
    const double x[5] = {1.0, 2.0, 3.0, 4.0, 10.0};
    EXPECT_DOUBLE_EQ(WeightedMean(x, w.data(), 5, 5.0), 4.0);
}

TEST(Averaging, EmptyCycleHasNoValueInsteadOfADivisionByZero)
{
    const double x[1] = {7.0};
    const double w[1] = {1.0};
    EXPECT_TRUE(std::isnan(WeightedMean(x, w, 0, 0.0)));
    EXPECT_TRUE(std::isnan(WeightedMean(x, w, 1, 0.0)));
    EXPECT_EQ(SlotValueTexts(true, "U10", WeightedMean(x, w, 0, 0.0), 1.0).Value1, kNoValueText);
}

struct TNeverStop final : TRunControl {
    bool RunTerminated() const override { return false; }
    bool RunStopRequested() const override { return false; }
    void ReportFailure(const char*) override {}
};

TEST(Averaging, GathersEachActiveChannelOutOfTheFrames)
{
    constexpr std::uint32_t n = 4;
    std::vector<double> data(n * 16);
    for (std::uint32_t j = 0; j < n; ++j)
        for (int c = 0; c < 16; ++c) data[j * 16 + static_cast<std::uint32_t>(c)] = 100.0 * c + j; // mean 100c + 1.5
    std::array<std::uint16_t, 16> index{};
    for (std::uint16_t i = 0; i < 16; ++i) index[i] = i;
    std::array<bool, 8> active{true, false, true, false, false, false, false, true};
    std::vector<double> window(n + 16), perChannel(n + 16);
    BuildWindow(window.data(), n);
    std::array<double, 16> value;
    value.fill(-1.0);
    TNeverStop run;
    ASSERT_TRUE(GatherChannelValues(data.data(), n, index, active, window.data(), n, perChannel.data(), value, run));
    for (int i = 0; i < 16; ++i) {
        if (active[static_cast<std::size_t>(i / 2)])
            EXPECT_DOUBLE_EQ(value[static_cast<std::size_t>(i)], 100.0 * i + 1.5) << i;
        else
            EXPECT_EQ(value[static_cast<std::size_t>(i)], 0.0) << i;
    }
}

struct TStopAfter final : TRunControl {
    mutable int checksLeft;
    explicit TStopAfter(int checks) : checksLeft(checks) {}
    bool RunTerminated() const override { return checksLeft-- <= 0; }
    bool RunStopRequested() const override { return false; }
    void ReportFailure(const char*) override {}
};

TEST(Averaging, StopRequestEndsTheGatheringBetweenChannels)
{
    std::vector<double> data(16, 2.0), window(17, 1.0), perChannel(17);
    std::array<std::uint16_t, 16> index{};
    for (std::uint16_t i = 0; i < 16; ++i) index[i] = i;
    std::array<bool, 8> active;
    active.fill(true);
    std::array<double, 16> value{};
    TStopAfter run(2); // the mean of channel 0 is taken, then the stop is seen
    EXPECT_FALSE(GatherChannelValues(data.data(), 1, index, active, window.data(), 1.0, perChannel.data(), value, run));
    EXPECT_EQ(value[0], 2.0);
    EXPECT_EQ(value[1], 0.0);
}

// ---- display -----------------------------------------------------------------

TEST(Display, ValueTextsByKind)
{
    struct Row {
        bool checked;
        const char* name;
        double y1, y2;
        const char* v1;
        const char* v2;
    } rows[] = {
        {true, "U10", 0.5, -0.25, "500.000", "-250.000"},
        {true, "U20", 1.23456, 0.0, "1234.560", "0.000"},
        {true, "U01", 0.0000004, 0.0, "0.000", "0.000"},
        {true, "T", 23.45678, -4.0, "23.457", "-4.000"},
        {true, "I5", 0.25, 1.0, "0.2500", "1.0000"},
        {true, "I10", -0.00004, 0.0, "0.0000", "0.0000"},
        {true, "I20", 19.99996, 0.0, "20.0000", "0.0000"},
        {true, "R100", 100.0, 5.0, "100.000", "--------"},
        {true, "R250", 249.9994, 5.0, "249.999", "--------"},
        {false, "U10", 0.5, 0.5, "--------", "--------"},
        {false, "R100", 100.0, 0.0, "--------", "--------"},
        {true, "X7", 1.0, 1.0, "--------", "--------"},
        {true, "u10", 1.0, 1.0, "--------", "--------"},
        {true, "EMPTY", 1.0, 1.0, "--------", "--------"},
        {true, "", 1.0, 1.0, "--------", "--------"},
    };
    for (const Row& r : rows) {
        const TSlotValueTexts t = SlotValueTexts(r.checked, r.name, r.y1, r.y2);
        EXPECT_EQ(t.Value1, r.v1) << r.name << ' ' << r.y1;
        EXPECT_EQ(t.Value2, r.v2) << r.name << ' ' << r.y2;
    }
}

TEST(Display, ValuesThatAreNotNumbersShowNoValue)
{
    EXPECT_EQ(FormatFixed(std::numeric_limits<double>::quiet_NaN(), 3), kNoValueText);
    EXPECT_EQ(FormatFixed(std::numeric_limits<double>::infinity(), 4), kNoValueText);
    EXPECT_EQ(FormatFixed(-std::numeric_limits<double>::infinity(), 3), kNoValueText);
    // The largest double still formats in full.
    const std::string huge = FormatFixed(std::numeric_limits<double>::max(), 4);
    EXPECT_EQ(huge.size(), 309u + 5u);
}

TEST(Display, LampsAfterTheUpdate)
{
    using L = TLampUpdate;
    struct Row {
        bool checked;
        const char* name;
        L lamp1, lamp2;
    } rows[] = {
        {true, "U10", L::Updated, L::Updated},
        {true, "I5", L::Updated, L::Updated},
        {true, "T", L::Updated, L::Updated},
        {true, "R100", L::Updated, L::Unchanged},
        {true, "R250", L::Updated, L::Unchanged},
        {false, "U10", L::Off, L::Off},
        {false, "R100", L::Off, L::Off},
        {true, "EMPTY", L::Unchanged, L::Unchanged},
        {false, "UDEF", L::Unchanged, L::Unchanged},
        {true, "Q", L::Updated, L::Updated},
    };
    for (const Row& r : rows) {
        const TSlotLamps lamps = SlotUpdateMarks(r.checked, r.name);
        EXPECT_EQ(lamps.Lamp1, r.lamp1) << r.name << r.checked;
        EXPECT_EQ(lamps.Lamp2, r.lamp2) << r.name << r.checked;
    }
}

// ---- slot rules --------------------------------------------------------------

TEST(SlotRules, AgreementOfTheFittedSlots)
{
    std::array<std::string, 8> names{"U10", "I5", "EMPTY", "UDEF", "EMPTY", "EMPTY", "EMPTY", "EMPTY"};
    std::array<bool, 8> checked{true, false, false, false, false, false, false, false};
    TSlotAgreement a = SlotsAgree(names, checked);
    EXPECT_TRUE(a.Any);
    EXPECT_FALSE(a.Agree);

    checked[1] = true;
    a = SlotsAgree(names, checked);
    EXPECT_TRUE(a.Agree);
    EXPECT_TRUE(a.State);

    // Unfitted slots do not count, whatever their box says.
    checked = {false, false, true, true, false, false, false, false};
    a = SlotsAgree(names, checked);
    EXPECT_TRUE(a.Agree);
    EXPECT_FALSE(a.State);

    names.fill("EMPTY");
    names[3] = "UDEF";
    EXPECT_FALSE(SlotsAgree(names, checked).Any);
}

// ---- the read cycle ----------------------------------------------------------

// Records every report; the first one sets StopRequested, as the thread does.
struct TRecordingRun final : TRunControl {
    bool terminated = false;
    bool stop = false;
    std::vector<std::string> reports;
    bool RunTerminated() const override { return terminated; }
    bool RunStopRequested() const override { return stop; }
    void ReportFailure(const char* text) override
    {
        reports.emplace_back(text);
        stop = true;
    }
};

class ReadCycleTest : public ::testing::Test {
protected:
    test::TFakeKsvApi api;
    Ksv27ModuleRecord record{};
    TRecordingRun run;
    std::vector<std::uint32_t> buffer = std::vector<std::uint32_t>(16000 + 16, 0xDEADBEEF);
    TCycleSizes sizes = *ComputeCycleSizes(1000.0, 1.0);

    bool Read() { return ReadCycle(api, &record, run, buffer.data(), sizes, 5000); }
};

TEST_F(ReadCycleTest, ReadsTheCycleInBlocksAndStopsTheAdc)
{
    EXPECT_TRUE(Read());
    EXPECT_TRUE(run.reports.empty());
    EXPECT_EQ(api.RecvRequests(), std::vector<std::uint32_t>(10, 1600));
    EXPECT_EQ(api.AdcStartCalls, 1);
    EXPECT_EQ(api.AdcStopCalls, 1);
    EXPECT_EQ(buffer[15999], 15999u % 16);
    EXPECT_EQ(buffer[16000], 0xDEADBEEF); // nothing past the cycle
}

TEST_F(ReadCycleTest, LastBlockIsCutToTheRest)
{
    sizes = *ComputeCycleSizes(50.0, 0.45); // 360 + 0.5 -> 22 frames = 352 words, block 80
    EXPECT_EQ(sizes.RecvBlockSize, 80u);
    EXPECT_TRUE(Read());
    EXPECT_EQ(api.RecvRequests(), (std::vector<std::uint32_t>{80, 80, 80, 80, 32}));
    EXPECT_EQ(buffer[352], 0xDEADBEEF);
}

TEST_F(ReadCycleTest, EachReadFailureIsReportedOnceAndTheAdcStillStops)
{
    struct Case {
        std::int32_t result;
        const char* message;
    } cases[] = {{-3, msg::kRecvFailed}, {0, msg::kRecvNothing}, {5, msg::kRecvWrongCount}, {1601, msg::kRecvWrongCount}};
    for (const Case& c : cases) {
        test::TFakeKsvApi fake;
        TRecordingRun r;
        const std::int32_t result = c.result;
        fake.SetRecvScript([result](int call, std::uint32_t words) {
            return call < 2 ? static_cast<std::int32_t>(words) : result;
        });
        EXPECT_FALSE(ReadCycle(fake, &record, r, buffer.data(), sizes, 5000)) << c.result;
        EXPECT_EQ(r.reports, std::vector<std::string>{c.message}) << c.result;
        EXPECT_EQ(fake.RecvCalls, 3) << c.result;
        EXPECT_EQ(fake.AdcStopCalls, 1) << c.result;
    }
}

TEST_F(ReadCycleTest, StartFailureSkipsReadingAndStopping)
{
    api.AdcStartResult = -1;
    EXPECT_FALSE(Read());
    EXPECT_EQ(run.reports, std::vector<std::string>{msg::kAdcStartFailed});
    EXPECT_EQ(api.RecvCalls, 0);
    EXPECT_EQ(api.AdcStopCalls, 0);
}

TEST_F(ReadCycleTest, StopFailureAfterAReadErrorIsReportedButNotShownTwice)
{
    api.SetRecvScript([](int, std::uint32_t) { return -1; });
    api.AdcStopFailFrom = 0;
    EXPECT_FALSE(Read());
    // Both go to the reporter; the thread shows only the first (Mainthread).
    EXPECT_EQ(run.reports, (std::vector<std::string>{msg::kRecvFailed, msg::kAdcStopFailed}));
}

TEST_F(ReadCycleTest, StopFailureAloneEndsTheRun)
{
    api.AdcStopFailFrom = 0;
    EXPECT_FALSE(Read());
    EXPECT_EQ(run.reports, std::vector<std::string>{msg::kAdcStopFailed});
}

TEST_F(ReadCycleTest, TerminateIsSeenAfterTheCurrentRead)
{
    api.SetRecvScript([this](int call, std::uint32_t words) {
        if (call == 2) run.terminated = true;
        return static_cast<std::int32_t>(words);
    });
    EXPECT_FALSE(Read());
    EXPECT_EQ(api.RecvCalls, 3);
    EXPECT_EQ(api.AdcStopCalls, 1);
    EXPECT_TRUE(run.reports.empty()); // a stop is not a failure
}

TEST_F(ReadCycleTest, ZeroSampleCycleAsksForNothingAndFailsCleanly)
{
    sizes = *ComputeCycleSizes(5.0, 0.1);
    EXPECT_FALSE(Read());
    EXPECT_EQ(api.RecvRequests(), std::vector<std::uint32_t>{0});
    EXPECT_EQ(run.reports, std::vector<std::string>{msg::kRecvNothing});
    EXPECT_EQ(buffer[0], 0xDEADBEEF);
}

TEST_F(ReadCycleTest, ConversionMustKeepTheCount)
{
    std::vector<double> data(sizes.TotalSamples);
    api.SetLevel(3, 0.5);
    ASSERT_TRUE(Read());
    EXPECT_TRUE(ConvertCycle(api, &record, buffer.data(), data.data(), sizes.TotalWords));
    EXPECT_EQ(data[3], 0.5);
    EXPECT_EQ(data[16 * 999 + 3], 0.5);
    api.ProcessDataShortCount = true;
    EXPECT_FALSE(ConvertCycle(api, &record, buffer.data(), data.data(), sizes.TotalWords));
    api.ProcessDataShortCount = false;
    api.ProcessDataResult = -2;
    EXPECT_FALSE(ConvertCycle(api, &record, buffer.data(), data.data(), sizes.TotalWords));
}

TEST(MeasureBuffers, AllocatesEveryBufferAndFreesThem)
{
    TMeasureBuffers b;
    EXPECT_EQ(b.Allocate(*ComputeCycleSizes(1000.0, 1.0)), nullptr);
    ASSERT_NE(b.RcvBuffer, nullptr);
    ASSERT_NE(b.Window, nullptr);
    b.RcvBuffer[15999] = 1;
    b.ChannelsStatus[16015] = 1;
    b.Window[1015] = 1.0;
    b.Free();
    EXPECT_EQ(b.RcvBuffer, nullptr);
    EXPECT_EQ(b.Data, nullptr);
    EXPECT_EQ(b.ChannelsStatus, nullptr);
    EXPECT_EQ(b.DataPerChannel, nullptr);
    EXPECT_EQ(b.Window, nullptr);
    // Zero samples still give distinct blocks, so the loop never sees null.
    EXPECT_EQ(b.Allocate(*ComputeCycleSizes(5.0, 0.0)), nullptr);
    EXPECT_NE(b.RcvBuffer, nullptr);
    EXPECT_NE(b.Data, nullptr);
}

// ---- the thread's message dialog ----------------------------------------------

TEST(ThreadDialogLayout, OneButtonIsCentredBelowTheText)
{
    TThreadDialogLayoutInput in;
    in.DialogWidth = 570;
    in.ButtonCount = 1;
    in.WidestCaptionWidth = 60; // narrower than the minimum
    in.CaptionTextHeight = 20;
    in.LabelTop = 16;
    in.LabelHeight = 100;
    in.CaptionBarHeight = 30;
    in.FrameHeight = 4;
    const TThreadDialogLayout out = ThreadDialogLayout(in);
    EXPECT_EQ(out.ButtonWidth, 100);
    EXPECT_EQ(out.ButtonHeight, 35);
    EXPECT_EQ(out.ButtonTop, 126);
    ASSERT_EQ(out.ButtonLefts.size(), 1u);
    EXPECT_EQ(out.ButtonLefts[0], 235); // (570 - 100) * 1 / 2
    EXPECT_EQ(out.DialogHeight, 30 + 126 + 35 + 8 + 10);
}

TEST(ThreadDialogLayout, SeveralButtonsShareTheWidthEvenly)
{
    TThreadDialogLayoutInput in;
    in.DialogWidth = 570;
    in.ButtonCount = 3;
    in.WidestCaptionWidth = 130;
    const TThreadDialogLayout out = ThreadDialogLayout(in);
    EXPECT_EQ(out.ButtonWidth, 150);
    // (570 - 450) (i + 1) / 4 + 150 i, in integers
    EXPECT_EQ(out.ButtonLefts, (std::vector<int>{30, 210, 390}));
    EXPECT_EQ(CentredOver(100, 1280, 570), 455);
    EXPECT_EQ(CentredOver(0, 500, 571), -35); // integer division truncates
}

} // namespace
} // namespace ksv
