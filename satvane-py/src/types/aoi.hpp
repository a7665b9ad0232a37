// Python class AoiWindow.
#pragma once

#include "module.hpp"
#include "satvane/time.hpp"

namespace satvane::py {

PyObject* make_aoi_window(ModuleState& state, Instant start, Instant end);

}  // namespace satvane::py
