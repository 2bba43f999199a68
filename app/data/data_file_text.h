// Number texts of the data files: printf-style fields and atoi/atof-style conversions that never
// depend on the process locale (a GUI may switch LC_NUMERIC to one with a decimal comma, and the
// files always use a point), and the decoding of one stored waveform value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lx9 {

// "%*d" (or "%-*d" when left): the value, padded with spaces to at least `width`.
void putInt(std::string& out, int64_t value, int width, bool left = false);

// "%*.*f": the value rounded to `precision` decimals, padded on the left to at least `width`.
void putFixed(std::string& out, double value, int width, int precision);

// A column of a fixed-width row: as putInt / putFixed, but a value wider than the column is
// written as `width` stars, so the row keeps its length and the rows after it their places.
void putColumnInt(std::string& out, int64_t value, int width);
void putColumnFixed(std::string& out, double value, int width, int precision);

// The text without leading and trailing blanks (space, tab, CR, LF, VT, FF).
std::string_view trimText(std::string_view text);

// atoi: optional blanks, optional sign, digits up to the first other character; 0 when there
// are none. Values beyond the type's range stop at its limits.
int32_t parseInt(std::string_view text);
int64_t parseInt64(std::string_view text);

// atof: optional blanks, then the longest decimal number ("inf" and "nan" included); 0 when
// there is none.
double parseReal(std::string_view text);

// parseReal of a trimmed field of a ray row, fast for the plain decimals the rows hold ("12.345",
// "-0.50": at most 15 digits, no exponent); any other text goes to parseReal. Same value always.
double parseRowReal(std::string_view text);

// True when the trimmed text is one or more decimal digits and nothing else.
bool isDigits(std::string_view text);

// One .CHD value (signed 16-bit little-endian, code − 2047) back to the converter code.
inline uint16_t readChdSample(const uint8_t* bytes) {
    const auto stored = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return static_cast<uint16_t>(stored + 2047);
}

}  // namespace lx9
