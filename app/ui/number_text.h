// Numbers as the setup forms keep them: texts in fields, parsed the way the dialogs' integer and
// float conversions read them (leading blanks, an optional sign, the longest numeric prefix,
// anything else ignored; no number gives 0), and formatted "%d" / "%.Nf". Both directions are
// independent of the process locale, so a Qt locale never turns "20.00" into "20,00".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lx9 {

// Integer parse: the digits after an optional sign; stops at the first other character.
// Values beyond int32 are clamped to its limits.
int32_t parseIntText(std::string_view text);

// Float parse: sign, digits, an optional fraction and exponent; stops at the first other
// character. Never returns infinity or NaN (an overflowing exponent clamps to the double limits).
double parseFloatText(std::string_view text);

// "%.Nf" in the C locale; a value too large for a field reads "inf"/"-inf", NaN reads "nan".
std::string formatFixed(double value, int decimals);

// "%d".
std::string formatInt(int64_t value);

// True when the text is a plain decimal number: digits with at most one full stop and at least
// one digit (no sign, no blanks).
bool isPlainDecimal(std::string_view text);

}  // namespace lx9
