#include "satvane/transits.hpp"

#include <algorithm>
#include <cmath>
#include <compare>
#include <numbers>
#include <utility>

#include "satvane/diagnostics.hpp"

namespace satvane {
namespace {

constexpr Duration kStepFloor = Duration::seconds(1);

// The bounds of the pass scan's stride (see TransitStep).
constexpr double kEarthMu_m3_s2 = 398600.5e9;  // the SGP4 WGS84 constant
constexpr double kRadiusMargin = 0.005;         // of the semi-major axis
constexpr double kVerticalMargin_rad = 0.2 * kDegToRad;
constexpr double kRateMargin = 1.02;

Duration floored(Duration step) { return std::max(step, kStepFloor); }

double semi_major_axis_m(double mean_motion_rad_s) {
  return std::cbrt(kEarthMu_m3_s2 / (mean_motion_rad_s * mean_motion_rad_s));
}

void report_transit(const Transit& transit) {
  if (auto* sink = diagnostics::active_sink())
    diagnostics::send(*sink, "satvane::transits", "transit detected", {{"aos", transit.aos}, {"los", transit.los}});
}

void report_peak(const ElevationPeak& peak) {
  if (auto* sink = diagnostics::active_sink())
    diagnostics::send(*sink, "satvane::transits", "peak elevation found",
                      {{"time", peak.time}, {"elevation_deg", peak.observation.elevation_rad * kRadToDeg}});
}

// Elevation and its rate seen from a prepared observer frame.
std::expected<ElevationAndRate, Error> elevation_at(const Predictor& predictor, const EnuFrame& frame, Instant t) {
  const auto teme = predictor.propagate(t);
  if (!teme) return std::unexpected(teme.error());
  return elevation_and_rate(to_enu(to_ecef(*teme, t), frame));
}

}  // namespace

ElevationAboveMin::ElevationAboveMin(const Predictor& predictor, const GeodeticPoint& observer,
                                     double min_elevation_rad)
    : predictor_(predictor), observer_(observer), frame_(EnuFrame::of(observer)),
      min_elevation_rad_(min_elevation_rad) {}

SampleResult ElevationAboveMin::sample(Instant t) const {
  const auto elevation = elevation_at(predictor_, frame_, t);
  if (!elevation) return std::unexpected(elevation.error());
  return EventSample{elevation->elevation_rad - min_elevation_rad_, elevation->rate_rad_s, t};
}

TransitStep::TransitStep(const Predictor& predictor, const GeodeticPoint& observer, double min_elevation_rad,
                         Duration min_step, Duration max_step)
    : threshold_{floored(min_step), floored(max_step)}, min_elevation_rad_(min_elevation_rad),
      observer_radius_m_(norm(EnuFrame::of(observer).origin_m)) {
  const sgp4::Elements& elements = predictor.elements();
  const double e = elements.eccentricity;
  const double mean_motion_rad_s = elements.mean_motion * kTwoPi / 86400.0;
  const double a_m = semi_major_axis_m(mean_motion_rad_s);
  lowest_radius_m_ = a_m * (1.0 - e - kRadiusMargin);
  highest_radius_m_ = a_m * (1.0 + e + kRadiusMargin);
  visible_angle_rad_ = central_angle_rad(min_elevation_rad - kVerticalMargin_rad, highest_radius_m_);
  // Angular rate at perigee of a Keplerian ellipse, n (1 + e)^2 / (1 - e^2)^1.5, plus the Earth
  // turning beneath it.
  const double perigee_rate_rad_s = mean_motion_rad_s * (1.0 + e) * (1.0 + e) / std::pow(1.0 - e * e, 1.5);
  max_ground_rate_rad_s_ = (perigee_rate_rad_s + kEarthRotation_rad_s) * kRateMargin;
}

// Observer at the centre-to-observer distance, satellite at the given radius, elevation above
// the geocentric horizon: the angle at the satellite is asin(R_o cos e / r), and the three
// angles of the triangle give the central one.
double TransitStep::central_angle_rad(double elevation_rad, double satellite_radius_m) const {
  const double e = std::clamp(elevation_rad, -std::numbers::pi / 2, std::numbers::pi / 2);
  const double at_satellite_rad = std::asin(std::min(observer_radius_m_ * std::cos(e) / satellite_radius_m, 1.0));
  return std::numbers::pi / 2 - e - at_satellite_rad;
}

// In whole seconds, between min_step and the longest stride; min_step when not a number.
Duration TransitStep::rising_cap(double elevation_rad) const {
  // The central angle only shrinks as the elevation grows: bound it from below, then the time.
  const double angle_rad = central_angle_rad(elevation_rad + kVerticalMargin_rad, lowest_radius_m_);
  const double bound_s = (angle_rad - visible_angle_rad_) / max_ground_rate_rad_s_;
  const double longest_s = double(std::max(threshold_.min_step, threshold_.max_step).whole_seconds());
  const double stride_s = std::isnan(bound_s) ? 0.0 : std::clamp(bound_s, 0.0, longest_s);
  return std::max(threshold_.min_step, Duration::seconds(std::int64_t(stride_s)));
}

std::optional<Instant> TransitStep::next_time(Instant now, const EventSample* last) const {
  const auto threshold_time = threshold_.next_time(now, last);
  if (!last || !last->derivative || !(*last->derivative > 0)) return threshold_time;
  const auto capped_time = now.checked_add(rising_cap(last->value + min_elevation_rad_));
  if (!capped_time || !threshold_time) return capped_time ? capped_time : threshold_time;
  return std::min(*threshold_time, *capped_time);
}

TransitIter::TransitIter(const Predictor& predictor, const GeodeticPoint& observer, TimeInterval interval,
                         const TransitIterOpts& opts, double min_elevation_rad, const Refinement& refinement)
    : windows_(*window_iter_builder()
                    .function(ElevationAboveMin(predictor, observer, min_elevation_rad))
                    .step_strategy(TransitStep(predictor, observer, min_elevation_rad, opts.min_step, opts.max_step))
                    .refinement(refinement)
                    .walk_step(opts.walk_step)
                    .max_window_duration(opts.max_transit_duration)
                    .skip_leading_partial(opts.skip_leading_partial)
                    .clamp_to_interval(opts.clamp_to_interval)
                    .interval(interval.start, interval.end)
                    .build()) {}  // cannot fail: the interval is set

std::optional<TransitItem> TransitIter::next() {
  auto item = windows_.next();
  if (!item) return std::nullopt;
  if (!*item) return std::unexpected(std::move(item->error()));
  const Transit transit{(*item)->start, (*item)->end};
  report_transit(transit);
  return transit;
}

TransitIter transits_iter_with_opts(const Predictor& predictor, const GeodeticPoint& observer,
                                    TimeInterval interval, double min_elevation_deg, const TransitIterOpts& opts) {
  return TransitIter(predictor, observer, interval, opts, min_elevation_deg * kDegToRad, predictor.refinement());
}

std::expected<std::optional<Transit>, Error> detect_transit_with_opts(const Predictor& predictor, Instant t,
                                                                      const GeodeticPoint& observer,
                                                                      double min_elevation_deg,
                                                                      const TransitIterOpts& opts) {
  ElevationAboveMin function(predictor, observer, min_elevation_deg * kDegToRad);
  const auto at = function.sample(t);
  if (!at) return std::unexpected(at.error());
  if (at->value < 0) return std::nullopt;
  // No bounds: the pass is never cut.
  const auto edges = resolve_positive_window(function, t, opts.walk_step, opts.max_transit_duration,
                                             predictor.refinement());
  if (!edges) return std::unexpected(edges.error());
  const Transit transit{edges->start, edges->end};
  report_transit(transit);
  return transit;
}

namespace {

// The best candidate so far; a later candidate of equal elevation wins (total order of doubles,
// so a NaN elevation is never silently passed over).
struct PeakSearch {
  const Predictor& predictor;
  const GeodeticPoint& observer;
  std::optional<ElevationPeak> best;

