#include "Cp1251.h"

#include <array>
#include <cstdint>

namespace ksv {
namespace {

// Code points of bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
constexpr std::array<char16_t, 64> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
};

constexpr char32_t CodePointOf(unsigned char b)
{
    if (b < 0x80)
        return b;
    if (b < 0xC0)
        return kUpperHalf[b - 0x80];
    return 0x0410 + (b - 0xC0);
}

// The byte of a code point, or -1 when the code page has none.
int ByteOf(char32_t cp)
{
    if (cp < 0x80)
        return static_cast<int>(cp);
    if (cp >= 0x0410 && cp <= 0x044F)
        return static_cast<int>(0xC0 + (cp - 0x0410));
    for (std::size_t i = 0; i < kUpperHalf.size(); ++i)
        if (kUpperHalf[i] == cp)
            return static_cast<int>(0x80 + i);
    return -1;
}

constexpr char32_t LowerOf(char32_t cp)
{
    if (cp >= U'A' && cp <= U'Z')
        return cp + 0x20;
    if (cp >= 0x0410 && cp <= 0x042F) // А..Я
        return cp + 0x20;
    if (cp >= 0x0400 && cp <= 0x040F) // Ѐ..Џ (Ё, Ђ, Є, І, Ї, Ј, Љ ...)
        return cp + 0x50;
    if (cp == 0x0490) // Ґ
        return 0x0491;
    return cp;
}

constexpr std::array<unsigned char, 256> MakeFoldTable()
{
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b) {
        table[b] = static_cast<unsigned char>(b);
        const char32_t lower = LowerOf(CodePointOf(static_cast<unsigned char>(b)));
        if (lower == CodePointOf(static_cast<unsigned char>(b)))
            continue;
        for (int t = 0; t < 256; ++t)
            if (CodePointOf(static_cast<unsigned char>(t)) == lower)
                table[b] = static_cast<unsigned char>(t);
    }
    return table;
}

constexpr std::array<unsigned char, 256> kFold = MakeFoldTable();
static_assert(kFold[0xC0] == 0xE0 && kFold[0xDF] == 0xFF); // А → а, Я → я
static_assert(kFold[0xA8] == 0xB8);                        // Ё → ё
static_assert(kFold['M'] == 'm' && kFold[0xCC] == 0xEC);   // Latin M, Cyrillic М
static_assert(kFold[0xE0] == 0xE0 && kFold['1'] == '1');

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        // Every character of the code page lies below U+10000.
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one well-formed UTF-8 sequence at 'at' (the rules of Unicode table
// 3-7: no overlong forms, no surrogates, nothing above U+10FFFF). Returns its
// length, or 0 when the bytes there are not such a sequence.
std::size_t DecodeUtf8(std::string_view s, std::size_t at, char32_t& cp)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b0 = byte(at);
    const std::size_t left = s.size() - at;
    const auto cont = [&](std::size_t i, unsigned char lo, unsigned char hi) {
        return i < left && byte(at + i) >= lo && byte(at + i) <= hi;
    };
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (!cont(1, 0x80, 0xBF))
            return 0;
        cp = (char32_t(b0 & 0x1F) << 6) | (byte(at + 1) & 0x3F);
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;
        const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;
        if (!cont(1, lo, hi) || !cont(2, 0x80, 0xBF))
            return 0;
        cp = (char32_t(b0 & 0x0F) << 12) | (char32_t(byte(at + 1) & 0x3F) << 6) | (byte(at + 2) & 0x3F);
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;
        const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;
        if (!cont(1, lo, hi) || !cont(2, 0x80, 0xBF) || !cont(3, 0x80, 0xBF))
            return 0;
        cp = (char32_t(b0 & 0x07) << 18) | (char32_t(byte(at + 1) & 0x3F) << 12) |
             (char32_t(byte(at + 2) & 0x3F) << 6) | (byte(at + 3) & 0x3F);
        return 4;
    }
    return 0;
}

} // namespace

std::string Cp1251ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes)
        AppendUtf8(out, CodePointOf(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToCp1251(std::string_view utf8, bool* lossless)
{
    std::string out;
    out.reserve(utf8.size());
    bool exact = true;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        const std::size_t n = DecodeUtf8(utf8, i, cp);
        if (n == 0) {
            out += '?';
            exact = false;
            ++i;
            continue;
        }
        const int b = ByteOf(cp);
        if (b < 0) {
            out += '?';
            exact = false;
        } else {
            out += static_cast<char>(b);
        }
        i += n;
    }
    if (lossless)
        *lossless = exact;
    return out;
}

unsigned char Cp1251Fold(unsigned char byte)
{
    return kFold[byte];
}

bool Cp1251EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (kFold[static_cast<unsigned char>(a[i])] != kFold[static_cast<unsigned char>(b[i])])
            return false;
    return true;
}

} // namespace ksv
