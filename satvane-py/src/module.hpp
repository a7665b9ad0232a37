// The module's state: its class objects, the cached `datetime` API and the few objects every
// call needs. Nothing lives in globals, so each (sub)interpreter that imports the module gets
// its own copy.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <datetime.h>

#include <optional>

#include "satvane/vectors.hpp"

namespace satvane::py {

// Every class of the module, in the order in which the module adds them. Each is defined by a
// `const ClassDef NAME_class` in its own source file and listed in the class table in lib.cpp,
// so a class whose definition is missing or misspelled fails the link.
#define SATVANE_PY_CLASSES(X) \
  X(Classification)           \
  X(Elements)                 \
  X(Tle)                      \
  X(LatLon)                   \
  X(GeodeticPoint)            \
  X(Vec3)                     \
  X(StateVectorTeme)          \
  X(StateVectorEcef)          \
  X(StateVectorEnu)           \
  X(StateVectorLvlh)          \
  X(Interval)                 \
  X(Observation)              \
  X(Pointing)                 \
  X(Transit)                  \
  X(ApsisEvent)               \
  X(Apsis)                    \
  X(IlluminationState)        \
  X(Illumination)             \
  X(FillRule)                 \
  X(Polygon)                  \
  X(Rectangle)                \
  X(Circle)                   \
  X(Coverage)                 \
  X(AoiWindow)                \
  X(Predictor)                \
  X(PredictionIter)           \
  X(ApsisIter)                \
  X(IlluminationIter)         \
  X(TransitIter)              \
  X(ObservationIter)          \
  X(GroundTrackIter)          \
  X(AoiIter)                  \
  X(Refinement)

enum class ClassId : unsigned {
#define SATVANE_PY_CLASS_ID(name) name,
  SATVANE_PY_CLASSES(SATVANE_PY_CLASS_ID)
#undef SATVANE_PY_CLASS_ID
      Count
};
inline constexpr unsigned kClassCount = static_cast<unsigned>(ClassId::Count);
inline constexpr unsigned kMaxEnumMembers = 4;

struct ModuleState;

// How a class is made: its PyType_Spec, and an optional hook run once the type object exists
// (to add enumeration members, install a vectorcall constructor, ...).
struct ClassDef {
  PyType_Spec* type_spec;
  int (*ready)(ModuleState& state, PyTypeObject* type);
};

// Hidden: the linker then refuses to make the module while a listed definition is missing (a
// default-visibility reference would only fail at import).
#define SATVANE_PY_DECLARE_CLASS(name) \
  extern const ClassDef name##_class __attribute__((visibility("hidden")));
SATVANE_PY_CLASSES(SATVANE_PY_DECLARE_CLASS)
#undef SATVANE_PY_DECLARE_CLASS

// Reads latitude and longitude (degrees) out of an instance of one registered class. The
// position classes register theirs when they are added, so LatLonArg accepts them.
using LatLonReader = LatLon (*)(PyObject* obj);
struct LatLonSource {
  PyTypeObject* type = nullptr;
  LatLonReader read = nullptr;
};
inline constexpr unsigned kMaxLatLonSources = 2;

struct ModuleState {
  PyTypeObject* types[kClassCount];
  PyObject* enum_members[kClassCount][kMaxEnumMembers];  // singletons of enumeration classes
  LatLonSource latlon_sources[kMaxLatLonSources];        // tried in order by LatLonArg
  PyObject* datetime_module;                             // keeps the API below alive
  PyDateTime_CAPI* datetime_api;
  PyObject* utc;  // datetime.timezone.utc
  // Interned names looked up on hot paths.
  PyObject* str_start;
  PyObject* str_end;
  PyObject* str_json;
  PyObject* str_dumps;

  PyTypeObject* type(ClassId id) const { return types[static_cast<unsigned>(id)]; }
};

// Static methods are bound to the module (see add_static_methods).
inline ModuleState& state_of_module(PyObject* module) {
  return *static_cast<ModuleState*>(PyModule_GetState(module));
}

// The state of the module that created `type`. Every class of the module is final, so the
// type of any of our instances leads straight to the module. A static method's `self` (the
// module) is accepted too, so it may be passed here like a class.
inline ModuleState& state_of_type(PyTypeObject* type) {
  auto* obj = reinterpret_cast<PyObject*>(type);
  if (PyModule_Check(obj)) return state_of_module(obj);
  return *static_cast<ModuleState*>(PyType_GetModuleState(type));
}
inline ModuleState& state_of(PyObject* instance) { return state_of_type(Py_TYPE(instance)); }

// Plugs a position class into LatLonArg; returns -1 with an error set when the table is full.
int register_latlon_source(ModuleState& state, PyTypeObject* type, LatLonReader read);

}  // namespace satvane::py
