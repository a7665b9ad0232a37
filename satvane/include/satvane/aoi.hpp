// Area-of-interest windows: the stretches of time in which an area on the ground is within the
// reach of a satellite's payload, in an interval (`aoi_iter_with_opts`) or around one instant
// (`detect_aoi_with_opts`).
//
// The reach is a field of regard: a cone around nadir of half-angle `max_off_nadir`, the
// largest nadir angle the payload can be slewed to. Its footprint is a spherical cap around the
// sub-satellite point whose angular radius follows from the off-nadir angle and the satellite's
// height. With the default `max_off_nadir` of zero the reach is the sub-satellite point itself,
// and a window is a stretch in which the ground track lies inside the area. Two coverage rules:
// `Any` (some part of the area within reach) and `Full` (all of it at once; this says nothing
// about whether one image covers the area, which depends on the instrument's field of view).
//
// Model and accuracy:
//   - The sub-satellite point is the geodetic latitude and longitude below the SGP4 position
//     (TEME rotated to ECEF by the IAU 1982 sidereal angle, UTC standing in for UT1, no polar
//     motion), taken as spherical coordinates like the area's own vertices: distances are
//     central angles on a unit sphere (area.hpp), so an area's edge is where the ground track
//     crosses it in latitude and longitude, not a distance on the ellipsoid.
//   - The reach is the central angle at which a ray at the off-nadir angle meets a sphere of
//     radius R = r - h below the satellite (r its distance from the Earth's centre, h its
//     geodetic height), capped at the horizon: in the triangle of Earth centre, satellite and
//     ground point the law of sines gives sin(η + reach) = (r / R) sin η.
//   - Window edges are roots of the event value to the predictor's Refinement time tolerance
//     (1 ms by default); SGP4 is evaluated at whole milliseconds, which bounds the edges to a
//     few milliseconds whatever the tolerance.
//   - After each outside sample the coarse scan strides the time the event value would need to
//     climb back to zero at `max_sub_point_rate`, an upper bound on the sub-satellite point's
//     angular rate: no window longer than `min_step` is stepped over, and far from the area
//     the scan strides up to `max_step`. The bound covers the motion of the sub-satellite
//     point; the reach also changes with the satellite's height, negligibly for near-circular
//     orbits. A window shorter than `min_step` may be missed, and two windows separated by
//     less than `walk_step` may be reported as one (the walk steps over the gap).
//
// Sources: SGP4 as in Vallado, Crawford, Hujsak and Kelso, "Revisiting Spacetrack Report #3"
// (AIAA 2006-6753); WGS 84 constants from NIMA TR8350.2. The reach and the rate bound are
// elementary spherical geometry, stated where they are computed.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <utility>

#include "satvane/area.hpp"
#include "satvane/detect.hpp"
#include "satvane/error.hpp"
#include "satvane/predictor.hpp"
#include "satvane/time.hpp"
#include "satvane/vectors.hpp"
#include "sgp4/elements.hpp"

namespace satvane {

enum class Coverage : std::uint8_t {
  Any = 0,   // some part of the area is within reach
  Full = 1,  // every part of the area is within reach at once; needs a reach wider than the area
};

// Options of both searches; detect_aoi_with_opts reads only max_off_nadir, coverage, walk_step
// and max_window_duration. Nothing is rejected: the off-nadir angle is resolved by
// resolve_off_nadir and the steps are floored (step_bounds; walk_step at 1 s).
struct AoiIterOpts {
  Duration min_step = Duration::seconds(1);    // shortest coarse stride, and shortest window sure to be seen
  Duration max_step = Duration::seconds(600);  // longest coarse stride, used far from the area
  Duration walk_step = Duration::seconds(5);   // step of the walks from inside a window to its edges
  Duration max_window_duration = Duration::seconds(3600);  // a longer window is a WindowTooLong error
  double max_off_nadir = 0.0;                  // radians: half-angle of the field of regard
  Coverage coverage = Coverage::Any;
  bool skip_leading_partial = true;  // false: a window in progress at the start gets its true start
  bool clamp_to_interval = false;    // true: a window in progress at either end is cut there
  friend bool operator==(const AoiIterOpts&, const AoiIterOpts&) = default;
};

// The largest usable off-nadir angle: just short of a right angle (reach to the horizon).
inline constexpr double kMaxOffNadir_rad = 1.5707963257948965;  // π/2 − 1e-9

// NaN becomes 0; anything else is clamped into [0, π/2 − 1e-9] (so -inf means 0 and +inf a
// reach to the horizon).
double resolve_off_nadir(double off_nadir_rad);

// Central angle (radians) from the sub-satellite point to where a ray at nadir angle
// `off_nadir_rad` meets a sphere of radius `ground_radius_m` below a satellite at
// `satellite_radius_m` from the centre; the horizon when the ray misses the sphere, and never
// beyond it.
double max_central_angle(double off_nadir_rad, double satellite_radius_m, double ground_radius_m);

// An upper bound (rad/s, at least 1e-6) on how fast the sub-satellite point moves in latitude
// and longitude taken as spherical coordinates: the orbital rate at perigee plus the Earth's
// rotation, times 1.05 / (1 − f)² for the geodetic latitude's stretch and a margin.
double max_sub_point_rate(const sgp4::Elements& elements);

struct StepBounds {
  Duration min_step;  // at least 1 ms
  Duration max_step;  // at least min_step
  friend bool operator==(const StepBounds&, const StepBounds&) = default;
};

// opts.min_step raised to 1 ms where it is 1 ms or less; opts.max_step raised to that.
StepBounds step_bounds(const AoiIterOpts& opts);

// The area search's coarse stride: after an outside sample of value v (radians), the time
// |v| / max_rate in which the value could climb back to zero, in whole milliseconds, between
// min_step and max_step; max_step when there is no outside sample at `now`.
struct ProximityStep {
  Duration min_step;
  Duration max_step;
  double max_rate;  // rad/s, from max_sub_point_rate

