#include "predictor.hpp"

#include <expected>
#include <utility>

#include "convert.hpp"
#include "elements.hpp"
#include "errors.hpp"
#include "roots.hpp"
#include "tle.hpp"
#include "types/aoi.hpp"
#include "types/apsides.hpp"
#include "types/illumination.hpp"
#include "types/observation.hpp"
#include "types/pointing.hpp"
#include "types/sampling.hpp"
#include "types/transits.hpp"
#include "types/value_helpers.hpp"
#include "vectors.hpp"

namespace satvane::py {

namespace {

template <class T>
PyObject* to_py_or_raise(ModuleState& state, const std::expected<T, Error>& result) {
  if (!result) return raise(result.error());
  return to_py(state, *result);
}

// ---- Construction ----------------------------------------------------------------------------

PyObject* box_or_raise(PyTypeObject* type, std::expected<Predictor, Error> predictor) {
  if (!predictor) return raise(predictor.error());
  return box(type, std::move(*predictor));
}

constexpr Param kElementsParams[] = {{"elements"}};
constexpr Signature kNewSignature{"Predictor", kElementsParams, {}};

PyObject* predictor_new(PyTypeObject* type, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<1> parsed;
  if (!parsed.parse(kNewSignature, args, nargs, kwnames)) return nullptr;
  if (!arg_instance(parsed[0], state_of_type(type).type(ClassId::Elements), "elements")) return nullptr;
  return box_or_raise(type, Predictor::create(elements_of(parsed[0])));
}
using PredictorConstructor = Constructor<predictor_new>;

constexpr Param kTleParams[] = {{"tle"}};
constexpr Signature kFromTleSignature{"Predictor.from_tle", kTleParams, {}};

// A static method: add_static_methods binds it to the module.
PyObject* from_tle(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<1> parsed;
  if (!parsed.parse(kFromTleSignature, args, nargs, kwnames)) return nullptr;
  const ModuleState& state = state_of_module(module);
  if (!arg_instance(parsed[0], state.type(ClassId::Tle), "tle")) return nullptr;
  const TleText& text = tle_text(parsed[0]);
  return box_or_raise(state.type(ClassId::Predictor),
                      Predictor::from_tle(text.satellite_name, text.line_1, text.line_2));
}

constexpr Param kRefinementParams[] = {{"refinement"}};
constexpr Signature kWithRefinementSignature{"Predictor.with_refinement", kRefinementParams, {}};

PyObject* with_refinement(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<1> parsed;
  if (!parsed.parse(kWithRefinementSignature, args, nargs, kwnames)) return nullptr;
  const auto refinement = arg_refinement(state_of(self), parsed[0], "refinement");
  if (!refinement) return nullptr;
  return box(Py_TYPE(self), predictor_of(self).with_refinement(*refinement));
}

// ---- Point queries ---------------------------------------------------------------------------

constexpr Param kNowParams[] = {{"now"}};
constexpr Signature kAgeSignature{"Predictor.tle_age_seconds", kNowParams, {}};

PyObject* tle_age_seconds(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<1> parsed;
  if (!parsed.parse(kAgeSignature, args, nargs, kwnames)) return nullptr;
  const auto now = arg_instant(state_of(self), parsed[0], "now");
  if (!now) return nullptr;
  // Millisecond granularity, like the propagation time.
  return PyFloat_FromDouble(whole_millis_seconds(predictor_of(self).tle_age(*now)));
}

constexpr Param kTimeParams[] = {{"t"}};
constexpr Signature kPropagateSignature{"Predictor.propagate", kTimeParams, {}};
constexpr Signature kSubPointSignature{"Predictor.sub_point", kTimeParams, {}};
constexpr Signature kIlluminationSignature{"Predictor.illumination_state", kTimeParams, {}};

// A query of the predictor at one instant `t`.
template <auto Query, const Signature& Sig>
PyObject* at_time(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<1> parsed;
  if (!parsed.parse(Sig, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of(self);
  const auto t = arg_instant(state, parsed[0], "t");
  if (!t) return nullptr;
  return to_py_or_raise(state, (predictor_of(self).*Query)(*t));
}

constexpr Param kObserverParams[] = {{"t"}, {"observer"}};
constexpr Param kTargetParams[] = {{"t"}, {"target"}};
constexpr Signature kObserveSignature{"Predictor.observe_at", kObserverParams, {}};
constexpr Signature kPointSignature{"Predictor.point_at", kTargetParams, {}};

// A query at instant `t` about one ground site (the second parameter of `Sig`).
template <auto Query, const Signature& Sig>
PyObject* at_time_and_site(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<2> parsed;
  if (!parsed.parse(Sig, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of(self);
  const auto t = arg_instant(state, parsed[0], "t");
  if (!t) return nullptr;
  const auto site = arg_geodetic_point(state, parsed[1], Sig.positional[1].name.data());
  if (!site) return nullptr;
  return to_py_or_raise(state, (predictor_of(self).*Query)(*t, *site));
}

PyObject* get_epoch(PyObject* self, const Predictor& predictor) { return to_py(state_of(self), predictor.epoch()); }

PyGetSetDef predictor_getset[] = {
    readonly<Predictor, get_epoch>("epoch", "The epoch of the TLE (UTC)."),
    {},
};

PyMethodDef predictor_static_methods[] = {
    fastcall_method<from_tle>("from_tle",
                       "from_tle(tle)\n--\n\n"
                       "Parse TLE string lines and initialise SGP4 constants.\n\n"
                       "Raises `ValueError` if the TLE is malformed."),
    {},
};

PyMethodDef predictor_methods[] = {
    fastcall_method<with_refinement>("with_refinement",
                              "with_refinement($self, refinement)\n--\n\n"
                              "Return a new `Predictor` with the given root-finder configuration.\n\n"
                              "The values of `refinement` are copied at the call; this predictor keeps\n"
                              "its own."),
    fastcall_method<tle_age_seconds>("tle_age_seconds",
                              "tle_age_seconds($self, now)\n--\n\n"
                              "Age of the TLE relative to `now` in seconds (positive = TLE is in the past).\n\n"
                              "Counted in whole milliseconds, truncated toward zero."),
    fastcall_method<at_time<&Predictor::propagate, kPropagateSignature>>(
        "propagate",
        "propagate($self, t)\n--\n\n"
        "Propagate the TLE to the given UTC time.\n\n"
        "Returns a state vector in the TEME frame."),
    fastcall_method<at_time<&Predictor::sub_point, kSubPointSignature>>(
        "sub_point",
        "sub_point($self, t)\n--\n\n"
        "The geodetic point directly beneath the satellite at time `t`.\n\n"
        "Altitude is the height above the WGS-84 ellipsoid, in metres."),
    fastcall_method<at_time_and_site<&Predictor::observe_at, kObserveSignature>>(
        "observe_at",
        "observe_at($self, t, observer)\n--\n\n"
        "Calculate the observation from an observer at the given UTC time.\n\n"
        "`observer` is a `GeodeticPoint`."),
    fastcall_method<at_time_and_site<&Predictor::point_at, kPointSignature>>(
        "point_at",
        "point_at($self, t, target)\n--\n\n"
        "Where `target` lies as seen from the satellite at the given UTC time.\n\n"
        "Returns a `Pointing`: a unit vector in the satellite's LVLH frame, plus\n"
        "slant range and range rate."),
    fastcall_method<at_time<&Predictor::illumination_state, kIlluminationSignature>>(
        "illumination_state",
        "illumination_state($self, t)\n--\n\n"
        "Determine whether the satellite is sunlit or in eclipse at time `t`.\n\n"
        "The Earth's shadow is a cylinder of the equatorial radius, without penumbra."),
    // Searches and series over an interval, beside their iterator classes.
    prediction_iter_method(),
    ground_track_iter_method(),
    observation_iter_method(),
    transits_iter_method(),
    detect_transit_method(),
    max_elevation_method(),
    aoi_iter_method(),
    detect_aoi_method(),
    illumination_iter_method(),
    apsis_iter_method(),
    {},
};

PyType_Slot predictor_slots[] = {
    {Py_tp_doc, const_cast<char*>(
                    "Predictor(elements)\n--\n\n"
                    "Parsed TLE with pre-computed SGP4 constants, ready for propagation.\n\n"
                    "Construct from a `Tle` or `Elements`; then use its methods to propagate state vectors,\n"
                    "compute ground observations, detect passes, find apsides, and query illumination.")},
    {Py_tp_new, reinterpret_cast<void*>(PredictorConstructor::tp_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_boxed<Predictor>)},
    {Py_tp_getset, predictor_getset},
    {Py_tp_methods, predictor_methods},
    {0, nullptr},
};
PyType_Spec predictor_spec = class_spec<Predictor>("satvane._satvane.Predictor", predictor_slots);

int predictor_ready(ModuleState&, PyTypeObject* type) {
  PredictorConstructor::install(type);
  return add_static_methods(type, predictor_static_methods);
}

}  // namespace

const ClassDef Predictor_class{&predictor_spec, predictor_ready};

}  // namespace satvane::py
