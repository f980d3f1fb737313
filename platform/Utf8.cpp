#include "platform/Utf8.h"

namespace qv::platform {

namespace {

bool isContinuation(unsigned char byte) noexcept { return (byte & 0xC0) == 0x80; }

}  // namespace

std::size_t utf8SequenceLength(std::string_view text, std::size_t pos) noexcept {
    if (pos >= text.size()) return 0;
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // no overlong forms
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() - pos < length) return 0;
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    if (second < low || second > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(static_cast<unsigned char>(text[pos + i]))) return 0;
    }
    return length;
}

CodePoint decodeUtf8(std::string_view text, std::size_t pos) noexcept {
    const std::size_t length = utf8SequenceLength(text, pos);
    const auto lead = static_cast<unsigned char>(pos < text.size() ? text[pos] : 0);
    if (length == 0) return {static_cast<char32_t>(0xDC00 + lead), 1};
    if (length == 1) return {lead, 1};
    static constexpr unsigned char leadMask[] = {0, 0, 0x1F, 0x0F, 0x07};
    char32_t value = lead & leadMask[length];
    for (std::size_t i = 1; i < length; ++i) {
        value = (value << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3F);
    }
    return {value, length};
}

std::size_t utf8Length(std::string_view text) noexcept {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) pos += decodeUtf8(text, pos).length;
    return count;
}

std::size_t utf8Offset(std::string_view text, std::size_t count) noexcept {
    std::size_t pos = 0;
    for (; pos < text.size() && count > 0; --count) pos += decodeUtf8(text, pos).length;
    return pos;
}

bool isUtf8(std::string_view text) noexcept {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = utf8SequenceLength(text, pos);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

}  // namespace qv::platform
