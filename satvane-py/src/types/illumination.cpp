#include "types/illumination.hpp"

#include "types/window.hpp"

namespace satvane::py {

// Found by window_hash through the record's namespace.
void hash_fields(SipHasher13& hasher, const IlluminationWindow& window) {
  hash_fields(hasher, span_of(window));
  hasher.write_u8(static_cast<std::uint8_t>(window.state));
}

namespace {

constexpr EnumInfo kStateInfo{
    ClassId::IlluminationState,
    "satvane._satvane.IlluminationState",
    "IlluminationState",
    "Whether the satellite is sunlit or in Earth's shadow.",
    {"Sunlit", "Eclipse"},
    2,
};
using StateEnum = Enumeration<kStateInfo>;

PyObject* repr(PyObject* self) {
  const IlluminationWindow& window = unbox<IlluminationWindow>(self);
  std::string text = "Illumination(state=";
  text += kStateInfo.members[static_cast<unsigned>(window.state)];
  append_bounds(text, ", ", window.start, window.end);
  text += ')';
  return repr_result(text);
}

PyGetSetDef getset[] = {
    start_attribute<IlluminationWindow>("Start of the illumination window (UTC)."),
    end_attribute<IlluminationWindow>("End of the illumination window (UTC)."),
    duration_attribute<IlluminationWindow>(),
    mid_point_attribute<IlluminationWindow>(),
    duration_seconds_attribute<IlluminationWindow>(
        "Duration of the window in seconds.\n\nDeprecated: use `duration`, which is a `timedelta`."),
    readonly_field<IlluminationWindow, &IlluminationWindow::state>("state", "Illumination state (Sunlit or Eclipse)."),
    {},
};

constexpr Signature kIntersection{"Illumination.intersection", kIntersectionParams, {}};
auto slots = window_slots<IlluminationWindow, kIntersection>("A contiguous window of constant illumination state.",
                                                             getset, Guard<repr>::call);
PyType_Spec type_spec = class_spec<IlluminationWindow>("satvane._satvane.Illumination", slots.data(), /*constructible=*/false);

}  // namespace

const ClassDef IlluminationState_class{&StateEnum::type_spec, StateEnum::ready};
const ClassDef Illumination_class{&type_spec, nullptr};

PyObject* to_py(ModuleState& state, IlluminationState value) {
  return enum_member(state, ClassId::IlluminationState, static_cast<unsigned>(value));
}

PyObject* make_illumination(ModuleState& state, Instant start, Instant end, IlluminationState value) {
  return box(state.type(ClassId::Illumination), IlluminationWindow{start, end, value});
}

}  // namespace satvane::py
