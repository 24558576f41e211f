// The topics of one module under the URL's prefix, and the client id:
//
//   <prefix>/<crate>/<slot>/cycle    one JSON object per cycle (CycleJson.h)
//   <prefix>/<crate>/<slot>/ch<N>    channel N's value, the bare number
//   <prefix>/<crate>/<slot>/status   retained: online / offline
//
// A crate serial is a field of the crate library and may hold any bytes;
// TopicLevel makes it one safe level: '/', '+', '#', control characters
// (C0, DEL, C1) and bytes that are not UTF-8 each become '_', an empty serial
// is "_".
#pragma once

#include <string>
#include <string_view>

namespace ksv::cli {

std::string TopicLevel(std::string_view text);

struct TMqttTopics {
    std::string Base; // <prefix>/<crate>/<slot>
    std::string Cycle;
    std::string Status;
    std::string Channel(int channel) const { return Base + "/ch" + std::to_string(channel + 1); } // channel 0..15
};

TMqttTopics MakeMqttTopics(const std::string& prefix, const std::string& crateSerial, int slot);

// "ksv27-vorn-<crate>-<slot>": one client per module, so that a second
// publisher of the same module takes over the first one's session.
std::string MqttClientId(const std::string& crateSerial, int slot);

} // namespace ksv::cli
