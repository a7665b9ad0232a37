// Python classes for areas on the Earth's surface: Circle, Rectangle, Polygon and the
// enumeration FillRule.
#pragma once

#include <optional>

#include "pyutil.hpp"
#include "satvane/area.hpp"
#include "vectors.hpp"

namespace satvane::py {

// The area inside a Polygon, Rectangle or Circle instance (tested in that order); otherwise
// TypeError "expected a Polygon, Rectangle, or Circle", without a parameter note.
// `extract_area` copies the shape, for searches that outlive the call; `extract_area_ref`
// borrows it from `obj`, which must then stay alive for as long as the reference is used.
// Copying a polygon allocates: call these from a guarded method.
std::optional<area::AreaKind> extract_area(ModuleState& state, PyObject* obj);
std::optional<area::AreaRef> extract_area_ref(ModuleState& state, PyObject* obj);

PyObject* to_py(ModuleState& state, area::FillRule rule);

}  // namespace satvane::py
