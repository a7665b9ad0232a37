// Python classes Illumination (a window of constant illumination state), IlluminationState and
// IlluminationIter, and the Predictor method illumination_iter.
#pragma once

#include "module.hpp"
#include "satvane/illumination.hpp"
#include "satvane/time.hpp"

namespace satvane::py {

// The shared IlluminationState member (Sunlit is 0, Eclipse 1).
PyObject* to_py(ModuleState& state, IlluminationState value);

// An instance holds the core's IlluminationWindow record.

PyObject* make_illumination(ModuleState& state, Instant start, Instant end, IlluminationState value);

PyMethodDef illumination_iter_method();

}  // namespace satvane::py
