// The SCPI syntax: header forms, compound lines, parameters and the codes
// the parser gives for what it refuses; NR3 answers; the error queue.
#include <gtest/gtest.h>

#include <cmath>

#include "ReadingMemory.h"
#include "ScpiNumber.h"
#include "ScpiParser.h"

namespace {

using namespace ksv::scpi;

TCommand One(const std::string& line)
{
    const std::vector<TUnit> units = ParseLine(line);
    EXPECT_EQ(units.size(), 1u) << line;
    EXPECT_EQ(units.at(0).Error.Code, 0) << line << ": " << units.at(0).Error.Detail;
    return units.at(0).Command;
}

TEST(ScpiSyntax, HeadersMatchInLongOrShortFormAnyCaseWithOptionalNodes)
{
    struct TCase {
        const char* Line;
        const char* Pattern;
        bool Match;
    };
    const TCase cases[] = {
        {"MEASure?", "MEASure?", true},
        {"meas?", "MEASure?", true},
        {"MeAsUrE?", "MEASure?", true},
        {"MEASU?", "MEASure?", false},
        {"MEAS", "MEASure?", false},
        {"MEAS?", "MEASure", false},
        {"SYST:ERR?", "SYSTem:ERRor[:NEXT]?", true},
        {"SYST:ERR:NEXT?", "SYSTem:ERRor[:NEXT]?", true},
        {"SYST:NEXT?", "SYSTem:ERRor[:NEXT]?", false},
        {"APER 1", "[SENSe:]APERture", true},
        {"sens:aper 1", "[SENSe:]APERture", true},
        {":SENSE:APERTURE 1", "[SENSe:]APERture", true},
        {"*idn?", "*IDN?", true},
        {"*IDN", "*IDN?", false},
        {"ROUT1:SCAN?", "ROUTe:SCAN?", true},
        {"ROUT2:SCAN?", "ROUTe:SCAN?", false},
    };
    for (const TCase& c : cases) EXPECT_EQ(MatchHeader(c.Pattern, One(c.Line)), c.Match) << c.Line << " / " << c.Pattern;
    EXPECT_TRUE(HasNumericSuffix(One("ROUT2:SCAN?")));
}

TEST(ScpiSyntax, CompoundLinesKeepThePathAndCommonCommandsDoNot)
{
    const std::vector<TUnit> units = ParseLine("TRIG:COUN 5;INIT;*CLS;:ABOR; ;FORM:READ:TIME ON;CHAN ON\r");
    ASSERT_EQ(units.size(), 6u);
    EXPECT_EQ(units[1].Command.Nodes, (std::vector<std::string>{"TRIG", "INIT"}));
    EXPECT_EQ(units[1].Command.Inherited, 1u);
    EXPECT_TRUE(units[2].Command.Common);
    EXPECT_EQ(units[3].Command.Nodes, (std::vector<std::string>{"ABOR"}));
    EXPECT_EQ(units[5].Command.Nodes, (std::vector<std::string>{"FORM", "READ", "CHAN"}));
    EXPECT_TRUE(ParseLine("").empty());
}

TEST(ScpiSyntax, ParametersOfEveryKind)
{
    const TCommand c = One("X +1.5e-3 kHz, .5,-7, inf , 'it''s', (@1,3,5:8), (@4:2), (@)");
    ASSERT_EQ(c.Params.size(), 8u);
    EXPECT_DOUBLE_EQ(c.Params[0].Number, 1.5e-3);
    EXPECT_EQ(c.Params[0].Suffix, "KHZ");
    double hz = 0;
    EXPECT_FALSE(ScaleBySuffix(c.Params[0], "HZ", hz));
    EXPECT_DOUBLE_EQ(hz, 1.5);
    EXPECT_DOUBLE_EQ(c.Params[1].Number, 0.5);
    EXPECT_DOUBLE_EQ(c.Params[2].Number, -7);
    EXPECT_EQ(c.Params[3].Kind, TParamKind::Character);
    EXPECT_EQ(c.Params[3].Text, "INF");
    EXPECT_EQ(c.Params[4].Text, "it's");
    EXPECT_EQ(c.Params[5].Channels, (std::vector<int>{1, 3, 5, 6, 7, 8}));
    EXPECT_EQ(c.Params[6].Channels, (std::vector<int>{4, 3, 2}));
    EXPECT_TRUE(c.Params[7].Channels.empty());
    double seconds = 0;
    EXPECT_FALSE(ScaleBySuffix(One("X 20 ms").Params[0], "S", seconds));
    EXPECT_DOUBLE_EQ(seconds, 0.02);
    EXPECT_EQ(ScaleBySuffix(One("X 20 V").Params[0], "S", seconds).Code, -131);
}

TEST(ScpiSyntax, RefusedInputGivesItsCode)
{
    struct TCase {
        std::string Line;
        int Code;
    };
    const TCase cases[] = {
        {"A$B?", -102},
        {"X:", -102},
        {"X 1,,2", -102},
        {"X (@1;2)", -102},
        {"X (@a)", -102},
        {"X 1.2.3", -121},
        {"X -", -121},
        {"X 1e999", -123},
        {"X 5 H%", -131},
        {"X \"open", -151},
        {"X #H1F", -104},
        {"X O$N", -141},
        {"X $", -101},
        {std::string("*IDN?\0", 6), -101},
        {"MEAS? \xC3\xA9", -101},
        {"X (@1:999999999)", -222},
    };
    for (const TCase& c : cases) {
        const std::vector<TUnit> units = ParseLine(c.Line);
        ASSERT_FALSE(units.empty()) << c.Line;
        EXPECT_EQ(units.back().Error.Code, c.Code) << c.Line;
    }
}

TEST(ScpiAnswers, NumbersErrorsAndTheQueue)
{
    EXPECT_EQ(Nr3(0.125), "+1.25000000E-01");
    EXPECT_EQ(Nr3(-2500.0), "-2.50000000E+03");
    EXPECT_EQ(Nr3(-0.0), "+0.00000000E+00");
    EXPECT_EQ(Nr3(std::nan("")), "+9.91000000E+37");
    EXPECT_EQ(ErrorAnswer(Fail(-222, "a \"b\" \xC3\xA9")), "-222,\"Data out of range;a \"\"b\"\" ??\"");
    EXPECT_EQ(ErrorAnswer({}), "0,\"No error\"");

    TErrorQueue queue;
    for (int i = 0; i < 25; ++i) queue.Push(Fail(-113));
    EXPECT_EQ(queue.Count(), TErrorQueue::kCapacity);
    for (std::size_t i = 1; i < TErrorQueue::kCapacity; ++i) EXPECT_EQ(queue.Pop().Code, -113);
    EXPECT_EQ(queue.Pop().Code, -350);
    EXPECT_EQ(queue.Pop().Code, 0);
}

TEST(ScpiAnswers, ReadingMemoryRemovesAcrossCyclesAndDropsTheOldestWhenFull)
{
    TReadingMemory memory;
    memory.Clear(TChannelSet().set(0).set(5));
    std::array<double, kChannels> values{};
    for (int cycle = 0; cycle < 3; ++cycle) {
        values[0] = cycle;
        values[5] = cycle + 0.5;
        EXPECT_TRUE(memory.Add(cycle, values));
    }
    EXPECT_EQ(memory.Points(), 6u);
    const std::vector<TReading> first = memory.Oldest(3, true);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[1].Channel, 6);
    EXPECT_EQ(first[2].Value, 1.0);
    EXPECT_EQ(memory.Points(), 3u);
    EXPECT_EQ(memory.Oldest(10, false).front().Value, 1.5);

    memory.Clear(TChannelSet().set(2));
    for (std::size_t i = 0; i < TReadingMemory::kCycleCapacity; ++i) memory.Add(0, values);
    EXPECT_FALSE(memory.Add(1, values));
    EXPECT_EQ(memory.Points(), TReadingMemory::kCycleCapacity);
    EXPECT_EQ(memory.Oldest(TReadingMemory::kCycleCapacity, false).back().Time, 1.0);
}

} // namespace
