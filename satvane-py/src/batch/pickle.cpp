// Exact states of the value classes, for pickling (registered with copyreg by satvane._pickle).
//
// Several classes hold more than their Python attributes show: instants to the nanosecond where
// a datetime keeps microseconds, areas in the radians and unit vectors they were built into,
// a Predictor its Refinement. A state is a tuple of ints, floats and bytes that rebuilds the
// core record bit for bit; the Predictor recomputes its SGP4 constants, which are a
// deterministic function of the elements.
#include <cstdint>
#include <string_view>
#include <vector>

#include "area.hpp"
#include "batch/batch.hpp"
#include "elements.hpp"
#include "errors.hpp"
#include "predictor.hpp"
#include "types/aoi.hpp"
#include "types/apsides.hpp"
#include "types/illumination.hpp"
#include "types/transits.hpp"
#include "types/window.hpp"

namespace satvane::py::batch {

namespace {

// ---- Writing a state ---------------------------------------------------------------------------

// Collects the items of a state tuple.
class StateWriter {
 public:
  StateWriter& i64(std::int64_t v) { return add(PyLong_FromLongLong(v)); }
  StateWriter& u64(std::uint64_t v) { return add(PyLong_FromUnsignedLongLong(v)); }
  StateWriter& f64(double v) { return add(PyFloat_FromDouble(v)); }
  StateWriter& bytes(const std::optional<std::string>& v) {
    if (!v) return add(Py_NewRef(Py_None));
    return add(PyBytes_FromStringAndSize(v->data(), static_cast<Py_ssize_t>(v->size())));
  }
  StateWriter& instant(Instant t) { return i64(t.unix_seconds()).i64(t.nanosecond()); }
  StateWriter& vec3(const Vec3& v) { return f64(v.x).f64(v.y).f64(v.z); }
  StateWriter& tuple(PyObject* owned) { return add(owned); }

  // The tuple, or nullptr with the first failure's error set.
  PyObject* finish() {
    if (failed_) return nullptr;
    Ref tuple(PyTuple_New(static_cast<Py_ssize_t>(items_.size())));
    if (!tuple) return nullptr;
    for (std::size_t i = 0; i < items_.size(); ++i) {
      PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), items_[i].release());
    }
    return tuple.release();
  }

 private:
  StateWriter& add(PyObject* item) {
    if (item == nullptr) failed_ = true;
    items_.emplace_back(item);
    return *this;
  }
  std::vector<Ref> items_;
  bool failed_ = false;
};

PyObject* elements_state(const sgp4::Elements& e) {
  StateWriter w;
  w.bytes(e.object_name).bytes(e.international_designator).u64(e.norad_id);
  w.i64(static_cast<std::int64_t>(e.classification)).instant(Instant(e.epoch));
  w.f64(e.mean_motion_dot).f64(e.mean_motion_ddot).f64(e.drag_term).u64(e.element_set_number);
  w.f64(e.inclination).f64(e.right_ascension).f64(e.eccentricity).f64(e.argument_of_perigee);
  w.f64(e.mean_anomaly).f64(e.mean_motion).u64(e.revolution_number).i64(e.ephemeris_type);
  return w.finish();
}

PyObject* span_state(const Span& s) { return StateWriter().instant(s.start).instant(s.end).finish(); }

// ---- Reading a state ---------------------------------------------------------------------------

// Reads the items of a state tuple in order. The first item that is missing or of the wrong
// kind sets ValueError and makes every later read fail, so a reader checks `ok()` once at the end.
class StateReader {
 public:
  StateReader(PyObject* tuple, const char* class_name) : tuple_(tuple), class_name_(class_name) {
    if (!PyTuple_Check(tuple)) fail();
  }

  std::int64_t i64() { return integer<long long>(PyLong_AsLongLong); }
  std::uint64_t u64() { return integer<unsigned long long>(PyLong_AsUnsignedLongLong); }
  double f64() {
    PyObject* item = next();
    if (item == nullptr || !PyFloat_Check(item)) return fail(), 0.0;
    return PyFloat_AS_DOUBLE(item);
  }
  std::optional<std::string> bytes() {
    PyObject* item = next();
    if (item == nullptr || item == Py_None) return std::nullopt;
    if (!PyBytes_Check(item)) return fail(), std::nullopt;
    return std::string(PyBytes_AS_STRING(item), static_cast<std::size_t>(PyBytes_GET_SIZE(item)));
  }
  Instant instant() {
    const std::int64_t seconds = i64();
    const std::int64_t nanos = i64();
    if (nanos < 0 || nanos >= kNanosPerSecond) return fail(), Instant();
    const auto t = Instant::from_unix(seconds, static_cast<std::uint32_t>(nanos));
    if (!t) return fail(), Instant();
    return *t;
  }
  Vec3 vec3() {
    const double x = f64();
    const double y = f64();
    return {x, y, f64()};
  }
  PyObject* tuple() { return next(); }
  // An enumeration value below `count`.
  unsigned choice(unsigned count) {
    const std::int64_t v = i64();
    if (v < 0 || v >= count) return fail(), 0;
    return static_cast<unsigned>(v);
  }
  Py_ssize_t remaining() const { return ok() ? PyTuple_GET_SIZE(tuple_) - index_ : 0; }

