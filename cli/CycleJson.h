// One cycle as one JSON object, the form `--format json` writes per line and
// the MQTT publisher sends per cycle:
//
//   {"time":"2026-12-09T17:01:02.123Z","cycle":0,"channels":[
//     {"channel":1,"slot":1,"mezzanine":"U10","unit":"mV","value":2500.000}, ...]}
//
// on one line, without a line end. Only the channels of active slots are
// listed; "value" is the number the window shows (its very digits), null
// where it shows none; "unit" is the channel's unit either way.
//
// A channel the user named carries "label"; a scaled one the scaled value
// in "value" with the user's "unit", and the value before scaling in "raw"
// with its "raw_unit". For a module of several (moduleSlot > 0) a channel is
// numbered slot*100+ch and carries "module_slot" (its "slot" stays the
// mezzanine slot); ScanJson lists every module's channels of one scan.
#pragma once

#include <string>

#include "CrateScan.h"
#include "CycleResult.h"

namespace ksv::cli {

std::string CycleJson(const TCycleResult& cycle, int moduleSlot = 0);
std::string ScanJson(const TScan& scan);

// One channel of a cycle that has a value, as the MQTT channel topics carry
// it: {"time":"...","cycle":0,"channel":1,"value":2500.000,"unit":"mV"},
// with "label" and "raw" as in a cycle's channel.
std::string ChannelJson(const TCycleResult& cycle, int index);

} // namespace ksv::cli
