// How integers, booleans and reals are written into and read from the
// settings file (each function below states its forms); none of them
// depends on the machine's locale: "." is always the decimal separator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ksv {

// An integer value: a text of more than two characters starting with "0x" or
// "0X" is hexadecimal of up to 32 bits ("0xFFFFFFFF" is -1); anything else is
// decimal with optional leading blanks and sign, in the 32-bit range. Any
// other text ("12abc", "1.0", "0x", "12 ", "") is not an integer.
std::optional<std::int32_t> ParseIniInteger(std::string_view text);

// Plain decimal: "-5".
std::string FormatIniInteger(std::int32_t value);

// A real value: blanks around it are ignored; an optional sign, digits with
// an optional "." (".5" and "5." are numbers), an optional exponent "e"/"E"
// with optional sign and at least one digit. "1,5", "1 000", "inf", "nan",
// hex and values beyond the range of a double are not numbers.
std::optional<double> ParseIniFloat(std::string_view text);

// The shortest general form with 15 significant digits: fixed notation when
// the rounded value has at most 15 integer digits and is at least 0.0001 in
// magnitude, otherwise d.dddE[-]x with a capital E and no leading zeros in the
// exponent. 1.0 → "1", 1e15 → "1E15", 1e-5 → "1E-5". Non-finite values are
// written as "NAN", "INF" and "-INF", which read back as not numbers.
std::string FormatIniFloat(double value);

} // namespace ksv
