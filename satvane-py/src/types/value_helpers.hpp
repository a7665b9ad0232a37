// Small additions to pyutil.hpp for the value classes: fixed-point numbers in reprs, reprs
// built as UTF-8 text, and methods of zero or one converted argument declared in one line.
#pragma once

#include <string>

#include "convert.hpp"
#include "pyutil.hpp"

namespace satvane::py {

// Fixed point with `decimals` digits after the point, rounded to nearest; "NaN", "inf", "-inf".
void append_fixed(std::string& out, double value, int decimals);

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

// PyMethodDef entries for the two forms above, run under Guard.
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
