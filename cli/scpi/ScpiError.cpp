#include "ScpiError.h"

#include <map>

namespace ksv::scpi {

const char* ErrorText(int code)
{
    static const std::map<int, const char*> texts = {
        {0, "No error"},
        {-100, "Command error"},
        {-101, "Invalid character"},
        {-102, "Syntax error"},
        {-103, "Invalid separator"},
        {-104, "Data type error"},
        {-108, "Parameter not allowed"},
        {-109, "Missing parameter"},
        {-113, "Undefined header"},
        {-114, "Header suffix out of range"},
        {-120, "Numeric data error"},
        {-121, "Invalid character in number"},
        {-123, "Exponent too large"},
        {-124, "Too many digits"},
        {-131, "Invalid suffix"},
        {-138, "Suffix not allowed"},
        {-141, "Invalid character data"},
        {-151, "Invalid string data"},
        {-200, "Execution error"},
        {-221, "Settings conflict"},
        {-222, "Data out of range"},
        {-223, "Too much data"},
        {-224, "Illegal parameter value"},
        {-230, "Data corrupt or stale"},
        {-240, "Hardware error"},
        {-241, "Hardware missing"},
        {-350, "Queue overflow"},
        {-363, "Input buffer overrun"},
        {-410, "Query INTERRUPTED"},
        {-420, "Query UNTERMINATED"},
    };
    const auto it = texts.find(code);
    return it == texts.end() ? "Error" : it->second;
}

std::string AsciiOnly(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    return out;
}

std::string ErrorAnswer(const TScpiError& error)
{
    std::string text = ErrorText(error.Code);
    if (!error.Detail.empty()) text += ";" + error.Detail;
    std::string quoted = "\"";
    for (const char c : AsciiOnly(text)) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return std::to_string(error.Code) + "," + quoted + "\"";
}

void TErrorQueue::Push(TScpiError error)
{
    if (entries_.size() >= kCapacity) {
        entries_.back() = Fail(err::kQueueOverflow);
        return;
    }
    entries_.push_back(std::move(error));
}

TScpiError TErrorQueue::Pop()
{
    if (entries_.empty()) return {};
    TScpiError first = std::move(entries_.front());
    entries_.pop_front();
    return first;
}

} // namespace ksv::scpi
