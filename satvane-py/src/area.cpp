#include "area.hpp"

#include <cstddef>
#include <string>
#include <vector>

#include "convert.hpp"
#include "errors.hpp"
#include "sgp4/format.hpp"
#include "types/value_helpers.hpp"

namespace satvane::py {

namespace {

// ---- Queries shared by the three shapes ------------------------------------------------------

template <class Shape>
double offset_deg(const Shape& shape, LatLon point) {
  return shape.signed_angular_offset(point) * area::kRadToDeg;
}

template <class Shape>
double max_distance_deg(const Shape& shape, LatLon point) {
  return area::max_angular_distance(shape, point) * area::kRadToDeg;
}

constexpr Param kPointParams[] = {{"point"}};
constexpr Signature kCircleOffset{"Circle.signed_angular_offset_deg", kPointParams, {}};
constexpr Signature kCircleMaxDistance{"Circle.max_angular_distance_deg", kPointParams, {}};
constexpr Signature kRectangleOffset{"Rectangle.signed_angular_offset_deg", kPointParams, {}};
constexpr Signature kRectangleMaxDistance{"Rectangle.max_angular_distance_deg", kPointParams, {}};
constexpr Signature kPolygonOffset{"Polygon.signed_angular_offset_deg", kPointParams, {}};
constexpr Signature kPolygonMaxDistance{"Polygon.max_angular_distance_deg", kPointParams, {}};

template <class Shape, double (*Query)(const Shape&, LatLon), const Signature& Sig>
PyObject* point_query(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<1> parsed;
  if (!parsed.parse(Sig, args, nargs, kwnames)) return nullptr;
  const auto point = arg_latlon(state_of(self), parsed[0], "point");
  if (!point) return nullptr;
  // A point that is no position has no offset: say so rather than answer NaN.
  const auto valid = area::checked_point(*point);
  if (!valid) return raise(valid.error().to_core());
  return PyFloat_FromDouble(Query(unbox<Shape>(self), *valid));
}

template <class Shape, const Signature& Sig>
PyMethodDef offset_method() {
  return fastcall_method<point_query<Shape, offset_deg<Shape>, Sig>>(
      "signed_angular_offset_deg",
      "signed_angular_offset_deg($self, point)\n--\n\n"
      "Signed angular offset of a point from the boundary, in degrees:\n"
      "positive inside, negative outside, zero on the boundary.\n\n"
      "Raises `ValueError` if the point's latitude is outside [-90, 90] or a\n"
      "coordinate is `nan` or infinite.");
}

template <class Shape, const Signature& Sig>
PyMethodDef max_distance_method() {
  return fastcall_method<point_query<Shape, max_distance_deg<Shape>, Sig>>(
      "max_angular_distance_deg",
      "max_angular_distance_deg($self, point)\n--\n\n"
      "Angular distance from a point to the farthest point of the area, in\n"
      "degrees. `Coverage.Full` is measured against this distance: the whole area\n"
      "is within reach when it is.\n\n"
      "Raises `ValueError` if the point's latitude is outside [-90, 90] or a\n"
      "coordinate is `nan` or infinite.");
}

// A failed construction: the shape's error as the core reports it.
template <class Shape>
PyObject* box_or_raise(PyTypeObject* type, std::expected<Shape, area::Error> shape) {
  if (!shape) return raise(shape.error().to_core());
  return box(type, std::move(*shape));
}

// The slots of a shape class; shapes keep the interpreter's comparison and hash, by identity.
template <class Shape>
std::array<PyType_Slot, 7> shape_slots(const char* doc, newfunc constructor, reprfunc repr, PyGetSetDef* getset,
                                       PyMethodDef* methods) {
  return {{
      {Py_tp_doc, const_cast<char*>(doc)},
      {Py_tp_new, reinterpret_cast<void*>(constructor)},
      {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_boxed<Shape>)},
      {Py_tp_repr, reinterpret_cast<void*>(repr)},
      {Py_tp_getset, getset},
      {Py_tp_methods, methods},
      {0, nullptr},
  }};
}

void append_pair(std::string& out, double a, double b) {
  out += '(';
  sgp4::append_double(out, a);
  out += ", ";
  sgp4::append_double(out, b);
  out += ')';
}

// ---- Circle ----------------------------------------------------------------------------------

constexpr Param kCircleParams[] = {{"centre"}, {"radius_deg"}};
constexpr Signature kCircleSignature{"Circle", kCircleParams, {}};

PyObject* circle_new(PyTypeObject* type, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<2> parsed;
  if (!parsed.parse(kCircleSignature, args, nargs, kwnames)) return nullptr;
  const auto centre = arg_latlon(state_of_type(type), parsed[0], "centre");
  if (!centre) return nullptr;
  const auto radius_deg = arg_f64(parsed[1], "radius_deg");
  if (!radius_deg) return nullptr;
  return box_or_raise(type, area::Circle::create(*centre, *radius_deg));
}
using CircleConstructor = Constructor<circle_new>;

PyObject* circle_centre(PyObject* self, const area::Circle& circle) { return to_py(state_of(self), circle.centre()); }
PyObject* circle_radius(PyObject*, const area::Circle& circle) {
  return PyFloat_FromDouble(circle.radius() * area::kRadToDeg);
}

PyObject* circle_repr(PyObject* self) {
  const area::Circle& circle = unbox<area::Circle>(self);
  const LatLon centre = circle.centre();
  std::string text = "Circle(centre=";
  append_pair(text, centre.latitude_deg, centre.longitude_deg);
  text += ", radius_deg=";
  sgp4::append_double(text, circle.radius() * area::kRadToDeg);
  text += ')';
  return repr_result(text);
}

PyMethodDef circle_methods[] = {offset_method<area::Circle, kCircleOffset>(),
                                max_distance_method<area::Circle, kCircleMaxDistance>(), {}};

PyGetSetDef circle_getset[] = {
    readonly<area::Circle, circle_centre>("centre", "The circle's centre."),
    readonly<area::Circle, circle_radius>("radius_deg", "The circle's angular radius, in degrees of arc."),
    {},
};

auto circle_slots = shape_slots<area::Circle>(
    "Circle(centre, radius_deg)\n--\n\n"
    "A circular area on Earth's surface — a spherical cap.\n\n"
    "The radius is angular, in degrees of arc: a degree of arc is about 111.2 km on\n"
    "the ground. `centre` may be a `LatLon`, a `GeodeticPoint` (altitude ignored) or\n"
    "a `(latitude_deg, longitude_deg)` tuple.\n\n"
    "Raises `ValueError` for a radius outside (0, 90), a centre latitude outside\n"
    "[-90, 90], or a `nan` or infinite argument.",
    CircleConstructor::tp_new, Guard<circle_repr>::call, circle_getset, circle_methods);
PyType_Spec circle_spec = class_spec<area::Circle>("satvane._satvane.Circle", circle_slots.data());

// ---- Rectangle -------------------------------------------------------------------------------

constexpr Param kRectangleParams[] = {{"south_west"}, {"north_east"}};
constexpr Signature kRectangleSignature{"Rectangle", kRectangleParams, {}};

PyObject* rectangle_new(PyTypeObject* type, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<2> parsed;
  if (!parsed.parse(kRectangleSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of_type(type);
  const auto south_west = arg_latlon(state, parsed[0], "south_west");
  if (!south_west) return nullptr;
  const auto north_east = arg_latlon(state, parsed[1], "north_east");
  if (!north_east) return nullptr;
  return box_or_raise(type, area::Rectangle::create(*south_west, *north_east));
}
using RectangleConstructor = Constructor<rectangle_new>;

constexpr Param kBandParams[] = {{"south_deg"}, {"north_deg"}};
constexpr Signature kBandSignature{"Rectangle.latitude_band", kBandParams, {}};

// A static method: add_static_methods binds it to the module.
PyObject* latitude_band(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<2> parsed;
  if (!parsed.parse(kBandSignature, args, nargs, kwnames)) return nullptr;
  const auto south_deg = arg_f64(parsed[0], "south_deg");
  if (!south_deg) return nullptr;
  const auto north_deg = arg_f64(parsed[1], "north_deg");
  if (!north_deg) return nullptr;
  PyTypeObject* type = state_of_module(module).type(ClassId::Rectangle);
  return box_or_raise(type, area::Rectangle::latitude_band(*south_deg, *north_deg));
}

PyObject* rectangle_latitudes(PyObject*, const area::Rectangle& box) {
  return Py_BuildValue("(dd)", box.south() * area::kRadToDeg, box.north() * area::kRadToDeg);
}
PyObject* rectangle_longitudes(PyObject*, const area::Rectangle& box) {
  return Py_BuildValue("(dd)", box.west() * area::kRadToDeg, box.span() * area::kRadToDeg);
}

PyObject* rectangle_repr(PyObject* self) {
  const area::Rectangle& box = unbox<area::Rectangle>(self);
  std::string text = "Rectangle(latitudes=";
  append_pair(text, box.south() * area::kRadToDeg, box.north() * area::kRadToDeg);
  text += ", west=";
  sgp4::append_double(text, box.west() * area::kRadToDeg);
  text += ", span=";
  sgp4::append_double(text, box.span() * area::kRadToDeg);
  text += ')';
  return repr_result(text);
}

PyGetSetDef rectangle_getset[] = {
    readonly<area::Rectangle, rectangle_latitudes>("latitudes_deg",
                                                  "The southern and northern latitude bounds, in degrees."),
    readonly<area::Rectangle, rectangle_longitudes>(
        "longitudes_deg",
        "The western bound and the extent eastward from it, in degrees. The extent is\n"
        "360 for a box built by `latitude_band`."),
    {},
};

PyMethodDef rectangle_methods[] = {offset_method<area::Rectangle, kRectangleOffset>(),
                                   max_distance_method<area::Rectangle, kRectangleMaxDistance>(), {}};

PyMethodDef rectangle_static_methods[] = {
    fastcall_method<latitude_band>("latitude_band",
                            "latitude_band(south_deg, north_deg)\n--\n\n"
                            "A box spanning every longitude between two latitudes — a band, or a polar\n"
                            "cap when one latitude is a pole.\n\n"
                            "Raises `ValueError` if a latitude is outside [-90, 90] or `south_deg` is not\n"
                            "below `north_deg`."),
    {},
};

auto rectangle_slots = shape_slots<area::Rectangle>(
    "Rectangle(south_west, north_east)\n--\n\n"
    "A latitude/longitude box, whose north and south edges follow their parallels\n"
    "exactly.\n\n"
    "The box runs **eastward** from the south-west corner to the north-east corner,\n"
    "so a north-east corner at a smaller longitude wraps across the antimeridian:\n"
    "`Rectangle((10, 170), (20, -170))` is 20° wide. Each corner may be a `LatLon`,\n"
    "a `GeodeticPoint` (altitude ignored) or a `(latitude_deg, longitude_deg)` tuple.\n\n"
    "Raises `ValueError` if a latitude is outside [-90, 90], a coordinate is `nan`\n"
    "or infinite, or the box has no extent. -180 and 180 are the same meridian, so\n"
    "use `Rectangle.latitude_band` to span every longitude.",
    RectangleConstructor::tp_new, Guard<rectangle_repr>::call, rectangle_getset, rectangle_methods);
PyType_Spec rectangle_spec = class_spec<area::Rectangle>("satvane._satvane.Rectangle", rectangle_slots.data());

int rectangle_ready(ModuleState&, PyTypeObject* type) {
  RectangleConstructor::install(type);
  return add_static_methods(type, rectangle_static_methods);
}

// ---- Polygon ---------------------------------------------------------------------------------

constexpr EnumInfo kFillRuleInfo{
    ClassId::FillRule, "satvane._satvane.FillRule", "FillRule",
    "How the interior of a self-intersecting `Polygon` is determined.", {"NonZero", "EvenOdd"}, 2};

constexpr Param kPolygonParams[] = {{"vertices"}, {"fill_rule", false}};
constexpr Signature kPolygonSignature{"Polygon", kPolygonParams, {}};

// Each item through LatLonArg; the first failure is raised as it is (no parameter note).
std::optional<std::vector<LatLon>> collect_vertices(ModuleState& state, PyObject* vertices) {
  Ref iterator(PyObject_GetIter(vertices));
  if (!iterator) return std::nullopt;
  std::vector<LatLon> collected;
  while (Ref item{PyIter_Next(iterator.get())}) {
    const auto point = latlon_from_py(state, item.get());
    if (!point) return std::nullopt;
    collected.push_back(*point);
  }
  if (PyErr_Occurred()) return std::nullopt;
  return collected;
}

PyObject* polygon_new(PyTypeObject* type, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<2> parsed;
  if (!parsed.parse(kPolygonSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of_type(type);
  auto fill_rule = area::FillRule::NonZero;
  if (parsed[1] != nullptr) {
    if (!arg_instance(parsed[1], state.type(ClassId::FillRule), "fill_rule")) return nullptr;
    fill_rule = static_cast<area::FillRule>(enum_value(parsed[1]));
  }
  const auto vertices = collect_vertices(state, parsed[0]);
  if (!vertices) return nullptr;
  auto polygon = area::Polygon::create(*vertices);
  if (polygon) polygon->set_fill_rule(fill_rule);
  return box_or_raise(type, std::move(polygon));
}
using PolygonConstructor = Constructor<polygon_new>;

PyObject* polygon_vertices(PyObject* self, const area::Polygon& polygon) {
  ModuleState& state = state_of(self);
  const auto vertices = polygon.vertices();
  Ref list(PyList_New(static_cast<Py_ssize_t>(vertices.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < vertices.size(); ++i) {
    PyObject* point = to_py(state, area::lat_lon_from_unit(vertices[i]));
    if (point == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), point);
  }
  return list.release();
}

PyObject* polygon_fill_rule(PyObject* self, const area::Polygon& polygon) {
  return to_py(state_of(self), polygon.fill_rule());
}

PyObject* polygon_repr(PyObject* self) {
  const area::Polygon& polygon = unbox<area::Polygon>(self);
  std::string text = "Polygon(" + std::to_string(polygon.vertices().size()) + " vertices, fill_rule=";
  text += kFillRuleInfo.members[static_cast<unsigned>(polygon.fill_rule())];
  text += ')';
  return repr_result(text);
}

PyMethodDef polygon_methods[] = {offset_method<area::Polygon, kPolygonOffset>(),
                                 max_distance_method<area::Polygon, kPolygonMaxDistance>(), {}};

PyGetSetDef polygon_getset[] = {
    readonly<area::Polygon, polygon_vertices>("vertices", "The polygon's vertices in ring order, after deduplication."),
    readonly<area::Polygon, polygon_fill_rule>("fill_rule", "How the interior of a self-intersecting ring is determined."),
    {},
};

auto polygon_slots = shape_slots<area::Polygon>(
    "Polygon(vertices, fill_rule=...)\n--\n\n"
    "A closed polygon on Earth's surface whose edges are great-circle arcs.\n\n"
    "The ring closes implicitly (there is no need to repeat the first vertex) and\n"
    "vertex order does not matter. Vertices may be `LatLon` objects, `GeodeticPoint`\n"
    "objects (altitude ignored) or `(latitude_deg, longitude_deg)` tuples.\n\n"
    "Edges are great-circle arcs, so vertices at the same latitude are not joined\n"
    "along the parallel but by an arc that bows toward the nearer pole, growing with\n"
    "the square of the edge's longitude span. A 7° edge at 60°N bulges about 0.05°;\n"
    "vertices a quarter of the globe apart reach roughly 68°N. For \"these latitudes\n"
    "by these longitudes\", use `Rectangle`.\n\n"
    "`fill_rule` (a `FillRule`, `FillRule.NonZero` when omitted) decides the interior\n"
    "of a ring that crosses itself.\n\n"
    "Raises `ValueError` if fewer than three distinct vertices remain, a latitude is\n"
    "outside [-90, 90], a coordinate is `nan` or infinite, consecutive vertices are\n"
    "antipodal, or the polygon does not fit inside a hemisphere.",
    PolygonConstructor::tp_new, Guard<polygon_repr>::call, polygon_getset, polygon_methods);
PyType_Spec polygon_spec = class_spec<area::Polygon>("satvane._satvane.Polygon", polygon_slots.data());

// ---- Area arguments ------------------------------------------------------------------------

// The area inside `obj` as R (an owned copy or a reference), by the shape's class.
template <class R>
std::optional<R> area_as(ModuleState& state, PyObject* obj) {
  if (is_exact(obj, state.type(ClassId::Polygon))) return R(unbox<area::Polygon>(obj));
  if (is_exact(obj, state.type(ClassId::Rectangle))) return R(unbox<area::Rectangle>(obj));
  if (is_exact(obj, state.type(ClassId::Circle))) return R(unbox<area::Circle>(obj));
  if (from_another_module_instance(obj, state.type(ClassId::Polygon)) ||
      from_another_module_instance(obj, state.type(ClassId::Rectangle)) ||
      from_another_module_instance(obj, state.type(ClassId::Circle))) {
    raise_from_another_module_instance(obj);
  } else {
    PyErr_SetString(PyExc_TypeError, "expected a Polygon, Rectangle, or Circle");
  }
  return std::nullopt;
}

}  // namespace

const ClassDef FillRule_class{&Enumeration<kFillRuleInfo>::type_spec, Enumeration<kFillRuleInfo>::ready};
const ClassDef Polygon_class{&polygon_spec, PolygonConstructor::ready};
const ClassDef Rectangle_class{&rectangle_spec, rectangle_ready};
const ClassDef Circle_class{&circle_spec, CircleConstructor::ready};

std::optional<area::AreaKind> extract_area(ModuleState& state, PyObject* obj) { return area_as<area::AreaKind>(state, obj); }

std::optional<area::AreaRef> extract_area_ref(ModuleState& state, PyObject* obj) {
  return area_as<area::AreaRef>(state, obj);
}

PyObject* to_py(ModuleState& state, area::FillRule rule) {
  return enum_member(state, ClassId::FillRule, static_cast<unsigned>(rule));
}

}  // namespace satvane::py
