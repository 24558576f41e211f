// The CSV form of a measurement record and the file it is written to.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "CycleCsv.h"
#include "RecordFile.h"

namespace {

using namespace ksv;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string TempPath(const char* name)
{
    const auto path = std::filesystem::temp_directory_path() /
                      (std::string(name) + "-" + std::to_string(::getpid()) + ".csv");
    std::filesystem::remove(path);
    return path.string();
}

TEST(CycleCsv, QuotesOnlyWhatNeedsItAndKeepsMetaLinesOnOneLine)
{
    EXPECT_EQ(CsvField("12.345"), "12.345");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");

    TRunDescription run;
    run.CrateSerial = "KSV,1\nx";
    run.MezzanineNames.fill("EMPTY");
    run.MezzanineNames[0] = "U10";
    run.MezzanineNames[1] = "Q,5";
    const std::string header = CsvHeader(run);
    EXPECT_NE(header.find("# crate,\"KSV,1?x\"\n"), std::string::npos) << header;
    EXPECT_NE(header.find("time,cycle,ch1 slot1 U10 mV,ch2 slot1 U10 mV,\"ch3 slot2 Q,5\","), std::string::npos);
    EXPECT_NE(header.find(",ch16 slot8 EMPTY\n"), std::string::npos);
}

TEST(CycleCsv, RowHoldsTheWindowTextsAndEmptyCellsWhereNoValue)
{
    TCycleResult cycle;
    cycle.Index = 7;
    cycle.StartTime = std::chrono::system_clock::time_point(std::chrono::milliseconds(1797000062123));
    cycle.Channels[0].Valid = true;
    cycle.Channels[0].Text = "-0.020";
    cycle.Channels[1].Text = "--------"; // shown, but no value
    const std::string row = CsvRow(cycle);
    EXPECT_EQ(row, IsoUtcTime(cycle.StartTime) + ",7,-0.020" + std::string(15, ',') + "\n");
    EXPECT_EQ(IsoUtcTime(cycle.StartTime), "2026-12-11T14:41:02.123Z");
}

TEST(RecordFile, NeverOverwritesUnaskedAndReplacesWhenAsked)
{
    const std::string path = TempPath("ksv-record-modes");
    {
        TRecordFile file;
        ASSERT_TRUE(file.Open(path, TRecordFile::TOpenMode::CreateNew)) << file.Error();
        ASSERT_TRUE(file.Append("first\n"));
    }
    TRecordFile again;
    EXPECT_FALSE(again.Open(path, TRecordFile::TOpenMode::CreateNew));
    EXPECT_NE(again.Error().find(path), std::string::npos);
    EXPECT_EQ(ReadAll(path), "first\n");
    ASSERT_TRUE(again.Open(path, TRecordFile::TOpenMode::Replace));
    ASSERT_TRUE(again.Append("second\n"));
    EXPECT_EQ(ReadAll(path), "second\n");
    std::filesystem::remove(path);
}

#ifndef _WIN32
// A write that the file-size limit refuses, half-way through a line, leaves
// exactly the lines written before it.
TEST(RecordFile, RefusedWriteKeepsEveryFinishedLine)
{
    const std::string path = TempPath("ksv-record-limit");
    const std::string line(100, 'x');
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{1050, 1050};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        TRecordFile file;
        if (!file.Open(path, TRecordFile::TOpenMode::CreateNew)) ::_exit(2);
        int written = 0;
        while (file.Append(line + "\n")) ++written;
        // The failed line is cut away and the file is closed.
        ::_exit(written == 10 && !file.IsOpen() && !file.Error().empty() && !file.Append("y\n") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the limit's signal ended the writer";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::string expected;
    for (int i = 0; i < 10; ++i) expected += line + "\n";
    EXPECT_EQ(ReadAll(path), expected);
    std::filesystem::remove(path);
}
#endif

} // namespace
