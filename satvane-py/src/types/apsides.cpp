#include "types/apsides.hpp"

#include "errors.hpp"
#include "predictor.hpp"
#include "satvane/apsides.hpp"
#include "types/iterator.hpp"
#include "types/value_helpers.hpp"

namespace satvane::py {

namespace {

constexpr EnumInfo kEventInfo{
    ClassId::ApsisEvent,
    "satvane._satvane.ApsisEvent",
    "ApsisEvent",
    "Whether an apsis event is apogee or perigee.",
    {"Apogee", "Perigee"},
    2,
};
using EventEnum = Enumeration<kEventInfo>;

PyObject* repr(PyObject* self) {
  const ApsisRecord& apsis = unbox<ApsisRecord>(self);
  std::string text = "Apsis(event=";
  text += kEventInfo.members[static_cast<unsigned>(apsis.event)];
  text += ", time=";
  append_datetime(text, apsis.time);
  text += ", altitude=";
  append_fixed(text, apsis.altitude_m, 0);
  text += "m)";
  return repr_result(text);
}

PyGetSetDef getset[] = {
    readonly_field<ApsisRecord, &ApsisRecord::time>("time", "Time of the apsis event (UTC)."),
    readonly_field<ApsisRecord, &ApsisRecord::event>("event", "Whether this is an apogee or perigee."),
    readonly_field<ApsisRecord, &ApsisRecord::altitude_m>("altitude",
                                                          "Altitude above the WGS-84 equatorial radius in metres."),
    {},
};

auto slots =
    value_slots<ApsisRecord>("A detected apsis event with refined time and altitude.", getset, Guard<repr>::call);

PyType_Spec type_spec = class_spec<ApsisRecord>("satvane._satvane.Apsis", slots.data(), /*constructible=*/false);

PyObject* wrap_apsis(ModuleState& state, const Apsis& apsis) {
  const ApsisKind kind = apsis.event == ApsisEvent::Apogee ? ApsisKind::Apogee : ApsisKind::Perigee;
  return make_apsis(state, apsis.time, kind, apsis.altitude_m);
}

constexpr IteratorTexts kIterTexts{ClassId::ApsisIter, "satvane._satvane.ApsisIter",
                                   "Lazy iterator yielding apogee and perigee events within a time interval."};
using ApsisIterClass = IteratorClass<ApsisIter, wrap_apsis, kIterTexts>;

constexpr Param kIterParams[] = {{"interval"}};
constexpr Param kIterOptions[] = {{"step", false}};
constexpr Signature kIterSignature{"Predictor.apsis_iter", kIterParams, kIterOptions};

PyObject* apsis_iter(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<2> parsed;
  if (!parsed.parse(kIterSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of(self);
  const auto interval = arg_interval(state, parsed[0], "interval");
  if (!interval) return nullptr;
  ApsisIterOpts opts;
  if (!overlay_options(state, kIterSignature, parsed.values.data() + 1, opts.step)) return nullptr;
  return ApsisIterClass::make(state, apsis_iter_with_opts(predictor_of(self), {interval->start, interval->end}, opts));
}

}  // namespace

const ClassDef ApsisEvent_class{&EventEnum::type_spec, EventEnum::ready};
const ClassDef Apsis_class{&type_spec, nullptr};
const ClassDef ApsisIter_class{&ApsisIterClass::type_spec, nullptr};

PyMethodDef apsis_iter_method() {
  return fastcall_method<apsis_iter>(
      "apsis_iter",
      "apsis_iter($self, interval, *, step=None)\n--\n\n"
      "Iterate over apogee and perigee events within the interval.\n\n"
      "`interval` must expose `.start` and `.end` datetime properties. `step` (a\n"
      "`timedelta`, 60 s by default, below 1 s counts as 1 s) is the fixed step of\n"
      "the scan for sign changes of the radial velocity; an apsis between the last\n"
      "scan sample and the interval end is not reported.");
}

PyObject* to_py(ModuleState& state, ApsisKind kind) {
  return enum_member(state, ClassId::ApsisEvent, static_cast<unsigned>(kind));
}

PyObject* make_apsis(ModuleState& state, Instant time, ApsisKind kind, double altitude_m) {
  return box(state.type(ClassId::Apsis), ApsisRecord{time, kind, altitude_m});
}

}  // namespace satvane::py
