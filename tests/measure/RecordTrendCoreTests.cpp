// Statistics, trend history and the cycle recorder, without the toolkit.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <cerrno>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "ChannelStatistics.h"
#include "CycleCsv.h"
#include "CycleRecorder.h"
#include "TrendHistory.h"
#include "TwoChannelCycle.h"

namespace ksv {
namespace {

// A cycle where channel 0 (a voltage slot) has `value` and channel 1 none.
TCycleResult Cycle(double value, std::uint64_t index = 0)
{
    TCycleResult cycle;
    cycle.Index = index;
    cycle.StartTime = std::chrono::system_clock::time_point(std::chrono::milliseconds(1000 * (index + 1)));
    SetTwoVoltageChannels(cycle, value, std::nullopt);
    cycle.Channels[0].Text = std::to_string(value);
    cycle.Channels[1].Text = "--------";
    return cycle;
}

TEST(ChannelStatistics, KnownSequenceSkipsChannelsWithoutAValueAndResets)
{
    TChannelStatistics stats;
    for (double v : {2.0, 4.0, 4.0, 4.0, 5.0, 5.0, 7.0, 9.0}) stats.Add(Cycle(v));
    const TChannelSummary s = stats.Channel(0).Summary();
    EXPECT_EQ(s.Count, 8u);
    EXPECT_DOUBLE_EQ(s.Min, 2.0);
    EXPECT_DOUBLE_EQ(s.Max, 9.0);
    EXPECT_DOUBLE_EQ(s.Mean, 5.0);
    EXPECT_NEAR(s.StdDev, std::sqrt(32.0 / 7.0), 1e-12);
    EXPECT_DOUBLE_EQ(s.Last, 9.0);
    EXPECT_EQ(stats.Channel(1).Summary().Count, 0u); // no value
    EXPECT_EQ(stats.Channel(2).Summary().Count, 0u); // not active

    TCycleResult inactive = Cycle(100.0);
    inactive.Channels[0].Active = false;
    stats.Add(inactive);
    EXPECT_EQ(stats.Channel(0).Summary().Count, 8u);

    stats.Reset();
    EXPECT_EQ(stats.Channel(0).Summary().Count, 0u);
    stats.Add(Cycle(-3.0));
    const TChannelSummary one = stats.Channel(0).Summary();
    EXPECT_EQ(one.Min, -3.0);
    EXPECT_EQ(one.Max, -3.0);
    EXPECT_EQ(one.StdDev, 0.0);
}

TEST(ChannelStatistics, MillionsOfValuesOnALargeLevelKeepTheirSpread)
{
    // A sum of squares would lose the 1e-3 spread on a 1e9 level entirely.
    TRunningStatistics stats;
    constexpr int kCount = 3'000'000;
    for (int i = 0; i < kCount; ++i) stats.Add(1e9 + (i % 2 ? 1e-3 : -1e-3));
    const TChannelSummary s = stats.Summary();
    EXPECT_EQ(s.Count, static_cast<std::uint64_t>(kCount));
    EXPECT_NEAR(s.Mean, 1e9, 1e-6);
    EXPECT_NEAR(s.StdDev, 1e-3, 1e-6);
}

TEST(TrendHistory, BoundedPerChannelAndANewLayoutStartsANewTrace)
{
    TTrendHistory history(100);
    for (int i = 0; i < 250; ++i) history.Add(Cycle(i, static_cast<std::uint64_t>(i)));
    const TTrendRing& ring = history.Channel(0);
    ASSERT_EQ(ring.Size(), 100u);
    EXPECT_EQ(ring.At(0).Value, 150.0);
    EXPECT_EQ(ring.At(99).Value, 249.0);
    EXPECT_TRUE(history.Traced(1)); // traced, though without values
    EXPECT_EQ(history.Channel(1).Size(), 0u);
    EXPECT_FALSE(history.Traced(2));

    const std::uint64_t trace = history.TraceNumber();
    TCycleResult ohm = Cycle(47.0);
    for (TChannelResult& ch : ohm.Channels) {
        ch.Kind = TMezzanineKind::Resistance;
        ch.Unit = TChannelUnit::Ohm;
    }
    history.Add(ohm);
    EXPECT_NE(history.TraceNumber(), trace);
    EXPECT_EQ(history.Unit(0), TChannelUnit::Ohm);
    EXPECT_FALSE(history.Traced(1)); // a resistance slot gives no second value
    EXPECT_EQ(history.Channel(0).Size(), 1u);
}

class CycleRecorderTest : public ::testing::Test {
protected:
    std::string path = ::testing::TempDir() + "ksv_record_" + std::to_string(::getpid()) + ".csv";
    void TearDown() override { std::remove(path.c_str()); }
    std::string Read() const
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(CycleRecorderTest, NeverReplacesUnaskedAndAFileSizeLimitKeepsEveryFinishedRow)
{
    TRunDescription run;
    run.ModuleSerial = "27A-1";
    {
        std::ofstream(path) << "keep";
    }
    TCycleRecorder recorder;
    EXPECT_FALSE(recorder.Start(path, run, false));
    EXPECT_EQ(recorder.ErrorNumber(), EEXIST);
    EXPECT_EQ(Read(), "keep");

    ASSERT_TRUE(recorder.Start(path, run, true));
    const std::string header = CsvHeader(run), row = CsvRow(Cycle(1.5, 0));
    ASSERT_TRUE(recorder.Add(Cycle(1.5, 0)));
    ASSERT_TRUE(recorder.Add(Cycle(1.5, 1)));
    recorder.WaitUntilWritten();
    EXPECT_EQ(Read().size(), header.size() + 2 * row.size()); // on the disk

#ifndef _WIN32 // the file-size limit is a POSIX resource limit
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limit = old;
    limit.rlim_cur = header.size() + 3 * row.size() - row.size() / 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    EXPECT_TRUE(recorder.Add(Cycle(1.5, 2))); // queued; its write fails
    recorder.WaitUntilWritten();
    EXPECT_TRUE(recorder.Add(Cycle(1.5, 3)) == false);
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_FALSE(recorder.Recording());
    EXPECT_EQ(recorder.ErrorNumber(), EFBIG);
    EXPECT_EQ(recorder.Rows(), 2u);
    EXPECT_EQ(Read(), header + row + CsvRow(Cycle(1.5, 1)));
    EXPECT_EQ(RecordErrorReason(EFBIG), "превышен допустимый размер файла");
#endif
}

TEST_F(CycleRecorderTest, AFullQueueEndsTheRecordingAndTheQueuedRowsStillReachTheFile)
{
    std::mutex gate;
    std::unique_lock<std::mutex> shut(gate);
    std::atomic<int> writes{0};
    TCycleRecorder recorder(1);
    recorder.SetBeforeWrite([&] {
        ++writes;
        const std::lock_guard<std::mutex> pass(gate); // a disk that does not answer
    });
    ASSERT_TRUE(recorder.Start(path, TRunDescription{}, false));
    ASSERT_TRUE(recorder.Add(Cycle(1.5, 0)));
    while (writes == 0) std::this_thread::yield(); // the writer holds row 0
    ASSERT_TRUE(recorder.Add(Cycle(1.5, 1)));      // the queue's one place
    EXPECT_FALSE(recorder.Add(Cycle(1.5, 2)));
    EXPECT_FALSE(recorder.Recording());
    EXPECT_EQ(recorder.ErrorNumber(), ETIMEDOUT);
    EXPECT_EQ(recorder.Rows(), 2u);
    shut.unlock();
    recorder.WaitUntilWritten();
    EXPECT_EQ(Read(), CsvHeader(TRunDescription{}) + CsvRow(Cycle(1.5, 0)) + CsvRow(Cycle(1.5, 1)));
}

} // namespace
} // namespace ksv
