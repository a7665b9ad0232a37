// Entry of the extension module satvane._batch (see batch.hpp).
#include <cstring>

#include "batch/batch.hpp"
#include "types/value_helpers.hpp"

namespace satvane::py::batch {

namespace {

// _batch reads _satvane's module state through the layout both were compiled with; refuse a
// _satvane that does not come from the same build rather than misread it.
int exec_module(PyObject* module) {
  auto& state = *static_cast<BatchState*>(PyModule_GetState(module));
  state.satvane_module = PyImport_ImportModule("satvane._satvane");
  if (state.satvane_module == nullptr) return -1;
  PyModuleDef* def = PyModule_GetDef(state.satvane_module);
  if (def == nullptr || std::strcmp(def->m_name, "_satvane") != 0 ||
      def->m_size != static_cast<Py_ssize_t>(sizeof(ModuleState))) {
    PyErr_SetString(PyExc_ImportError, "satvane._batch and satvane._satvane come from different builds");
    return -1;
  }
  state.classes = &state_of_module(state.satvane_module);
  return 0;
}

int traverse_module(PyObject* module, visitproc visit, void* arg) {
  Py_VISIT(static_cast<BatchState*>(PyModule_GetState(module))->satvane_module);
  return 0;
}

int clear_module(PyObject* module) {
  Py_CLEAR(static_cast<BatchState*>(PyModule_GetState(module))->satvane_module);
  return 0;
}

void free_module(void* module) { clear_module(static_cast<PyObject*>(module)); }

PyMethodDef module_methods[] = {
    fastcall_method<propagate_many>(
        "propagate", "propagate(predictors, times_ns, ecef, position_m, velocity_m_s, failed, threads)\n--\n\n"
                     "Fill the arrays with the state of every predictor at every instant (see satvane.batch)."),
    fastcall_method<observe_many>(
        "observe", "observe(predictor, observers, times_ns, azimuth_deg, elevation_deg, range_m, range_rate_m_s, "
                   "failed, threads)\n--\n\n"
                   "Fill the arrays with what every observer sees at every instant (see satvane.batch)."),
    fastcall_method<screen_transits>("transits", "transits(predictors, observers, interval, min_elevation_deg, threads, progress, *, "
                                                 "min_step=None, max_step=None, walk_step=None, max_transit_duration=None, "
                                                 "skip_leading_partial=None, clamp_to_interval=None)\n--\n\n"
                                                 "The batch pass search (see satvane.batch.transits)."),
    fastcall_method<pickle_state>("pickle_state",
                                  "pickle_state(obj)\n--\n\nThe exact state of a value object, as plain values."),
    fastcall_method<from_pickle_state>(
        "from_pickle_state", "from_pickle_state(class_name, state)\n--\n\nThe object `pickle_state` was taken from."),
    fastcall_method<mask_passes>("mask_passes", "mask_passes(predictor, observer, interval, points, *, min_step=None, "
                                                "max_step=None, walk_step=None, max_transit_duration=None, "
                                                "skip_leading_partial=None, clamp_to_interval=None)\n--\n\n"
                                                "The passes above a horizon mask (see satvane.horizon)."),
    {},
};

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_batch",
    "Vectorised propagation and look angles, and exact pickling states (used by satvane.batch).",
    sizeof(BatchState),
    module_methods,
    module_slots,
    traverse_module,
    clear_module,
    free_module,
};

}  // namespace

}  // namespace satvane::py::batch

PyMODINIT_FUNC PyInit__batch() { return PyModuleDef_Init(&satvane::py::batch::module_def); }
