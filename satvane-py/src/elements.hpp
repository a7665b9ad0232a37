// The Python classes Elements (the OMM element record) and Classification.
#pragma once

#include "pyutil.hpp"
#include "sgp4/elements.hpp"

namespace satvane::py {

// A new Elements instance owning `elements`.
PyObject* elements_to_py(ModuleState& state, sgp4::Elements elements);

// The record of an Elements instance (the caller checks the type with is_exact).
inline const sgp4::Elements& elements_of(PyObject* obj) { return unbox<sgp4::Elements>(obj); }

// The Classification singleton of a value.
inline PyObject* to_py(ModuleState& state, sgp4::Classification value) {
  return enum_member(state, ClassId::Classification, static_cast<unsigned>(value));
}

}  // namespace satvane::py
