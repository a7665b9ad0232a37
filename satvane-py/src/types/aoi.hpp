// Python classes AoiWindow (a window in which an area is within reach), Coverage and AoiIter,
// and the Predictor methods that search for the windows: aoi_iter and detect_aoi.
#pragma once

#include <optional>

#include "module.hpp"
#include "satvane/aoi.hpp"
#include "satvane/time.hpp"

namespace satvane::py {

PyObject* make_aoi_window(ModuleState& state, Instant start, Instant end);

// The shared Coverage member of the core's Coverage (Any is 0, Full 1).
PyObject* to_py(ModuleState& state, Coverage coverage);
// A Coverage member; TypeError with the parameter note for anything else.
std::optional<Coverage> arg_coverage(ModuleState& state, PyObject* obj, const char* param);

PyMethodDef aoi_iter_method();
PyMethodDef detect_aoi_method();

}  // namespace satvane::py
