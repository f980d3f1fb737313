#pragma once
// How the program writes an error number in its messages.
#include <cstdint>
#include <string>

namespace qv {

// Upper-case hexadecimal without leading zeros; a negative number as its
// 32-bit pattern (-2147016646 → "8007203A").
std::string HexText(std::int32_t number);

}  // namespace qv
