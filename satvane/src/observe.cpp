#include "satvane/observe.hpp"

#include <cmath>

namespace satvane {

Observation to_observation(const StateVector<Enu>& enu) {
  const auto [e, n, u] = enu.position_m;
  const auto [ve, vn, vu] = enu.velocity_m_s;
  const double range_m = std::sqrt(u * u + (n * n + e * e));
  if (range_m < kZeroRange_m) return {};
  return {std::atan2(e, n), std::asin(u / range_m), range_m, (vu * u + (vn * n + ve * e)) / range_m};
}

ElevationAndRate elevation_and_rate(const StateVector<Enu>& enu) {
  const auto [e, n, u] = enu.position_m;
  const auto [ve, vn, vu] = enu.velocity_m_s;
  const double horizontal2_m2 = e * e + n * n;
  const double horizontal_m = std::sqrt(horizontal2_m2);
  const double elevation_rad = std::atan2(u, horizontal_m);
  if (!(horizontal_m > 1e-12)) return {elevation_rad, 0.0};  // at the zenith
  const double rate_rad_s =
      (vu * horizontal2_m2 - u * (e * ve + n * vn)) / (horizontal_m * (horizontal2_m2 + u * u));
  return {elevation_rad, rate_rad_s};
}

Pointing to_pointing(const StateVector<Lvlh>& lvlh) {
  const Vec3& p = lvlh.position_m;
  const Vec3& q = lvlh.velocity_m_s;
  const double range_m = std::sqrt(p.z * p.z + (p.y * p.y + p.x * p.x));
  if (range_m < kZeroRange_m) return {};
  return {p / range_m, range_m, (p.x * q.x + p.y * q.y + p.z * q.z) / range_m};
}

double off_nadir_deg(const Vec3& direction) {
  return std::atan2(std::sqrt(direction.x * direction.x + direction.y * direction.y), direction.z) * kRadToDeg;
}

}  // namespace satvane
