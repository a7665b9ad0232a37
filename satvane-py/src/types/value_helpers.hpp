// Small additions to pyutil.hpp for the value classes: their slot table, fixed-point numbers
// in reprs, reprs built as UTF-8 text, and methods of zero or one converted argument declared
// in one line.
#pragma once

#include <array>
#include <string>

#include "convert.hpp"
#include "pyutil.hpp"

namespace satvane::py {

// The slots of a value class, compared field by field by T::operator== and unhashable unless
// `hash` is given. A null `repr`, `methods` or `constructor` leaves the interpreter's default
// repr, no methods, and no constructor; `repr` and `constructor` are expected to run under Guard.
template <class T>
std::array<PyType_Slot, 9> value_slots(const char* doc, PyGetSetDef* getset, reprfunc repr = nullptr,
                                       PyMethodDef* methods = nullptr, newfunc constructor = nullptr,
                                       hashfunc hash = PyObject_HashNotImplemented) {
  return {{
      {Py_tp_doc, const_cast<char*>(doc)},
      {Py_tp_getset, getset},
      {Py_tp_repr, reinterpret_cast<void*>(repr)},
      {Py_tp_methods, methods},
      {Py_tp_new, reinterpret_cast<void*>(constructor)},
      {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_boxed<T>)},
      {Py_tp_richcompare, reinterpret_cast<void*>(richcompare_by_value<T>)},
      {Py_tp_hash, reinterpret_cast<void*>(hash)},
      {0, nullptr},
  }};
}

// Fixed point with `decimals` digits after the point, rounded to nearest; "NaN", "inf", "-inf".
void append_fixed(std::string& out, double value, int decimals);

// "range=…m, range_rate=…m/s)", whole metres and tenths of a metre per second: the tail of the
// Observation and Pointing reprs.
void append_range_and_rate(std::string& out, double range_m, double range_rate_m_s);

// A str from repr text (UTF-8: reprs carry "°").
inline PyObject* repr_result(const std::string& text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// A method with one argument, given by position or keyword: `Convert(state, obj, param)` reads
// it (adding the parameter note on failure), `Apply(receiver, argument)` computes, and the
// result goes back through `to_py`.
template <class T, auto Convert, auto Apply, const Signature& Sig>
PyObject* unary_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<1> parsed;
  if (!parsed.parse(Sig, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of(self);
  const auto argument = Convert(state, parsed[0], Sig.positional[0].name.data());
  if (!argument) return nullptr;
  return to_py(state, Apply(unbox<T>(self), *argument));
}

// A method without arguments (METH_NOARGS).
template <class T, auto Apply>
PyObject* nullary_method(PyObject* self, PyObject*) {
  return to_py(state_of(self), Apply(unbox<T>(self)));
}

// PyMethodDef entries for a METH_FASTCALL | METH_KEYWORDS function (such as `unary_method`) and
// a METH_NOARGS one (such as `nullary_method`), run under Guard.
template <auto Fn>
inline PyMethodDef fastcall_method(const char* name, const char* doc) {
  return PyMethodDef{name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Guard<Fn>::call)),
                     METH_FASTCALL | METH_KEYWORDS, doc};
}
template <auto Fn>
inline PyMethodDef noargs_method(const char* name, const char* doc) {
  return PyMethodDef{name, Guard<Fn>::call, METH_NOARGS, doc};
}

}  // namespace satvane::py
