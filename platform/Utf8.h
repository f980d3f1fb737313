#pragma once
// UTF-8 as the program reads its texts: every text is taken as UTF-8, and a
// byte that does not start a well-formed sequence counts as one character of
// its own, so no input is ever rejected or misread by the counting.
#include <cstddef>
#include <string_view>

namespace qv::platform {

// Length in bytes of the well-formed UTF-8 sequence starting at `pos`
// (1 to 4), or 0 when the bytes there are not well-formed UTF-8 (overlong
// forms, surrogates and values above U+10FFFF are not well-formed).
std::size_t utf8SequenceLength(std::string_view text, std::size_t pos) noexcept;

// The code point starting at `pos` and the number of bytes it takes. A byte
// that does not start a well-formed sequence is returned as 0xDC00 + byte
// (a lone surrogate, which no well-formed text contains) with length 1.
struct CodePoint {
    char32_t value;
    std::size_t length;
};
CodePoint decodeUtf8(std::string_view text, std::size_t pos) noexcept;

// The number of characters (code points, an ill-formed byte counting as one).
std::size_t utf8Length(std::string_view text) noexcept;

// The byte offset just after the first `count` characters, or text.size()
// when the text has fewer.
std::size_t utf8Offset(std::string_view text, std::size_t count) noexcept;

// True when the whole text is well-formed UTF-8.
bool isUtf8(std::string_view text) noexcept;

}  // namespace qv::platform
