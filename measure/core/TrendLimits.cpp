#include "TrendLimits.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace ksv {

bool IsOutside(const TChannelLimit& limit, double value)
{
    return (limit.Lower && value < *limit.Lower) || (limit.Upper && value > *limit.Upper);
}

bool ParseLimit(std::string_view text, std::optional<double>& limit)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.empty()) {
        limit.reset();
        return true;
    }
    std::string number(text);
    for (char& c : number)
        if (c == ',') c = '.';
    // Only plain decimal numbers: no hex, no "inf", no "nan".
    for (char c : number)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (end != number.c_str() + number.size() || !std::isfinite(value)) return false;
    limit = value;
    return true;
}

void TTrendLimits::Set(int channel, std::optional<double> lower, std::optional<double> upper)
{
    TChannelLimit& limit = limits_[static_cast<std::size_t>(channel)];
    limit.Lower = lower;
    limit.Upper = upper;
    limit.Outside = limit.Last && IsOutside(limit, *limit.Last);
}

void TTrendLimits::Add(const TCycleResult& cycle)
{
    for (std::size_t c = 0; c < limits_.size(); ++c) {
        const TChannelResult& channel = cycle.Channels[c];
        if (!channel.Valid || !std::isfinite(channel.Value)) continue;
        TChannelLimit& limit = limits_[c];
        const bool outside = IsOutside(limit, channel.Value);
        if (outside && !limit.Outside) ++limit.Crossings;
        limit.Outside = outside;
        limit.Last = channel.Value;
    }
}

void TTrendLimits::ResetCounts()
{
    for (TChannelLimit& limit : limits_) limit.Crossings = 0;
}

} // namespace ksv
