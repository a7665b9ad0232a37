// Python classes Transit (one pass) and TransitIter, and the Predictor methods that search for
// passes: transits_iter, detect_transit and max_elevation.
#pragma once

#include "module.hpp"
#include "satvane/time.hpp"

namespace satvane::py {

PyObject* make_transit(ModuleState& state, Instant start, Instant end);

PyMethodDef transits_iter_method();
PyMethodDef detect_transit_method();
PyMethodDef max_elevation_method();

}  // namespace satvane::py
