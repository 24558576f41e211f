// ksv27-vorn-cli end to end: the real tool, the real libraries and a
// simulated crate server playing a scenario of known levels.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CliProcess.h"
#include "SimServerProcess.h"

namespace {

using ksv::clitest::TCliProcess;
using ksv::clitest::TCliRun;
using ksv::clitest::TSignalPlan;
using ksv::simtest::SimServerProcess;

// Crate CLI-A: a KSV27 in slot 2 whose mezzanines cover every kind (the U01
// with coefficients that only a module configured with its description
// coefficients reads right), a foreign module in slot 5 and a second KSV27
// in slot 7, whose second mezzanine's serial the record cuts inside a UTF-8
// sequence. CLI-B holds nothing.
const char* const kScenario = R"({
  "crates": [
    { "serial": "CLI-A", "slots": [
      { "slot": 2, "serial": "27C-0002", "firmware": "3.2.1.0", "mezzanines": [
        { "name": "U10", "serial": "MZU10-1", "channels": [ { "dc": 2.5 }, { "dc": -1.25 } ] },
        { "name": "I20", "serial": "MZI20-2", "channels": [ { "dc": 12.5 }, { "dc": -3.0 } ] },
        { "name": "R100", "serial": "MZR100-3", "channels": [ { "dc": 47.0 }, { "dc": 0.47 } ] },
        { "name": "EMPTY" },
        { "name": "T", "serial": "MZT-5", "channels": [ { "dc": 25.0 }, { "dc": -0.5 } ] },
        { "name": "UDEF" },
        { "name": "Q50", "serial": "MZQ-7" },
        { "name": "U01", "serial": "MZU01-8", "coefs": [0.05, 1.04, 0.03, 0.97],
          "channels": [ { "dc": 1.0 }, { "dc": -0.5 } ] } ] },
      { "slot": 5, "id": 2577 },
      { "slot": 7, "serial": "27C-0007", "firmware": "1.2.3.4", "mezzanines": [
        { "name": "I5", "serial": "MZI5-1", "channels": [ { "dc": 2.0 }, { "dc": 4.0 } ] },
        { "name": "U10", "serial": "xÖÖÖÖÖÖÖÖÖ" } ] } ] },
    { "serial": "CLI-B" }
  ]
})";

// What the window shows for the module in CLI-A slot 2, channel by channel
// ("" for a slot that takes no part).
const char* const kWindowTexts[16] = {"2500.000", "-1250.000", "12.5000", "-3.0000", "47.000", "--------", "", "",
                                      "25.000", "-0.500", "", "", "--------", "--------",
                                      "1000.000", "-500.000"};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Start(kScenario)) << server.Error();
        server.ExportPort();
    }

    std::string ServerStatus() const
    {
        std::string reply;
        server.Control("status", &reply);
        return reply;
    }

    SimServerProcess server;
};

std::string TempFile(const char* name)
{
    const auto path = std::filesystem::temp_directory_path() / (name + std::to_string(::getpid()));
    std::filesystem::remove(path);
    return path.string();
}

std::vector<nlohmann::json> JsonLines(const std::string& text)
{
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
}

TEST_F(CliTest, ListShowsEveryCrateAndEachKsv27WithItsMezzanines)
{
    const TCliRun text = TCliProcess::Run({"list"});
    ASSERT_EQ(text.Status, 0) << text.Err;
    EXPECT_NE(text.Out.find("crate 1: CLI-A\n  slot 2: KSV27 serial 27C-0002, firmware 3.2.1.0\n"
                            "    mezzanine 1: U10 (S/N MZU10-1)\n"),
              std::string::npos)
        << text.Out;
    EXPECT_NE(text.Out.find("    mezzanine 4: EMPTY\n"), std::string::npos);
    EXPECT_NE(text.Out.find("crate 2: CLI-B\n  no KSV27\n"), std::string::npos);
    EXPECT_EQ(text.Out.find("slot 5"), std::string::npos) << "a foreign module is not a KSV27";

    const TCliRun json = TCliProcess::Run({"list", "--json"});
    ASSERT_EQ(json.Status, 0) << json.Err;
    const nlohmann::json list = nlohmann::json::parse(json.Out);
    ASSERT_EQ(list["crates"].size(), 2u);
    const nlohmann::json& modules = list["crates"][0]["modules"];
    ASSERT_EQ(modules.size(), 2u);
    EXPECT_EQ(modules[0]["slot"], 2);
    EXPECT_EQ(modules[1]["slot"], 7);
    EXPECT_EQ(modules[1]["serial"], "27C-0007");
    EXPECT_EQ(modules[1]["firmware"], "1.2.3.4");
    EXPECT_EQ(modules[1]["mezzanines"][1]["serial"], "xÖÖÖÖÖÖÖÖ�");
    EXPECT_EQ(modules[0]["mezzanines"][7]["name"], "U01");
    EXPECT_EQ(modules[0]["mezzanines"][7]["serial"], "MZU01-8");
    EXPECT_TRUE(list["crates"][1]["modules"].empty());
}