  std::optional<Instant> next_time(Instant now, const EventSample* last) const;
};

// The sub-satellite point and the payload's reach around it at one instant.
struct GroundReach {
  LatLon sub_point;  // geodetic latitude and longitude, degrees
  double reach;      // radians, max_central_angle of the off-nadir angle
};

[[nodiscard]] std::expected<GroundReach, Error> ground_reach(const Predictor& predictor, Instant t,
                                                             double max_off_nadir_rad);

// The event function of the area search, in radians: >= 0 exactly when the coverage rule
// holds. Any: reach + the area's signed offset at the sub-satellite point. Full: reach − the
// area's farthest distance from it. No derivative (refinement never takes a Newton step).
template <area::Area A>
class AreaInView {
 public:
  // The off-nadir angle is resolved here (resolve_off_nadir).
  AreaInView(const Predictor& predictor, A area, double max_off_nadir_rad, Coverage coverage)
      : predictor_(predictor),
        area_(std::move(area)),
        max_off_nadir_(resolve_off_nadir(max_off_nadir_rad)),
        coverage_(coverage) {}

  SampleResult sample(Instant t) const {
    const auto ground = ground_reach(predictor_, t, max_off_nadir_);
    if (!ground) return std::unexpected(ground.error());
    const double value = coverage_ == Coverage::Any
                             ? ground->reach + area_.signed_angular_offset(ground->sub_point)
                             : ground->reach - area::max_angular_distance(area_, ground->sub_point);
    return EventSample{value, std::nullopt, t};
  }

  const Predictor& predictor() const { return predictor_; }
  const A& area() const { return area_; }
  double max_off_nadir() const { return max_off_nadir_; }
  Coverage coverage() const { return coverage_; }

 private:
  Predictor predictor_;
  A area_;
  double max_off_nadir_;  // resolved, radians
  Coverage coverage_;
};

// Emits the debug event "aoi window detected" (target satvane::area, fields entry and exit).
void report_aoi_window(const Window& window);

// The windows in which an area is within reach, in time order, each once (positive windows
// only, never the gaps). A failure (propagation, refinement, a window reaching
// max_window_duration) is an item, and the scan goes on after it. Owns its copy of the
// predictor and its area.
template <area::Area A = area::AreaKind>
class AoiIter {
 public:
  AoiIter(const Predictor& predictor, A area, TimeInterval interval, const AoiIterOpts& opts)
      : windows_(WindowDetector<AreaInView<A>, ProximityStep>{
            AreaInView<A>(predictor, std::move(area), opts.max_off_nadir, opts.coverage),
            proximity_step(predictor, opts), interval, window_options(predictor, opts)}) {}

  // Nothing once the interval is exhausted, on every later call too.
  std::optional<WindowItem> next() {
    auto item = windows_.next();
    if (item && *item) report_aoi_window(**item);
    return item;
  }

  const AreaInView<A>& function() const { return windows_.detector().function; }

 private:
  static ProximityStep proximity_step(const Predictor& predictor, const AoiIterOpts& opts) {
    const StepBounds bounds = step_bounds(opts);
    return {bounds.min_step, bounds.max_step, max_sub_point_rate(predictor.elements())};
  }
  static WindowOptions window_options(const Predictor& predictor, const AoiIterOpts& opts) {
    return {predictor.refinement(), effective_walk_step(opts.walk_step), opts.max_window_duration,
            true, opts.skip_leading_partial, opts.clamp_to_interval};
  }

  WindowIter<AreaInView<A>, ProximityStep> windows_;
};

// The windows of `area` in the interval [start, end), refined with the predictor's Refinement.
// Nothing is sampled until the first next().
template <area::Area A>
[[nodiscard]] AoiIter<A> aoi_iter_with_opts(const Predictor& predictor, A area, TimeInterval interval,
                                            const AoiIterOpts& opts = {}) {
  return AoiIter<A>(predictor, std::move(area), interval, opts);
}

namespace detail {
// An area read in place, for a search that ends before the area goes away.
template <area::Area A>
struct BorrowedArea {
  const A* area;
  double signed_angular_offset(LatLon point) const { return area->signed_angular_offset(point); }
};
}  // namespace detail

// The window in progress at t, never cut (it may start and end anywhere within
// max_window_duration of t), or nothing when the area is out of reach at t (a value of exactly
// zero is within reach). Only reads the area during the call.
template <area::Area A>
[[nodiscard]] std::expected<std::optional<Window>, Error> detect_aoi_with_opts(const Predictor& predictor,
                                                                              Instant t, const A& area,
                                                                              const AoiIterOpts& opts = {}) {
  AreaInView<detail::BorrowedArea<A>> function(predictor, {&area}, opts.max_off_nadir, opts.coverage);
  const auto at_t = function.sample(t);
  if (!at_t) return std::unexpected(at_t.error());
  if (at_t->value < 0) return std::nullopt;
  const auto edges = resolve_positive_window(function, t, opts.walk_step, opts.max_window_duration,
                                             predictor.refinement());
  if (!edges) return std::unexpected(edges.error());
  const Window window{edges->start, edges->end, true};
  report_aoi_window(window);
  return window;
}

}  // namespace satvane
