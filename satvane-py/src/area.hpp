// Python classes for positions and areas on the Earth's surface: LatLon, GeodeticPoint,
// Circle, Rectangle, Polygon and the enumerations FillRule and Coverage.
#pragma once

#include <optional>

#include "pyutil.hpp"
#include "satvane/aoi.hpp"
#include "satvane/area.hpp"
#include "satvane/vectors.hpp"

namespace satvane::py {

// New LatLon / GeodeticPoint instances.
PyObject* to_py(ModuleState& state, const LatLon& point);
PyObject* to_py(ModuleState& state, const GeodeticPoint& point);

// Observers and targets: a GeodeticPoint instance and nothing else (no tuples, no LatLon);
// TypeError with the parameter note otherwise.
std::optional<GeodeticPoint> arg_geodetic_point(ModuleState& state, PyObject* obj, const char* param);

// The area inside a Polygon, Rectangle or Circle instance (tested in that order); otherwise
// TypeError "expected a Polygon, Rectangle, or Circle", without a parameter note.
// `extract_area` copies the shape, for searches that outlive the call; `extract_area_ref`
// borrows it from `obj`, which must then stay alive for as long as the reference is used.
// Copying a polygon allocates: call these from a guarded method.
std::optional<aoi::AreaKind> extract_area(ModuleState& state, PyObject* obj);
std::optional<aoi::AreaRef> extract_area_ref(ModuleState& state, PyObject* obj);

// The core's Coverage (its values are those of the Python members).
PyObject* to_py(ModuleState& state, Coverage coverage);
// A Coverage member; TypeError with the parameter note for anything else.
std::optional<Coverage> arg_coverage(ModuleState& state, PyObject* obj, const char* param);

PyObject* to_py(ModuleState& state, aoi::FillRule rule);

}  // namespace satvane::py
