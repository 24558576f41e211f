// Reading and editing INI text in memory: which lines count, and that a
// write changes exactly the bytes it must.
#include "TestFiles.h"

#include "IniText.h"

namespace ksv {
namespace {

using ksv::test::Cp;
using namespace std::literals;

std::optional<std::string> Find(std::string_view content, std::string_view section, std::string_view key)
{
    const auto v = ini::FindValue(content, section, key);
    return v ? std::optional<std::string>(std::string(*v)) : std::nullopt;
}

TEST(IniTextRead, LineEndsBlanksCommentsAndQuotes)
{
    const std::string content = "top=0\r\n" // before any section: unreadable
                                "[ s ] trailing\r\n"
                                "  Key Name  =  a b  \r\n"
                                "lf=1\n"
                                "cr=2\r"
                                "\r\n\r\n"
                                "tab\t=\t3\n"
                                ";c=4\n"
                                "  ;d=5\n"
                                "noequals\n"
                                "q1=\"  x  \"\n"
                                "q2=\"x'\n"
                                "q3=\"\"x\"\"\n"
                                "q4=\"\n"
                                "q5=''\n"
                                "semi=a;b#c\n"
                                "empty=\n"
                                "eq=a=b\n"
                                "last=9"; // no line end
    const struct {
        std::string_view Key;
        std::optional<std::string> Value;
    } rows[] = {
        {"Key Name", "a b"},
        {"KEY NAME", "a b"},
        {"lf", "1"},
        {"cr", "2"},
        {"tab", "3"},
        {";c", std::nullopt},
        {"c", std::nullopt},
        {";d", std::nullopt},
        {"noequals", std::nullopt},
        {"q1", "  x  "},
        {"q2", "\"x'"},
        {"q3", "\"x\""},
        {"q4", "\""},
        {"q5", ""},
        {"semi", "a;b#c"},
        {"empty", ""},
        {"eq", "a=b"},
        {"last", "9"},
        {"top", std::nullopt},
        {"missing", std::nullopt},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Find(content, "s", r.Key), r.Value) << r.Key;
    EXPECT_EQ(Find(content, "", "top"), std::nullopt);
    EXPECT_EQ(Find("[open\nk=v\n", "open", "k"), "v"); // "[" without "]" still starts a section
}

TEST(IniTextRead, FirstSectionAndFirstKeyWin)
{
    const std::string content = "[A]\nk=1\nk=2\n[B]\nx=1\n[a]\nk=3\nonly=4\n";
    EXPECT_EQ(Find(content, "a", "k"), "1");
    EXPECT_EQ(Find(content, "A", "only"), std::nullopt); // the second [a] is never searched
    EXPECT_EQ(ini::SectionNames(content), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(ini::KeyNames(content, "a"), (std::vector<std::string>{"k"}));
}

TEST(IniTextRead, CyrillicNamesIgnoreCaseButNotLatinLookalikes)
{
    const std::string content = Cp("[Модуль KSV27]\r\nМаксимальное=cyr\r\nИНДЕКС Частоты опроса=3\r\nЁлка=1\r\n");
    EXPECT_EQ(Find(content, Cp("модуль ksv27"), Cp("индекс частоты ОПРОСА")), "3");
    EXPECT_EQ(Find(content, Cp("МОДУЛЬ KSV27"), Cp("ёлка")), "1");
    EXPECT_EQ(Find(content, Cp("Модуль KSV27"), Cp("Mаксимальное")), std::nullopt); // Latin M asked for
    EXPECT_EQ(Find(content, Cp("Модуль KSV27"), Cp("максимальное")), "cyr");
}

TEST(IniTextRead, LongValuesAreCut)
{
    const std::string value(5000, 'v');
    const auto v = Find("[s]\nk=" + value + "\n", "s", "k");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->size(), ini::kMaxValueLength);
}

TEST(IniTextWrite, ReplacesInPlaceKeepingSpellingAndEveryOtherByte)
{
    const std::string before = "; head\n[S]\n  MyKey  =  old  \nother=1\n\n[T]\nz=0";
    EXPECT_EQ(ini::SetValue(before, "s", "mykey", "new"), "; head\n[S]\nMyKey=new\r\nother=1\n\n[T]\nz=0");
    // A last line without an end gets one.
    EXPECT_EQ(ini::SetValue(before, "t", "Z", "5"), "; head\n[S]\n  MyKey  =  old  \nother=1\n\n[T]\nz=5\r\n");
    // A lone CR ends a line as well.
    EXPECT_EQ(ini::SetValue("[S]\rk=1\rj=2\r", "S", "k", "3"), "[S]\rk=3\r\nj=2\r");
}

TEST(IniTextWrite, NewKeyFollowsTheLastKeyOfItsSection)
{
    const std::string before = "[S]\r\na=1\r\n;note=x\r\njunk\r\n\r\n; trailing comment\r\n[T]\r\nb=2\r\n";
    EXPECT_EQ(ini::SetValue(before, "S", "new", "v"),
              "[S]\r\na=1\r\nnew=v\r\n;note=x\r\njunk\r\n\r\n; trailing comment\r\n[T]\r\nb=2\r\n");
    // A section without keys: right after its header, also when that is the last line.
    EXPECT_EQ(ini::SetValue("[S]\n\n[T]\n", "S", "k", "1"), "[S]\nk=1\r\n\n[T]\n");
    EXPECT_EQ(ini::SetValue("[S]", "S", "k", "1"), "[S]\r\nk=1\r\n");
    // Only the first section of a name receives keys.
    EXPECT_EQ(ini::SetValue("[S]\na=1\n[S]\nb=2\n", "s", "b", "3"), "[S]\na=1\nb=3\r\n[S]\nb=2\n");
}

TEST(IniTextWrite, NewSectionGoesToTheEnd)
{
    EXPECT_EQ(ini::SetValue("", "S", "k", "v"), "[S]\r\nk=v\r\n");
    EXPECT_EQ(ini::SetValue("x=1\n[A]\na=1\n", "B", "k", ""), "x=1\n[A]\na=1\n[B]\r\nk=\r\n");
    EXPECT_EQ(ini::SetValue("[A]\na=1", "B", "k", "v"), "[A]\na=1\r\n[B]\r\nk=v\r\n");
    EXPECT_EQ(ini::SetValue("[A]\r", "B", "k", "v"), "[A]\r[B]\r\nk=v\r\n");
}

TEST(IniTextWrite, ValuesCannotAddLinesAndBadNamesAreRecognised)
{
    const std::string after = ini::SetValue("[S]\nk=1\n", "S", "k", "a\r\n[T]\nx=1\0z"sv);
    EXPECT_EQ(after, "[S]\nk=a??[T]?x=1?z\r\n");
    EXPECT_EQ(ini::SectionNames(after), std::vector<std::string>{"S"});

    for (std::string_view bad : {"", ";c", "[x", "a=b", "a\nb", "a\rb"})
        EXPECT_FALSE(ini::IsValidKeyName(bad)) << bad;
    for (std::string_view bad : {"", "a]b", "a\nb"})
        EXPECT_FALSE(ini::IsValidSectionName(bad)) << bad;
    EXPECT_TRUE(ini::IsValidKeyName("a]b c;d"));
    EXPECT_TRUE(ini::IsValidSectionName("[a"));
}

TEST(IniTextWrite, BinaryJunkAndNulBytesSurvive)
{
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 7919) & 0xFF);
    const std::string before = junk + "\n[S]\nk=\0\x01\n"s + junk;
    const std::string after = ini::SetValue(before, "S", "k", "v");
    EXPECT_EQ(after.substr(0, junk.size()), junk);
    EXPECT_EQ(after.substr(after.size() - junk.size()), junk);
}

} // namespace
} // namespace ksv
