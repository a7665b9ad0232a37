// Python classes Vec3 and StateVectorTeme / Ecef / Enu / Lvlh. The library's results are made
// through these `to_py` overloads (each returns a new reference, or nullptr with an error set).
#pragma once

#include <optional>

#include "module.hpp"
#include "satvane/vectors.hpp"

namespace satvane::py {

PyObject* to_py(ModuleState& state, const Vec3& vector);
PyObject* to_py(ModuleState& state, const StateVector<Teme>& teme);
PyObject* to_py(ModuleState& state, const StateVector<Ecef>& ecef);
PyObject* to_py(ModuleState& state, const StateVector<Enu>& enu);
PyObject* to_py(ModuleState& state, const StateVector<Lvlh>& lvlh);

// The state of a StateVectorTeme argument; TypeError with the parameter note for anything else.
std::optional<StateVector<Teme>> arg_teme(ModuleState& state, PyObject* obj, const char* param);

}  // namespace satvane::py
