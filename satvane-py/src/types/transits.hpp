// Python class Transit.
#pragma once

#include "module.hpp"
#include "satvane/time.hpp"

namespace satvane::py {

PyObject* make_transit(ModuleState& state, Instant start, Instant end);

}  // namespace satvane::py
