// Python class Pointing: where a ground target lies as seen from the satellite.
#pragma once

#include "module.hpp"
#include "satvane/observe.hpp"

namespace satvane::py {

PyObject* to_py(ModuleState& state, const Pointing& pointing);

}  // namespace satvane::py
