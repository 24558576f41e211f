// A connection's session against an instrument without a module (its
// acquisition thread never started): the execution and query error codes,
// the status registers, and a waiting query interrupted by a new line.
#include <gtest/gtest.h>

#include "ScpiSession.h"
#include "Version.h"

namespace {

using namespace ksv::scpi;

class ScpiSessionTest : public ::testing::Test {
protected:
    std::string Ask(const std::string& line)
    {
        answers.clear();
        session.Line(line);
        return answers;
    }
    int NextError() { return std::stoi(Ask("SYST:ERR?")); }

    TInstrument instrument{ksv::cli::TMeasureChoice{}};
    std::string answers;
    TScpiSession session{1, instrument, [this](std::string a) { answers += a; }, {}};
};

TEST_F(ScpiSessionTest, EachRefusedCommandQueuesItsCode)
{
    struct TCase {
        const char* Line;
        int Code;
    };
    const TCase cases[] = {
        {"*IDN? 5", -108},
        {"ROUT:SCAN", -109},
        {"FROB?", -113},
        {"MEAS2?", -114},
        {"TRIG:COUN 5 S", -138},
        {"APER 5 V", -131},
        {"ROUT:SCAN 5", -104},
        {"RATE 7", -222},
        {"ROUT:SCAN (@0,17)", -222},
        {"APER 1e6", -222},
        {"APER 0.0001", -222},
        {"FORM:READ:TIME MAYBE", -224},
        {"TRIG:COUN INF;FETC?", -221},
        {"*RST;FETC?", -420},
        {"FUNC? (@1)", -241},
        {"DATA:REM? 0", -222},
        {"BOGUS0", -113}, // unknown whatever its last character
        {"NOSUCH7?", -113},
        {"ROUT:SCAN (@)", -102},
        {"RATE 1000;APER 0.01;RATE 5", -221}, // the time would not fit 5 Hz
        {"*RST;INIT;INIT", -213},             // the first never ends here
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(Ask(c.Line), "") << c.Line;
        EXPECT_EQ(NextError(), c.Code) << c.Line;
        EXPECT_EQ(NextError(), 0) << c.Line;
    }
}

TEST_F(ScpiSessionTest, AnswersOfOneLineAndTheStatusRegisters)
{
    EXPECT_EQ(Ask("*IDN?;SYST:VERS?;*TST?"), "KSV27_Vorn ksv27-vorn-cli " KSV27_VERSION_TEXT ",KSV27,0,0;1999.0;1\n");
    EXPECT_EQ(Ask("RATE 1 kHz;RATE?;APER 20 ms;:APER?;TRIG:COUN INF;COUN?"), "+1.00000000E+03;+2.00000000E-02;+9.90000000E+37\n");
    EXPECT_EQ(Ask("*RST;RATE?;APER?;TRIG:COUN?;ROUT:SCAN?"), "+5.00000000E+00;+1.00000000E+00;1;(@1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16)\n");
    Ask("FROB");
    EXPECT_EQ(Ask("*ESE 32;*SRE 32;*STB?"), "100\n"); // error queued, event summary, master summary
    EXPECT_EQ(Ask("*ESR?;*ESR?"), "160;0\n");         // power on and a command error, then cleared
    EXPECT_EQ(Ask("*CLS;SYST:ERR:COUN?"), "0\n");
    // A header found from the root sets the path for the rest of the line.
    EXPECT_EQ(Ask("TRIG:COUN 2;FORM:READ:TIME ON;CHAN ON;:TRIG:COUN?;FORM:READ:TIME?;CHAN?"), "2;1;1\n");
    // The scan list reads back as written, ascending; bounds by MIN|MAX.
    EXPECT_EQ(Ask("ROUT:SCAN (@9,5:3);ROUT:SCAN?;:TRIG:COUN? MAX"), "(@3,4,5,9);1000000000\n");
    Ask("FROB;:X");
    Ask("ROUT:SCAN (@17)");
    EXPECT_EQ(Ask("SYST:ERR:ALL?;ALL?"),
              "-113,\"Undefined header;FROB\",-222,\"Data out of range;channel 17 not in 1..16\";0,\"No error\"\n");
}

TEST_F(ScpiSessionTest, AWaitingQueryHoldsItsLineAndANewLineInterruptsIt)
{
    // Without the acquisition thread the measurement stays under way.
    EXPECT_EQ(Ask("INIT;*OPC?;*IDN?"), "");
    EXPECT_EQ(Ask("ROUT:SCAN (@1)"), "");
    EXPECT_EQ(NextError(), -410);
    EXPECT_EQ(NextError(), -221); // the scan list of a running measurement
    // Measuring is operation bit 4, summarised in bit 7 of *STB? once enabled.
    EXPECT_EQ(Ask("STAT:OPER:COND?;STAT:OPER:ENAB 16;*STB?;STAT:OPER?;*STB?"), "16;128;16;0\n");
    instrument.Abort();
    EXPECT_EQ(Ask("*OPC?;STAT:OPER:COND?;STAT:QUES:COND?"), "1;0;0\n");
}

} // namespace
