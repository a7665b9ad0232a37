#include "types/transits.hpp"

#include <cmath>

#include "area.hpp"
#include "errors.hpp"
#include "predictor.hpp"
#include "satvane/transits.hpp"
#include "types/iterator.hpp"
#include "types/observation.hpp"
#include "types/window.hpp"

namespace satvane::py {

namespace {

constexpr SearchWindowTexts kTexts{
    "satvane._satvane.Transit",
    "Transit(",
    "A satellite pass — the window during which the satellite is above the minimum elevation.",
    "Acquisition of Signal: when the satellite rises above `min_elevation`.",
    "Loss of Signal: when the satellite drops below `min_elevation`.",
    "Duration of the transit in seconds.\n\nDeprecated: use `duration`, which is a `timedelta`.",
};
constexpr Signature kIntersection{"Transit.intersection", kIntersectionParams, {}};
using TransitClass = SearchWindowClass<kTexts, kIntersection>;

PyObject* wrap_transit(ModuleState& state, const Transit& transit) { return make_transit(state, transit.aos, transit.los); }

constexpr IteratorTexts kIterTexts{ClassId::TransitIter, "satvane._satvane.TransitIter",
                                   "Lazy iterator yielding satellite passes visible to an observer."};
using TransitIterClass = IteratorClass<TransitIter, wrap_transit, kIterTexts>;

// ---- transits_iter ---------------------------------------------------------------------------

// A minimum elevation in degrees. NaN is refused: no elevation compares with it, so every sample
// would count as above it and each one would end as a pass too long to resolve.
std::optional<double> arg_min_elevation_deg(PyObject* obj) {
  const auto value = arg_f64(obj, "min_elevation_deg");
  if (value && std::isnan(*value)) {
    PyErr_SetString(PyExc_ValueError, "the minimum elevation is NaN");
    note_parameter("min_elevation_deg");
    return std::nullopt;
  }
  return value;
}

constexpr Param kTransitsParams[] = {{"observer"}, {"interval"}, {"min_elevation_deg"}};
constexpr Param kTransitsOptions[] = {{"min_step", false},
                                      {"max_step", false},
                                      {"walk_step", false},
                                      {"max_transit_duration", false},
                                      {"skip_leading_partial", false},
                                      {"clamp_to_interval", false}};
constexpr Signature kTransitsSignature{"Predictor.transits_iter", kTransitsParams, kTransitsOptions};

PyObject* transits_iter(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<9> parsed;
  if (!parsed.parse(kTransitsSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of(self);
  const auto observer = arg_geodetic_point(state, parsed[0], "observer");
  if (!observer) return nullptr;
  const auto interval = arg_interval(state, parsed[1], "interval");
  if (!interval) return nullptr;
  const auto min_elevation_deg = arg_min_elevation_deg(parsed[2]);
  if (!min_elevation_deg) return nullptr;
  TransitIterOpts opts;
  if (!overlay_options(state, kTransitsSignature, parsed.values.data() + 3, opts.min_step, opts.max_step,
                       opts.walk_step, opts.max_transit_duration, opts.skip_leading_partial, opts.clamp_to_interval))
    return nullptr;
  return TransitIterClass::make(state, transits_iter_with_opts(predictor_of(self), *observer,
                                                               {interval->start, interval->end}, *min_elevation_deg, opts));
}

// ---- detect_transit --------------------------------------------------------------------------

constexpr Param kDetectParams[] = {{"t"}, {"observer"}, {"min_elevation_deg"}};
constexpr Param kDetectOptions[] = {{"walk_step", false}, {"max_transit_duration", false}};
constexpr Signature kDetectSignature{"Predictor.detect_transit", kDetectParams, kDetectOptions};

PyObject* detect_transit(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<5> parsed;
  if (!parsed.parse(kDetectSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of(self);
  const auto t = arg_instant(state, parsed[0], "t");
  if (!t) return nullptr;
  const auto observer = arg_geodetic_point(state, parsed[1], "observer");
  if (!observer) return nullptr;
  const auto min_elevation_deg = arg_min_elevation_deg(parsed[2]);
  if (!min_elevation_deg) return nullptr;
  TransitIterOpts opts;
  if (!overlay_options(state, kDetectSignature, parsed.values.data() + 3, opts.walk_step, opts.max_transit_duration))
    return nullptr;
  const auto transit = detect_transit_with_opts(predictor_of(self), *t, *observer, *min_elevation_deg, opts);
  if (!transit) return raise(transit.error());
  if (!*transit) Py_RETURN_NONE;
  return wrap_transit(state, **transit);
}

// ---- max_elevation ---------------------------------------------------------------------------

constexpr Param kPeakParams[] = {{"observer"}, {"interval"}};
constexpr Param kPeakOptions[] = {{"scan_step", false}};
constexpr Signature kPeakSignature{"Predictor.max_elevation", kPeakParams, kPeakOptions};

PyObject* max_elevation(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Args<3> parsed;
  if (!parsed.parse(kPeakSignature, args, nargs, kwnames)) return nullptr;
  ModuleState& state = state_of(self);
  const auto observer = arg_geodetic_point(state, parsed[0], "observer");
  if (!observer) return nullptr;
  const auto interval = arg_interval(state, parsed[1], "interval");
  if (!interval) return nullptr;
  MaxElevationOpts opts;
  if (!overlay_options(state, kPeakSignature, parsed.values.data() + 2, opts.scan_step)) return nullptr;
  const auto peak = max_elevation_with_opts(predictor_of(self), {interval->start, interval->end}, *observer, opts);
  if (!peak) return raise(peak.error());
  return timed_tuple(state, peak->time, to_py(state, peak->observation));
}

}  // namespace

const ClassDef Transit_class{&TransitClass::type_spec, nullptr};
const ClassDef TransitIter_class{&TransitIterClass::type_spec, nullptr};

PyObject* make_transit(ModuleState& state, Instant start, Instant end) {
  return box(state.type(ClassId::Transit), Span{start, end});
}

PyMethodDef transits_iter_method() {
  return fastcall_method<transits_iter>(
      "transits_iter",
      "transits_iter($self, observer, interval, min_elevation_deg, *, min_step=None, max_step=None, "
      "walk_step=None, max_transit_duration=None, skip_leading_partial=None, clamp_to_interval=None)\n--\n\n"
      "Iterate over satellite passes visible to the observer within the interval.\n\n"
      "`observer` is a `GeodeticPoint`; `interval` must expose `.start` and `.end`\n"
      "datetime properties; a pass is the time above `min_elevation_deg` (degrees).\n\n"
      "Options (a `timedelta` for durations, a `bool` for flags; None keeps the default):\n\n"
      "- `min_step` (10 s) and `max_step` (10 min) bound the adaptive scan step.\n"
      "  `min_step` is also the shortest pass the scan is sure to see; `max_step` is\n"
      "  raised to `min_step` where it is smaller. Steps below 1 s count as 1 s.\n"
      "- `walk_step` (30 s) is the fixed step of the walk from a pass's inside to\n"
      "  its ends.\n"
      "- `max_transit_duration` (1 h): a longer pass raises `RuntimeError`.\n"
      "- `skip_leading_partial` (True) drops a pass already in progress at the\n"
      "  interval start; set False, the search walks backward for its true AoS.\n"
      "- `clamp_to_interval` (False) cuts a pass still in progress at an interval\n"
      "  end at that end instead of walking on for its true AoS or LoS.");
}

PyMethodDef detect_transit_method() {
  return fastcall_method<detect_transit>(
      "detect_transit",
      "detect_transit($self, t, observer, min_elevation_deg, *, walk_step=None, max_transit_duration=None)\n--\n\n"
      "Detect whether a transit is in progress at time `t`.\n\n"
      "Returns None when the satellite is below `min_elevation_deg` at `t`.\n"
      "Otherwise searches backward and forward from `t` for the AoS and LoS, in\n"
      "steps of `walk_step` (30 s), and returns the whole pass as a `Transit`,\n"
      "which may begin before `t` and end after it. A pass longer than\n"
      "`max_transit_duration` (1 h) raises `RuntimeError`.\n\n"
      "Of the options of `transits_iter`, only these two apply here.");
}

PyMethodDef max_elevation_method() {
  return fastcall_method<max_elevation>(
      "max_elevation",
      "max_elevation($self, observer, interval, *, scan_step=None)\n--\n\n"
      "Find the peak elevation of the satellite over an observer within the interval.\n\n"
      "Returns `(datetime, Observation)` at the highest point: a refined local\n"
      "maximum, or an end of the interval. `scan_step` (10 s) is the fixed step of\n"
      "the scan for zero crossings of the elevation rate.\n\n"
      "Raises `RuntimeError` if no peak is found in the interval.");
}

}  // namespace satvane::py
