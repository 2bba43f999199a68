#include "data/data_file_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace lx9 {
namespace {

void pad(std::string& out, std::string_view text, int width, bool left) {
    const int fill = width - static_cast<int>(text.size());
    if (!left && fill > 0) out.append(static_cast<size_t>(fill), ' ');
    out += text;
    if (left && fill > 0) out.append(static_cast<size_t>(fill), ' ');
}

// printf's "%.*f" text of a value: to_chars is defined to round exactly as printf does in the
// "C" locale, and prints inf and nan the same way.
std::string_view fixedText(char (&buffer)[400], double value, int precision) {
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    if (ec != std::errc()) return "********";  // cannot happen for doubles and small precisions
    return {buffer, static_cast<size_t>(end - buffer)};
}

constexpr std::array<double, 16> kPowersOfTen = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

constexpr bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

template <typename T>
T parseInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulate towards the sign so the most negative value is reachable.
    T value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const T digit = static_cast<T>(text[i] - '0');
        if (negative) {
            if (value < (std::numeric_limits<T>::min() + digit) / 10) return std::numeric_limits<T>::min();
            value = value * 10 - digit;
        } else {
            if (value > (std::numeric_limits<T>::max() - digit) / 10) return std::numeric_limits<T>::max();
            value = value * 10 + digit;
        }
    }
    return value;
}

}  // namespace

void putInt(std::string& out, int64_t value, int width, bool left) {
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    pad(out, std::string_view(buffer, static_cast<size_t>(end - buffer)), width, left);
}

void putFixed(std::string& out, double value, int width, int precision) {
    char buffer[400];
    pad(out, fixedText(buffer, value, precision), width, false);
}

void putColumnInt(std::string& out, int64_t value, int width) {
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    const std::string_view text(buffer, static_cast<size_t>(end - buffer));
    if (static_cast<int>(text.size()) > width) {
        out.append(static_cast<size_t>(width), '*');
        return;
    }
    pad(out, text, width, false);
}

void putColumnFixed(std::string& out, double value, int width, int precision) {
    char buffer[400];
    const std::string_view text = fixedText(buffer, value, precision);
    if (static_cast<int>(text.size()) > width) {
        out.append(static_cast<size_t>(width), '*');
        return;
    }
    pad(out, text, width, false);
}

std::string_view trimText(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

int32_t parseInt(std::string_view text) {
    return parseInteger<int32_t>(text);
}
int64_t parseInt64(std::string_view text) {
    return parseInteger<int64_t>(text);
}

double parseReal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    text.remove_prefix(i);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
        // from_chars takes its own minus sign, but "+-1" or "--1" is no number for atof.
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) return 0.0;
    }
    double value = 0.0;
    auto [ptr, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // strtod gives infinity on overflow and 0 on underflow; from_chars leaves the value as
        // it was. Only a negative exponent can make a number too small.
        const std::string_view number(text.data(), static_cast<size_t>(ptr - text.data()));
        const size_t e = number.find_first_of("eE");
        const bool tiny = e != std::string_view::npos && parseInt(number.substr(e + 1)) < 0;
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

// With at most 15 digits both the digits and the power of ten are exact doubles, and their
// quotient is rounded once, to the same nearest double that parseReal gives.
double parseRowReal(std::string_view text) {
    // A sign, 15 digits and a point at most: longer texts are no plain row number.
    if (text.empty() || text.size() > 17) return parseReal(text);
    const char* c = text.data();
    const char* const end = c + text.size();
    const bool negative = *c == '-';
    if (*c == '-' || *c == '+') ++c;
    uint64_t digits = 0;
    const char* point = nullptr;
    for (const char* d = c; d != end; ++d) {
        const auto digit = static_cast<unsigned>(*d - '0');
        if (digit <= 9) {
            digits = digits * 10 + digit;
        } else if (*d == '.' && !point) {
            point = d;
        } else {
            return parseReal(text);
        }
    }
    const auto count = static_cast<size_t>(end - c) - (point ? 1 : 0);
    if (count == 0 || count > 15) return parseReal(text);
    const auto fraction = point ? static_cast<size_t>(end - point - 1) : 0;
    const double value = static_cast<double>(digits) / kPowersOfTen[fraction];
    return negative ? -value : value;
}

bool isDigits(std::string_view text) {
    text = trimText(text);
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace lx9
