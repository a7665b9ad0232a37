// Python classes AoiWindow (a window in which an area is within reach) and AoiIter, and the
// Predictor methods that search for them: aoi_iter and detect_aoi.
#pragma once

#include "module.hpp"
#include "satvane/time.hpp"

namespace satvane::py {

PyObject* make_aoi_window(ModuleState& state, Instant start, Instant end);

PyMethodDef aoi_iter_method();
PyMethodDef detect_aoi_method();

}  // namespace satvane::py
