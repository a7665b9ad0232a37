// Area-of-interest windows: the area-in-view event function, its proximity step and the rate
// and reach bounds they rest on.
#include "satvane/aoi.hpp"

#include <algorithm>
#include <cmath>

#include "satvane/diagnostics.hpp"
#include "satvane/frames.hpp"

namespace satvane {

namespace {

// 1.05 / (1 − f)², f = 1/298.257223563 the WGS-84 flattening: a geodetic latitude changes up to
// 1 / (1 − f)² times as fast as the geocentric one, and 5 % covers the orbit's other wobbles.
constexpr double kRateMargin = 1.0570764715793903;
constexpr double kMinRate_rad_s = 1e-6;

}  // namespace

double resolve_off_nadir(double off_nadir_rad) {
  if (std::isnan(off_nadir_rad)) return 0.0;
  return std::clamp(off_nadir_rad, 0.0, kMaxOffNadir_rad);
}

double max_central_angle(double off_nadir_rad, double satellite_radius_m, double ground_radius_m) {
  const double horizon = std::acos(std::clamp(ground_radius_m / satellite_radius_m, -1.0, 1.0));
  const double k = satellite_radius_m / ground_radius_m * std::sin(off_nadir_rad);
  if (k >= 1.0) return horizon;  // the ray passes beside the Earth
  // fmin keeps whichever of the two is a number.
  return std::fmin(std::asin(k) - off_nadir_rad, horizon);
}

double max_sub_point_rate(const sgp4::Elements& elements) {
  const double e = std::clamp(elements.eccentricity, 0.0, 0.999);
  const double mean_motion_rad_s = elements.mean_motion * kTwoPi / 86400.0;
  const double perigee_rate_rad_s = mean_motion_rad_s * std::sqrt(1.0 - e * e) / ((1.0 - e) * (1.0 - e));
  const double rate_rad_s = (perigee_rate_rad_s + kEarthRotation_rad_s) * kRateMargin;
  // Written so that a rate that is not a number also gets the floor.
  return rate_rad_s > kMinRate_rad_s ? rate_rad_s : kMinRate_rad_s;
}

StepBounds step_bounds(const AoiIterOpts& opts) {
  const Duration floor = Duration::millis(1);
  const Duration min_step = std::max(opts.min_step, floor);
  return {min_step, std::max(opts.max_step, min_step)};
}

std::optional<Instant> ProximityStep::next_time(Instant now, const EventSample* last) const {
  Duration step = max_step;
  if (last) {
    const std::int64_t longest_ms = max_step.whole_millis_toward_zero();
    double predicted_ms = std::fabs(last->value) / max_rate * 1000.0;
    if (!(predicted_ms > 0.0)) predicted_ms = 0.0;  // NaN too
    // Compare before converting: a double at or past the limit may not fit an int64.
    const std::int64_t stride_ms =
        predicted_ms >= double(longest_ms) ? longest_ms : std::int64_t(predicted_ms);
    step = std::max(min_step, Duration::millis(stride_ms));
  }
  return now.checked_add(step);
}

std::expected<GroundReach, Error> ground_reach(const Predictor& predictor, Instant t, double max_off_nadir_rad) {
  const auto teme = predictor.propagate(t);
  if (!teme) return std::unexpected(teme.error());
  const StateVector<Ecef> ecef = to_ecef(*teme, t);
  const GeodeticPoint below = to_geodetic(ecef);
  const double radius_m = norm(ecef.position_m);
  return GroundReach{{below.latitude_deg, below.longitude_deg},
                     max_central_angle(max_off_nadir_rad, radius_m, radius_m - below.altitude_m)};
}

void report_aoi_window(const Window& window) {
  if (auto* sink = diagnostics::active_sink())
    diagnostics::send(*sink, "satvane::aoi", "aoi window detected", {{"entry", window.start}, {"exit", window.end}});
}

}  // namespace satvane
