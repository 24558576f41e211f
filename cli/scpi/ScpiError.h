// SCPI error codes with their standard texts, and the first-in first-out
// error queue each connection keeps. Toolkit-free.
#pragma once

#include <deque>
#include <string>

namespace ksv::scpi {

// The error codes the instrument reports.
namespace err {
inline constexpr int kCommandError = -100;
inline constexpr int kInvalidCharacter = -101;
inline constexpr int kSyntaxError = -102;
inline constexpr int kInvalidSeparator = -103;
inline constexpr int kDataTypeError = -104;
inline constexpr int kParameterNotAllowed = -108;
inline constexpr int kMissingParameter = -109;
inline constexpr int kUndefinedHeader = -113;
inline constexpr int kHeaderSuffixOutOfRange = -114;
inline constexpr int kNumericDataError = -120;
inline constexpr int kInvalidCharacterInNumber = -121;
inline constexpr int kExponentTooLarge = -123;
inline constexpr int kTooManyDigits = -124;
inline constexpr int kInvalidSuffix = -131;
inline constexpr int kSuffixNotAllowed = -138;
inline constexpr int kInvalidCharacterData = -141;
inline constexpr int kInvalidStringData = -151;
inline constexpr int kExecutionError = -200;
inline constexpr int kInitIgnored = -213;
inline constexpr int kSettingsConflict = -221;
inline constexpr int kDataOutOfRange = -222;
inline constexpr int kTooMuchData = -223;
inline constexpr int kIllegalParameterValue = -224;
inline constexpr int kDataCorruptOrStale = -230;
inline constexpr int kHardwareError = -240;
inline constexpr int kHardwareMissing = -241;
inline constexpr int kQueueOverflow = -350;
inline constexpr int kInputBufferOverrun = -363;
inline constexpr int kQueryInterrupted = -410;
inline constexpr int kQueryUnterminated = -420;
} // namespace err

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