TEST_F(CliTest, MeasurePrintsTheWindowsTextsOfTheKnownLevelsInEveryFormat)
{
    const TCliRun json = TCliProcess::Run({"measure", "--cycles", "2", "--format", "json"});
    ASSERT_EQ(json.Status, 0) << json.Err;
    const auto records = JsonLines(json.Out);
    ASSERT_EQ(records.size(), 2u) << json.Out;
    EXPECT_EQ(records[1]["cycle"], 1);
    std::vector<std::string> seen(16);
    for (const auto& channel : records[1]["channels"]) {
        const int c = channel["channel"].get<int>() - 1;
        seen[static_cast<std::size_t>(c)] = channel["value"].is_null() ? "--------" : channel["value"].dump();
    }
    for (int c = 0; c < 16; ++c) {
        const std::string want = kWindowTexts[c];
        // JSON drops trailing zeros; compare as numbers where there is one.
        if (want.empty() || want == "--------") EXPECT_EQ(seen[static_cast<std::size_t>(c)], want) << "ch" << c + 1;
        else EXPECT_DOUBLE_EQ(std::stod(seen[static_cast<std::size_t>(c)]), std::stod(want)) << "ch" << c + 1;
    }

    const std::string csvPath = TempFile("ksv-cli-csv-");
    const TCliRun csv = TCliProcess::Run({"measure", "--cycles", "1", "--rate", "100", "--time", "0.2", "--output",
                                          csvPath});
    ASSERT_EQ(csv.Status, 0) << csv.Err;
    EXPECT_TRUE(csv.Out.empty());
    std::ifstream file(csvPath);
    std::string all((std::istreambuf_iterator<char>(file)), {});
    EXPECT_NE(all.find("# crate,CLI-A\n# slot,2\n# module,27C-0002\n"), std::string::npos) << all;
    EXPECT_NE(all.find("# rate_hz,100\n# acquisition_time_s,0.200\n"), std::string::npos);
    EXPECT_NE(all.find("Z,0,2500.000,-1250.000,12.5000,-3.0000,47.000,,,,25.000,-0.500,,,,,1000.000,-500.000\n"),
              std::string::npos)
        << all;
    std::filesystem::remove(csvPath);

    const TCliRun table = TCliProcess::Run({"measure", "--cycles", "1", "--slots", "1,3-4"});
    ASSERT_EQ(table.Status, 0) << table.Err;
    EXPECT_NE(table.Out.find("  slot 1  U10     ch1      2500.000 mV     ch2     -1250.000 mV\n"), std::string::npos)
        << table.Out;
    EXPECT_NE(table.Out.find("  slot 3  R100    ch5        47.000 Ohm    ch6      --------\n"), std::string::npos);
    EXPECT_EQ(table.Out.find("slot 2 "), std::string::npos) << "slot 2 was not chosen";
    EXPECT_EQ(table.Out.find("slot 4 "), std::string::npos) << "slot 4 holds no mezzanine";

    // 0.2 s cycles for 0.5 s: the cycle during which the time passes is the last.
    const TCliRun timed = TCliProcess::Run({"measure", "--rate", "100", "--time", "0.2", "--duration", "0.5",
                                            "--format", "json"});
    ASSERT_EQ(timed.Status, 0) << timed.Err;
    const std::size_t count = JsonLines(timed.Out).size();
    EXPECT_TRUE(count >= 1 && count <= 3) << count;
}

