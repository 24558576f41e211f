// The number encodings of the settings file, as rows of text and value.
#include "IniValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ksv {
namespace {

TEST(IniValues, IntegerTexts)
{
    const struct {
        const char* Text;
        std::optional<std::int32_t> Value;
    } rows[] = {
        {"0", 0},
        {"-1", -1},
        {"+7", 7},
        {"  3", 3},
        {"\t-4", -4},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"0x10", 16},
        {"0X1f", 31},
        {"0x3", 3},
        {"0xFFFFFFFF", -1},
        {"0x80000000", std::numeric_limits<std::int32_t>::min()},
        {"0x0", 0},
        {"0x00000000010", 16},
        // not integers
        {"", std::nullopt},
        {"12abc", std::nullopt},
        {"1.0", std::nullopt},
        {"0x", std::nullopt},
        {"12 ", std::nullopt},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"0x100000000", std::nullopt},
        {"0xG", std::nullopt},
        {" 0x10", std::nullopt},
        {"-0x1", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"abc", std::nullopt},
        {"true", std::nullopt},
        {"$10", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ParseIniInteger(r.Text), r.Value) << '"' << r.Text << '"';
    EXPECT_EQ(FormatIniInteger(-5), "-5");
    EXPECT_EQ(FormatIniInteger(std::numeric_limits<std::int32_t>::min()), "-2147483648");
}

TEST(IniValues, FloatsAreWrittenInTheShortestGeneralForm)
{
    const struct {
        double Value;
        const char* Text;
    } rows[] = {
        {1.0, "1"},
        {2.5, "2.5"},
        {0.1, "0.1"},
        {1.0 / 3, "0.333333333333333"},
        {1e14, "100000000000000"},
        {1e15, "1E15"},
        {1e20, "1E20"},
        {1.2345678901234568e17, "1.23456789012346E17"},
        {0.0001, "0.0001"},
        {1e-5, "1E-5"},
        {2.5e-5, "2.5E-5"},
        {-0.5, "-0.5"},
        {0.0, "0"},
        {-0.0, "0"},
        {-1e15, "-1E15"},
        {123456789012345.0, "123456789012345"},
        {999999999999999.9, "1E15"}, // rounds up to 16 digits
        {0.00012345, "0.00012345"},
        {1e-300, "1E-300"},
        {1.7976931348623157e308, "1.79769313486232E308"},
        {2.0 / 3, "0.666666666666667"},
        {100.0, "100"},
        {-273.15, "-273.15"},
        {std::numeric_limits<double>::infinity(), "INF"},
        {std::nan(""), "NAN"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FormatIniFloat(r.Value), r.Text) << r.Value;
}

TEST(IniValues, FloatTexts)
{
    const struct {
        const char* Text;
        std::optional<double> Value;
    } rows[] = {
        {"1", 1.0},
        {"2.5", 2.5},
        {"1e20", 1e20},
        {"1E+20", 1e20},
        {"+2.5", 2.5},
        {".5", 0.5},
        {"5.", 5.0},
        {"-0.25", -0.25},
        {"  7.5\t", 7.5},
        {"1e-5", 1e-5},
        {"0.333333333333333", 0.333333333333333},
        // not numbers
        {"", std::nullopt},
        {"  ", std::nullopt},
        {"0,5", std::nullopt},
        {"1 000", std::nullopt},
        {"inf", std::nullopt},
        {"nan", std::nullopt},
        {"INF", std::nullopt},
        {"0x10", std::nullopt},
        {"1e", std::nullopt},
        {"e5", std::nullopt},
        {".", std::nullopt},
        {"+-1", std::nullopt},
        {"1.5abc", std::nullopt},
        {"1e400", std::nullopt},
        {"--1", std::nullopt},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ParseIniFloat(r.Text), r.Value) << '"' << r.Text << '"';
}

} // namespace
} // namespace ksv
