// The trend's visible span as CSV:
//
//   # KSV27_Vorn trend export
//   # crate,KSV-C-0001          (the run's lines, as in a record)
//   ...
//   # from,2026-12-09T17:01:02.123Z
//   # to,2026-12-09T17:11:02.123Z
//   # resolution,every cycle     (or: min and max per 0.300 s)
//   time,ch1 slot1 U10 mV,...
//
// While the span is still held at full resolution, a row per cycle with the
// value of each channel asked for. Where older parts are thinned, a row per
// equal slice of the span with each channel's last value, minimum and maximum
// in it ("... min", "... max" columns). Times are UTC; '.' decimal
// separator; empty cells where a channel has no value. Toolkit-free.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "CycleResult.h"
#include "TrendHistory.h"

namespace ksv {

// The decimals the window's value edits show for the unit.
int ValueDecimals(TChannelUnit unit);

std::string TrendCsv(const TTrendHistory& history, const TRunDescription& run, const std::vector<int>& channels,
                     double fromMs, double toMs, std::size_t thinnedRows = 2000);

} // namespace ksv