TEST_F(CliTest, ChoosesTheModuleByCommandLineOrSettingsFile)
{
    const TCliRun exact = TCliProcess::Run({"measure", "--crate", "CLI-A", "--slot", "7", "--cycles", "1"});
    ASSERT_EQ(exact.Status, 0) << exact.Err;
    EXPECT_NE(exact.Out.find("KSV27 27C-0007, firmware 1.2.3.4, crate CLI-A slot 7"), std::string::npos);
    EXPECT_NE(exact.Out.find("ch1        2.0000 mA"), std::string::npos) << exact.Out;

    const TCliRun missing = TCliProcess::Run({"measure", "--crate", "CLI-A", "--slot", "3", "--cycles", "1"});
    EXPECT_EQ(missing.Status, 3);
    EXPECT_NE(missing.Err.find("slot 3"), std::string::npos) << missing.Err;

    // The program's own file: Windows-1251, slot 7, rate index 6 (500 Hz),
    // 0.2 s, only slot 1 chosen. The tool reads it and never writes it.
    const std::string ini = TempFile("ksv-cli-ini-");
    {
        std::ofstream out(ini, std::ios::binary);
        out << "[\xcf\xf0\xe8\xeb\xee\xe6\xe5\xed\xe8\xe5. \xce\xe1\xed\xe0\xf0\xf3\xe6\xe5\xed\xe8\xe5]\r\n"
               "\xd1\xe5\xf0\xe8\xe9\xed\xfb\xe9 \xed\xee\xec\xe5\xf0 KSV \xea\xf0\xe5\xe9\xf2\xe0=CLI-A\r\n"
               "\xd1\xeb\xee\xf2 \xec\xee\xe4\xf3\xeb\xff=7\r\n"
               "[\xcc\xee\xe4\xf3\xeb\xfc KSV27]\r\n"
               "\xc8\xed\xe4\xe5\xea\xf1 \xf7\xe0\xf1\xf2\xee\xf2\xfb \xee\xef\xf0\xee\xf1\xe0=6\r\n"
               "M\xe0\xea\xf1\xe8\xec\xe0\xeb\xfc\xed\xee\xe5 \xe2\xf0\xe5\xec\xff \xf1\xe1\xee\xf0\xe0 "
               "\xe4\xe0\xed\xed\xfb\xf5, \xf1=0.2\r\n"
               "\xc3\xf0\xf3\xef\xef\xee\xe2\xee\xe5 \xf3\xef\xf0\xe0\xe2\xeb\xe5\xed\xe8\xe5 "
               "\xf1\xeb\xee\xf2\xe0\xec\xe8=0\r\n";
    }
    const auto before = std::filesystem::last_write_time(ini);
    const TCliRun fromFile = TCliProcess::Run({"measure", "--settings", ini, "--cycles", "1"});
    ASSERT_EQ(fromFile.Status, 0) << fromFile.Err;
    EXPECT_NE(fromFile.Out.find("crate CLI-A slot 7: 500 Hz, 0.200 s per cycle"), std::string::npos)
        << fromFile.Out;
    EXPECT_EQ(std::filesystem::last_write_time(ini), before);
    std::filesystem::remove(ini);
}

