#include "types/apsides.hpp"

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

struct ApsisRecord {
  Instant time;
  ApsisKind event;
  double altitude_m;
  friend bool operator==(const ApsisRecord&, const ApsisRecord&) = default;
};

PyObject* repr(PyObject* self) {
  const ApsisRecord& apsis = unbox<ApsisRecord>(self);
  std::string text = "Apsis(event=";
  text += kEventInfo.members[static_cast<unsigned>(apsis.event)];
  text += ", time=";
  append_utc_instant(text, apsis.time);
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

}  // namespace

const ClassDef ApsisEvent_class{&EventEnum::type_spec, EventEnum::ready};
const ClassDef Apsis_class{&type_spec, nullptr};

PyObject* to_py(ModuleState& state, ApsisKind kind) {
  return enum_member(state, ClassId::ApsisEvent, static_cast<unsigned>(kind));
}

PyObject* make_apsis(ModuleState& state, Instant time, ApsisKind kind, double altitude_m) {
  return box(state.type(ClassId::Apsis), ApsisRecord{time, kind, altitude_m});
}

}  // namespace satvane::py
