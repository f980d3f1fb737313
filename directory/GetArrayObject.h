#pragma once
// One value out of a value that may hold several: element `intIndex` of a
// list ("" outside it), or a single text itself.
#include <string>
#include <vector>

namespace qv {

inline std::string GetArrayObject(const std::vector<std::string>& arrayObject, int intIndex) {
    if (intIndex < 0 || static_cast<std::size_t>(intIndex) >= arrayObject.size()) return {};
    return arrayObject[static_cast<std::size_t>(intIndex)];
}

inline std::string GetArrayObject(const std::string& arrayObject, int) { return arrayObject; }

}  // namespace qv
