// The scenario reader, the demo, the word format and the signal generator,
// without a server process.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "Mezzanine.h"
#include "Protocol.h"
#include "Scenario.h"
#include "World.h"

namespace ksv::sim {
namespace {

std::string ErrorOf(const std::string& json)
{
    try {
        ParseScenario(json);
    } catch (const ScenarioError& e) {
        return e.what();
    }
    return "";
}

TEST(Scenario, DemoShowsEveryKindAndEveryRule)
{
    Scenario demo = ParseScenario(DemoScenarioJson());
    ASSERT_GE(demo.Crates.size(), 2u);
    std::set<std::string> kinds;
    bool twoModulesAndForeign = false;
    for (const CrateSpec& c : demo.Crates) {
        int ksv27 = 0, foreign = 0;
        for (const SlotSpec& s : c.Slots) {
            if (s.Id == kKsv27Id) {
                ++ksv27;
                ASSERT_TRUE(s.Module);
                std::set<double> levels;
                int fitted = 0;
                for (const MezzanineSpec& m : s.Module->Mezzanines) {
                    kinds.insert(m.Name);
                    if (KindOf(m.Name).Type == Kind::None) continue;
                    ++fitted;
                    levels.insert(m.Channels[0].Dc);
                    levels.insert(m.Channels[1].Dc);
                    if (KindOf(m.Name).Type != Kind::Unknown) {
                        EXPECT_TRUE(m.Coefs[0] != 0.0 || m.Coefs[1] != 1.0)
                            << m.Serial << ": no deliberate error to correct";
                    }
                }
                EXPECT_EQ(levels.size(), size_t(2 * fitted)) << s.Module->Serial << ": levels are not distinct";
            } else if (s.Id != 0) {
                ++foreign;
            }
        }
        twoModulesAndForeign = twoModulesAndForeign || (ksv27 >= 2 && foreign >= 1);
    }
    EXPECT_TRUE(twoModulesAndForeign);
    for (const char* k : {"U01", "U10", "U20", "T", "I5", "I10", "I20", "R100", "R250", "EMPTY", "UDEF"})
        EXPECT_TRUE(kinds.count(k)) << k;
}

TEST(Scenario, DefaultsAndForms)
{
    Scenario s = ParseScenario(R"({"crates": [{"serial": "A", "slots": [
        {"slot": 3},
        {"slot": 18, "id": "0x1234"},
        {"slot": 5, "firmware": 16909060, "divisor": "9", "mezzanines": [{"name": "R250"}]},
        {"slot": 6, "firmware": "255.0.1.2"}]}]})");
    ASSERT_EQ(s.Crates.size(), 1u);
    const CrateSpec& c = s.Crates[0];
    EXPECT_EQ(c.Slots.size(), 18u) << "slots beyond 16 are kept";
    EXPECT_EQ(c.Slots[0].Id, 0);
    EXPECT_EQ(c.Slots[2].Id, kKsv27Id) << "a slot is a KSV27 unless told otherwise";
    EXPECT_EQ(c.Slots[2].Module->Name, "KSV27");
    EXPECT_EQ(c.Slots[2].Module->Mezzanines[0].Name, "EMPTY");
    EXPECT_EQ(c.Slots[17].Id, 0x1234);
    EXPECT_FALSE(c.Slots[17].Module);
    EXPECT_EQ(c.Slots[4].Module->Firmware, 0x01020304u);
    EXPECT_EQ(c.Slots[4].Module->Divisor, 9);
    EXPECT_EQ(c.Slots[4].Module->Mezzanines[0].Coefs, (std::array<double, 4>{0, 1, 0, 1}));
    EXPECT_EQ(c.Slots[5].Module->Firmware, 0xFF000102u);
}