  // True when every item read so far was well formed and none is left over.
  bool finished() {
    if (ok() && index_ != PyTuple_GET_SIZE(tuple_)) fail();
    return ok();
  }
  bool ok() const { return !failed_; }

 private:
  PyObject* next() {
    if (failed_ || index_ >= PyTuple_GET_SIZE(tuple_)) return fail(), nullptr;
    return PyTuple_GET_ITEM(tuple_, index_++);
  }
  template <class T, class Convert>
  T integer(Convert convert) {
    PyObject* item = next();
    if (item == nullptr || !PyLong_Check(item)) return fail(), T{};
    const T v = convert(item);
    if (PyErr_Occurred()) return fail(), T{};
    return v;
  }
  void fail() {
    if (failed_) return;
    failed_ = true;
    PyErr_Clear();
    PyErr_Format(PyExc_ValueError, "not a pickled satvane %s", class_name_);
  }

  PyObject* tuple_;
  const char* class_name_;
  Py_ssize_t index_ = 0;
  bool failed_ = false;
};

std::optional<sgp4::Elements> read_elements(StateReader& r) {
  sgp4::Elements e;
  e.object_name = r.bytes();
  e.international_designator = r.bytes();
  e.norad_id = r.u64();
  e.classification = static_cast<sgp4::Classification>(r.choice(3));
  e.epoch = r.instant().to_utc();
  e.mean_motion_dot = r.f64();
  e.mean_motion_ddot = r.f64();
  e.drag_term = r.f64();
  e.element_set_number = r.u64();
  e.inclination = r.f64();
  e.right_ascension = r.f64();
  e.eccentricity = r.f64();
  e.argument_of_perigee = r.f64();
  e.mean_anomaly = r.f64();
  e.mean_motion = r.f64();
  e.revolution_number = r.u64();
  e.ephemeris_type = static_cast<std::uint8_t>(r.choice(256));
  if (!r.ok()) return std::nullopt;
  return e;
}

template <class T>
PyObject* box_or_raise(ModuleState& state, ClassId id, std::expected<T, area::Error> shape) {
  if (!shape) return raise(shape.error().to_core());
  return box(state.type(id), std::move(*shape));
}

// ---- One entry per class ----------------------------------------------------------------------

using Pack = PyObject* (*)(PyObject* obj);
using Unpack = PyObject* (*)(ModuleState& state, StateReader& r);

struct PickledClass {
  ClassId id;
  const char* name;
  Pack pack;
  Unpack unpack;
};

// The window classes that hold only their bounds.
template <ClassId Id, PyObject* (*Make)(ModuleState&, Instant, Instant)>
PyObject* unpack_span(ModuleState& state, StateReader& r) {
  const Instant start = r.instant();
  const Instant end = r.instant();
  if (!r.finished()) return nullptr;
  return Make(state, start, end);
}
PyObject* pack_span(PyObject* obj) { return span_state(unbox<Span>(obj)); }

