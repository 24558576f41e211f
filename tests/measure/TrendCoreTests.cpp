// The trend's history over long runs, its limits, axis ticks and CSV export,
// without the toolkit.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "TrendCsv.h"
#include "TrendHistory.h"
#include "TrendLimits.h"
#include "TrendTicks.h"
#include "TwoChannelCycle.h"

namespace ksv {
namespace {

constexpr double kT0 = 1.8e12; // ms since the epoch, somewhere in 2027

// Channel 0 a large level, channel 1 a small one (no value in every third
// cycle), both in mV, at `ms`.
TCycleResult TwoLevels(double ms, double large, double small, bool smallValid = true)
{
    TCycleResult cycle;
    cycle.StartTime = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double, std::milli>(ms)));
    SetTwoVoltageChannels(cycle, large, smallValid ? std::optional<double>(small) : std::nullopt);
    return cycle;
}

std::vector<TTrendColumn> Columns(const TTrendHistory& history, int channel, double from, double to, std::size_t n)
{
    std::vector<TTrendColumn> out(n);
    history.Trend(channel).Thin(from, to, out);
    return out;
}

double Highest(const std::vector<TTrendColumn>& columns)
{
    double high = -INFINITY;
    for (const TTrendColumn& c : columns)
        if (c.Count) high = std::max(high, c.Max);
    return high;
}

TEST(TrendHistory, EightHoursStayBoundedKeepEveryGlitchAndTheRecentPartWhole)
{
    TTrendHistory history;
    constexpr int kCycles = 8 * 3600 * 10; // 0.1 s cycles
    std::size_t bytesAtTwoHours = 0;
    for (int i = 0; i < kCycles; ++i) {
        const double glitch = i == 36000 ? 50.0 : 0.0; // one cycle at the first hour
        history.Add(TwoLevels(kT0 + i * 100.0, 12000.0 + std::sin(i * 1e-3) + glitch, 1.0 + 1e-3 * (i % 7)));
        if (i == 2 * 3600 * 10) bytesAtTwoHours = history.Bytes();
    }
    EXPECT_LT(history.Bytes(), 16u << 20);
    EXPECT_LT(history.Bytes(), bytesAtTwoHours * 2);
    EXPECT_EQ(history.FirstMs(), kT0);

    // Everything since the start, thinned to a plot's width: the start is
    // there and the one-cycle glitch still stands out.
    const auto all = Columns(history, 0, history.FirstMs(), history.LastMs() + 1, 1000);
    EXPECT_GT(all.front().Count, 0u);
    EXPECT_GT(all.back().Count, 0u);
    EXPECT_GT(Highest(all), 12040.0);
    // The last minute at full resolution: one point per cycle.
    const auto minute = Columns(history, 0, history.LastMs() - 60000 + 1, history.LastMs() + 1, 600);
    std::size_t points = 0;
    for (const TTrendColumn& c : minute) points += c.Count;
    EXPECT_EQ(points, 600u);
    // An hour back from the newest cycle, the 1 s buckets cover the whole span.
    const auto hour = Columns(history, 1, history.LastMs() - 3600e3, history.LastMs() + 1, 100);
    for (const TTrendColumn& c : hour) ASSERT_GT(c.Count, 0u);
}

TEST(TrendLimits, CrossingsCountEachExcursionOnceAndLimitsParseAsTyped)
{
    TTrendLimits limits;
    limits.Set(0, std::nullopt, 10.0);
    int i = 0;
    for (double v : {5.0, 11.0, 12.0, 9.0, 13.0, 8.0}) limits.Add(TwoLevels(kT0 + 100.0 * i++, v, 0.0));
    EXPECT_EQ(limits.Channel(0).Crossings, 2u);
    EXPECT_FALSE(limits.Channel(0).Outside);
    EXPECT_EQ(limits.Channel(1).Crossings, 0u); // no limits: never outside
    limits.Set(0, 8.5, std::nullopt);           // the last value (8) is below at once, without a count
    EXPECT_TRUE(limits.Channel(0).Outside);
    EXPECT_EQ(limits.Channel(0).Crossings, 2u);
    limits.ResetCounts();
    EXPECT_EQ(limits.Channel(0).Crossings, 0u);
    EXPECT_EQ(limits.Channel(0).Lower, 8.5);

    std::optional<double> limit;
    EXPECT_TRUE(ParseLimit(" -1,25 ", limit));
    EXPECT_EQ(limit, -1.25);
    EXPECT_TRUE(ParseLimit("", limit));
    EXPECT_FALSE(limit);
    for (const char* bad : {"abc", "1.5x", "inf", "nan", "1e999", "0x10", "--1"}) EXPECT_FALSE(ParseLimit(bad, limit)) << bad;
}