TEST(Scenario, ErrorsNameTheirPlace)
{
    EXPECT_NE(ErrorOf("{").find("not valid JSON"), std::string::npos);
    EXPECT_NE(ErrorOf(R"({"crates": {}})").find("crates: expected an array"), std::string::npos);
    EXPECT_NE(ErrorOf(R"({"crates": [{"slots": []}]})").find("\"serial\" is missing"), std::string::npos);
    EXPECT_NE(ErrorOf(R"({"crates": [{"serial": ""}]})").find("must not be empty"), std::string::npos);
    EXPECT_NE(ErrorOf(R"({"crates": [{"serial": "A", "slots": [{"slot": 1}, {"slot": 1}]}]})").find("given twice"),
              std::string::npos);
    EXPECT_NE(ErrorOf(R"({"crates": [{"serial": "A", "slots": [{"slot": 0}]}]})").find("numbered from 1"), std::string::npos);
    EXPECT_NE(ErrorOf(R"({"crates": [{"serial": "A", "slots": [{"slot": 1, "divisor": 256}]}]})").find("divisor"),
              std::string::npos);
    EXPECT_NE(ErrorOf(R"({"crates": [{"serial": "A", "slots": [{"slot": 1, "mezzanines": [{}, {}, {}, {}, {}, {}, {}, {}, {}]}]}]})")
                  .find("at most eight"),
              std::string::npos);
    EXPECT_NE(ErrorOf(R"({"crates": [{"serial": "A", "slots": [{"slot": 1, "mezzanines": [{"name": "U10",
        "channels": [{"dc": 1, "noise": -1}]}]}]}]})")
                  .find("mezzanines[0].channels[0].noise"),
              std::string::npos);
    EXPECT_NE(ErrorOf(R"({"crates": [{"serial": "A", "slots": [{"slot": 1, "mezzanines": [{"name": "ABCDEFGHIJKLMNOPQ"}]}]}]})")
                  .find("15 characters"),
              std::string::npos);
    EXPECT_NE(ErrorOf(R"({"faults": {"open": "fail"}})").find("belongs to a KSV27 slot"), std::string::npos);
    EXPECT_NE(ErrorOf(R"({"crates": [{"serial": "A\u0001"}]})").find("control character"), std::string::npos);
    EXPECT_NE(ErrorOf(R"({"crates": [{"serial": "A", "slots": [{"slot": 1, "id": -3}]}]})").find("negative"), std::string::npos);
    EXPECT_NE(ErrorOf(R"({"crates": [{"serial": "A", "slots": [{"slot": 1, "id": "12abc"}]}]})").find("whole number"),
              std::string::npos);
}

TEST(Scenario, FaultModesFitTheirOperation)
{
    std::string why;
    auto f = ParseFault(FaultOp::Recv, "stall:once", why);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Mode, FaultMode::Stall);
    EXPECT_TRUE(f->Once);
    EXPECT_EQ(FaultText(*f), "stall:once");
    EXPECT_EQ(ParseFault(FaultOp::Recv, "error", why)->Mode, FaultMode::Fail);
    EXPECT_FALSE(ParseFault(FaultOp::GetConfig, "stall", why));
    EXPECT_FALSE(ParseFault(FaultOp::ProcessData, "drop", why));
    EXPECT_FALSE(ParseFault(FaultOp::Open, ":once", why));
    EXPECT_FALSE(ParseFault(FaultOp::Open, "fail:twice", why));
    EXPECT_EQ(ParseFault(FaultOp::Open, "off", why)->Mode, FaultMode::Off);
    for (size_t op = 0; op < kFaultOps; ++op) {
        EXPECT_EQ(FaultOpFromName(FaultOpName(static_cast<FaultOp>(op))), static_cast<FaultOp>(op));
    }
}

TEST(Words, CarryTheirChannelAndClipAtFullScale)
{
    for (int ch = 0; ch < 16; ++ch) EXPECT_EQ(ChannelOfWord(EncodeWord(ch, 0.3, 1.0)), ch);
    EXPECT_EQ(EncodeWord(3, 0.0, 2.0) & kCodeMask, kCodeZero);
    EXPECT_EQ(EncodeWord(3, 5.0, 2.0) & kCodeMask, kCodeMask) << "over the top";
    EXPECT_EQ(EncodeWord(3, -5.0, 2.0) & kCodeMask, 0u) << "under the bottom";
    EXPECT_EQ(EncodeWord(3, NAN, 2.0) & kCodeMask, kCodeZero);
    EXPECT_EQ(EncodeWord(3, INFINITY, 2.0) & kCodeMask, kCodeZero);
    for (double v : {-19.99, -1.0, 0.0, 1e-6, 3.14159, 19.99})
        EXPECT_NEAR(CodeValueOfWord(EncodeWord(7, v, 20.0), 20.0), v, 20.0 / kCodeHalfRange);
    EXPECT_TRUE(CoefsUsable({0, 1, 0, 1}));
    EXPECT_FALSE(CoefsUsable({0, 0, 0, 1}));
    EXPECT_FALSE(CoefsUsable({0, 1, NAN, 1}));
    EXPECT_EQ(KindOf("R100").Type, Kind::Resistance);
    EXPECT_EQ(KindOf("UDEF").Type, Kind::None);
    EXPECT_EQ(KindOf("u10").Type, Kind::Unknown) << "names are case-sensitive";
}

