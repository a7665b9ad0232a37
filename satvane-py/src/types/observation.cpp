#include "types/observation.hpp"

#include "satvane/frames.hpp"
#include "types/value_helpers.hpp"

namespace satvane::py {

namespace {

PyObject* get_azimuth_deg(PyObject*, const Observation& o) { return PyFloat_FromDouble(o.azimuth_rad * kRadToDeg); }
PyObject* get_elevation_deg(PyObject*, const Observation& o) {
  return PyFloat_FromDouble(o.elevation_rad * kRadToDeg);
}

PyObject* observation_repr(PyObject* self) {
  const Observation& o = unbox<Observation>(self);
  std::string text = "Observation(az=";
  append_fixed(text, o.azimuth_rad * kRadToDeg, 2);
  text += "°, el=";
  append_fixed(text, o.elevation_rad * kRadToDeg, 2);
  text += "°, ";
  append_range_and_rate(text, o.range_m, o.range_rate_m_s);
  return repr_result(text);
}

PyGetSetDef getset[] = {
    readonly<Observation, get_azimuth_deg>("azimuth_deg",
                                           "Azimuth in degrees from north, measured clockwise, in `(-180, 180]`."),
    readonly<Observation, get_elevation_deg>("elevation_deg", "Elevation above the horizon in degrees."),
    readonly_field<Observation, &Observation::range_m>("range", nullptr),
    readonly_field<Observation, &Observation::range_rate_m_s>("range_rate", nullptr),
    {},
};

auto slots = value_slots<Observation>("A point observation of a satellite from a ground location.\n\n"
                                      "Use `azimuth_deg` and `elevation_deg` for angular values.\n"
                                      "Range is in metres, range rate in m/s (positive = receding).",
                                      getset, Guard<observation_repr>::call);

PyType_Spec type_spec =
    class_spec<Observation>("satvane._satvane.Observation", slots.data(), /*constructible=*/false);

}  // namespace

const ClassDef Observation_class{&type_spec, nullptr};

PyObject* to_py(ModuleState& state, const Observation& observation) {
  return box(state.type(ClassId::Observation), observation);
}

}  // namespace satvane::py
