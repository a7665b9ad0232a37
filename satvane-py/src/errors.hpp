// Core errors become Python exceptions here, and only here.
#pragma once

#include "pyutil.hpp"
#include "satvane/error.hpp"

namespace satvane::py {

// The exception to raise for a core error: ValueError for malformed input (TLE, elements,
// interval, area), RuntimeError for failures while computing (propagation, root finding,
// detection), with the error's display text as its only argument. nullptr with an error set
// only if the exception object itself could not be made.
PyObject* to_py_err(const Error& error);

// Raises to_py_err(error); returns nullptr so a method can `return raise(error);`.
std::nullptr_t raise(const Error& error);

}  // namespace satvane::py
