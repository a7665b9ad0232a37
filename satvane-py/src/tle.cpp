#include "tle.hpp"

#include "elements.hpp"
#include "errors.hpp"
#include "sgp4/tle.hpp"
#include "types/value_helpers.hpp"

namespace satvane::py {

namespace {

constexpr Param kNewParams[] = {{"satellite_name"}, {"line_1"}, {"line_2"}};
constexpr Signature kNewSignature{"Tle", kNewParams, {}};

PyObject* tle_new(PyTypeObject* type, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<3> a;
  if (!a.parse(kNewSignature, args, nargs, kwnames)) return nullptr;
  TleText text;
  std::string* fields[] = {&text.satellite_name, &text.line_1, &text.line_2};
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    const auto value = arg_str(a[i], kNewParams[i].name.data());
    if (!value) return nullptr;
    fields[i]->assign(*value);
  }
  return box(type, std::move(text));
}
using TleConstructor = Constructor<tle_new>;

PyObject* to_elements(PyObject* self, PyObject*) {
  const TleText& text = tle_text(self);
  auto elements = sgp4::parse_tle(text.satellite_name, text.line_1, text.line_2);
  if (!elements) return raise(Error::tle(elements.error()));
  return elements_to_py(state_of(self), std::move(*elements));
}

Py_hash_t tle_hash(PyObject* self) {
  const TleText& text = tle_text(self);
  SipHasher13 hasher;
  hasher.write_str(text.satellite_name);
  hasher.write_str(text.line_1);
  hasher.write_str(text.line_2);
  return python_hash(hasher.finish());
}

PyGetSetDef getset[] = {
    readonly_field<TleText, &TleText::satellite_name>("satellite_name", nullptr),
    readonly_field<TleText, &TleText::line_1>("line_1", nullptr),
    readonly_field<TleText, &TleText::line_2>("line_2", nullptr),
    {},
};

PyMethodDef methods[] = {
    noargs_method<to_elements>("to_elements",
                               "to_elements($self)\n--\n\n"
                               "Parse this TLE into orbital elements.\n\nRaises `ValueError` if the TLE is malformed."),
    {},
};

auto slots = value_slots<TleText>(
    "Tle(satellite_name, line_1, line_2)\n--\n\n"
    "A satellite TLE (Two-Line Element set) identified by a name and two TLE lines.",
    getset, nullptr, methods, TleConstructor::tp_new, tle_hash);

PyType_Spec type_spec = class_spec<TleText>("satvane._satvane.Tle", slots.data());

}  // namespace

const ClassDef Tle_class{&type_spec, TleConstructor::ready};

}  // namespace satvane::py
