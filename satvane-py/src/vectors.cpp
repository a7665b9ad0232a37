#include "vectors.hpp"

#include <array>
#include <cstddef>
#include <string>

#include "satvane/frames.hpp"
#include "satvane/observe.hpp"
#include "sgp4/format.hpp"
#include "types/observation.hpp"
#include "types/pointing.hpp"
#include "types/value_helpers.hpp"

namespace satvane::py {

// ---------------------------------------------------------------------------------------------
// LatLon and GeodeticPoint

namespace {

// Both classes are described by their parameter list and the matching members, in the same
// order; constructor and repr follow from that description.

template <class T, std::size_t N>
struct FloatRecord {
  Signature signature;
  std::array<double T::*, N> members;
};

template <class T, std::size_t N, const FloatRecord<T, N>& Record>
PyObject* float_record_new(PyTypeObject* type, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<N> parsed;
  if (!parsed.parse(Record.signature, args, nargs, kwnames)) return nullptr;
  T record{};
  for (std::size_t i = 0; i < N; ++i) {
    const auto value = arg_f64(parsed[i], Record.signature.positional[i].name.data());
    if (!value) return nullptr;
    record.*Record.members[i] = *value;
  }
  return box(type, record);
}

template <class T, std::size_t N, const FloatRecord<T, N>& Record>
PyObject* float_record_repr(PyObject* self) {
  std::string text = Record.signature.name;
  text += '(';
  for (std::size_t i = 0; i < N; ++i) {
    if (i > 0) text += ", ";
    text += Record.signature.positional[i].name;
    text += '=';
    sgp4::append_double(text, unbox<T>(self).*Record.members[i]);
  }
  text += ')';
  return repr_result(text);
}

constexpr const char* kLatitudeDoc = "Geodetic latitude in degrees (positive north).";
constexpr const char* kLongitudeDoc = "Geodetic longitude in degrees (positive east).";

constexpr Param kLatLonParams[] = {{"latitude_deg"}, {"longitude_deg"}};
constexpr FloatRecord<LatLon, 2> kLatLonRecord{
    {"LatLon", kLatLonParams, {}}, {&LatLon::latitude_deg, &LatLon::longitude_deg}};
using LatLonConstructor = Constructor<float_record_new<LatLon, 2, kLatLonRecord>>;

PyGetSetDef latlon_getset[] = {
    readonly_field<LatLon, &LatLon::latitude_deg>("latitude_deg", kLatitudeDoc),
    readonly_field<LatLon, &LatLon::longitude_deg>("longitude_deg", kLongitudeDoc),
    {},
};

auto latlon_slots = value_slots<LatLon>(
    "LatLon(latitude_deg, longitude_deg)\n--\n\n"
    "A point on Earth's surface, in degrees.\n\n"
    "Anywhere a `LatLon` is accepted, a plain `(latitude_deg, longitude_deg)` tuple\n"
    "works too.",
    latlon_getset, Guard<float_record_repr<LatLon, 2, kLatLonRecord>>::call, nullptr, LatLonConstructor::tp_new);
PyType_Spec latlon_spec = class_spec<LatLon>("satvane._satvane.LatLon", latlon_slots.data());

int latlon_ready(ModuleState& state, PyTypeObject* type) {
  LatLonConstructor::install(type);
  return register_latlon_source(state, type, [](PyObject* obj) { return unbox<LatLon>(obj); });
}

constexpr Param kGeodeticParams[] = {{"latitude_deg"}, {"longitude_deg"}, {"altitude"}};
constexpr FloatRecord<GeodeticPoint, 3> kGeodeticRecord{
    {"GeodeticPoint", kGeodeticParams, {}},
    {&GeodeticPoint::latitude_deg, &GeodeticPoint::longitude_deg, &GeodeticPoint::altitude_m}};
using GeodeticConstructor = Constructor<float_record_new<GeodeticPoint, 3, kGeodeticRecord>>;

PyGetSetDef geodetic_getset[] = {
    readonly_field<GeodeticPoint, &GeodeticPoint::latitude_deg>("latitude_deg", kLatitudeDoc),
    readonly_field<GeodeticPoint, &GeodeticPoint::longitude_deg>("longitude_deg", kLongitudeDoc),
    readonly_field<GeodeticPoint, &GeodeticPoint::altitude_m>("altitude", "Height above the WGS-84 ellipsoid in metres."),
    {},
};

auto geodetic_slots = value_slots<GeodeticPoint>(
    "GeodeticPoint(latitude_deg, longitude_deg, altitude)\n--\n\n"
    "A geodetic position on or above the WGS-84 ellipsoid.\n\n"
    "Latitude and longitude in degrees, altitude in metres.",
    geodetic_getset, Guard<float_record_repr<GeodeticPoint, 3, kGeodeticRecord>>::call, nullptr,
    GeodeticConstructor::tp_new);
PyType_Spec geodetic_spec = class_spec<GeodeticPoint>("satvane._satvane.GeodeticPoint", geodetic_slots.data());

int geodetic_ready(ModuleState& state, PyTypeObject* type) {
  GeodeticConstructor::install(type);
  return register_latlon_source(state, type, [](PyObject* obj) {
    const GeodeticPoint& point = unbox<GeodeticPoint>(obj);
    return LatLon{point.latitude_deg, point.longitude_deg};
  });
}

}  // namespace

const ClassDef LatLon_class{&latlon_spec, latlon_ready};
const ClassDef GeodeticPoint_class{&geodetic_spec, geodetic_ready};

PyObject* to_py(ModuleState& state, const LatLon& point) { return box(state.type(ClassId::LatLon), point); }

PyObject* to_py(ModuleState& state, const GeodeticPoint& point) {
  return box(state.type(ClassId::GeodeticPoint), point);
}

std::optional<GeodeticPoint> arg_geodetic_point(ModuleState& state, PyObject* obj, const char* param) {
  if (!arg_instance(obj, state.type(ClassId::GeodeticPoint), param)) return std::nullopt;
  return unbox<GeodeticPoint>(obj);
}

// ---------------------------------------------------------------------------------------------
// Vec3

namespace {

constexpr Param kVec3Params[] = {{"x"}, {"y"}, {"z"}};
constexpr Signature kVec3Signature{"Vec3", kVec3Params, {}};

PyObject* vec3_new(PyTypeObject* type, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<3> a;
  if (!a.parse(kVec3Signature, args, nargs, kwnames)) return nullptr;
  const auto x = arg_f64(a[0], "x");
  if (!x) return nullptr;
  const auto y = arg_f64(a[1], "y");
  if (!y) return nullptr;
  const auto z = arg_f64(a[2], "z");
  if (!z) return nullptr;
  return box(type, Vec3{*x, *y, *z});
}
using Vec3Constructor = Constructor<vec3_new>;

PyObject* vec3_repr(PyObject* self) {
  const Vec3& v = unbox<Vec3>(self);
  std::string text = "Vec3(x=";
  sgp4::append_double(text, v.x);
  text += ", y=";
  sgp4::append_double(text, v.y);
  text += ", z=";
  sgp4::append_double(text, v.z);
  text += ')';
  return repr_result(text);
}

PyGetSetDef vec3_getset[] = {
    readonly_field<Vec3, &Vec3::x>("x", nullptr),
    readonly_field<Vec3, &Vec3::y>("y", nullptr),
    readonly_field<Vec3, &Vec3::z>("z", nullptr),
    {},
};

auto vec3_slots = value_slots<Vec3>(
    "Vec3(x, y, z)\n--\n\nA 3-component vector (x, y, z).  Used for position (metres) and velocity (m/s).",
    vec3_getset, Guard<vec3_repr>::call, nullptr, Vec3Constructor::tp_new);

PyType_Spec vec3_spec = class_spec<Vec3>("satvane._satvane.Vec3", vec3_slots.data());

// ---------------------------------------------------------------------------------------------
// State vectors: one class per frame, differing only in their texts and conversion methods.

struct StateVectorTexts {
  const char* qualified_name;
  const char* doc;
  const char* position_doc;
  const char* velocity_doc;
};

template <class Frame, const StateVectorTexts& Texts, PyMethodDef* Methods>
struct StateVectorClass {
  using T = StateVector<Frame>;

