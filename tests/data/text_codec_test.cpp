#include "data/text_codec.h"

#include <gtest/gtest.h>

namespace lx9 {
namespace {

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b)
        s.push_back(static_cast<char>(v));
    return s;
}

TEST(TextCodec, GbkRoundTripOfJobTexts) {
    // 示 CABE, 例 C0FD, 所 CBF9 in code page 936.
    EXPECT_EQ(utf8ToGbk("示例所"), bytes({0xCA, 0xBE, 0xC0, 0xFD, 0xCB, 0xF9}));
    EXPECT_EQ(gbkToUtf8(bytes({0xCA, 0xBE, 0xC0, 0xFD, 0xCB, 0xF9})), "示例所");
    EXPECT_EQ(utf8ToGbk("1#桩 A-7"), bytes({'1', '#', 0xD7, 0xAE, ' ', 'A', '-', '7'}));
    EXPECT_EQ(utf8ToGbk("€"), bytes({0x80}));  // Windows' 936 has the euro sign
}

TEST(TextCodec, UnconvertibleCharactersBecomeQuestionMarks) {
    EXPECT_EQ(utf8ToGbk("a😀b"), "a?b");
    EXPECT_EQ(utf8ToGbk(bytes({'a', 0xC3, 'b'})), "a?b");  // broken UTF-8
    EXPECT_EQ(gbkToUtf8(bytes({0xCA, 0xBE, 0xFF, 'A'})), "示?A");
}

TEST(TextCodec, CutHalfCharacterIsDroppedWhenDecoding) {
    EXPECT_EQ(gbkToUtf8(bytes({'x', 0xCA, 0xBE, 0xC0})), "x示");
}

TEST(TextCodec, CuttingNeverSplitsACharacter) {
    const std::string gbk = utf8ToGbk("a示例");  // 61 CA BE C0 FD
    EXPECT_EQ(gbkPrefix(gbk, 0), "");
    EXPECT_EQ(gbkPrefix(gbk, 1), "a");
    EXPECT_EQ(gbkPrefix(gbk, 2), "a");
    EXPECT_EQ(gbkPrefix(gbk, 3), gbk.substr(0, 3));
    EXPECT_EQ(gbkPrefix(gbk, 4), gbk.substr(0, 3));
    EXPECT_EQ(gbkPrefix(gbk, 5), gbk);
    EXPECT_EQ(utf8ToGbkCut("示例所", 5), bytes({0xCA, 0xBE, 0xC0, 0xFD}));

    EXPECT_EQ(utf8Prefix("a示", 3), "a");  // 示 is three bytes in UTF-8
    EXPECT_EQ(utf8Prefix("a示", 4), "a示");
    EXPECT_EQ(utf8Prefix("a😀", 4), "a");
}

TEST(TextCodec, Utf16CoversSurrogatesAndRejectsBrokenInput) {
    EXPECT_EQ(utf8ToUtf16("所"), std::u16string(1, char16_t{0x6240}));
    EXPECT_EQ(utf8ToUtf16("😀"), (std::u16string{char16_t{0xD83D}, char16_t{0xDE00}}));
    EXPECT_EQ(utf16ToUtf8(u"\xD83D\xDE00x"), "😀x");
    EXPECT_EQ(utf16ToUtf8(std::u16string{char16_t{0xD800}, u'a'}), "?a");  // unpaired surrogate
    EXPECT_EQ(utf8ToUtf16(bytes({0xE0, 0x80, 0x80})), u"?");               // overlong form
    EXPECT_EQ(utf8ToUtf16(bytes({0xED, 0xA0, 0x80})), u"?");               // encoded surrogate
    EXPECT_EQ(utf16ToUtf8(utf8ToUtf16("工程名称 site")), "工程名称 site");
}

}  // namespace
}  // namespace lx9
