// Independent reference computations for the frame tests: explicit rotation matrices and an
// iterative geodetic inverse, written without reusing the library's formulas.
#pragma once

#include <array>
#include <cmath>

#include "satvane/vectors.hpp"

namespace reference {

using Matrix = std::array<std::array<double, 3>, 3>;

inline satvane::Vec3 apply(const Matrix& m, const satvane::Vec3& v) {
  return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
          m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

// Passive rotation about z by angle (frame rotated, vector fixed).
inline Matrix rotation_z(double angle_rad) {
  const double c = std::cos(angle_rad), s = std::sin(angle_rad);
  return {{{c, s, 0}, {-s, c, 0}, {0, 0, 1}}};
}

// Rows: east, north, up unit vectors of a geodetic observer, in ECEF.
inline Matrix ecef_to_enu_matrix(double latitude_rad, double longitude_rad) {
  const double sl = std::sin(latitude_rad), cl = std::cos(latitude_rad);
  const double so = std::sin(longitude_rad), co = std::cos(longitude_rad);
  return {{{-so, co, 0}, {-sl * co, -sl * so, cl}, {cl * co, cl * so, sl}}};
}

constexpr double kA = 6378137.0;
constexpr double kF = 1.0 / 298.257223563;
constexpr double kB = kA * (1.0 - kF);
constexpr double kE2 = kF * (2.0 - kF);
constexpr double kEarthRotation = 7.292115e-05;
constexpr double kPi = 3.14159265358979323846;

inline satvane::Vec3 ecef_of(double latitude_deg, double longitude_deg, double altitude_m) {
  const double lat = latitude_deg * kPi / 180.0, lon = longitude_deg * kPi / 180.0;
  const double n = kA / std::sqrt(1.0 - kE2 * std::sin(lat) * std::sin(lat));
  return {(n + altitude_m) * std::cos(lat) * std::cos(lon), (n + altitude_m) * std::cos(lat) * std::sin(lon),
          (n * (1.0 - kE2) + altitude_m) * std::sin(lat)};
}

// Bowring's iteration on the parametric latitude; returns degrees, degrees, metres.
inline satvane::GeodeticPoint bowring_geodetic(const satvane::Vec3& r) {
  const double p = std::hypot(r.x, r.y);
  const double ep2 = (kA * kA - kB * kB) / (kB * kB);
  double beta = std::atan2(r.z * kA, p * kB);
  double lat = 0.0;
  for (int i = 0; i < 10; ++i) {
    lat = std::atan2(r.z + ep2 * kB * std::pow(std::sin(beta), 3), p - kE2 * kA * std::pow(std::cos(beta), 3));
    beta = std::atan2((1.0 - kF) * std::sin(lat), std::cos(lat));
  }
  const double n = kA / std::sqrt(1.0 - kE2 * std::sin(lat) * std::sin(lat));
  // Height along the normal, well conditioned at every latitude.
  const double h = p * std::cos(lat) + r.z * std::sin(lat) - kA * kA / n;
  return {lat * 180.0 / kPi, std::atan2(r.y, r.x) * 180.0 / kPi, h};
}

}  // namespace reference
