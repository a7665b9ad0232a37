// The extension module satvane._batch: work over many satellites, observers and instants at
// once, and the exact state of the value classes for pickling. It is built from the same
// binding sources as satvane._satvane and works on that module's classes: its state holds the
// imported _satvane module, whose own state (class objects, datetime API) every helper of the
// binding layer takes.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "pyutil.hpp"
#include "satvane/predictor.hpp"

namespace satvane::py::batch {

struct BatchState {
  PyObject* satvane_module;  // satvane._satvane, kept alive by this reference
  ModuleState* classes;      // its state
};

inline ModuleState& classes_of(PyObject* batch_module) {
  return *static_cast<BatchState*>(PyModule_GetState(batch_module))->classes;
}

// Predictor instances, owned by the tuple so that nothing can free them while the loops run
// without the interpreter lock.
struct PredictorsArg {
  Ref owner;
  std::vector<const Predictor*> predictors;
};
bool get_predictors(ModuleState& state, PyObject* obj, const char* param, PredictorsArg& out);

// A thread count of at least 1 (more than 256 are taken as 256).
std::optional<std::size_t> arg_threads(PyObject* obj);

// Module functions, each METH_FASTCALL | METH_KEYWORDS with the module as `self`.
PyObject* propagate_many(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* observe_many(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* pickle_state(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* from_pickle_state(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* mask_passes(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* screen_transits(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace satvane::py::batch
