// The library operations against a real server process.
#include <cstdio>
#include <set>
#include <thread>

#include "SimFixture.h"

namespace ksv::simtest {
namespace {

using Libraries = SimTest;

// The record is packed: its doubles are read by copy, never by reference.
double Load(const void* p)
{
    double v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::string ListEntry(const KsvCrateList& list, int i) { return std::string(list[i], strnlen(list[i], KSV_SERIAL_CHARS)); }

TEST_F(Libraries, ExportExactlyTheOperationsOfTheHeader)
{
    auto exported = [](const std::string& lib) {
        std::set<std::string> names;
        std::string cmd = "nm -D --defined-only '" + ExecutableFolder() + "/" + lib + "' 2>/dev/null";
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return names;
        char line[512];
        while (std::fgets(line, sizeof line, p)) {
            char addr[64], type[8], name[256];
            if (std::sscanf(line, "%63s %7s %255s", addr, type, name) == 3) names.insert(name);
        }
        pclose(p);
        return names;
    };
    auto crate = exported("libksvapi.so");
    auto module = exported("libksv27api.so");
    if (crate.empty() && module.empty()) GTEST_SKIP() << "nm is not available";
    EXPECT_EQ(crate, (std::set<std::string>{"KSV_Close", "KSV_GetCrateModules", "KSV_GetCrates", "KSV_Init", "KSV_Open"}));
    EXPECT_EQ(module, (std::set<std::string>{"KSV27_ADCStart", "KSV27_ADCStop", "KSV27_Close", "KSV27_GetConfig",
                                             "KSV27_GetDescription", "KSV27_Init", "KSV27_IsOpened", "KSV27_Open",
                                             "KSV27_ProcessData", "KSV27_Recv", "KSV27_SetConfig"}));
}

TEST_F(Libraries, CrateListAndSlotQuery)
{
    Serve();
    KsvCrateConnection c;
    std::memset(&c, 0x5A, sizeof c); // Init must not trust what it finds
    L.Init(&c);
    EXPECT_EQ(c.Address, KSV_SERVER_ADDRESS);
    EXPECT_EQ(c.Port, server.Port()); // the override replaces the port
    ASSERT_EQ(L.Open(&c), 0);
    EXPECT_EQ(L.Open(&c), 0) << "opening an open connection is harmless";

    KsvCrateList list;
    std::memset(list, 0x7F, sizeof list);
    ASSERT_EQ(L.GetCrates(&c, list), 0);
    EXPECT_EQ(ListEntry(list, 0), "TC-1");
    EXPECT_EQ(ListEntry(list, 1), "TC-2");
    EXPECT_EQ(ListEntry(list, 2), "TC-LONG-SERIAL-") << "a serial is cut to 15 characters";
    EXPECT_EQ(list[2][15], '\0');
    EXPECT_EQ(list[3][0], '\0') << "the list ends with an empty entry";

    uint16_t modules[KSV_MAX_SLOTS];
    std::strcpy(c.CrateSerial, "TC-1");
    ASSERT_EQ(L.GetCrateModules(&c, modules), 0);
    EXPECT_EQ(modules[0], 0);
    EXPECT_EQ(modules[1], KSV27_MODULE_ID);
    EXPECT_EQ(modules[2], 4660);
    EXPECT_EQ(modules[3], KSV27_MODULE_ID);
    for (int s = 4; s < KSV_MAX_SLOTS; ++s) EXPECT_EQ(modules[s], 0) << "slot " << s + 1;

    // The listed (cut) serial names the crate; its slot 20 is not reported.
    std::memcpy(c.CrateSerial, list[2], KSV_SERIAL_CHARS);
    ASSERT_EQ(L.GetCrateModules(&c, modules), 0);
    EXPECT_EQ(modules[15], KSV27_MODULE_ID);

    std::strcpy(c.CrateSerial, "NO-SUCH");
    EXPECT_LT(L.GetCrateModules(&c, modules), 0);
    // A serial filling all 16 bytes without NUL is read no further.
    std::memset(c.CrateSerial, 'X', sizeof c.CrateSerial);
    EXPECT_LT(L.GetCrateModules(&c, modules), 0);

    L.Close(&c);
    EXPECT_LT(L.GetCrates(&c, list), 0) << "a closed connection fails";
    L.Close(&c);
    KsvCrateConnection zero{};
    L.Close(&zero);
    EXPECT_LT(L.GetCrates(&zero, list), 0);
    EXPECT_LT(L.GetCrates(nullptr, list), 0);
    EXPECT_LT(L.GetCrates(&c, nullptr), 0);
    L.Close(nullptr);
    L.Init(nullptr);
}

TEST_F(Libraries, AtMostSixteenCratesAndSlots)
{
    std::string json = R"({"crates": [)";
    for (int i = 0; i < 20; ++i) {
        char serial[32];
        std::snprintf(serial, sizeof serial, "CRATE%02d-SERIAL-LONGER", i);
        json += std::string(i ? "," : "") + R"({"serial": ")" + serial + R"(", "slots": [)";
        for (int s = 1; s <= 24; ++s) json += std::string(s > 1 ? "," : "") + R"({"slot": )" + std::to_string(s) + R"(, "id": )" + std::to_string(1000 + s) + "}";
        json += "]}";
    }
    json += "]}";
    Serve(json);
    KsvCrateConnection c;
    ASSERT_NO_FATAL_FAILURE(OpenConnection(c));
    // Guard bytes around the list catch a write past its 16 entries.
    struct {
        KsvCrateList list;
        char guard[64];
    } out;
    std::memset(&out, 0x7F, sizeof out);
    ASSERT_EQ(L.GetCrates(&c, out.list), 0);
    for (int i = 0; i < KSV_MAX_CRATES; ++i) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "CRATE%02d-SERIAL-", i);
        EXPECT_EQ(ListEntry(out.list, i), expected);
    }
    for (char g : out.guard) ASSERT_EQ(g, 0x7F);

