#pragma once
// Helpers shared by the fuzz targets: the input as text, split into the
// arguments of the function under test, and a check that aborts (so that
// libFuzzer keeps the input) when a property of the code does not hold.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace qv::fuzz {

inline std::string_view textOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input cut at its first `count - 1` NUL bytes into `count` parts (missing parts are empty).
inline std::vector<std::string> parts(std::string_view text, std::size_t count) {
    std::vector<std::string> out;
    while (out.size() + 1 < count) {
        auto at = text.find('\0');
        if (at == std::string_view::npos) break;
        out.emplace_back(text.substr(0, at));
        text.remove_prefix(at + 1);
    }
    out.emplace_back(text);
    out.resize(count);
    return out;
}

// Aborts with both texts when a property fails.
inline void require(bool holds, const char* property, std::string_view a = {}, std::string_view b = {}) {
    if (holds) return;
    std::fprintf(stderr, "property failed: %s\n  [%.*s]\n  [%.*s]\n", property, int(a.size()), a.data(),
                 int(b.size()), b.data());
    std::abort();
}

}  // namespace qv::fuzz
