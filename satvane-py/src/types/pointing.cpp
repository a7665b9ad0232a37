#include "types/pointing.hpp"

#include "types/value_helpers.hpp"
#include "vectors.hpp"

namespace satvane::py {

namespace {

PyObject* get_off_nadir_deg(PyObject*, const Pointing& p) { return PyFloat_FromDouble(off_nadir_deg(p.direction)); }

PyObject* pointing_repr(PyObject* self) {
  const Pointing& p = unbox<Pointing>(self);
  std::string text = "Pointing(off_nadir=";
  append_fixed(text, off_nadir_deg(p.direction), 2);
  text += "°, ";
  append_range_and_rate(text, p.range_m, p.range_rate_m_s);
  return repr_result(text);
}

PyGetSetDef getset[] = {
    readonly_field<Pointing, &Pointing::direction>(
        "direction",
        "Unit vector from the satellite to the target, in the LVLH frame.\n\n"
        "Zero — not a unit vector — for a target at the satellite's own\n"
        "position, where there is no direction to report and `range` is zero\n"
        "too. Check `range` before composing this with a mounting rotation."),
    readonly<Pointing, get_off_nadir_deg>(
        "off_nadir_deg",
        "Angle between `direction` and nadir, in degrees.\n\n"
        "Nadir is geocentric, the same convention as the `max_off_nadir` field of\n"
        "regard, so the two compare directly.\n\n"
        "Reports `0.0` for the degenerate zero-range state, which is\n"
        "indistinguishable from a target exactly at nadir — check `range` to\n"
        "tell them apart."),
    readonly_field<Pointing, &Pointing::range_m>("range", nullptr),
    readonly_field<Pointing, &Pointing::range_rate_m_s>("range_rate", nullptr),
    {},
};

auto slots = value_slots<Pointing>("The satellite's view of a target on the ground.\n\n"
                                   "`direction` is a unit vector in the spacecraft's LVLH frame — Z along nadir,\n"
                                   "Y along the negative orbit normal, X along-track — which composes directly\n"
                                   "with an antenna or instrument mounting rotation. Range is in metres, range\n"
                                   "rate in m/s (positive = receding).",
                                   getset, Guard<pointing_repr>::call);

PyType_Spec type_spec = class_spec<Pointing>("satvane._satvane.Pointing", slots.data(), /*constructible=*/false);

}  // namespace

const ClassDef Pointing_class{&type_spec, nullptr};

PyObject* to_py(ModuleState& state, const Pointing& pointing) { return box(state.type(ClassId::Pointing), pointing); }

}  // namespace satvane::py
