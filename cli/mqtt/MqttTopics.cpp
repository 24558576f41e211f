#include "MqttTopics.h"

#include "JsonText.h"

namespace ksv::cli {

namespace {

bool IsC1Control(std::string_view text, std::size_t at, std::size_t length)
{
    return length == 2 && static_cast<unsigned char>(text[at]) == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
}

} // namespace

std::string TopicLevel(std::string_view text)
{
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x80) {
            const std::size_t length = Utf8SequenceLength(text, at);
            if (length == 0) {
                out += '_'; // one per stray byte
                continue;
            }
            if (IsC1Control(text, at, length)) out += '_';
            else out.append(text.substr(at, length));
            at += length - 1;
        } else if (byte < 0x20 || byte == 0x7F || byte == '/' || byte == '+' || byte == '#') {
            out += '_';
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out.empty() ? "_" : out;
}

TMqttTopics MakeMqttTopics(const std::string& prefix, const std::string& crateSerial, int slot)
{
    TMqttTopics topics;
    topics.Base = prefix + '/' + TopicLevel(crateSerial) + '/' + std::to_string(slot);
    topics.Cycle = topics.Base + "/cycle";
    topics.Status = topics.Base + "/status";
    return topics;
}

std::string MqttClientId(const std::string& crateSerial, int slot)
{
    return "ksv27-vorn-" + TopicLevel(crateSerial) + '-' + std::to_string(slot);
}

} // namespace ksv::cli
