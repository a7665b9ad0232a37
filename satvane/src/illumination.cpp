#include "satvane/illumination.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

#include "satvane/diagnostics.hpp"
#include "satvane/frames.hpp"
#include "satvane/predictor.hpp"

namespace satvane {

namespace {
// The obliquity of the ecliptic at J2000.0 in the model, 23.439°: its sine and cosine.
constexpr double kSinObliquityJ2000 = 0.39777249434045;
constexpr double kCosObliquityJ2000 = 0.9174840831023592;
}  // namespace

Vec3 sun_position_eci(Instant t) {
  // Days since J2000.0, UTC throughout. No angle is reduced: sin/cos take the raw values. The
  // sines and cosines of twice the mean anomaly follow from those of the mean anomaly, and the
  // obliquity's from its value at J2000.0 by first order in its drift (1e-8 rad out a century
  // away: far below the model's own error), so that each position costs two sincos.
  const double days = datetime_to_f64(t) / 86400.0 + kJulianDateUnixEpoch - kJulianDateJ2000;
  const double mean_anomaly_rad = (357.528 + 0.9856003 * days) * kDegToRad;
  const double sin_g = std::sin(mean_anomaly_rad), cos_g = std::cos(mean_anomaly_rad);
  const double sin_2g = 2.0 * sin_g * cos_g, cos_2g = (cos_g - sin_g) * (cos_g + sin_g);
  const double mean_longitude_deg = 280.46 + 0.9856474 * days;
  const double ecliptic_longitude_rad = (mean_longitude_deg + 1.915 * sin_g + 0.02 * sin_2g) * kDegToRad;
  const double obliquity_drift_rad = -0.0000004 * days * kDegToRad;
  const double sin_obliquity = kSinObliquityJ2000 + kCosObliquityJ2000 * obliquity_drift_rad;
  const double cos_obliquity = kCosObliquityJ2000 - kSinObliquityJ2000 * obliquity_drift_rad;
  const double distance_m = (1.00014 - 0.01671 * cos_g - 0.00014 * cos_2g) * kAstronomicalUnit_m;
  const double sin_longitude = std::sin(ecliptic_longitude_rad);
  return {distance_m * std::cos(ecliptic_longitude_rad), distance_m * cos_obliquity * sin_longitude,
          distance_m * sin_obliquity * sin_longitude};
}

double shadow_value(const Vec3& teme_position_m, Instant t) {
  const Vec3 sun = sun_position_eci(t);
  const Vec3 toward_sun = sun / norm(sun);
  const double along_sun_m = dot(teme_position_m, toward_sun);
  const double radius2_m2 = dot(teme_position_m, teme_position_m);
  // Behind the terminator plane the distance that matters is the one from the Earth–Sun axis.
  const double axis_distance_m = along_sun_m < 0.0
                                     ? std::sqrt(std::max(radius2_m2 - along_sun_m * along_sun_m, 0.0))
                                     : std::sqrt(radius2_m2);
  return kWgs84A_m - axis_distance_m;
}

std::expected<double, Error> shadow_value(const Predictor& predictor, Instant t) {
  const auto teme = predictor.propagate(t);
  if (!teme) return std::unexpected(teme.error());
  return shadow_value(teme->position_m, t);
}

std::expected<IlluminationState, Error> Predictor::illumination_state(Instant t) const {
  const auto shadow_m = shadow_value(*this, t);
  if (!shadow_m) return std::unexpected(shadow_m.error());
  // A NaN depth counts as shadow: never claim sunlight we cannot show.
  return *shadow_m < 0.0 ? IlluminationState::Sunlit : IlluminationState::Eclipse;
}

SampleResult ShadowFunction::sample(Instant t) const {
  const auto shadow_m = shadow_value(predictor, t);
  if (!shadow_m) return std::unexpected(shadow_m.error());
  return EventSample{*shadow_m, std::nullopt, t};
}

namespace {

void report_window(const IlluminationWindow& window) {
  if (auto* sink = diagnostics::active_sink()) {
    const std::string_view state = window.state == IlluminationState::Sunlit ? "Sunlit" : "Eclipse";
    diagnostics::send(*sink, "satvane::illumination", "illumination window",
                      {{"state", state}, {"start", window.start}, {"end", window.end}});
  }
}

}  // namespace

// Eclipses are the positive windows; the gaps between them, yielded too, are the sunlit windows.
IlluminationIter::IlluminationIter(const Predictor& predictor, TimeInterval interval,
                                   const IlluminationIterOpts& opts, const Refinement& refinement)
    : windows_(*window_iter_builder()
                    .function(ShadowFunction{predictor})
                    .step_strategy(FixedStep{std::max(opts.step, Duration::seconds(1))})
                    .refinement(refinement)
                    .walk_step(opts.walk_step)
                    .max_window_duration(opts.max_window_duration)
                    .windows_only(false)
                    .skip_leading_partial(false)
                    .clamp_to_interval(true)
                    .interval(interval.start, interval.end)
                    .build()) {}  // cannot fail: the interval is set

std::optional<IlluminationItem> IlluminationIter::next() {
  auto item = windows_.next();
  if (!item) return std::nullopt;
  if (!*item) return std::unexpected(std::move(item->error()));
  const IlluminationWindow window{(*item)->start, (*item)->end,
                                  (*item)->positive ? IlluminationState::Eclipse : IlluminationState::Sunlit};
  report_window(window);
  return window;
}

IlluminationIter illumination_iter_with_opts(const Predictor& predictor, TimeInterval interval,
                                             const IlluminationIterOpts& opts) {
  return IlluminationIter(predictor, interval, opts, predictor.refinement());
}

}  // namespace satvane
