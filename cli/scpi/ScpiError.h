// SCPI error codes with their standard texts, and the first-in first-out
// error queue each connection keeps. Toolkit-free.
#pragma once

#include <deque>
#include <string>

namespace ksv::scpi {

struct TScpiError {
    int Code = 0;       // 0: no error
    std::string Detail; // ASCII; shown after ';' inside the quotes

    explicit operator bool() const { return Code != 0; }
};

inline TScpiError Fail(int code, std::string detail = {}) { return {code, std::move(detail)}; }

// The standard text of `code` ("Undefined header"); "Error" for one not listed.
const char* ErrorText(int code);

// `<code>,"<text>[;<detail>]"` with every byte 7-bit printable ASCII and a
// '"' doubled.
std::string ErrorAnswer(const TScpiError& error);

// Replaces each byte outside printable 7-bit ASCII by '?'.
std::string AsciiOnly(std::string_view text);

// At most kCapacity entries; one more replaces the newest by -350 "Queue overflow".
class TErrorQueue {
public:
    static constexpr std::size_t kCapacity = 20;

    void Push(TScpiError error);
    TScpiError Pop(); // Code 0 when empty
    std::size_t Count() const { return entries_.size(); }
    void Clear() { entries_.clear(); }

private:
    std::deque<TScpiError> entries_;
};

} // namespace ksv::scpi
