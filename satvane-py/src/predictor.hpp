// Python class Predictor: one satellite, ready to answer questions.
#pragma once

#include "pyutil.hpp"
#include "satvane/predictor.hpp"

namespace satvane::py {

// The core predictor of a Predictor instance (the caller checks the type with is_exact).
inline const Predictor& predictor_of(PyObject* obj) { return unbox<Predictor>(obj); }

}  // namespace satvane::py
