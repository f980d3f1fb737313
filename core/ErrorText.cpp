#include "core/ErrorText.h"

namespace qv {

std::string HexText(std::int32_t number) {
    static constexpr char digits[] = "0123456789ABCDEF";
    auto value = static_cast<std::uint32_t>(number);
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return text;
}

}  // namespace qv
