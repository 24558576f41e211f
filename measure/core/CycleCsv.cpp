#include "CycleCsv.h"

#include <cstdio>
#include <ctime>

#include "MeasureCore.h"

namespace ksv {

namespace {

// A '#' line's value stays on its line: control characters become '?'.
std::string OneLine(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

void AddMeta(std::string& out, const char* key, std::string_view value)
{
    out += "# ";
    out += key;
    out += ',';
    out += CsvField(OneLine(value));
    out += '\n';
}

} // namespace

std::string CsvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string IsoUtcTime(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const auto sinceEpoch = time.time_since_epoch();
    const auto secs = floor<seconds>(sinceEpoch);
    const auto millis = duration_cast<milliseconds>(sinceEpoch - secs).count();
    const std::time_t t = static_cast<std::time_t>(secs.count());
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    char text[96]; // room for any int the fields may hold
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(millis));
    return text;
}

std::string ChannelColumnName(int channel, const std::string& mezzanineName)
{
    return NamedColumnName(channel + 1, channel, mezzanineName, {}, {});
}

std::string NamedColumnName(int number, int channel, const std::string& mezzanineName, std::string_view unit,
                            std::string_view label)
{
    std::string name =
        "ch" + std::to_string(number) + " slot" + std::to_string(channel / 2 + 1) + ' ' + OneLine(mezzanineName);
    if (unit.empty()) unit = UnitText(UnitOf(MezzanineKindOf(mezzanineName)));
    if (!unit.empty()) {
        name += ' ';
        name += OneLine(unit);
    }
    if (!label.empty()) {
        name += ' ';
        name += OneLine(label);
    }
    return name;
}

std::string CsvRunLines(const TRunDescription& run, std::string_view title)
{
    std::string out = "# " + OneLine(title) + '\n';
    AddMeta(out, "crate", run.CrateSerial);
    AddMeta(out, "slot", std::to_string(run.Slot));
    AddMeta(out, "module", run.ModuleSerial);
    AddMeta(out, "firmware", run.Firmware);
    AddMeta(out, "rate_hz", FormatFixed(run.RateHz, 0));
    AddMeta(out, "acquisition_time_s", FormatFixed(run.AcquisitionTime, 3));
    return out;
}

std::string CsvMetaLine(std::string_view key, std::string_view value)
{
    std::string out;
    AddMeta(out, std::string(key).c_str(), value);
    return out;
}

std::string CsvHeader(const TRunDescription& run)
{
    std::string out = CsvRunLines(run, "KSV27_Vorn measurement record");
    out += "time,cycle";
    for (int c = 0; c < kChannelCount; ++c) {
        out += ',';
        out += CsvField(ChannelColumnName(c, run.MezzanineNames[static_cast<std::size_t>(c / 2)]));
    }
    out += '\n';
    return out;
}

std::string CsvRow(const TCycleResult& cycle)
{
    std::string out = IsoUtcTime(cycle.StartTime);
    out += ',';
    out += std::to_string(cycle.Index);
    for (const TChannelResult& channel : cycle.Channels) {
        out += ',';
        if (channel.Valid) out += CsvField(channel.Text);
    }
    out += '\n';
    return out;
}

} // namespace ksv
