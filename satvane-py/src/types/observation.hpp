// Python class Observation: what a ground observer sees of a satellite.
#pragma once

#include "module.hpp"
#include "satvane/observe.hpp"

namespace satvane::py {

PyObject* to_py(ModuleState& state, const Observation& observation);

}  // namespace satvane::py
