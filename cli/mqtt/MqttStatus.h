// The retained status of a module on <prefix>/<crate>/<slot>/status:
//
//   {"state":"online","crate":"KSV-C-0001","slot":5,"module":"27A-1002",
//    "firmware":"3.2.1.0","rate_hz":100,"acquisition_time_s":0.500,
//    "time":"2026-12-09T17:05:18.373Z"}
//
// "online" when publishing starts (the time is then), "offline" when the tool
// stops (the time is then) and, without a time, as the client's last will,
// which the broker sets when the tool dies or its connection breaks.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "CycleResult.h"

namespace ksv::cli {

std::string StatusJson(const TRunDescription& run, bool online,
                       std::optional<std::chrono::system_clock::time_point> time);

} // namespace ksv::cli
