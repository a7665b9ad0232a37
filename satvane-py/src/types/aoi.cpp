#include "types/aoi.hpp"

#include "area.hpp"
#include "errors.hpp"
#include "predictor.hpp"
#include "satvane/aoi.hpp"
#include "types/iterator.hpp"
#include "types/window.hpp"

namespace satvane::py {

// ---- Keyword options beyond durations and flags -------------------------------------------------
// In this namespace, not the unnamed one, so that overlay_options finds them.

// The field is the core's radians; the keyword is degrees, passed on without any check (the core
// resolves NaN, negative and overlarge angles).
struct DegreesOption {
  double& radians;
};

static bool overlay_option(ModuleState&, PyObject* given, const char* param, DegreesOption& field) {
  if (given == nullptr || given == Py_None) return true;
  const auto degrees = arg_f64(given, param);
  if (degrees) field.radians = *degrees * kDegToRad;
  return degrees.has_value();
}

static bool overlay_option(ModuleState& state, PyObject* given, const char* param, Coverage& field) {
  if (given == nullptr || given == Py_None) return true;
  const auto coverage = arg_coverage(state, given, param);
  if (coverage) field = *coverage;
  return coverage.has_value();
}

namespace {

constexpr SearchWindowTexts kTexts{
    "satvane._satvane.AoiWindow",
    "AoiWindow(",
    "The window during which an area is within the payload's reach.",
    "When the area comes within reach.",
    "When it passes back out of reach.",
    "Duration of the window in seconds.\n\nDeprecated: use `duration`, which is a `timedelta`.",
};
constexpr Signature kIntersection{"AoiWindow.intersection", kIntersectionParams, {}};
using AoiWindowClass = SearchWindowClass<kTexts, kIntersection>;

constexpr EnumInfo kCoverageInfo{
    ClassId::Coverage, "satvane._satvane.Coverage", "Coverage",
    "Whether any part of an area, or all of it, must be within reach for a window\nto be open.",
    {"Any", "Full"}, 2};

PyObject* wrap_window(ModuleState& state, const Window& window) {
  return make_aoi_window(state, window.start, window.end);
}

// The iterator owns its copy of the area inside the core iterator, so the two are created and
// destroyed together and nothing refers to the Python area or predictor.
constexpr IteratorTexts kIterTexts{
    ClassId::AoiIter, "satvane._satvane.AoiIter",
    "Lazy iterator yielding the windows during which an area is within the payload's reach."};
using AoiIterClass = IteratorClass<AoiIter<area::AreaKind>, wrap_window, kIterTexts>;

// ---- aoi_iter ----------------------------------------------------------------------------------

constexpr Param kIterParams[] = {{"area"}, {"interval"}};
constexpr Param kIterOptions[] = {{"max_off_nadir_deg", false}, {"coverage", false},
                                  {"min_step", false},          {"max_step", false},
                                  {"walk_step", false},         {"max_window_duration", false},
                                  {"skip_leading_partial", false}, {"clamp_to_interval", false}};
constexpr Signature kIterSignature{"Predictor.aoi_iter", kIterParams, kIterOptions};

// The interval and the options are converted before the area, so their errors come first.
PyObject* aoi_iter(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<10> parsed;
  if (!parsed.parse(kIterSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of(self);
  const auto interval = arg_interval(state, parsed[1], "interval");
  if (!interval) return nullptr;
  AoiIterOpts opts;
  DegreesOption off_nadir{opts.max_off_nadir};
  if (!overlay_options(state, kIterSignature, parsed.values.data() + 2, off_nadir, opts.coverage, opts.min_step,
                       opts.max_step, opts.walk_step, opts.max_window_duration, opts.skip_leading_partial,
                       opts.clamp_to_interval))
    return nullptr;
  auto area = extract_area(state, parsed[0]);
  if (!area) return nullptr;
  return AoiIterClass::make(state, aoi_iter_with_opts(predictor_of(self), std::move(*area),
                                                      {interval->start, interval->end}, opts));
}

// ---- detect_aoi --------------------------------------------------------------------------------

constexpr Param kDetectParams[] = {{"t"}, {"area"}};
constexpr Param kDetectOptions[] = {
    {"max_off_nadir_deg", false}, {"coverage", false}, {"walk_step", false}, {"max_window_duration", false}};
constexpr Signature kDetectSignature{"Predictor.detect_aoi", kDetectParams, kDetectOptions};

PyObject* detect_aoi(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<6> parsed;
  if (!parsed.parse(kDetectSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of(self);
  const auto t = arg_instant(state, parsed[0], "t");
  if (!t) return nullptr;
  AoiIterOpts opts;
  DegreesOption off_nadir{opts.max_off_nadir};
  if (!overlay_options(state, kDetectSignature, parsed.values.data() + 2, off_nadir, opts.coverage,
                       opts.walk_step, opts.max_window_duration))
    return nullptr;
  // Read in place: the search ends within this call, while `parsed[1]` is alive.
  const auto area = extract_area_ref(state, parsed[1]);
  if (!area) return nullptr;
  const auto window = detect_aoi_with_opts(predictor_of(self), *t, *area, opts);
  if (!window) return raise(window.error());
  if (!*window) Py_RETURN_NONE;
  return wrap_window(state, **window);
}

}  // namespace

const ClassDef AoiWindow_class{&AoiWindowClass::type_spec, nullptr};
const ClassDef Coverage_class{&Enumeration<kCoverageInfo>::type_spec, Enumeration<kCoverageInfo>::ready};
const ClassDef AoiIter_class{&AoiIterClass::type_spec, nullptr};

PyObject* make_aoi_window(ModuleState& state, Instant start, Instant end) {
  return box(state.type(ClassId::AoiWindow), Span{start, end});
}

PyMethodDef aoi_iter_method() {
  return fastcall_method<aoi_iter>(
      "aoi_iter",
      "aoi_iter($self, area, interval, *, max_off_nadir_deg=None, coverage=None, min_step=None, "
      "max_step=None, walk_step=None, max_window_duration=None, skip_leading_partial=None, "
      "clamp_to_interval=None)\n--\n\n"
      "Iterate over the windows in which `area` is within the payload's reach.\n\n"
      "`area` is a `Polygon`, `Rectangle`, or `Circle`; `interval` must expose\n"
      "`.start` and `.end` datetime properties. Each keyword defaults to the\n"
      "library's own value when omitted or None:\n\n"
      "- `max_off_nadir_deg` (0) is the half-angle of the satellite's field of\n"
      "  regard: the largest nadir angle the payload can be slewed to. At zero the\n"
      "  search detects the sub-satellite point itself crossing into the area. It\n"
      "  describes everything the payload could be pointed at, not the footprint of\n"
      "  a single image.\n"
      "- `coverage` chooses whether any part of the area (`Coverage.Any`, the\n"
      "  default) or all of it (`Coverage.Full`) must be within reach.\n"
      "  `Coverage.Full` needs `max_off_nadir_deg` set wider than the area: at zero\n"
      "  the reach is a single point and no window ever opens.\n"
      "- `min_step` (1 s) is the lower bound of the adaptive coarse-scan step and\n"
      "  the shortest crossing the scan is sure to see; lower it for an area the\n"
      "  ground track crosses faster than that. Floored at 1 ms.\n"
      "- `max_step` (10 min) is the upper bound, used while the ground track is far\n"
      "  from the area. It is raised to `min_step` where smaller, so a `min_step`\n"
      "  above it pins the scan at that step and a small area is stepped straight over.\n"
      "- `walk_step` (5 s) is the fixed step of the walks from a window's inside to\n"
      "  its ends.\n"
      "- `max_window_duration` (1 h) caps a single window; a longer one raises\n"
      "  `RuntimeError`, so a continental-scale area needs it raised (a low orbit\n"
      "  stays inside something like `Rectangle.latitude_band(-90.0, 60.0)` for most\n"
      "  of each orbit).\n"
      "- `skip_leading_partial` (True) discards a window already in progress at the\n"
      "  interval start; set False, the search walks backward for its true beginning.\n"
      "- `clamp_to_interval` (False) cuts a window still in progress at the interval\n"
      "  end at that end instead of walking forward for its true end.");
}

PyMethodDef detect_aoi_method() {
  return fastcall_method<detect_aoi>(
      "detect_aoi",
      "detect_aoi($self, t, area, *, max_off_nadir_deg=None, coverage=None, walk_step=None, "
      "max_window_duration=None)\n--\n\n"
      "Detect whether `area` is within the payload's reach at time `t`.\n\n"
      "Returns None when it is not. Otherwise searches backward and forward from\n"
      "`t` for the entry and exit crossings and returns the whole window as an\n"
      "`AoiWindow`, which may begin before `t` and end after it. A window longer\n"
      "than `max_window_duration` (1 h) raises `RuntimeError`.\n\n"
      "See `aoi_iter` for the options; the others do not apply to this single-point\n"
      "detection.");
}

PyObject* to_py(ModuleState& state, Coverage coverage) {
  return enum_member(state, ClassId::Coverage, static_cast<unsigned>(coverage));
}

std::optional<Coverage> arg_coverage(ModuleState& state, PyObject* obj, const char* param) {
  if (!arg_instance(obj, state.type(ClassId::Coverage), param)) return std::nullopt;
  return static_cast<Coverage>(enum_value(obj));
}

}  // namespace satvane::py
