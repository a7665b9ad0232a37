#include "elements.hpp"

#include "sgp4/omm.hpp"
#include "types/value_helpers.hpp"

namespace satvane::py {

// ---------------------------------------------------------------------------------------------
// Classification.

namespace {

constexpr EnumInfo kClassification{
    ClassId::Classification,
    "satvane._satvane.Classification",
    "Classification",
    "Satellite classification type (CLASSIFICATION_TYPE field in OMM).",
    {"Unclassified", "Classified", "Secret"},
    3,
};

}  // namespace

const ClassDef Classification_class{&Enumeration<kClassification>::type_spec,
                                    Enumeration<kClassification>::ready};

// ---------------------------------------------------------------------------------------------
// Elements.

namespace {

constexpr Param kNewParams[] = {
    {"norad_id"},
    {"epoch"},
    {"mean_motion"},
    {"eccentricity"},
    {"inclination"},
    {"right_ascension"},
    {"argument_of_perigee"},
    {"mean_anomaly"},
    {"mean_motion_dot"},
    {"mean_motion_ddot", false},
    {"drag_term", false},
    {"revolution_number", false},
    {"object_name", false},
    {"classification", false},
    {"international_designator", false},
    {"element_set_number", false},
    {"ephemeris_type", false},
};
constexpr Signature kNewSignature{"Elements", {}, kNewParams};

// Stores argument `index` into a record field when it was given; false with an error set when
// it does not convert.
class FieldReader {
 public:
  FieldReader(ModuleState& state, const Args<std::size(kNewParams)>& args)
      : state_(state), args_(args) {}

  bool operator()(std::size_t index, std::uint64_t& field) const {
    return store(index, field, arg_u64);
  }
  bool operator()(std::size_t index, std::uint8_t& field) const {
    return store(index, field, arg_u8);
  }
  bool operator()(std::size_t index, double& field) const { return store(index, field, arg_f64); }

  bool operator()(std::size_t index, sgp4::UtcInstant& field) const {
    PyObject* obj = args_[index];
    if (obj == nullptr) return true;
    const auto instant = arg_instant(state_, obj, name(index));
    if (instant) field = instant->to_utc();
    return instant.has_value();
  }

  bool operator()(std::size_t index, std::optional<std::string>& field) const {
    PyObject* obj = args_[index];
    if (obj == nullptr || obj == Py_None) return true;
    const auto text = arg_str(obj, name(index));
    if (text) field.emplace(*text);
    return text.has_value();
  }

  bool operator()(std::size_t index, sgp4::Classification& field) const {
    PyObject* obj = args_[index];
    if (obj == nullptr) return true;
    if (!arg_instance(obj, state_.type(ClassId::Classification), name(index))) return false;
    field = static_cast<sgp4::Classification>(enum_value(obj));
    return true;
  }

 private:
  static const char* name(std::size_t index) { return kNewParams[index].name.data(); }

  template <class T, class Convert>
  bool store(std::size_t index, T& field, Convert convert) const {
    PyObject* obj = args_[index];
    if (obj == nullptr) return true;
    const auto value = convert(obj, name(index));
    if (value) field = *value;
    return value.has_value();
  }

