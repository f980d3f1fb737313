// Character counting over UTF-8 texts, including ill-formed ones.
#include <gtest/gtest.h>

#include "platform/Utf8.h"

using namespace qv::platform;

TEST(Utf8, CountsCodePointsAndIllFormedBytesAsOneCharacterEach) {
    EXPECT_EQ(utf8Length(""), 0u);
    EXPECT_EQ(utf8Length("abc"), 3u);
    EXPECT_EQ(utf8Length("\xC3\xA9t\xC3\xA9"), 3u);          // été
    EXPECT_EQ(utf8Length("\xE2\x82\xAC"), 1u);               // €
    EXPECT_EQ(utf8Length("\xF0\x9F\x98\x80"), 1u);           // an emoji
    EXPECT_EQ(utf8Length("\xFF\xFE"), 2u);                   // not UTF-8 at all
    EXPECT_EQ(utf8Length("a\xC3"), 2u);                      // truncated sequence
    EXPECT_EQ(utf8Length("\xC0\xAF"), 2u);                   // overlong "/"
    EXPECT_EQ(utf8Length("\xED\xA0\x80"), 3u);               // a surrogate
    EXPECT_EQ(utf8Length("\xF4\x90\x80\x80"), 4u);           // above U+10FFFF
    EXPECT_EQ(utf8Length(std::string_view("a\0b", 3)), 3u);  // NUL is a character
}

TEST(Utf8, DecodesAndFindsOffsets) {
    EXPECT_EQ(decodeUtf8("\xC3\xA9", 0).value, U'\u00E9');
    EXPECT_EQ(decodeUtf8("\xF0\x9F\x98\x80", 0).value, U'\U0001F600');
    EXPECT_EQ(decodeUtf8("\xFF", 0).value, char32_t(0xDCFF));
    EXPECT_EQ(decodeUtf8("\xFF", 0).length, 1u);
    EXPECT_EQ(utf8Offset("\xC3\xA9t\xC3\xA9", 2), 3u);
    EXPECT_EQ(utf8Offset("ab", 5), 2u);
    EXPECT_TRUE(isUtf8("plain \xC3\xA9"));
    EXPECT_FALSE(isUtf8("bad \xC3("));
}
