#include "TrendCsv.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "CycleCsv.h"
#include "MeasureCore.h"

namespace ksv {

namespace {

std::string TimeText(double ms)
{
    using namespace std::chrono;
    return IsoUtcTime(system_clock::time_point(duration_cast<system_clock::duration>(duration<double, std::milli>(ms))));
}

std::string ColumnName(const TRunDescription& run, int channel, const char* suffix = "")
{
    return CsvField(ChannelColumnName(channel, run.MezzanineNames[static_cast<std::size_t>(channel / 2)]) + suffix);
}

bool FullResolution(const TTrendHistory& history, const std::vector<int>& channels, double fromMs)
{
    return std::all_of(channels.begin(), channels.end(), [&](int c) {
        const TChannelTrend& trend = history.Trend(c);
        return trend.Complete() || trend.Recent().At(0).TimeMs <= fromMs;
    });
}

// Every cycle in [fromMs, toMs]: the channels' rings merged by time.
void FullRows(std::string& out, const TTrendHistory& history, const std::vector<int>& channels, double fromMs,
              double toMs)
{
    std::vector<std::size_t> next(channels.size(), 0);
    for (std::size_t k = 0; k < channels.size(); ++k) {
        const TTrendRing& ring = history.Channel(channels[k]);
        while (next[k] < ring.Size() && ring.At(next[k]).TimeMs < fromMs) ++next[k];
    }
    for (;;) {
        double time = INFINITY;
        for (std::size_t k = 0; k < channels.size(); ++k) {
            const TTrendRing& ring = history.Channel(channels[k]);
            if (next[k] < ring.Size()) time = std::min(time, ring.At(next[k]).TimeMs);
        }
        if (!(time <= toMs)) return;
        out += TimeText(time);
        for (std::size_t k = 0; k < channels.size(); ++k) {
            const TTrendRing& ring = history.Channel(channels[k]);
            out += ',';
            if (next[k] < ring.Size() && ring.At(next[k]).TimeMs == time)
                out += FormatFixed(ring.At(next[k]++).Value, ValueDecimals(history.Unit(channels[k])));
        }
        out += '\n';
    }
}

void ThinnedRows(std::string& out, const TTrendHistory& history, const std::vector<int>& channels, double fromMs,
                 double toMs, std::size_t rows)
{
    std::vector<std::vector<TTrendColumn>> columns(channels.size(), std::vector<TTrendColumn>(rows));
    for (std::size_t k = 0; k < channels.size(); ++k) history.Trend(channels[k]).Thin(fromMs, toMs, columns[k]);
    const double width = (toMs - fromMs) / static_cast<double>(rows);
    for (std::size_t r = 0; r < rows; ++r) {
        if (std::none_of(columns.begin(), columns.end(), [&](const auto& c) { return c[r].Count > 0; })) continue;
        out += TimeText(fromMs + width * static_cast<double>(r));
        for (std::size_t k = 0; k < channels.size(); ++k) {
            const TTrendColumn& c = columns[k][r];
            const int decimals = ValueDecimals(history.Unit(channels[k]));
            if (c.Count)
                out += ',' + FormatFixed(c.Last, decimals) + ',' + FormatFixed(c.Min, decimals) + ',' +
                       FormatFixed(c.Max, decimals);
            else
                out += ",,,";
        }
        out += '\n';
    }
}

} // namespace

int ValueDecimals(TChannelUnit unit) { return unit == TChannelUnit::Milliamp ? 4 : 3; }

std::string TrendCsv(const TTrendHistory& history, const TRunDescription& run, const std::vector<int>& channels,
                     double fromMs, double toMs, std::size_t thinnedRows)
{
    const bool full = FullResolution(history, channels, fromMs);
    const std::size_t rows = std::max<std::size_t>(thinnedRows, 1);
    std::string out = CsvRunLines(run, "KSV27_Vorn trend export");
    out += CsvMetaLine("from", TimeText(fromMs));
    out += CsvMetaLine("to", TimeText(toMs));
    out += CsvMetaLine("resolution", full ? "every cycle"
                                          : "min and max per " +
                                                FormatFixed((toMs - fromMs) / 1000.0 / static_cast<double>(rows), 3) +
                                                " s");
    out += "time";
    for (int c : channels) {
        out += ',' + ColumnName(run, c);
        if (!full) out += ',' + ColumnName(run, c, " min") + ',' + ColumnName(run, c, " max");
    }
    out += '\n';
    if (full)
        FullRows(out, history, channels, fromMs, toMs);
    else
        ThinnedRows(out, history, channels, fromMs, toMs, rows);
    return out;
}

} // namespace ksv