  ModuleState& state_;
  const Args<std::size(kNewParams)>& args_;
};

PyObject* elements_new(PyTypeObject* type, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) {
  Args<std::size(kNewParams)> a;
  if (!a.parse(kNewSignature, args, nargs, kwnames)) return nullptr;
  sgp4::Elements e;
  const FieldReader read(state_of_type(type), a);
  // Converted in signature order, so the first bad argument is the one reported.
  const bool ok = read(0, e.norad_id) && read(1, e.epoch) && read(2, e.mean_motion) &&
                  read(3, e.eccentricity) && read(4, e.inclination) && read(5, e.right_ascension) &&
                  read(6, e.argument_of_perigee) && read(7, e.mean_anomaly) &&
                  read(8, e.mean_motion_dot) && read(9, e.mean_motion_ddot) &&
                  read(10, e.drag_term) && read(11, e.revolution_number) &&
                  read(12, e.object_name) && read(13, e.classification) &&
                  read(14, e.international_designator) && read(15, e.element_set_number) &&
                  read(16, e.ephemeris_type);
  if (!ok) return nullptr;
  return box(type, std::move(e));
}
using ElementsConstructor = Constructor<elements_new>;

// The reader reports malformed JSON as a syntax error even behind an earlier record fault.
PyObject* read_json_text(ModuleState& state, std::string_view json) {
  auto elements = sgp4::read_omm_json(json);
  if (!elements) {
    Ref text(str_from_utf8_lossy(elements.error().text()));
    if (text) PyErr_SetObject(PyExc_ValueError, text.get());
    return nullptr;
  }
  return elements_to_py(state, std::move(*elements));
}

constexpr Param kJsonParams[] = {{"json"}};
constexpr Signature kJsonSignature{"Elements.from_json", kJsonParams, {}};

PyObject* from_json(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<1> a;
  if (!a.parse(kJsonSignature, args, nargs, kwnames)) return nullptr;
  const auto json = arg_str(a[0], "json");
  if (!json) return nullptr;
  return read_json_text(state_of_module(module), *json);
}

constexpr Param kDictParams[] = {{"data"}};
constexpr Signature kDictSignature{"Elements.from_dict", kDictParams, {}};

// The dict goes through json.dumps and the JSON reader, so both forms accept exactly the same
// records and report the same texts.
PyObject* from_dict(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<1> a;
  if (!a.parse(kDictSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of_module(module);
  Ref json_module(PyImport_Import(state.str_json));
  if (!json_module) return nullptr;
  // The leading slot is scratch space the callee may use (PY_VECTORCALL_ARGUMENTS_OFFSET).
  PyObject* call_args[] = {nullptr, json_module.get(), a[0]};
  Ref text(PyObject_VectorcallMethod(state.str_dumps, call_args + 1,
                                     2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
  if (!text) return nullptr;
  if (!PyUnicode_Check(text.get())) return raise_not_instance(text.get(), "str");
  Py_ssize_t length = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &length);
  if (utf8 == nullptr) return nullptr;
  return read_json_text(state, std::string_view(utf8, static_cast<std::size_t>(length)));
}

// The name as a double-quoted literal: backslash escapes for quote, backslash and control
// characters.
void append_quoted(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    switch (byte) {
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\t':
        out += "\\t";
        continue;
      case '\0':
        out += "\\0";
        continue;
      default:
        break;
    }
    unsigned control = 0x100;  // none
    if (byte < 0x20 || byte == 0x7F) {
      control = byte;
    } else if (byte == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      control = static_cast<unsigned char>(text[++i]);  // U+0080..U+009F
    }
    if (control == 0x100) {
      out += static_cast<char>(byte);
      continue;
    }
    out += "\\u{";
    if (control >= 0x10) out += kHex[control >> 4];
    out += kHex[control & 0xF];
    out += '}';
  }
  out += '"';
}

PyObject* elements_repr(PyObject* self) {
  const sgp4::Elements& e = elements_of(self);
  std::string text = "Elements(norad_id=" + std::to_string(e.norad_id) + ", object_name=";
  if (e.object_name) {
    append_quoted(text, *e.object_name);
  } else {
    text += "None";
  }
  text += ", epoch=";
  append_datetime(text, Instant(e.epoch));
  text += ')';
  return str_from_utf8_lossy(text);
}

using E = sgp4::Elements;
PyGetSetDef getset[] = {
    readonly_field<E, &E::object_name>("object_name", "Satellite name (OBJECT_NAME), if present."),
    readonly_field<E, &E::international_designator>(
        "international_designator", "International designator (OBJECT_ID), if present."),
    readonly_field<E, &E::norad_id>("norad_id", "NORAD catalog number (NORAD_CAT_ID)."),
    readonly_field<E, &E::classification>("classification",
                                          "Classification type (CLASSIFICATION_TYPE)."),
    readonly_field<E, &E::epoch>("epoch", "Element set epoch in UTC (EPOCH)."),
    readonly_field<E, &E::mean_motion_dot>(
        "mean_motion_dot", "First derivative of mean motion / 2 (MEAN_MOTION_DOT), rev/day\u00b2."),
    readonly_field<E, &E::mean_motion_ddot>(
        "mean_motion_ddot",
        "Second derivative of mean motion / 6 (MEAN_MOTION_DDOT), rev/day\u00b3."),
    readonly_field<E, &E::drag_term>("drag_term", "BSTAR drag term (BSTAR), 1/earth-radii."),
    readonly_field<E, &E::element_set_number>("element_set_number",
                                              "Element set number (ELEMENT_SET_NO)."),
    readonly_field<E, &E::inclination>("inclination", "Inclination (INCLINATION), degrees."),
    readonly_field<E, &E::right_ascension>(
        "right_ascension", "Right ascension of ascending node (RA_OF_ASC_NODE), degrees."),
    readonly_field<E, &E::eccentricity>("eccentricity", "Eccentricity (ECCENTRICITY)."),
    readonly_field<E, &E::argument_of_perigee>("argument_of_perigee",
                                               "Argument of perigee (ARG_OF_PERICENTER), degrees."),
    readonly_field<E, &E::mean_anomaly>("mean_anomaly", "Mean anomaly (MEAN_ANOMALY), degrees."),
    readonly_field<E, &E::mean_motion>("mean_motion", "Mean motion (MEAN_MOTION), rev/day."),
    readonly_field<E, &E::revolution_number>("revolution_number",
                                             "Revolution number at epoch (REV_AT_EPOCH)."),
    readonly_field<E, &E::ephemeris_type>("ephemeris_type",
                                          "Ephemeris type (EPHEMERIS_TYPE). Normally 0."),
    {},
};

PyMethodDef static_methods[] = {
    fastcall_method<from_dict>("from_dict",
                               "from_dict(data)\n--\n\n"
                               "Parse an OMM dict into orbital elements.\n\n"
                               "`data` is one record of a CelesTrak or Space-Track JSON response, as a dict.\n"
                               "Raises `ValueError` if the record is malformed."),
    fastcall_method<from_json>("from_json",
                               "from_json(json)\n--\n\n"
                               "Parse an OMM JSON string into orbital elements.\n\n"
                               "Raises `ValueError` if the JSON is malformed or the record is incomplete."),
    {},
};

constexpr const char kDoc[] =
    "Elements(*, norad_id, epoch, mean_motion, eccentricity, inclination, right_ascension, "
    "argument_of_perigee, mean_anomaly, mean_motion_dot, mean_motion_ddot=0.0, drag_term=0.0, "
    "revolution_number=0, object_name=None, classification=..., international_designator=None, "
    "element_set_number=0, ephemeris_type=0)\n--\n\n"
    "Orbital elements for a satellite.\n\n"
    "Holds the data needed to initialise an SGP4 propagator.  Can be constructed\n"
    "field-by-field or parsed directly from an OMM JSON string.\n\n"
    "From the JSON response of an element-set service::\n\n"
    "    import json, urllib.request\n"
    "    from satvane import Elements, Predictor\n\n"
    "    with urllib.request.urlopen(url) as response:\n"
    "        data = json.load(response)\n"
    "    elements = Elements.from_dict(data[0])\n"
    "    predictor = Predictor(elements)\n\n"
    "Field by field (angles in degrees, mean motion in rev/day)::\n\n"
    "    from datetime import datetime, timezone\n"
    "    from satvane import Classification, Elements, Predictor\n\n"
    "    elements = Elements(\n"
    "        norad_id=25544,\n"
    "        object_name=\"ISS (ZARYA)\",\n"
    "        classification=Classification.Unclassified,\n"
    "        epoch=datetime(2020, 7, 12, 1, 19, 7, tzinfo=timezone.utc),\n"
    "        mean_motion=15.49560532,\n"
    "        eccentricity=0.0001771,\n"
    "        inclination=51.6435,\n"
    "        right_ascension=225.4004,\n"
    "        argument_of_perigee=44.9625,\n"
    "        mean_anomaly=5.1087,\n"
    "        mean_motion_dot=0.00289036,\n"
    "        drag_term=0.0049645,\n"
    "        revolution_number=23587,\n"
    "    )\n"
    "    predictor = Predictor(elements)";

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>(kDoc)},
    {Py_tp_new, reinterpret_cast<void*>(ElementsConstructor::tp_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_boxed<sgp4::Elements>)},
    {Py_tp_repr, reinterpret_cast<void*>(Guard<elements_repr>::call)},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec type_spec = class_spec<sgp4::Elements>("satvane._satvane.Elements", slots);

int ready(ModuleState&, PyTypeObject* type) {
  ElementsConstructor::install(type);
  return add_static_methods(type, static_methods);
}

}  // namespace

PyObject* elements_to_py(ModuleState& state, sgp4::Elements elements) {
  return box(state.type(ClassId::Elements), std::move(elements));
}

const ClassDef Elements_class{&type_spec, ready};

}  // namespace satvane::py