// Both KSV27 of CLI-A as one instrument: one record per scan, channels
// numbered slot*100+ch, a channel file's label and scaling in CSV and JSON,
// a failing module without values while the other measures, a bad file.
TEST_F(CliTest, SeveralModulesMeasureAsOneWithNamedAndScaledChannels)
{
    const std::string channels = TempFile("ksv-cli-channels-");
    std::ofstream(channels) << R"({"channels": {"201": {"label": "Zuluft Δp"},
        "701": {"label": "P1 inlet", "gain": 625, "offset": -2.5, "unit": "bar"}}})";
    const TCliRun json = TCliProcess::Run(
        {"measure", "--slot", "all", "--cycles", "2", "--format", "json", "--rate", "100", "--time", "0.2", "--channels", channels});
    ASSERT_EQ(json.Status, 0) << json.Err;
    const auto records = JsonLines(json.Out);
    ASSERT_EQ(records.size(), 2u) << json.Out;
    std::map<int, nlohmann::json> byNumber;
    for (const auto& channel : records[1]["channels"]) byNumber[channel["channel"].get<int>()] = channel;
    EXPECT_DOUBLE_EQ(byNumber[201]["value"].get<double>(), 2500.0);
    EXPECT_EQ(byNumber[201]["label"], "Zuluft Δp");
    EXPECT_EQ(byNumber[201]["module_slot"], 2);
    EXPECT_DOUBLE_EQ(byNumber[216]["value"].get<double>(), -500.0);
    EXPECT_EQ(byNumber[701]["unit"], "bar");
    EXPECT_NEAR(byNumber[701]["value"].get<double>(), -1.25, 1e-5);
    EXPECT_NEAR(byNumber[701]["raw"].get<double>(), 2.0, 1e-5);
    EXPECT_DOUBLE_EQ(byNumber[702]["value"].get<double>(), 4.0);

    const TCliRun csv =
        TCliProcess::Run({"measure", "--slot", "2,7", "--cycles", "1", "--format", "csv", "--channels", channels});
    ASSERT_EQ(csv.Status, 0) << csv.Err;
    EXPECT_NE(csv.Out.find("time,scan,ch201 slot1 U10 mV Zuluft Δp,ch202 slot1 U10 mV,"), std::string::npos)
        << csv.Out;
    EXPECT_NE(csv.Out.find(",ch701 slot1 I5 bar P1 inlet,ch702 slot1 I5 mA,"), std::string::npos);

    ASSERT_TRUE(server.Control("fault crate=CLI-A slot=7 recv=fail"));
    const TCliRun fault = TCliProcess::Run({"measure", "--slot", "all", "--cycles", "3", "--format", "json"});
    EXPECT_EQ(fault.Status, 1) << "a module failed during the run";
    const auto faulted = JsonLines(fault.Out);
    ASSERT_EQ(faulted.size(), 3u) << fault.Err;
    for (const auto& channel : faulted[2]["channels"]) {
        if (channel["channel"] == 201) {
            EXPECT_DOUBLE_EQ(channel["value"].get<double>(), 2500.0);
        }
        if (channel["channel"] == 701) {
            EXPECT_TRUE(channel["value"].is_null());
        }
    }
    const std::size_t told = fault.Err.find("module in slot 7: ");
    EXPECT_NE(told, std::string::npos) << fault.Err;
    EXPECT_EQ(fault.Err.find("module in slot 7: ", told + 1), std::string::npos) << "told once";

    std::ofstream(channels) << "{\"channels\": {\n  \"201\": {\"label\": \"x\",}\n}}";
    const TCliRun bad = TCliProcess::Run({"measure", "--slot", "all", "--channels", channels});
    EXPECT_EQ(bad.Status, 2);
    EXPECT_NE(bad.Err.find("line 2, column"), std::string::npos) << bad.Err;
    std::filesystem::remove(channels);
}

TEST_F(CliTest, EachInjectedFaultGivesItsMessageAndStatus)
{
    struct TCase {
        std::string Fault; // control command
        std::string Message;
        int Status;
    };
    const std::vector<TCase> cases = {
        {"fault list=fail", "Не могу найти ни одного KSV крейта!", 3},
        {"fault crate=CLI-A slot=2 open=fail", "", 3},
        {"fault crate=CLI-A slot=2 setconfig=fail", "KSV27_SetConfig() --> BAD!!!", 1},
        {"fault crate=CLI-A slot=2 start=fail", "Не могу выполнить запуск сбора данных!!!", 1},
        {"fault crate=CLI-A slot=2 recv=fail", "Не могу получить данные с модуля!", 1},
        {"fault crate=CLI-A slot=2 recv=zero", "Не принято ни одного отсчёта с модуля!", 1},
        {"fault crate=CLI-A slot=2 recv=short", "Принято неправильное кол-во данных с модуля!", 1},
        {"fault crate=CLI-A slot=2 processdata=fail", "Не могу обработать полученные данные с модуля!", 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Fault);
        ASSERT_TRUE(server.Control("clear"));
        ASSERT_TRUE(server.Control(c.Fault));
        const TCliRun run = TCliProcess::Run({"measure", "--crate", "CLI-A", "--slot", "2", "--cycles", "2"});
        EXPECT_EQ(run.Status, c.Status) << run.Err;
        EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
        EXPECT_NE(ServerStatus().find("slot 2 27C-0002 closed"), std::string::npos) << ServerStatus();
    }
    server.Stop();
    const TCliRun noServer = TCliProcess::Run({"list"});
    EXPECT_EQ(noServer.Status, 3);
    EXPECT_NE(noServer.Err.find("Не могу найти ни одного KSV крейта!"), std::string::npos) << noServer.Err;
}

