// The code page table, checked against the characters written out here, and
// what happens to text the code page cannot hold.
#include "TestFiles.h"

#include "Cp1251.h"

namespace ksv {
namespace {

TEST(Cp1251, EveryByteMapsToItsCharacterAndBack)
{
    // Bytes 0x80..0xBF; 0x98 has no character and stands for U+0098.
    const std::string upper =
        "ЂЃ‚ѓ„…†‡"        // 80
        "€‰Љ‹ЊЌЋЏ"        // 88
        "ђ‘’“”•–—"        // 90
        "\xC2\x98™љ›њќћџ" // 98
        "\xC2\xA0ЎўЈ¤Ґ¦§" // A0
        "Ё©Є«¬\xC2\xAD®Ї" // A8
        "°±Ііґµ¶·"        // B0
        "ё№є»јЅѕї";       // B8
    std::string bytes;
    for (int b = 0x80; b < 0xC0; ++b)
        bytes += static_cast<char>(b);
    EXPECT_EQ(Cp1251ToUtf8(bytes), upper);
    EXPECT_EQ(Cp1251ToUtf8("\xC0\xDF\xE0\xFF"), "АЯая");
    EXPECT_EQ(Cp1251ToUtf8("\xA8\xB8"), "Ёё");

    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    bool lossless = false;
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all), &lossless), all);
    EXPECT_TRUE(lossless);
}

TEST(Cp1251, TextOutsideTheCodePageBecomesQuestionMarks)
{
    const struct {
        std::string_view Utf8;
        std::string_view Bytes;
    } cases[] = {
        {"中文", "??"},               // no such characters in the code page
        {"a😀b", "a?b"},               // four-byte sequence, one character
        {"\x80", "?"},                // stray continuation byte
        {"\xC0\x80", "??"},           // overlong NUL
        {"\xED\xA0\x80", "???"},      // UTF-16 surrogate
        {"\xD0", "?"},                // cut off at the end
        {"\xD0z", "?z"},              // cut off before an ASCII byte
        {"\xF4\x90\x80\x80", "????"}, // above U+10FFFF
    };
    for (const auto& c : cases) {
        bool lossless = true;
        EXPECT_EQ(Utf8ToCp1251(c.Utf8, &lossless), c.Bytes) << c.Utf8;
        EXPECT_FALSE(lossless) << c.Utf8;
    }
}

TEST(Cp1251, CaseFoldingCoversCyrillicButKeepsLatinAndCyrillicApart)
{
    EXPECT_TRUE(Cp1251EqualNoCase(Utf8ToCp1251("ПРИЛОЖЕНИЕ. ОБЩИЕ"), Utf8ToCp1251("приложение. общие")));
    EXPECT_TRUE(Cp1251EqualNoCase(Utf8ToCp1251("ЁЖИК Ї Ґ Є І Ў Џ"), Utf8ToCp1251("ёжик ї ґ є і ў џ")));
    EXPECT_TRUE(Cp1251EqualNoCase("Top KSV", "tOP ksv"));
    // Latin M and Cyrillic М look alike but are different letters.
    EXPECT_FALSE(Cp1251EqualNoCase("M", Utf8ToCp1251("М")));
    EXPECT_FALSE(Cp1251EqualNoCase("m", Utf8ToCp1251("м")));
    // Cyrillic е and ё are different letters too.
    EXPECT_FALSE(Cp1251EqualNoCase(Utf8ToCp1251("е"), Utf8ToCp1251("Ё")));
    for (int b = 0; b < 256; ++b) {
        const auto f = Cp1251Fold(static_cast<unsigned char>(b));
        EXPECT_EQ(Cp1251Fold(f), f) << b; // folding once is enough
    }
    EXPECT_EQ(Cp1251Length("Top    основной панели"), 22u);
}

} // namespace
} // namespace ksv
