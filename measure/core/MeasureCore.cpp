#include "MeasureCore.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "MezzanineKind.h"

namespace ksv {

std::optional<TCycleSizes> ComputeCycleSizes(double rateHz, double acquisitionTime)
{
    // Every conversion to an integer below is checked first: a double outside
    // the target's range would be undefined, not merely wrong.
    if (!std::isfinite(rateHz) || rateHz <= 0.0) return std::nullopt;
    if (!std::isfinite(acquisitionTime) || acquisitionTime < 0.0) return std::nullopt;

    const double block = 0.1 * rateHz * kFrameWords;
    const double total = acquisitionTime * rateHz * kFrameWords + 0.5;
    if (!(block < 4294967296.0) || !(total < static_cast<double>(kMaxTotalSamples) + 1.0)) return std::nullopt;

    TCycleSizes s;
    s.RecvBlockSize = static_cast<std::uint32_t>(block);
    if (s.RecvBlockSize < kFrameWords) s.RecvBlockSize = kFrameWords;
    s.TotalSamples = static_cast<std::uint32_t>(total);
    s.SamplesPerChannel = s.TotalSamples / kFrameWords;
    s.TotalSamples = s.TotalWords = s.SamplesPerChannel * kFrameWords;
    if (s.TotalWords < s.RecvBlockSize) s.RecvBlockSize = s.TotalWords;
    return s;
}

std::optional<TRateChoice> ChooseRate(int itemIndex, const std::array<double, 8>& ratesHz,
                                      const std::array<std::uint8_t, 8>& divisors)
{
    if (itemIndex < 0 || itemIndex >= static_cast<int>(ratesHz.size())) return std::nullopt;
    const auto k = static_cast<std::size_t>(itemIndex);
    return TRateChoice{ratesHz[k], divisors[k]};
}

std::optional<double> ParseRateText(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

bool RateMatchesText(double rateHz, std::string_view itemText)
{
    const auto listed = ParseRateText(itemText);
    return listed && std::fabs(rateHz - *listed) <= 1.0;
}

void BuildWindow(double* window, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; ++i) window[i] = 1.0;
}

double WeightedMean(const double* x, const double* w, std::uint32_t n, double windowSum)
{
    if (n == 0 || windowSum == 0.0) return std::numeric_limits<double>::quiet_NaN();
    double s = 0.0;
    for (std::uint32_t j = 0; j < n; ++j) s += x[j] * w[j];
    return s / windowSum;
}

bool GatherChannelValues(const double* data, std::uint32_t n, const std::array<std::uint16_t, 16>& channelIndex,
                         const std::array<bool, 8>& slotActive, const double* window, double windowSum,
                         double* dataPerChannel, std::array<double, 16>& channelValue, const TRunControl& run)
{
    channelValue.fill(0.0);
    for (std::size_t i = 0; i < channelValue.size(); ++i) {
        if (!slotActive[i / 2]) continue;
        const std::size_t position = channelIndex[i];
        // A channel without a position in the frame has no values to gather.
        if (position < static_cast<std::size_t>(kFrameWords)) {
            for (std::uint32_t j = 0; j < n; ++j) dataPerChannel[j] = data[std::size_t{j} * kFrameWords + position];
            if (run.ShouldStop()) return false;
            channelValue[i] = WeightedMean(dataPerChannel, window, n, windowSum);
        } else {
            channelValue[i] = std::numeric_limits<double>::quiet_NaN();
        }
        if (run.ShouldStop()) return false;
    }
    return true;
}

std::string FormatFixed(double value, int decimals)
{
    if (!std::isfinite(value)) return kNoValueText;
    // The largest double has 309 integer digits; this holds any of them.
    char text[400];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return kNoValueText;
    std::string_view shown(text, static_cast<std::size_t>(end - text));
    // "-0.000" for a tiny negative value says nothing the reader can use.
    if (shown.front() == '-' && shown.find_first_not_of("-0.") == std::string_view::npos) shown.remove_prefix(1);
    return std::string(shown);
}

TSlotValueTexts SlotValueTexts(bool checked, std::string_view mezzanineName, double y1, double y2)
{
    if (!checked) return {kNoValueText, kNoValueText};
    switch (MezzanineKindOf(mezzanineName)) {
    case TMezzanineKind::Voltage: return {FormatFixed(y1 * 1000.0, 3), FormatFixed(y2 * 1000.0, 3)};
    case TMezzanineKind::Temperature: return {FormatFixed(y1, 3), FormatFixed(y2, 3)};
    case TMezzanineKind::Current: return {FormatFixed(y1, 4), FormatFixed(y2, 4)};
    case TMezzanineKind::Resistance: return {FormatFixed(y1, 3), kNoValueText};
    case TMezzanineKind::None:
    case TMezzanineKind::Unknown: break;
    }
    return {kNoValueText, kNoValueText};
}

TSlotLamps SlotUpdateMarks(bool checked, std::string_view mezzanineName)
{
    const TMezzanineKind kind = MezzanineKindOf(mezzanineName);
    if (!IsFitted(kind)) return {};
    if (!checked) return {TLampUpdate::Off, TLampUpdate::Off};
    return {TLampUpdate::Updated, kind == TMezzanineKind::Resistance ? TLampUpdate::Unchanged : TLampUpdate::Updated};
}

} // namespace ksv
