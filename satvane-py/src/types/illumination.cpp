#include "types/illumination.hpp"

#include "errors.hpp"
#include "predictor.hpp"
#include "types/iterator.hpp"
#include "types/window.hpp"

namespace satvane::py {

// The window record is the core's, so window_hash finds this overload through the hasher's
// namespace: it must live here, not in the unnamed namespace.
static void hash_fields(SipHasher13& hasher, const IlluminationWindow& window) {
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

PyObject* wrap_window(ModuleState& state, const IlluminationWindow& window) {
  return box(state.type(ClassId::Illumination), window);
}

constexpr IteratorTexts kIterTexts{ClassId::IlluminationIter, "satvane._satvane.IlluminationIter",
                                   "Lazy iterator yielding sunlit and eclipse windows within a time interval."};
using IlluminationIterClass = IteratorClass<IlluminationIter, wrap_window, kIterTexts>;

constexpr Param kIterParams[] = {{"interval"}};
constexpr Param kIterOptions[] = {{"step", false}, {"walk_step", false}, {"max_window_duration", false}};
constexpr Signature kIterSignature{"Predictor.illumination_iter", kIterParams, kIterOptions};

PyObject* illumination_iter(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<4> parsed;
  if (!parsed.parse(kIterSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of(self);
  const auto interval = arg_interval(state, parsed[0], "interval");
  if (!interval) return nullptr;
  IlluminationIterOpts opts;
  if (!overlay_options(state, kIterSignature, parsed.values.data() + 1, opts.step, opts.walk_step,
                       opts.max_window_duration))
    return nullptr;
  return IlluminationIterClass::make(
      state, illumination_iter_with_opts(predictor_of(self), {interval->start, interval->end}, opts));
}

}  // namespace

const ClassDef IlluminationState_class{&StateEnum::type_spec, StateEnum::ready};
const ClassDef Illumination_class{&type_spec, nullptr};
const ClassDef IlluminationIter_class{&IlluminationIterClass::type_spec, nullptr};

PyMethodDef illumination_iter_method() {
  return fastcall_method<illumination_iter>(
      "illumination_iter",
      "illumination_iter($self, interval, *, step=None, walk_step=None, max_window_duration=None)\n--\n\n"
      "Iterate over sunlit and eclipse windows within the interval.\n\n"
      "`interval` must expose `.start` and `.end` datetime properties. The windows\n"
      "tile it: the first starts at its start, each starts where the one before\n"
      "ended, Sunlit and Eclipse alternate, and the last ends at its end.\n\n"
      "Options (each a `timedelta`; None keeps the default, below 1 s counts as 1 s):\n\n"
      "- `step` (60 s) is the fixed step of the scan for shadow-boundary crossings.\n"
      "- `walk_step` (30 s) is the step used to pin down a window's true start and end.\n"
      "- `max_window_duration` (1 h): a longer eclipse window raises `RuntimeError`;\n"
      "  sunlit windows are the gaps between eclipse windows and are never bounded by it.");
}

PyObject* to_py(ModuleState& state, IlluminationState value) {
  return enum_member(state, ClassId::IlluminationState, static_cast<unsigned>(value));
}

PyObject* make_illumination(ModuleState& state, Instant start, Instant end, IlluminationState value) {
  return wrap_window(state, IlluminationWindow{start, end, value});
}

}  // namespace satvane::py
