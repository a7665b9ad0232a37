#include "roots.hpp"

#include "types/value_helpers.hpp"

namespace satvane::py {

namespace {

// A Refinement field read with `Convert`; None or omitted gives the field's default.
template <auto Member, auto Convert>
auto arg_refinement_field(PyObject* obj, const char* param) -> decltype(Convert(obj, param)) {
  if (obj == nullptr || obj == Py_None) return Refinement{}.*Member;
  return Convert(obj, param);
}

constexpr Param kRefinementOptions[] = {{"time_tolerance", false}, {"max_iter", false}};
constexpr Signature kRefinementSignature{"Refinement", {}, kRefinementOptions};

PyObject* refinement_new(PyTypeObject* type, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<2> parsed;
  if (!parsed.parse(kRefinementSignature, args, nargs, kwnames)) return nullptr;
  const auto tolerance = arg_refinement_field<&Refinement::time_tolerance, arg_f64>(parsed[0], "time_tolerance");
  if (!tolerance) return nullptr;
  const auto max_iter = arg_refinement_field<&Refinement::max_iter, arg_u64>(parsed[1], "max_iter");
  if (!max_iter) return nullptr;
  Refinement refinement;
  refinement.time_tolerance = *tolerance;
  refinement.max_iter = *max_iter;
  return box(type, refinement);
}
using RefinementConstructor = Constructor<refinement_new>;

// Assignment converts like the constructor, None included (the default, not the current
// value); the value's parameter is called `v`.
template <auto Member, auto Convert>
int set_refinement_field(PyObject* self, PyObject* value, void*) {
  if (value == nullptr) {
    PyErr_SetString(PyExc_TypeError, "can't delete attribute");
    return -1;
  }
  Refinement& refinement = unbox<Refinement>(self);
  const auto converted = arg_refinement_field<Member, Convert>(value, "v");
  if (!converted) return -1;
  refinement.*Member = *converted;
  return 0;
}

PyGetSetDef refinement_getset[] = {
    {"time_tolerance", get_field<Refinement, &Refinement::time_tolerance>,
     set_refinement_field<&Refinement::time_tolerance, arg_f64>,
     "Convergence threshold on the crossing time, in seconds.", nullptr},
    {"max_iter", get_field<Refinement, &Refinement::max_iter>,
     set_refinement_field<&Refinement::max_iter, arg_u64>, "Maximum number of solver iterations.", nullptr},
    {},
};

auto refinement_slots = value_slots<Refinement>(
    "Refinement(*, time_tolerance=None, max_iter=None)\n--\n\n"
    "Root-finder configuration used to refine detected event times.\n\n"
    "A bracketed hybrid solver: each iteration takes a Newton-Raphson step\n"
    "when a derivative is available and a secant/bisection step otherwise,\n"
    "converging once the crossing is pinned down to `time_tolerance` seconds.",
    refinement_getset, nullptr, nullptr, RefinementConstructor::tp_new);
PyType_Spec refinement_spec = class_spec<Refinement>("satvane._satvane.Refinement", refinement_slots.data());

}  // namespace

const ClassDef Refinement_class{&refinement_spec, RefinementConstructor::ready};

std::optional<Refinement> arg_refinement(ModuleState& state, PyObject* obj, const char* param) {
  if (!arg_instance(obj, state.type(ClassId::Refinement), param)) return std::nullopt;
  return unbox<Refinement>(obj);
}

}  // namespace satvane::py
