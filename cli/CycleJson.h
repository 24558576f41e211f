// One cycle as one JSON object, the form `--format json` writes per line and
// the MQTT publisher sends per cycle:
//
//   {"time":"2026-12-09T17:01:02.123Z","cycle":0,"channels":[
//     {"channel":1,"slot":1,"mezzanine":"U10","unit":"mV","value":2500.000}, ...]}
//
// on one line, without a line end. Only the channels of active slots are
// listed; "value" is the number the window shows (its very digits), null (and
// no unit) where it shows none.
#pragma once

#include <string>

#include "CycleResult.h"

namespace ksv::cli {

std::string CycleJson(const TCycleResult& cycle);

} // namespace ksv::cli
