// Text conversions at the edges of the program. In memory every string is UTF-8; the data files,
// the instrument's job-text block and the upload packets carry GBK (code page 936), and the
// settings file carries UTF-16LE. This is the only module that knows about code pages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lx9 {

// UTF-8 -> GBK. A character GBK cannot hold becomes '?'; malformed UTF-8 bytes become '?' too.
std::string utf8ToGbk(std::string_view utf8);

// GBK -> UTF-8. An invalid byte becomes '?'; a lead byte cut off at the end is dropped.
std::string gbkToUtf8(std::string_view gbk);

// UTF-8 -> GBK, cut to at most maxBytes bytes without splitting a double-byte character.
std::string utf8ToGbkCut(std::string_view utf8, std::size_t maxBytes);

// The longest prefix of a GBK text of at most maxBytes bytes that ends on a character boundary.
std::string_view gbkPrefix(std::string_view gbk, std::size_t maxBytes);

// The longest prefix of a UTF-8 text of at most maxBytes bytes that ends on a character boundary.
std::string_view utf8Prefix(std::string_view utf8, std::size_t maxBytes);

// UTF-8 <-> UTF-16 (host order code units; the settings store writes them little-endian).
// Malformed input becomes '?' (an unpaired surrogate as well).
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

}  // namespace lx9