  static inline PyGetSetDef getset[] = {
      readonly_field<T, &T::position_m>("position", Texts.position_doc),
      readonly_field<T, &T::velocity_m_s>("velocity", Texts.velocity_doc),
      {},
  };
  static inline auto slots = value_slots<T>(Texts.doc, getset, nullptr, Methods);
  static inline PyType_Spec type_spec = class_spec<T>(Texts.qualified_name, slots.data(), /*constructible=*/false);
};

// Conversions, named so they can be template arguments (the core overloads `to_ecef`).
StateVector<Ecef> teme_to_ecef(const StateVector<Teme>& teme, Instant t) { return to_ecef(teme, t); }
StateVector<Teme> ecef_to_teme(const StateVector<Ecef>& ecef, Instant t) { return to_teme(ecef, t); }
StateVector<Enu> ecef_to_enu(const StateVector<Ecef>& ecef, const GeodeticPoint& observer) { return to_enu(ecef, observer); }
// The receiver is the satellite, the argument the target.
StateVector<Lvlh> teme_to_lvlh(const StateVector<Teme>& satellite, const StateVector<Teme>& target) {
  return to_lvlh(satellite, target);
}
Observation enu_to_observation(const StateVector<Enu>& enu) { return to_observation(enu); }
Pointing lvlh_to_pointing(const StateVector<Lvlh>& lvlh) { return to_pointing(lvlh); }

constexpr Param kTimeParam[] = {{"t"}};
constexpr Param kTargetParam[] = {{"target"}};
constexpr Param kObserverParam[] = {{"observer"}};
constexpr Signature kToEcef{"StateVectorTeme.to_ecef", kTimeParam, {}};
constexpr Signature kToLvlh{"StateVectorTeme.to_lvlh", kTargetParam, {}};
constexpr Signature kToEnu{"StateVectorEcef.to_enu", kObserverParam, {}};
constexpr Signature kToTeme{"StateVectorEcef.to_teme", kTimeParam, {}};

PyMethodDef teme_methods[] = {
    fastcall_method<unary_method<StateVector<Teme>, arg_instant, teme_to_ecef, kToEcef>>(
        "to_ecef",
        "to_ecef($self, t)\n--\n\n"
        "Convert to the Earth-Centred Earth-Fixed (ECEF) frame at the given UTC time."),
    fastcall_method<unary_method<StateVector<Teme>, arg_teme, teme_to_lvlh, kToLvlh>>(
        "to_lvlh",
        "to_lvlh($self, target)\n--\n\n"
        "Express `target` relative to this satellite, in the satellite's LVLH frame.\n\n"
        "The receiver is the origin here — the mirror of `to_enu`, where the\n"
        "receiver is the satellite and the argument supplies the origin."),
    {},
};

PyMethodDef ecef_methods[] = {
    fastcall_method<unary_method<StateVector<Ecef>, arg_geodetic_point, ecef_to_enu, kToEnu>>(
        "to_enu",
        "to_enu($self, observer)\n--\n\n"
        "Convert to the East-North-Up (ENU) frame relative to the given observer."),
    fastcall_method<unary_method<StateVector<Ecef>, arg_instant, ecef_to_teme, kToTeme>>(
        "to_teme",
        "to_teme($self, t)\n--\n\n"
        "Convert back to the TEME frame, the inverse of `StateVectorTeme.to_ecef`."),
    {},
};

PyMethodDef enu_methods[] = {
    noargs_method<nullary_method<StateVector<Enu>, enu_to_observation>>(
        "to_observation",
        "to_observation($self)\n--\n\n"
        "Convert to a ground observation (azimuth, elevation, range, range_rate)."),
    {},
};

PyMethodDef lvlh_methods[] = {
    noargs_method<nullary_method<StateVector<Lvlh>, lvlh_to_pointing>>(
        "to_pointing",
        "to_pointing($self)\n--\n\n"
        "Reduce to the direction, range and range rate of the target."),
    {},
};

constexpr StateVectorTexts kTemeTexts{
    "satvane._satvane.StateVectorTeme",
    "State vector in the True Equator Mean Equinox (TEME) frame — the native SGP4 output frame.\n\n"
    "Positions in metres, velocities in m/s.",
    "Position in the TEME frame (metres).", "Velocity in the TEME frame (m/s)."};
constexpr StateVectorTexts kEcefTexts{
    "satvane._satvane.StateVectorEcef",
    "State vector in the Earth-Centred Earth-Fixed (ECEF) frame.\n\nPositions in metres, velocities in m/s.",
    "Position in the ECEF frame (metres).", "Velocity in the ECEF frame (m/s)."};
constexpr StateVectorTexts kEnuTexts{
    "satvane._satvane.StateVectorEnu",
    "State vector in the East-North-Up (ENU) frame relative to a ground observer.\n\n"
    "Positions in metres, velocities in m/s.",
    "Position in the ENU frame (metres).", "Velocity in the ENU frame (m/s)."};
constexpr StateVectorTexts kLvlhTexts{
    "satvane._satvane.StateVectorLvlh",
    "State vector in the satellite's LVLH frame: Z along nadir, Y along the\n"
    "negative orbit normal, X completing the right-handed triad along-track.\n"
    "Positions in metres, velocities in m/s.\n\n"
    "The velocity is the inertial relative velocity resolved on the LVLH axes,\n"
    "not the derivative of the LVLH position, so `range_rate` is Doppler-correct.",
    "Position in the LVLH frame (metres).", "Velocity in the LVLH frame (m/s)."};

using TemeClass = StateVectorClass<Teme, kTemeTexts, teme_methods>;
using EcefClass = StateVectorClass<Ecef, kEcefTexts, ecef_methods>;
using EnuClass = StateVectorClass<Enu, kEnuTexts, enu_methods>;
using LvlhClass = StateVectorClass<Lvlh, kLvlhTexts, lvlh_methods>;

}  // namespace

const ClassDef Vec3_class{&vec3_spec, Vec3Constructor::ready};
const ClassDef StateVectorTeme_class{&TemeClass::type_spec, nullptr};
const ClassDef StateVectorEcef_class{&EcefClass::type_spec, nullptr};
const ClassDef StateVectorEnu_class{&EnuClass::type_spec, nullptr};
const ClassDef StateVectorLvlh_class{&LvlhClass::type_spec, nullptr};

PyObject* to_py(ModuleState& state, const Vec3& vector) { return box(state.type(ClassId::Vec3), vector); }
PyObject* to_py(ModuleState& state, const StateVector<Teme>& teme) {
  return box(state.type(ClassId::StateVectorTeme), teme);
}
PyObject* to_py(ModuleState& state, const StateVector<Ecef>& ecef) {
  return box(state.type(ClassId::StateVectorEcef), ecef);
}
PyObject* to_py(ModuleState& state, const StateVector<Enu>& enu) { return box(state.type(ClassId::StateVectorEnu), enu); }
PyObject* to_py(ModuleState& state, const StateVector<Lvlh>& lvlh) {
  return box(state.type(ClassId::StateVectorLvlh), lvlh);
}

std::optional<StateVector<Teme>> arg_teme(ModuleState& state, PyObject* obj, const char* param) {
  if (!arg_instance(obj, state.type(ClassId::StateVectorTeme), param)) return std::nullopt;
  return unbox<StateVector<Teme>>(obj);
}

}  // namespace satvane::py
