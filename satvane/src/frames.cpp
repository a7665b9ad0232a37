#include "satvane/frames.hpp"

#include <cmath>

// The operation order below is deliberate: every result must be bit-identical across builds
// (-ffp-contract=off) and match the reference arithmetic exactly, so do not "simplify" it.
namespace satvane {
namespace {

struct Rotation {
  double cos_theta;
  double sin_theta;
};

Rotation earth_rotation(Instant t) {
  const double theta = sidereal_angle_rad(t);
  return {std::cos(theta), std::sin(theta)};
}

}  // namespace

double seconds_into_day(double seconds) {
  constexpr double kDay_s = 86400.0;
  // libm's fmod is slow and this runs once per sample, so below 2^52 s the remainder is taken
  // by hand, with the same bits. The truncated quotient is exact: the largest double below
  // k·86400, divided by 86400, stays more than half an ulp below k, so the division never
  // rounds up to a whole day. Then q·86400 is an exact integer and s - q·86400, smaller than
  // a day in units of ulp(s), is exact too.
  const double remainder = std::abs(seconds) < 4503599627370496.0
                               ? seconds - std::trunc(seconds / kDay_s) * kDay_s
                               : std::fmod(seconds, kDay_s);  // also NaN and infinities
  // fmod(remainder + day, day): the sum lies in [0, 2 days] (it may round up to 2 days).
  const double shifted = remainder + kDay_s;
  if (shifted >= 2.0 * kDay_s) return 0.0;
  return shifted >= kDay_s ? shifted - kDay_s : shifted;
}

double sidereal_angle_rad(Instant t) {
  const double seconds = datetime_to_f64(t);
  // Julian centuries since J2000.
  const double T = ((seconds / 86400.0 + kJulianDateUnixEpoch) - kJulianDateJ2000) / 36525.0;
  const double gmst_s = 3164400184.812866 * T + 67310.54841 + 0.093104 * T * T - 6.2e-06 * T * T * T;
  return seconds_into_day(gmst_s) * kTwoPi / 86400.0;
}

StateVector<Ecef> to_ecef(const StateVector<Teme>& teme, Instant t) {
  const auto [c, s] = earth_rotation(t);
  const Vec3& r = teme.position_m;
  const Vec3& v = teme.velocity_m_s;
  const double x = c * r.x + s * r.y;
  const double y = -s * r.x + c * r.y;
  // Rotated velocity minus ω × r'.
  const double vx = c * v.x + s * v.y + kEarthRotation_rad_s * y;
  const double vy = -s * v.x + c * v.y - kEarthRotation_rad_s * x;
  return {{x, y, r.z}, {vx, vy, v.z}};
}

StateVector<Teme> to_teme(const StateVector<Ecef>& ecef, Instant t) {
  const auto [c, s] = earth_rotation(t);
  const Vec3& r = ecef.position_m;
  const Vec3& v = ecef.velocity_m_s;
  const double x = c * r.x - s * r.y;
  const double y = s * r.x + c * r.y;
  // Undo the Earth's rotation before rotating back: w = v' + ω × r'.
  const double wx = v.x - kEarthRotation_rad_s * r.y;
  const double wy = v.y + kEarthRotation_rad_s * r.x;
  const double vx = c * wx - s * wy;
  const double vy = s * wx + c * wy;
  return {{x, y, r.z}, {vx, vy, v.z}};
}

GeodeticPoint geodetic_from_ecef(double x_m, double y_m, double z_m) {
  const double x2_plus_y2 = x_m * x_m + y_m * y_m;
  const double p = x2_plus_y2 / kWgs84A2_m2;
  const double q = kWgs84OneMinusE2 * (z_m * z_m) / kWgs84A2_m2;
  const double r = (p + q - kWgs84E4) / 6.0;
  // Also true near the centre, where the closed form below divides by zero.
  if (r <= 0.0) return {0.0, 0.0, -kWgs84A_m};

  const double s = kWgs84E4 * p * q / (4.0 * (r * r * r));
  const double t = std::cbrt(1.0 + s + std::sqrt(s * (2.0 + s)));
  const double u = r * (1.0 + t + 1.0 / t);
  const double v = std::sqrt(u * u + kWgs84E4 * q);
  const double w = kWgs84E2 * (u + v - q) / (2.0 * v);
  const double k = std::sqrt(u + v + w * w) - w;
  const double d = k * std::sqrt(x2_plus_y2) / (k + kWgs84E2);
  const double d_z_norm = std::sqrt(d * d + z_m * z_m);

  const double latitude_rad = 2.0 * std::atan2(z_m, d + d_z_norm);
  const double longitude_rad = std::atan2(y_m, x_m);
  const double altitude_m = (k + kWgs84E2 - 1.0) / k * d_z_norm;
  return {latitude_rad * kRadToDeg, longitude_rad * kRadToDeg, altitude_m};
}

GeodeticPoint to_geodetic(const StateVector<Ecef>& ecef) {
  const Vec3& r = ecef.position_m;
  return geodetic_from_ecef(r.x, r.y, r.z);
}

StateVector<Ecef> to_ecef(const GeodeticPoint& point) { return {EnuFrame::of(point).origin_m, {}}; }

EnuFrame EnuFrame::of(const GeodeticPoint& observer) {
  const double lat = observer.latitude_deg * kDegToRad;
  const double lon = observer.longitude_deg * kDegToRad;
  EnuFrame frame{{}, std::sin(lat), std::cos(lat), std::sin(lon), std::cos(lon)};
  const double n = kWgs84A_m / std::sqrt(1.0 - kWgs84E2 * (frame.sin_lat * frame.sin_lat));
  const double h = observer.altitude_m;
  frame.origin_m = {(n + h) * frame.cos_lat * frame.cos_lon, (n + h) * frame.cos_lat * frame.sin_lon,
                    (n * kWgs84OneMinusE2 + h) * frame.sin_lat};
  return frame;
}

StateVector<Enu> to_enu(const StateVector<Ecef>& ecef, const GeodeticPoint& observer) {
  return to_enu(ecef, EnuFrame::of(observer));
}

StateVector<Enu> to_enu(const StateVector<Ecef>& ecef, const EnuFrame& f) {
  // The observer does not move in ECEF, so the relative velocity is the satellite's.
  const auto rotate = [&f](const Vec3& d) -> Vec3 {
    return {-f.sin_lon * d.x + f.cos_lon * d.y,
            -f.sin_lat * f.cos_lon * d.x - f.sin_lat * f.sin_lon * d.y + f.cos_lat * d.z,
            f.cos_lat * f.cos_lon * d.x + f.cos_lat * f.sin_lon * d.y + f.sin_lat * d.z};
  };
  return {rotate(ecef.position_m - f.origin_m), rotate(ecef.velocity_m_s)};
}

StateVector<Lvlh> to_lvlh(const StateVector<Teme>& satellite, const StateVector<Teme>& target) {
  const Vec3& r = satellite.position_m;
  const Vec3 z_axis = -r / norm(r);
  const Vec3 h = cross(r, satellite.velocity_m_s);
  const Vec3 y_axis = -h / norm(h);
  const Vec3 x_axis = cross(y_axis, z_axis);
  const auto resolve = [&](const Vec3& d) -> Vec3 {
    return {dot(d, x_axis), dot(d, y_axis), dot(d, z_axis)};
  };
  return {resolve(target.position_m - r), resolve(target.velocity_m_s - satellite.velocity_m_s)};
}

}  // namespace satvane
