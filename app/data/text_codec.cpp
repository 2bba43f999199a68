#include "data/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace lx9 {
namespace {

// glibc's CP936 is Windows' code page 936 (GBK plus the euro sign at 0x80), which is what the
// instrument, the data files and the result server use.
constexpr const char* kGbk = "CP936";

// One conversion descriptor per direction and thread: iconv_open is far slower than a short
// conversion, and a descriptor must not be shared between threads.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
        }
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts input; on an invalid sequence it appends `replacement` and skips `skip(in, left)`
    // bytes; an incomplete sequence at the end is dropped.
    template <typename Skip>
    std::string run(std::string_view input, std::string_view replacement, Skip skip) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        out.reserve(input.size() * 2 + 8);
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char buffer[1024];
        while (inLeft > 0) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            size_t r = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
            out.append(buffer, outPtr - buffer);
            if (r != static_cast<size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            if (errno == EILSEQ) {
                out.append(replacement);
                size_t n = skip(in, inLeft);
                in += n;
                inLeft -= n;
                continue;
            }
            break;  // EINVAL: a sequence cut off at the end of the input
        }
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer, outPtr - buffer);
        return out;
    }

  private:
    iconv_t cd_;
};

size_t utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

// Bytes to skip over one unconvertible UTF-8 character (or one stray byte).
size_t skipUtf8(const char* in, size_t left) {
    size_t n = utf8SequenceLength(static_cast<unsigned char>(in[0]));
    if (n > left) return left;
    for (size_t i = 1; i < n; ++i) {
        if ((static_cast<unsigned char>(in[i]) & 0xC0) != 0x80) return i;
    }
    return n;
}

Converter& toGbk() {
    thread_local Converter c(kGbk, "UTF-8");
    return c;
}
Converter& fromGbk() {
    thread_local Converter c("UTF-8", kGbk);
    return c;
}

}  // namespace

std::string utf8ToGbk(std::string_view utf8) {
    return toGbk().run(utf8, "?", skipUtf8);
}

std::string gbkToUtf8(std::string_view gbk) {
    return fromGbk().run(gbk, "?", [](const char*, size_t) { return size_t{1}; });
}

std::string_view gbkPrefix(std::string_view gbk, std::size_t maxBytes) {
    if (gbk.size() <= maxBytes) return gbk;
    // Walk characters from the start: a lead byte >= 0x81 opens a two-byte character.
    size_t i = 0;
    while (i < maxBytes) {
        auto b = static_cast<unsigned char>(gbk[i]);
        size_t n = (b >= 0x81 && b != 0xFF) ? 2 : 1;
        if (i + n > maxBytes) break;
        i += n;
    }
    return gbk.substr(0, i);
}

std::string utf8ToGbkCut(std::string_view utf8, std::size_t maxBytes) {
    return std::string(gbkPrefix(utf8ToGbk(utf8), maxBytes));
}

std::string_view utf8Prefix(std::string_view utf8, std::size_t maxBytes) {
    if (utf8.size() <= maxBytes) return utf8;
    size_t i = maxBytes;
    // Step back over continuation bytes to the start of the character that crosses the cut.
    while (i > 0 && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80)
        --i;
    return utf8.substr(0, i);
}

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        auto b = static_cast<unsigned char>(utf8[i]);
        size_t n = utf8SequenceLength(b);
        char32_t cp = 0;
        bool ok = n <= utf8.size() - i && !(n == 1 && b >= 0x80);
        if (ok) {
            cp = n == 1 ? b : b & (0x7F >> n);
            for (size_t k = 1; k < n && ok; ++k) {
                auto c = static_cast<unsigned char>(utf8[i + k]);
                ok = (c & 0xC0) == 0x80;
                cp = (cp << 6) | (c & 0x3F);
            }
            // Reject overlong forms, surrogates and values beyond Unicode.
            static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
            ok = ok && cp >= kMin[n] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        }
        if (!ok) {
            out.push_back(u'?');
            i += skipUtf8(utf8.data() + i, utf8.size() - i);
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += n;
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = U'?';
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace lx9