TEST(TrendTicks, OneTwoFiveValuesAndClockTimes)
{
    // The README's old complaint: a channel between 120.4 and 129.8 mV.
    TTicks v = ValueTicks(120.4, 129.8, 5);
    EXPECT_EQ(v.Step, 2.0);
    EXPECT_EQ(v.First, 122.0);
    EXPECT_EQ(v.Count, 4);
    EXPECT_EQ(v.Decimals, 0);
    v = ValueTicks(12.4995, 12.5012, 4);
    EXPECT_NEAR(v.Step, 5e-4, 1e-12);
    EXPECT_EQ(v.Decimals, 4);
    EXPECT_EQ(ValueTicks(1.0, 1.0, 5).Count, 0);

    // Ten minutes over at most six labels: every two minutes on the local
    // clock (here three hours and a half ahead of UTC).
    const double offset = 3.5 * 3600e3;
    const TTicks t = TimeTicks(kT0 + 7000, kT0 + 7000 + 600e3, 6, offset);
    EXPECT_EQ(t.Step, 120e3);
    EXPECT_EQ(std::fmod(t.First + offset, 120e3), 0.0);
    EXPECT_EQ(TimeTicks(0, 8 * 3600e3, 6, 0).Step, 2 * 3600e3);
    EXPECT_EQ(TimeTicks(0, 2000, 5, 0).Step, 500.0);
}

TEST(TrendCsv, FullResolutionRowsPerCycleAndThinnedRowsWithMinAndMax)
{
    TRunDescription run;
    run.ModuleSerial = "27A-1002";
    run.RateHz = 1000;
    run.MezzanineNames[0] = "U10";
    TTrendHistory history(100);
    for (int i = 0; i < 60; ++i) history.Add(TwoLevels(kT0 + 1000.0 * i, 9500.0 + i, 12.5, i % 3 != 0));

    std::string csv = TrendCsv(history, run, {0, 1}, kT0 + 56500, kT0 + 59500);
    EXPECT_NE(csv.find("# module,27A-1002\n"), std::string::npos);
    EXPECT_NE(csv.find("# resolution,every cycle\n"), std::string::npos);
    EXPECT_NE(csv.find("time,ch1 slot1 U10 mV,ch2 slot1 U10 mV\n"), std::string::npos);
    EXPECT_NE(csv.find("Z,9557.000,\n"), std::string::npos); // cycle 57: the small channel has no value
    EXPECT_NE(csv.find("Z,9559.000,12.500\n"), std::string::npos);
    EXPECT_EQ(csv.find("9556.000"), std::string::npos); // before the span

    // Past the recent store (100 cycles): rows of slices with min and max.
    for (int i = 60; i < 400; ++i) history.Add(TwoLevels(kT0 + 1000.0 * i, i == 100 ? -1.0 : 9500.0, 12.5));
    csv = TrendCsv(history, run, {0}, kT0, kT0 + 400e3, 40);
    EXPECT_NE(csv.find("ch1 slot1 U10 mV,ch1 slot1 U10 mV min,ch1 slot1 U10 mV max\n"), std::string::npos);
    EXPECT_NE(csv.find("# resolution,min and max per 10.000 s\n"), std::string::npos);
    EXPECT_NE(csv.find(",-1.000,9500.000\n"), std::string::npos); // the glitch's slice
}

} // namespace
} // namespace ksv
