#include "ScpiCommands.h"

#include <algorithm>

namespace ksv::scpi {

// ---- the table --------------------------------------------------------------

const std::vector<TCommandEntry>& CommandTable()
{
    using S = TSessionContext;
    static const std::vector<TCommandEntry> table = {
        {"*IDN?", &S::Idn, "program and version, module type, module serial, firmware"},
        {"*RST", &S::Rst, "defaults: 5 Hz, 1 s, every channel, count 1, formats off; memory, statistics and limits cleared; aborts"},
        {"*CLS", &S::Cls, "clears this connection's error queue and event register"},
        {"*OPC", &S::Opc, "sets bit 0 of *ESR? once the measurement is done"},
        {"*OPC?", &S::OpcQuery, "1 once the measurement is done (waits)"},
        {"*WAI", &S::Wai, "holds this connection's later commands until the measurement is done"},
        {"*ESR?", &S::EsrQuery, "event status register (read and cleared)"},
        {"*ESE", &S::Ese, "<0..255> event status enable mask"},
        {"*ESE?", &S::EseQuery, "event status enable mask"},
        {"*STB?", &S::StbQuery, "status byte: 4 error queue, 8 questionable, 32 event summary, 64 master summary, 128 operation"},
        {"*SRE", &S::Sre, "<0..255> service request enable mask"},
        {"*SRE?", &S::SreQuery, "service request enable mask"},
        {"*TST?", &S::TstQuery, "0 when the module is open, 1 when not"},
        {"SYSTem:ERRor[:NEXT]?", &S::ErrorNext, "oldest error of this connection: <code>,\"<text>\""},
        {"SYSTem:ERRor:COUNt?", &S::ErrorCount, "errors in this connection's queue"},
        {"SYSTem:ERRor:ALL?", &S::ErrorAll, "every queued error, oldest first, and the queue cleared"},
        {"STATus:OPERation[:EVENt]?", &S::OperEvent, "operation events since last read (read and cleared): 16 measuring"},
        {"STATus:OPERation:CONDition?", &S::OperCondition, "operation condition now: 16 while a measurement runs"},
        {"STATus:OPERation:ENABle <mask>", &S::OperEnable, "which operation events set bit 7 of *STB?"},
        {"STATus:OPERation:ENABle?", &S::OperEnable, "operation enable mask"},
        {"STATus:QUEStionable[:EVENt]?", &S::QuesEvent, "questionable events since last read (read and cleared)"},
        {"STATus:QUEStionable:CONDition?", &S::QuesCondition, "512 hardware failure, 2048 lower, 4096 upper limit crossed (last measurement)"},
        {"STATus:QUEStionable:ENABle <mask>", &S::QuesEnable, "which questionable events set bit 3 of *STB?"},
        {"STATus:QUEStionable:ENABle?", &S::QuesEnable, "questionable enable mask"},
        {"STATus:PRESet", &S::StatusPreset, "both enable masks to 0"},
        {"SYSTem:VERSion?", &S::Version, "SCPI version, 1999.0"},
        {"SYSTem:MEZZanine? [(@list)]", &S::MezzanineQuery, "mezzanine name per channel, e.g. \"U10\""},
        {"SYSTem:CTYPe? <slot>", &S::ModuleTypeQuery, "module in a crate slot: maker,type,serial,firmware; 0,0,0,0 for none"},
        {"ROUTe:SCAN (@list)", &S::Scan, "channels 1..16 to measure; a channel's mezzanine slot takes part"},
        {"ROUTe:CHANnel:LABel \"<text>\",(@list)", &S::ChannelLabel, "the channels' label, UTF-8, at most 32 characters"},
        {"ROUTe:CHANnel:LABel? (@list)", &S::ChannelLabel, "label per channel; one with non-ASCII characters as #<n><length><UTF-8 bytes>"},
        {"CALCulate:SCALe:GAIN <M>,(@list)", &S::ScaleGain, "scaling M * x + B of the SI value (default 1)"},
        {"CALCulate:SCALe:GAIN? (@list)", &S::ScaleGain, "gain per channel"},
        {"CALCulate:SCALe:OFFSet <B>,(@list)", &S::ScaleOffset, "scaling offset (default 0)"},
        {"CALCulate:SCALe:OFFSet? (@list)", &S::ScaleOffset, "offset per channel"},
        {"CALCulate:SCALe:UNIT \"<unit>\",(@list)", &S::ScaleUnit, "the scaled readings' unit"},
        {"CALCulate:SCALe:UNIT? (@list)", &S::ScaleUnit, "unit per channel"},
        {"CALCulate:SCALe:STATe ON|OFF,(@list)", &S::ScaleState, "readings, statistics and limits take the scaled value"},
        {"CALCulate:SCALe:STATe? (@list)", &S::ScaleState, "1 or 0 per channel"},
        {"ROUTe:SCAN?", &S::ScanQuery, "the channels listed, ascending: one reading each per cycle"},
        {"[SENSe:]RATE <Hz>|MIN|MAX|DEF", &S::Rate, "conversion rate: 5, 10, 20, 50, 100, 200, 500 or 1000 Hz"},
        {"[SENSe:]RATE? [MIN|MAX]", &S::RateQuery, "conversion rate in Hz"},
        {"[SENSe:]APERture <s>|MIN|MAX|DEF", &S::Aperture, "acquisition time of a cycle in s (default 1)"},
        {"[SENSe:]APERture? [MIN|MAX]", &S::ApertureQuery, "acquisition time, or its bounds at this rate"},
        {"[SENSe:]FUNCtion? [(@list)]", &S::FunctionQuery, "\"VOLT\", \"CURR\", \"RES\", \"TEMP\" or \"NONE\" per channel"},
        {"[SENSe:]UNIT? [(@list)]", &S::UnitQuery, "V, A, OHM or NONE per channel"},
        {"TRIGger:COUNt <n>|INFinity|MIN|MAX|DEF", &S::Count, "cycles per INIT, 1..1000000000 or INF"},
        {"TRIGger:COUNt? [MIN|MAX]", &S::CountQuery, "cycles per INIT (+9.90000000E+37: INF), or its bounds"},
        {"INITiate[:IMMediate]", &S::Initiate, "starts the cycles; the reading memory and statistics start anew (-213 while one runs)"},
        {"ABORt", &S::Abort, "ends the measurement; readings taken stay"},
        {"FETCh?", &S::Fetch, "waits for the cycles of the last INIT and answers their readings"},
        {"READ?", &S::Read, "INIT, then FETCh?"},
        {"MEASure? [(@list)]", &S::Measure, "ROUTe:SCAN (@list) when given, then READ?"},
        {"DATA:POINts?", &S::Points, "readings in memory"},
        {"DATA:REMove? <n>", &S::Remove, "answers and erases the oldest n readings"},
        {"FORMat:READing:TIME ON|OFF", &S::FormatTime, "adds each reading's time from the first cycle, s"},
        {"FORMat:READing:TIME?", &S::FormatTime, "1 or 0"},
        {"FORMat:READing:CHANnel ON|OFF", &S::FormatChannel, "adds each reading's channel number"},
        {"FORMat:READing:CHANnel?", &S::FormatChannel, "1 or 0"},
        {"FORMat:READing:UNIT ON|OFF", &S::FormatUnit, "adds each reading's unit after a space"},
        {"FORMat:READing:UNIT?", &S::FormatUnit, "1 or 0"},
        {"CALCulate:AVERage:MINimum? [(@list)]", &S::StatMin, "least value since INIT per channel"},
        {"CALCulate:AVERage:MAXimum? [(@list)]", &S::StatMax, "greatest value since INIT"},
        {"CALCulate:AVERage:AVERage? [(@list)]", &S::StatAverage, "mean since INIT"},
        {"CALCulate:AVERage:SDEViation? [(@list)]", &S::StatSdev, "standard deviation since INIT"},
        {"CALCulate:AVERage:PTPeak? [(@list)]", &S::StatPtp, "maximum - minimum since INIT"},
        {"CALCulate:AVERage:COUNt? [(@list)]", &S::StatCount, "values since INIT"},
        {"CALCulate:AVERage:CLEar", &S::StatClear, "clears the statistics"},
        {"CALCulate:LIMit:UPPer[:DATA] <v>,(@list)", &S::UpperLimit, "upper limit in the channels' SI or scaled unit"},
        {"CALCulate:LIMit:UPPer[:DATA]? (@list)", &S::UpperLimitQuery, "upper limit per channel"},
        {"CALCulate:LIMit:UPPer:STATe ON|OFF,(@list)", &S::UpperState, "checks the upper limit"},
        {"CALCulate:LIMit:UPPer:STATe? (@list)", &S::UpperStateQuery, "1 or 0 per channel"},
        {"CALCulate:LIMit:LOWer[:DATA] <v>,(@list)", &S::LowerLimit, "lower limit in the channels' SI or scaled unit"},
        {"CALCulate:LIMit:LOWer[:DATA]? (@list)", &S::LowerLimitQuery, "lower limit per channel"},
        {"CALCulate:LIMit:LOWer:STATe ON|OFF,(@list)", &S::LowerState, "checks the lower limit"},
        {"CALCulate:LIMit:LOWer:STATe? (@list)", &S::LowerStateQuery, "1 or 0 per channel"},
        {"CALCulate:LIMit:FAIL? [(@list)]", &S::LimitFail, "channels that crossed a limit since it was set"},
    };
    return table;
}

namespace {
// The header part of a table pattern: "ROUTe:SCAN (@list)" gives "ROUTe:SCAN".
std::string_view HeaderOf(std::string_view pattern)
{
    const std::size_t space = pattern.find(' ');
    return space == std::string_view::npos ? pattern : pattern.substr(0, space);
}
} // namespace

const TCommandEntry* FindCommand(TCommand& command)
{
    const auto find = [&]() -> const TCommandEntry* {
        for (const TCommandEntry& entry : CommandTable())
            if (MatchHeader(HeaderOf(entry.Pattern), command)) return &entry;
        return nullptr;
    };
    if (const TCommandEntry* entry = find()) return entry;
    if (command.Inherited == 0) return nullptr;
    // `TRIG:COUN 5;INIT`: a header that means nothing below the previous
    // command's path is taken from the root, as scripts commonly expect.
    command.Nodes.erase(command.Nodes.begin(), command.Nodes.begin() + static_cast<std::ptrdiff_t>(command.Inherited));
    command.Inherited = 0;
    return find();
}

bool KnownButForSuffix(const TCommand& command)
{
    if (!HasNumericSuffix(command)) return false;
    TCommand plain = command;
    for (std::string& node : plain.Nodes)
        while (!node.empty() && node.back() >= '0' && node.back() <= '9') node.pop_back();
    return FindCommand(plain) != nullptr;
}

std::string CommandHelp()
{
    std::string text;
    for (const TCommandEntry& entry : CommandTable()) {
        std::string line = "  " + std::string(entry.Pattern);
        line.resize(std::max<std::size_t>(line.size() + 1, 46), ' ');
        text += line + entry.Help + "\n";
    }
    return text;
}

} // namespace ksv::scpi
