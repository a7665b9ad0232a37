#include "errors.hpp"

namespace satvane::py {

namespace {

PyObject* exception_class(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::Tle:
    case ErrorKind::Elements:
    case ErrorKind::Interval:
    case ErrorKind::Aoi:
      return PyExc_ValueError;
    case ErrorKind::Sgp4:
    case ErrorKind::Roots:
    case ErrorKind::Detect:
      return PyExc_RuntimeError;
  }
  return PyExc_RuntimeError;
}

}  // namespace

PyObject* to_py_err(const Error& error) {
  Ref message(str_from_utf8_lossy(error.display()));
  if (!message) return nullptr;
  return PyObject_CallOneArg(exception_class(error.kind()), message.get());
}

std::nullptr_t raise(const Error& error) {
  Ref exception(to_py_err(error));
  if (exception)
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.get())), exception.get());
  return nullptr;
}

}  // namespace satvane::py