    struct {
        uint16_t ids[KSV_MAX_SLOTS];
        uint16_t guard[8];
    } slots;
    std::memset(&slots, 0x7F, sizeof slots);
    std::memcpy(c.CrateSerial, out.list[19 - 4], KSV_SERIAL_CHARS);
    ASSERT_EQ(L.GetCrateModules(&c, slots.ids), 0);
    for (int s = 0; s < KSV_MAX_SLOTS; ++s) EXPECT_EQ(slots.ids[s], 1001 + s);
    for (uint16_t g : slots.guard) ASSERT_EQ(g, 0x7F7F);
    L.Close(&c);
}

TEST_F(Libraries, OpenRefusesWhatCannotBeOpened)
{
    Serve();
    Ksv27ModuleRecord r;
    EXPECT_LT(OpenModule(r, "NO-SUCH", 2), 0) << "missing crate";
    EXPECT_LT(OpenModule(r, "TC-1", 1), 0) << "empty slot";
    EXPECT_LT(OpenModule(r, "TC-1", 3), 0) << "foreign module";
    EXPECT_LT(OpenModule(r, "TC-1", 0), 0);
    EXPECT_LT(OpenModule(r, "TC-1", 17), 0);
    EXPECT_LT(L.ModOpen(&r, KSV_SERVER_ADDRESS, KSV_SERVER_PORT, nullptr, 2), 0);
    EXPECT_LT(L.ModOpen(nullptr, KSV_SERVER_ADDRESS, KSV_SERVER_PORT, "TC-1", 2), 0);
    EXPECT_NE(L.IsOpened(&r), 0);

    ASSERT_EQ(OpenModule(r, "TC-1", 2), 0);
    EXPECT_EQ(L.IsOpened(&r), 0);
    EXPECT_LT(L.ModOpen(&r, KSV_SERVER_ADDRESS, KSV_SERVER_PORT, "TC-1", 4), 0) << "the record is in use";
    Ksv27ModuleRecord other;
    EXPECT_LT(OpenModule(other, "TC-1", 2), 0) << "open elsewhere";
    EXPECT_EQ(OpenModule(other, "TC-1", 4), 0) << "another module of the crate is free";
    L.ModClose(&other);
    L.ModClose(&r);
    EXPECT_NE(L.IsOpened(&r), 0);
    EXPECT_EQ(OpenModule(other, "TC-1", 2), 0) << "free again right after Close";
    L.ModClose(&other);

    // A long serial is matched by the 15 characters the list shows.
    EXPECT_EQ(OpenModule(r, "TC-LONG-SERIAL-", 16), 0);
    L.ModClose(&r);

    // Without a server nothing opens, and quickly.
    server.Stop();
    auto t0 = Clock::now();
    EXPECT_LT(OpenModule(r, "TC-1", 2), 0);
    EXPECT_LT(MsSince(t0), 1000);
}

TEST_F(Libraries, ZeroedAndClosedRecordsAreHarmless)
{
    Serve();
    Ksv27ModuleRecord r;
    std::memset(&r, 0, sizeof r);
    EXPECT_NE(L.IsOpened(&r), 0);
    L.ModClose(&r);
    L.ModClose(nullptr);
    EXPECT_NE(L.IsOpened(nullptr), 0);
    uint32_t raw[16] = {};
    double values[16];
    uint32_t count = 16;
    EXPECT_LT(L.GetConfig(&r), 0);
    EXPECT_LT(L.GetDescription(&r, KSV27_DESCRIPTION_MASK), 0);
    EXPECT_LT(L.SetConfig(&r), 0);
    EXPECT_LT(L.Start(&r), 0);
    EXPECT_LT(L.Stop(&r), 0);
    EXPECT_LT(L.Recv(&r, raw, nullptr, 16, 100), 0);
    EXPECT_LT(L.ProcessData(&r, raw, values, &count, 1, 1), 0);

    // A copy of an open record outlives its original's Close as a dead one.
    ASSERT_EQ(OpenModule(r), 0);
    Ksv27ModuleRecord copy = r;
    L.ModClose(&r);
    EXPECT_NE(L.IsOpened(&copy), 0);
    EXPECT_LT(L.GetConfig(&copy), 0);
    L.ModClose(&copy);

    // Init of an open record closes it, so the module is free again.
    ASSERT_EQ(OpenModule(r), 0);
    L.ModInit(&r);
    EXPECT_NE(L.IsOpened(&r), 0);
    Ksv27ModuleRecord again;
    EXPECT_EQ(OpenModule(again), 0);
    L.ModClose(&again);
}

TEST_F(Libraries, ConfigAndDescriptionFillTheirFields)
{
    Serve();
    Ksv27ModuleRecord r;
    ASSERT_EQ(OpenModule(r), 0);
    ASSERT_EQ(L.GetConfig(&r), 0);
    EXPECT_STREQ(r.ModuleName, "KSV27");
    EXPECT_STREQ(r.ModuleSerial, "27T-0001");
    const uint32_t firmware = r.FirmwareVersion;
    EXPECT_EQ(firmware, 0x01020304u) << "\"1.2.3.4\": the first part is the word's most significant byte";
    EXPECT_EQ(r.AdcRateDivisor, 4) << "the power-up divisor of the scenario";
    const char* names[8] = {"U10", "R100", "T", "I5", "EMPTY", "UDEF", "U20", "I20"};
    for (int m = 0; m < 8; ++m) {
        EXPECT_STREQ(r.Mezzanines[m].MezzanineName, names[m]);
        EXPECT_EQ(Load(&r.Mezzanines[m].MezzanineCoefs[1]), 1.0) << "a fresh open applies no correction";
    }

    std::memset(r.MezzanineDescBlocks, 0x55, sizeof r.MezzanineDescBlocks);
    std::memset(&r.LastMezzanineDesc, 0x55, sizeof r.LastMezzanineDesc);
    std::memset(r.Reserved3616, 0x66, sizeof r.Reserved3616);
    ASSERT_EQ(L.GetDescription(&r, 0x0Fu), 0) << "mezzanines 0..3 only";
    EXPECT_STREQ(Ksv27MezzanineDescOf(&r, 0)->MezzanineSerial, "S-U10");
    EXPECT_STREQ(Ksv27MezzanineDescOf(&r, 3)->MezzanineSerial, "S-I5-A-VERY-LONG-S") << "cut to 18 characters";
    EXPECT_EQ(Ksv27MezzanineDescOf(&r, 4)->MezzanineSerial[0], 0x55) << "outside the mask: untouched";
    ASSERT_EQ(L.GetDescription(&r, KSV27_DESCRIPTION_MASK), 0);
    for (int m = 0; m < 8; ++m) {
        double d[4];
        std::memcpy(d, Ksv27MezzanineDescOf(&r, m)->MezzanineDescCoefs, sizeof d);
        const ChannelLevel& a = kTestLevels[2 * m];
        const ChannelLevel& b = kTestLevels[2 * m + 1];
        EXPECT_EQ(d[0], a.Offset) << m;
        EXPECT_EQ(d[1], a.Scale) << m;
        EXPECT_EQ(d[2], b.Offset) << m;
        EXPECT_EQ(d[3], b.Scale) << m;
    }
    EXPECT_STREQ(Ksv27MezzanineDescOf(&r, 7)->MezzanineSerial, "S-I20") << "the last block, cut short by the record";
    for (uint8_t b : r.Reserved3616) ASSERT_EQ(b, 0x66) << "nothing written past the last description";
    EXPECT_LT(L.GetDescription(&r, 0x200u), 0) << "a mask bit that names nothing";
    L.ModClose(&r);
}

TEST_F(Libraries, SetConfigRejectsUnusableCoefficients)
{
    Serve();
    Ksv27ModuleRecord r;
    ASSERT_EQ(OpenModule(r), 0);
    ASSERT_EQ(L.GetConfig(&r), 0);
    std::memset(r.Mezzanines[1].MezzanineCoefs, 0, sizeof r.Mezzanines[1].MezzanineCoefs);
    EXPECT_LT(L.SetConfig(&r), 0) << "scale 0";
    ASSERT_EQ(L.GetConfig(&r), 0);
    r.Mezzanines[0].MezzanineCoefs[2] = NAN;
    EXPECT_LT(L.SetConfig(&r), 0) << "not a number";
    ASSERT_EQ(L.GetConfig(&r), 0);
    std::memset(r.Mezzanines[4].MezzanineCoefs, 0, sizeof r.Mezzanines[4].MezzanineCoefs);
    EXPECT_EQ(L.SetConfig(&r), 0) << "an empty mezzanine's coefficients do not matter";

    r.AdcRateDivisor = 19;
    ASSERT_EQ(L.SetConfig(&r), 0);
    ASSERT_EQ(L.GetConfig(&r), 0);
    EXPECT_EQ(r.AdcRateDivisor, 19);
    ASSERT_EQ(L.Start(&r), 0);
    EXPECT_LT(L.SetConfig(&r), 0) << "not while the acquisition runs";
    EXPECT_EQ(L.Stop(&r), 0);
    L.ModClose(&r);
}

// Correct use gives the configured levels; forgetting to copy the
// description coefficients gives the mezzanine's uncorrected error.
TEST_F(Libraries, ConversionWithAndWithoutDescriptionCoefficients)
{
    Serve();
    for (bool copy : {true, false}) {
        SCOPED_TRACE(copy ? "coefficients copied" : "coefficients not copied");
        Ksv27ModuleRecord r;
        ASSERT_EQ(OpenModule(r), 0);
        Configure(r, 0, copy);
        ASSERT_EQ(L.Start(&r), 0);
        // 500 frames at 1000 Hz: five whole periods of the 10 Hz sine.
        std::vector<uint32_t> words = Acquire(r, 500);
        ASSERT_EQ(words.size(), 500u * 16);
        for (size_t i = 0; i < words.size(); ++i) ASSERT_EQ(words[i] >> 28, i % 16) << "word " << i;
        std::vector<double> mean = ChannelMeans(r, words);
        for (int ch = 0; ch < 16; ++ch) {
            const ChannelLevel& l = kTestLevels[ch];
            const double expected = copy ? l.Dc : l.Dc / l.Scale - l.Offset;
            EXPECT_NEAR(mean[ch], expected, l.Noise + 1e-5) << "channel " << ch;
            if (!copy && l.Scale != 1.0) {
                EXPECT_GT(std::fabs(mean[ch] - l.Dc), std::max(1e-3, 2 * l.Noise)) << "channel " << ch;
            }
        }
        EXPECT_EQ(L.Stop(&r), 0);
        L.ModClose(&r);
    }
}

TEST_F(Libraries, ProcessDataEdgeCases)
{
    Serve();
    Ksv27ModuleRecord r;
    ASSERT_EQ(OpenModule(r), 0);
    Configure(r, 0, true);
    uint32_t count = 0;
    EXPECT_EQ(L.ProcessData(&r, nullptr, nullptr, &count, 1, 1), 0) << "nothing to convert";
    EXPECT_EQ(count, 0u);
    count = 16;
    EXPECT_LT(L.ProcessData(&r, nullptr, nullptr, &count, 1, 1), 0);
    uint32_t raw[3] = {};
    double values[3] = {};
    EXPECT_LT(L.ProcessData(&r, raw, values, nullptr, 1, 1), 0);

    // Words out of their frame position convert as the channel they carry:
    // a zero code on channel 5 (T, second half) is (0 + offset) * scale.
    raw[0] = 5u << 28 | 0x8000000u;
    raw[1] = 0x8000000u;             // channel 0, zero code
    raw[2] = 2u << 28 | 0x0FFFFFFFu; // channel 2 (R100), the largest code
    count = 3;
    ASSERT_EQ(L.ProcessData(&r, raw, values, &count, 1, 1), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_NEAR(values[0], (0 + -0.6) * 0.975, 1e-12);
    EXPECT_NEAR(values[1], 0.05 * 1.04, 1e-12);
    EXPECT_NEAR(values[2], (200.0 + 1.5) * 1.02, 1e-4);
    ASSERT_EQ(L.ProcessData(&r, raw, values, &count, 0, 1), 0);
    EXPECT_NEAR(values[2], 200.0, 1e-4) << "calibrate 0: no coefficients";
    ASSERT_EQ(L.ProcessData(&r, raw, values, &count, 1, 0), 0);
    EXPECT_EQ(values[2], 134217727.0) << "convert 0: the signed code";
    L.ModClose(&r);
}

TEST_F(Libraries, RecvTimesOutWithFewerWordsAndStopDiscards)
{
    Serve();
    Ksv27ModuleRecord r;
    ASSERT_EQ(OpenModule(r), 0);
    Configure(r, 199, true); // 5 Hz: 80 words per second
    uint32_t buffer[16 * 100];
    EXPECT_LT(L.Recv(&r, buffer, nullptr, 16, 200), 0) << "no acquisition runs";
    ASSERT_EQ(L.Start(&r), 0);
    auto t0 = Clock::now();
    int32_t n = L.Recv(&r, buffer, nullptr, 16 * 100, 600);
    double ms = MsSince(t0);
    EXPECT_GE(ms, 550);
    EXPECT_LT(ms, 1500);
    EXPECT_GE(n, 16 * 2);
    EXPECT_LE(n, 16 * 5) << "about 0.6 s of 5 Hz frames";
    EXPECT_EQ(n % 16, 0) << "whole frames for a whole-frame request";
    EXPECT_EQ(L.Recv(&r, buffer, nullptr, 0, 100), 0);
    EXPECT_LT(L.Recv(&r, nullptr, nullptr, 16, 100), 0);

    ASSERT_EQ(L.Stop(&r), 0);
    EXPECT_EQ(L.Stop(&r), 0) << "stopping a stopped module is harmless";
    r.AdcRateDivisor = 0;
    ASSERT_EQ(L.SetConfig(&r), 0);
    ASSERT_EQ(L.Start(&r), 0);
    std::vector<uint32_t> words = Acquire(r, 10);
    for (size_t i = 0; i < words.size(); ++i) ASSERT_EQ(words[i] >> 28, i % 16);
    L.ModClose(&r);
}

TEST_F(Libraries, TwoModulesMeasureAtOnce)
{
    Serve();
    auto measure = [this](const char* crate, int slot, double expected0, double* got) {
        Ksv27ModuleRecord r;
        if (OpenModule(r, crate, slot) != 0) return;
        Configure(r, 1, true);
        if (L.Start(&r) != 0) return;
        std::vector<uint32_t> words = Acquire(r, 200);
        *got = words.empty() ? NAN : ChannelMeans(r, words)[0];
        (void)expected0;
        L.Stop(&r);
        L.ModClose(&r);
    };
    double a = NAN, b = NAN;
    std::thread ta(measure, "TC-1", 2, 2.5, &a);
    std::thread tb(measure, "TC-1", 4, 0.5, &b);
    ta.join();
    tb.join();
    EXPECT_NEAR(a, 2.5, 0.02);
    EXPECT_NEAR(b, 0.5, 1e-6);
}

} // namespace
} // namespace ksv::simtest
