#include "satvane/illumination.hpp"

#include <algorithm>
#include <cmath>

#include "satvane/frames.hpp"
#include "satvane/predictor.hpp"

namespace satvane {

Vec3 sun_position_eci(Instant t) {
  // Days since J2000.0, UTC throughout. No angle is reduced: sin/cos take the raw values.
  const double days = datetime_to_f64(t) / 86400.0 + kJulianDateUnixEpoch - kJulianDateJ2000;
  const double mean_anomaly_rad = (357.528 + 0.9856003 * days) * kDegToRad;
  const double mean_longitude_deg = 280.46 + 0.9856474 * days;
  const double ecliptic_longitude_rad =
      (mean_longitude_deg + 1.915 * std::sin(mean_anomaly_rad) + 0.02 * std::sin(2.0 * mean_anomaly_rad)) *
      kDegToRad;
  const double obliquity_rad = (23.439 - 0.0000004 * days) * kDegToRad;
  const double distance_m =
      (1.00014 - 0.01671 * std::cos(mean_anomaly_rad) - 0.00014 * std::cos(2.0 * mean_anomaly_rad)) *
      kAstronomicalUnit_m;
  const double sin_longitude = std::sin(ecliptic_longitude_rad);
  return {distance_m * std::cos(ecliptic_longitude_rad), distance_m * std::cos(obliquity_rad) * sin_longitude,
          distance_m * std::sin(obliquity_rad) * sin_longitude};
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

}  // namespace satvane
