#pragma once
// The module's current selection (objDirObjects), read without creating it.
#include <memory>

#include "core/mdlMain.h"
#include "directory/DirObjects.h"

namespace qv {
namespace detail {
inline DirObjects* selectionOf(const std::shared_ptr<DirObjects>& held) { return held.get(); }
template <class T>
T* selectionOf(FirstUse<T>& held) {
    return held.exists() ? held.get().get() : nullptr;
}
}  // namespace detail

// The selected objects, or nullptr when nothing has been selected.
inline DirObjects* CurrentSelection() { return detail::selectionOf(mdl().objDirObjects); }

}  // namespace qv