TEST(Words, GeneratedSignalsUndoTheirCoefficientsAndRepeat)
{
    std::array<MezzanineSpec, 8> mz{};
    mz[1].Name = "U10";
    mz[1].Coefs = {0.05, 1.04, 0.03, 0.97};
    mz[1].Channels[0] = {2.5, 0.0, 0.0, 0.0, 0.1, 11};
    mz[1].Channels[1] = {-3.0, 2.0, 50.0, 30.0, 0.0, 1};
    const uint32_t frames = 200; // ten periods of 50 Hz at 1000 Hz
    std::vector<uint8_t> bytes, again;
    GenerateWords(mz, 0, 0, frames * 16, bytes);
    GenerateWords(mz, 0, 0, frames * 16, again);
    EXPECT_EQ(bytes, again) << "the noise has a fixed seed";
    ASSERT_EQ(bytes.size(), frames * 16 * 4u);
    Reader rd(bytes);
    double sum2 = 0, sum3 = 0, lo = 1e9, hi = -1e9;
    for (uint32_t i = 0; i < frames * 16; ++i) {
        uint32_t w = rd.U32();
        ASSERT_EQ(ChannelOfWord(w), static_cast<int>(i % 16));
        if (i % 16 == 2) {
            double v = (CodeValueOfWord(w, 20.0) + 0.05) * 1.04;
            sum2 += v;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        if (i % 16 == 3) sum3 += (CodeValueOfWord(w, 20.0) + 0.03) * 0.97;
        if (i % 16 == 0) {
            EXPECT_EQ(w & kCodeMask, kCodeZero) << "an empty mezzanine reads zero";
        }
    }
    EXPECT_NEAR(sum2 / frames, 2.5, 0.1);
    EXPECT_GE(lo, 2.4 - 1e-6) << "noise stays within its bound";
    EXPECT_LE(hi, 2.6 + 1e-6);
    EXPECT_GT(hi - lo, 0.1) << "there is noise";
    EXPECT_NEAR(sum3 / frames, -3.0, 1e-6) << "whole periods of the sine average out";

    // A stream picked up in the middle equals the same part of the whole.
    std::vector<uint8_t> part;
    GenerateWords(mz, 0, 37, 100, part);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), bytes.begin() + 37 * 4));
}

TEST(ControlCommands, SetAndClearFaultsAtTheirLevel)
{
    World world(ParseScenario(R"({"crates": [{"serial": "A", "slots": [{"slot": 2}, {"slot": 3, "id": 9}]}]})"));
    EXPECT_EQ(world.Control("fault crate=A slot=2 recv=stall:once open=fail").rfind("ok", 0), 0u);
    std::string status = world.Control("status");
    EXPECT_NE(status.find("open=fail,recv=stall:once"), std::string::npos) << status;
    EXPECT_EQ(world.Control("fault crate=A slot=2 recv=stall open=bogus").rfind("error:", 0), 0u);
    EXPECT_NE(world.Control("status").find("recv=stall:once"), std::string::npos)
        << "a command with an error changes nothing";
    EXPECT_EQ(world.Control("fault crate=A slot=3 open=fail").rfind("error:", 0), 0u);
    EXPECT_EQ(world.Control("fault slot=2 open=fail").rfind("error:", 0), 0u);
    EXPECT_EQ(world.Control("fault list=fail").rfind("ok", 0), 0u);
    EXPECT_EQ(world.Control("signal crate=A slot=2 channel=16 dc=1").rfind("error:", 0), 0u);
    EXPECT_EQ(world.Control("signal crate=A slot=2 channel=3 dc=abc").rfind("error:", 0), 0u);
    EXPECT_EQ(world.Control("drop crate=A slot=2").rfind("error:", 0), 0u) << "not open";
    EXPECT_EQ(world.Control("clear"), "ok");
    status = world.Control("status");
    EXPECT_NE(status.find("faults=none"), std::string::npos);
    EXPECT_NE(status.find("list=off"), std::string::npos);
}

} // namespace
} // namespace ksv::sim
