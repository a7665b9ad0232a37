// Python classes LatLon, GeodeticPoint, Vec3 and StateVectorTeme / Ecef / Enu / Lvlh. The
// library's results are made through these `to_py` overloads (each returns a new reference, or
// nullptr with an error set).
#pragma once

#include <optional>

#include "module.hpp"
#include "satvane/vectors.hpp"

namespace satvane::py {

PyObject* to_py(ModuleState& state, const LatLon& point);
PyObject* to_py(ModuleState& state, const GeodeticPoint& point);
PyObject* to_py(ModuleState& state, const Vec3& vector);
PyObject* to_py(ModuleState& state, const StateVector<Teme>& teme);
PyObject* to_py(ModuleState& state, const StateVector<Ecef>& ecef);
PyObject* to_py(ModuleState& state, const StateVector<Enu>& enu);
PyObject* to_py(ModuleState& state, const StateVector<Lvlh>& lvlh);

// Observers and targets: a GeodeticPoint instance and nothing else (no tuples, no LatLon);
// TypeError with the parameter note otherwise.
std::optional<GeodeticPoint> arg_geodetic_point(ModuleState& state, PyObject* obj, const char* param);

// The state of a StateVectorTeme argument; TypeError with the parameter note for anything else.
std::optional<StateVector<Teme>> arg_teme(ModuleState& state, PyObject* obj, const char* param);

}  // namespace satvane::py
