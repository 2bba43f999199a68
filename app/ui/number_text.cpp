#include "ui/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace lx9 {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view skipBlanks(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return text.substr(i);
}

// Power of ten of the first significant digit of a well-formed number ("123" 2, "0.05" -2),
// saturating far beyond what a double holds.
int64_t decimalExponent(std::string_view number) {
    if (!number.empty() && number[0] == '-') number.remove_prefix(1);
    size_t end = 0;
    while (end < number.size() && (isDigit(number[end]) || number[end] == '.'))
        ++end;
    const std::string_view mantissa = number.substr(0, end);
    const size_t stop = std::min(mantissa.find('.'), mantissa.size());
    const size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos) return 0;
    int64_t exponent =
        first < stop ? static_cast<int64_t>(stop - first) - 1 : -static_cast<int64_t>(first - stop);
    if (end < number.size()) exponent += parseIntText(number.substr(end + 1));
    return exponent;
}

}  // namespace

int32_t parseIntText(std::string_view text) {
    text = skipBlanks(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (char c : text) {
        if (!isDigit(c)) break;
        value = value * 10 + (c - '0');
        if (value > kLimit) value = kLimit;  // keeps the loop free of overflow on long digit runs
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

double parseFloatText(std::string_view text) {
    text = skipBlanks(text);
    std::string number;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') number += '-';
        ++i;
    }
    bool digits = false;
    while (i < text.size() && isDigit(text[i]))
        number += text[i++], digits = true;
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        while (i < text.size() && isDigit(text[i]))
            number += text[i++], digits = true;
    }
    if (!digits) return 0.0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && isDigit(text[j])) {
            number += text.substr(i, j - i);
            while (j < text.size() && isDigit(text[j]))
                number += text[j++];
        }
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on overflow and underflow; tell them apart by the
        // decimal exponent of the first significant digit.
        const double magnitude = decimalExponent(number) < 0 ? 0.0 : std::numeric_limits<double>::max();
        return number[0] == '-' ? -magnitude : magnitude;
    }
    return value;
}

std::string formatFixed(double value, int decimals) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char text[400];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return value < 0 ? "-inf" : "inf";
    return std::string(text, end);
}

std::string formatInt(int64_t value) {
    return std::to_string(value);
}

bool isPlainDecimal(std::string_view text) {
    bool digit = false;
    int stops = 0;
    for (char c : text) {
        if (isDigit(c)) {
            digit = true;
        } else if (c == '.') {
            if (++stops > 1) return false;
        } else {
            return false;
        }
    }
    return digit;
}

}  // namespace lx9
