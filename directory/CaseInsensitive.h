#pragma once
// Comparisons of names (attribute and field names, scheme prefixes) without
// regard to ASCII case.
#include <string>
#include <string_view>

namespace qv {

inline std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (auto& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && lowerAscii(a) == lowerAscii(b);
}

}  // namespace qv