const PickledClass kClasses[] = {
    {ClassId::Elements, "Elements", [](PyObject* obj) { return elements_state(elements_of(obj)); },
     [](ModuleState& state, StateReader& r) -> PyObject* {
       auto e = read_elements(r);
       if (!e || !r.finished()) return nullptr;
       return elements_to_py(state, std::move(*e));
     }},
    {ClassId::Predictor, "Predictor",
     [](PyObject* obj) {
       const Predictor& p = predictor_of(obj);
       return StateWriter().tuple(elements_state(p.elements())).f64(p.refinement().time_tolerance)
           .u64(p.refinement().max_iter).finish();
     },
     [](ModuleState& state, StateReader& r) -> PyObject* {
       PyObject* elements_tuple = r.tuple();
       Refinement refinement;
       refinement.time_tolerance = r.f64();
       refinement.max_iter = r.u64();
       if (!r.finished()) return nullptr;
       StateReader er(elements_tuple, "Predictor");
       auto e = read_elements(er);
       if (!e || !er.finished()) return nullptr;
       auto predictor = Predictor::create(*e);
       if (!predictor) return raise(predictor.error());
       return box(state.type(ClassId::Predictor), predictor->with_refinement(refinement));
     }},
    {ClassId::Interval, "Interval", pack_span, unpack_span<ClassId::Interval, make_interval>},
    {ClassId::Transit, "Transit", pack_span, unpack_span<ClassId::Transit, make_transit>},
    {ClassId::AoiWindow, "AoiWindow", pack_span, unpack_span<ClassId::AoiWindow, make_aoi_window>},
    {ClassId::Illumination, "Illumination",
     [](PyObject* obj) {
       const auto& w = unbox<IlluminationWindow>(obj);
       return StateWriter().instant(w.start).instant(w.end).i64(static_cast<std::int64_t>(w.state)).finish();
     },
     [](ModuleState& state, StateReader& r) -> PyObject* {
       const Instant start = r.instant();
       const Instant end = r.instant();
       const auto value = static_cast<IlluminationState>(r.choice(2));
       if (!r.finished()) return nullptr;
       return make_illumination(state, start, end, value);
     }},
    {ClassId::Apsis, "Apsis",
     [](PyObject* obj) {
       const auto& a = unbox<ApsisRecord>(obj);
       return StateWriter().instant(a.time).i64(static_cast<std::int64_t>(a.event)).f64(a.altitude_m).finish();
     },
     [](ModuleState& state, StateReader& r) -> PyObject* {
       const Instant time = r.instant();
       const auto kind = static_cast<ApsisKind>(r.choice(2));
       const double altitude_m = r.f64();
       if (!r.finished()) return nullptr;
       return make_apsis(state, time, kind, altitude_m);
     }},
    {ClassId::Circle, "Circle",
     [](PyObject* obj) {
       const auto& c = unbox<area::Circle>(obj);
       return StateWriter().vec3(c.centre_unit()).f64(c.radius()).finish();
     },
     [](ModuleState& state, StateReader& r) -> PyObject* {
       const Vec3 centre = r.vec3();
       const double radius = r.f64();
       if (!r.finished()) return nullptr;
       return box_or_raise(state, ClassId::Circle, area::Circle::from_state(centre, radius));
     }},
    {ClassId::Rectangle, "Rectangle",
     [](PyObject* obj) {
       const auto& b = unbox<area::Rectangle>(obj);
       return StateWriter().f64(b.south()).f64(b.north()).f64(b.west()).f64(b.span()).finish();
     },
     [](ModuleState& state, StateReader& r) -> PyObject* {
       const double south = r.f64();
       const double north = r.f64();
       const double west = r.f64();
       const double span = r.f64();
       if (!r.finished()) return nullptr;
       return box_or_raise(state, ClassId::Rectangle, area::Rectangle::from_state(south, north, west, span));
     }},
    {ClassId::Polygon, "Polygon",
     [](PyObject* obj) {
       const auto& p = unbox<area::Polygon>(obj);
       StateWriter w;
       w.i64(static_cast<std::int64_t>(p.fill_rule()));
       for (const Vec3& v : p.vertices()) w.vec3(v);
       return w.finish();
     },
     [](ModuleState& state, StateReader& r) -> PyObject* {
       const auto rule = static_cast<area::FillRule>(r.choice(2));
       std::vector<Vec3> vertices;
       while (r.remaining() >= 3) vertices.push_back(r.vec3());
       if (!r.finished()) return nullptr;
       return box_or_raise(state, ClassId::Polygon, area::Polygon::from_state(vertices, rule));
     }},
};

constexpr Param kObjParams[] = {{"obj"}};
constexpr Signature kPickleStateSignature{"pickle_state", kObjParams, {}};
constexpr Param kFromStateParams[] = {{"class_name"}, {"state"}};
constexpr Signature kFromStateSignature{"from_pickle_state", kFromStateParams, {}};

}  // namespace

PyObject* pickle_state(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<1> parsed;
  if (!parsed.parse(kPickleStateSignature, args, nargs, kwnames)) return nullptr;
  const ModuleState& state = classes_of(module);
  for (const PickledClass& c : kClasses) {
    if (is_exact(parsed[0], state.type(c.id))) return c.pack(parsed[0]);
  }
  return PyErr_Format(PyExc_TypeError, "cannot take the pickle state of a '%s'", short_type_name(Py_TYPE(parsed[0])));
}

PyObject* from_pickle_state(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<2> parsed;
  if (!parsed.parse(kFromStateSignature, args, nargs, kwnames)) return nullptr;
  const auto name = arg_str(parsed[0], "class_name");
  if (!name) return nullptr;
  ModuleState& state = classes_of(module);
  for (const PickledClass& c : kClasses) {
    if (*name != c.name) continue;
    StateReader reader(parsed[1], c.name);
    if (!reader.ok()) return nullptr;
    return c.unpack(state, reader);
  }
  return PyErr_Format(PyExc_ValueError, "no pickled satvane class named '%U'", parsed[0]);
}

}  // namespace satvane::py::batch
