// The settings file is stored in the Windows-1251 code page; the rest of the
// program speaks UTF-8. These conversions use a built-in table of all 256
// bytes, so they behave the same on every machine and under every locale.
//
// Byte 0x98 has no character in the code page. It is mapped to U+0098 (a C1
// control) both ways, which makes every byte of a file survive a read and a
// write-back unchanged.
//
// Going to the code page, a character it cannot hold becomes '?', and so does
// every byte of a string that is not well-formed UTF-8 (one '?' per byte that
// does not start a well-formed sequence).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ksv {

std::string Cp1251ToUtf8(std::string_view bytes);

// 'lossless' (when given) tells whether every character had a byte of its own.
std::string Utf8ToCp1251(std::string_view utf8, bool* lossless = nullptr);

// The lower-case counterpart of a code-page byte: Latin A..Z and every
// Cyrillic capital of the code page (А..Я, Ё, and the others such as Ї, Ґ, Є)
// fold to their small letters; every other byte stays as it is.
unsigned char Cp1251Fold(unsigned char byte);

// Names equal without regard to letter case, compared in code-page bytes.
bool Cp1251EqualNoCase(std::string_view a, std::string_view b);

// How many code-page bytes a well-formed UTF-8 text takes: one per character.
constexpr std::size_t Cp1251Length(std::string_view utf8)
{
    std::size_t n = 0;
    for (char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

} // namespace ksv
