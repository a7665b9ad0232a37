// Python class Refinement: the root finder's configuration, the one mutable class.
#pragma once

#include <optional>

#include "pyutil.hpp"
#include "satvane/roots.hpp"

namespace satvane::py {

// The configuration of a Refinement argument; TypeError with the parameter note otherwise.
std::optional<Refinement> arg_refinement(ModuleState& state, PyObject* obj, const char* param);

}  // namespace satvane::py
