// Python classes PredictionIter, GroundTrackIter and ObservationIter (fixed-step series), and
// the Predictor methods that build them.
#pragma once

#include "module.hpp"

namespace satvane::py {

PyMethodDef prediction_iter_method();
PyMethodDef ground_track_iter_method();
PyMethodDef observation_iter_method();

}  // namespace satvane::py
