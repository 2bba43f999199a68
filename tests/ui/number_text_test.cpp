#include "ui/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>

namespace lx9 {
namespace {

TEST(NumberText, IntegerParseReadsTheLeadingNumber) {
    EXPECT_EQ(parseIntText(" 42abc"), 42);
    EXPECT_EQ(parseIntText("-7"), -7);
    EXPECT_EQ(parseIntText("+3"), 3);
    EXPECT_EQ(parseIntText("250.9"), 250);
    EXPECT_EQ(parseIntText(""), 0);
    EXPECT_EQ(parseIntText("abc"), 0);
    EXPECT_EQ(parseIntText("99999999999999999999999"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(parseIntText("-2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(parseIntText("-99999999999"), std::numeric_limits<int32_t>::min());
}

TEST(NumberText, FloatParseNeverGivesInfinityOrNan) {
    EXPECT_EQ(parseFloatText("1.5e2x"), 150.0);
    EXPECT_EQ(parseFloatText(" .5"), 0.5);
    EXPECT_EQ(parseFloatText("20."), 20.0);
    EXPECT_EQ(parseFloatText("1.2.3"), 1.2);
    EXPECT_EQ(parseFloatText("-"), 0.0);
    EXPECT_EQ(parseFloatText("inf"), 0.0);
    EXPECT_EQ(parseFloatText("nan"), 0.0);
    EXPECT_EQ(parseFloatText("3e"), 3.0);
    EXPECT_EQ(parseFloatText("1e999"), std::numeric_limits<double>::max());
    EXPECT_EQ(parseFloatText("-1e999"), -std::numeric_limits<double>::max());
    EXPECT_EQ(parseFloatText("1e-999"), 0.0);
    EXPECT_EQ(parseFloatText("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(parseFloatText(std::string(400, '9')), std::numeric_limits<double>::max());
}

TEST(NumberText, FormattingIgnoresTheProcessLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // where installed, "%.2f" would write a comma
    EXPECT_EQ(formatFixed(20.0, 2), "20.00");
    EXPECT_EQ(parseFloatText("12.75"), 12.75);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(formatFixed(10.982592, 1), "11.0");
    EXPECT_EQ(formatFixed(1234.6, 0), "1235");
    EXPECT_EQ(formatFixed(-0.04, 1), "-0.0");
    EXPECT_EQ(formatInt(-360), "-360");
    EXPECT_TRUE(isPlainDecimal("20.5"));
    EXPECT_TRUE(isPlainDecimal(".5"));
    EXPECT_FALSE(isPlainDecimal("."));
    EXPECT_FALSE(isPlainDecimal("20..5"));
    EXPECT_FALSE(isPlainDecimal("-1"));
    EXPECT_FALSE(isPlainDecimal(""));
}

}  // namespace
}  // namespace lx9
