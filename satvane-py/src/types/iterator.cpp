#include "types/iterator.hpp"

namespace satvane::py {

bool BorrowFlag::check_shared() const {
  if (!exclusive_) return true;
  PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
  return false;
}

bool BorrowFlag::take_exclusive() {
  if (exclusive_) {
    PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
    return false;
  }
  exclusive_ = true;
  return true;
}

PyObject* timed_tuple(ModuleState& state, Instant time, PyObject* value) {
  Ref owned_value(value);
  if (!owned_value) return nullptr;
  Ref owned_time(to_py(state, time));
  if (!owned_time) return nullptr;
  return PyTuple_Pack(2, owned_time.get(), owned_value.get());
}

bool overlay_option(ModuleState& state, PyObject* given, const char* param, Duration& field) {
  if (given == nullptr || given == Py_None) return true;
  const auto value = arg_duration(state, given, param);
  if (value) field = *value;
  return value.has_value();
}

bool overlay_option(ModuleState&, PyObject* given, const char* param, bool& field) {
  if (given == nullptr || given == Py_None) return true;
  const auto value = arg_bool(given, param);
  if (value) field = *value;
  return value.has_value();
}

}  // namespace satvane::py