  std::optional<Error> consider(Instant t) {
    const auto observation = predictor.observe_at(t, observer);
    if (!observation) return observation.error();
    if (!best || std::strong_order(observation->elevation_rad, best->observation.elevation_rad) >= 0)
      best = ElevationPeak{t, *observation};
    return std::nullopt;
  }
};

}  // namespace

std::expected<ElevationPeak, Error> max_elevation_with_opts(const Predictor& predictor, TimeInterval interval,
                                                            const GeodeticPoint& observer,
                                                            const MaxElevationOpts& opts) {
  const EnuFrame frame = EnuFrame::of(observer);
  auto rate = [&predictor, &frame](Instant t) -> std::expected<double, Error> {
    const auto elevation = elevation_at(predictor, frame, t);
    if (!elevation) return std::unexpected(elevation.error());
    return elevation->rate_rad_s;
  };
  auto crossings = *crossing_iter_builder()
                        .function(ValueFn(rate))
                        .step_strategy(FixedStep{floored(opts.scan_step)})
                        .refinement(predictor.refinement())
                        .interval(interval.start, interval.end)
                        .build();  // cannot fail: the interval is set

  // Candidates in order: the local maxima (the rate falling through zero), then both ends. A
  // failed observation at a maximum is reported only if the scan itself does not fail later.
  PeakSearch search{predictor, observer, std::nullopt};
  std::optional<Error> observation_failure;
  while (auto item = crossings.next()) {
    if (!*item) return std::unexpected(std::move(item->error()));
    if ((*item)->direction != CrossingDirection::Falling || observation_failure) continue;
    observation_failure = search.consider((*item)->time);
  }
  if (observation_failure) return std::unexpected(std::move(*observation_failure));
  for (const Instant end : {interval.start, interval.end}) {
    if (auto failure = search.consider(end)) return std::unexpected(std::move(*failure));
  }
  report_peak(*search.best);
  return *search.best;
}

}  // namespace satvane