TEST_F(CliTest, InterruptStopsCleanlyAndReleasesTheModule)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const std::string path = TempFile("ksv-cli-int-");
        const TCliRun run = TCliProcess::Run({"measure", "--time", "0.2", "--rate", "1000", "--format", "json",
                                              "--output", path},
                                             {"", signal, 1, 0, 1500});
        EXPECT_EQ(run.Status, signal == SIGINT ? 130 : 143) << run.Err;
        EXPECT_NE(ServerStatus().find("slot 2 27C-0002 closed"), std::string::npos) << ServerStatus();
        std::ifstream in(path);
        std::string all((std::istreambuf_iterator<char>(in)), {});
        EXPECT_TRUE(all.empty() || all.back() == '\n') << "a record is written whole or not at all";
        std::filesystem::remove(path);
    }
    // A stuck read: the first Ctrl+C waits for it, the second ends the tool at once.
    ASSERT_TRUE(server.Control("fault crate=CLI-A slot=2 recv=stall"));
    const TCliRun stuck = TCliProcess::Run({"measure"}, {"KSV27 27C-0002", SIGINT, 2, 500});
    EXPECT_EQ(stuck.Status, 130) << stuck.Err;
    EXPECT_LT(stuck.Seconds, 4.0) << "the second Ctrl+C did not end the tool at once";
}

TEST_F(CliTest, BadArgumentsAreRefusedBeforeAnyLibraryCall)
{
    server.Stop(); // a library call would now give status 3, not 2
    const std::string existing = TempFile("ksv-cli-exists-");
    std::ofstream(existing) << "keep me\n";
    const std::vector<std::vector<std::string>> usage = {
        {},
        {"frobnicate"},
        {"list", "--rate", "5"},
        {"measure", "--rate", "7"},
        {"measure", "--rate"},
        {"measure", "--slots", "0"},
        {"measure", "--slots", "1,9"},
        {"measure", "--slots", "5-3"},
        {"measure", "--slots", "1,,2"},
        {"measure", "--slot", "17"},
        {"measure", "--time", "-1"},
        {"measure", "--time", "nan"},
        {"measure", "--time", "inf"},
        {"measure", "--time", "0.001"}, // less than one frame at 5 Hz
        {"measure", "--cycles", "0"},
        {"measure", "--cycles", "-3"},
        {"measure", "--duration", "0"},
        {"measure", "--cycles", "2", "--duration", "5"},
        {"measure", "--format", "xml"},
        {"measure", "--settings", "/nonexistent/Ksv27_Vorn.ini"},
    };
    for (const auto& args : usage) {
        const TCliRun run = TCliProcess::Run(args);
        std::string joined;
        for (const auto& a : args) joined += a + ' ';
        EXPECT_EQ(run.Status, 2) << joined << run.Err;
        EXPECT_NE(run.Err.find("ksv27-vorn-cli: "), std::string::npos) << joined;
    }
    const TCliRun clobber = TCliProcess::Run({"measure", "--output", existing});
    EXPECT_EQ(clobber.Status, 4) << clobber.Err;
    std::ifstream in(existing);
    std::string kept((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(kept, "keep me\n");
    std::filesystem::remove(existing);

    const TCliRun help = TCliProcess::Run({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("Examples:"), std::string::npos);
}

} // namespace
