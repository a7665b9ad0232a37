// The extension module satvane._satvane: multi-phase initialisation, one execution step that
// adds the classes in a fixed order, and the module state that holds them.
#include <iterator>

#include "module.hpp"

namespace satvane::py {

namespace {

// The class table, in ClassId order. Each slot names its class's definition, so a class that
// is not built fails the link; an empty slot (nullptr) is a class not built yet, left out.
struct ClassEntry {
  ClassId id;
  const ClassDef* def;
};

constexpr ClassEntry kClasses[] = {
    {ClassId::Classification, &Classification_class},
    {ClassId::Elements, &Elements_class},
    {ClassId::Tle, &Tle_class},
    {ClassId::LatLon, &LatLon_class},
    {ClassId::GeodeticPoint, &GeodeticPoint_class},
    {ClassId::Vec3, &Vec3_class},
    {ClassId::StateVectorTeme, &StateVectorTeme_class},
    {ClassId::StateVectorEcef, &StateVectorEcef_class},
    {ClassId::StateVectorEnu, &StateVectorEnu_class},
    {ClassId::StateVectorLvlh, &StateVectorLvlh_class},
    {ClassId::Interval, &Interval_class},
    {ClassId::Observation, &Observation_class},
    {ClassId::Pointing, &Pointing_class},
    {ClassId::Transit, &Transit_class},
    {ClassId::ApsisEvent, &ApsisEvent_class},
    {ClassId::Apsis, &Apsis_class},
    {ClassId::IlluminationState, &IlluminationState_class},
    {ClassId::Illumination, &Illumination_class},
    {ClassId::FillRule, &FillRule_class},
    {ClassId::Polygon, &Polygon_class},
    {ClassId::Rectangle, &Rectangle_class},
    {ClassId::Circle, &Circle_class},
    {ClassId::Coverage, &Coverage_class},
    {ClassId::AoiWindow, &AoiWindow_class},
    {ClassId::Predictor, &Predictor_class},
    {ClassId::PredictionIter, &PredictionIter_class},
    {ClassId::ApsisIter, &ApsisIter_class},
    {ClassId::IlluminationIter, &IlluminationIter_class},
    {ClassId::TransitIter, &TransitIter_class},
    {ClassId::ObservationIter, &ObservationIter_class},
    {ClassId::GroundTrackIter, &GroundTrackIter_class},
    {ClassId::AoiIter, &AoiIter_class},
    {ClassId::Refinement, &Refinement_class},
};
static_assert(std::size(kClasses) == kClassCount);

constexpr bool in_class_order() {
  for (unsigned i = 0; i < kClassCount; ++i) {
    if (static_cast<unsigned>(kClasses[i].id) != i) return false;
  }
  return true;
}
static_assert(in_class_order(), "the class table must list every class once, in ClassId order");

// Every object the state owns, for traverse and clear.
template <class Visit>
int for_each_owned(ModuleState& state, Visit visit) {
  for (auto& type : state.types) {
    if (int r = visit(reinterpret_cast<PyObject*&>(type))) return r;
  }
  for (auto& members : state.enum_members) {
    for (auto& member : members) {
      if (int r = visit(member)) return r;
    }
  }
  PyObject** owned[] = {&state.datetime_module, &state.utc,       &state.str_start,
                        &state.str_end,         &state.str_json, &state.str_dumps};
  for (PyObject** obj : owned) {
    if (int r = visit(*obj)) return r;
  }
  return 0;
}

int init_shared_objects(ModuleState& state) {
  state.datetime_module = PyImport_ImportModule("datetime");
  if (state.datetime_module == nullptr) return -1;
  state.datetime_api = static_cast<PyDateTime_CAPI*>(PyCapsule_Import(PyDateTime_CAPSULE_NAME, 0));
  if (state.datetime_api == nullptr) return -1;
  state.utc = Py_NewRef(state.datetime_api->TimeZone_UTC);
  const std::pair<PyObject**, const char*> names[] = {
      {&state.str_start, "start"},
      {&state.str_end, "end"},
      {&state.str_json, "json"},
      {&state.str_dumps, "dumps"},
  };
  for (const auto& [slot, text] : names) {
    *slot = PyUnicode_InternFromString(text);
    if (*slot == nullptr) return -1;
  }
  return 0;
}

int add_class(PyObject* module, ModuleState& state, unsigned index) {
  if (kClasses[index].def == nullptr) return 0;  // not built yet
  const ClassDef& def = *kClasses[index].def;
  PyObject* type = PyType_FromModuleAndSpec(module, def.type_spec, nullptr);
  if (type == nullptr) return -1;
  state.types[index] = reinterpret_cast<PyTypeObject*>(type);
  if (def.ready != nullptr && def.ready(state, state.types[index]) < 0) return -1;
  return PyModule_AddType(module, state.types[index]);
}

int exec_module(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_SetString(PyExc_TypeError, "expected a module");
    return -1;
  }
  ModuleState& state = state_of_module(module);
  if (init_shared_objects(state) < 0) return -1;
  for (unsigned i = 0; i < kClassCount; ++i) {
    if (add_class(module, state, i) < 0) return -1;
  }
  return 0;
}

int traverse_module(PyObject* module, visitproc visit, void* arg) {
  return for_each_owned(state_of_module(module), [&](PyObject*& obj) {
    Py_VISIT(obj);
    return 0;
  });
}

int clear_module(PyObject* module) {
  return for_each_owned(state_of_module(module), [](PyObject*& obj) {
    Py_CLEAR(obj);
    return 0;
  });
}

void free_module(void* module) { clear_module(static_cast<PyObject*>(module)); }

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_satvane",      "",           sizeof(ModuleState), nullptr,
    module_slots,          traverse_module, clear_module, free_module,
};

}  // namespace

}  // namespace satvane::py

PyMODINIT_FUNC PyInit__satvane() { return PyModuleDef_Init(&satvane::py::module_def); }
