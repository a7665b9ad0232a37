// Pieces shared by the area sources; not part of the public interface.
#pragma once

#include <cmath>
#include <expected>
#include <limits>
#include <numbers>
#include <string_view>

#include "satvane/area.hpp"

namespace satvane::area::detail {

inline constexpr double kPi = std::numbers::pi;
// Largest admissible radius of a cap (and of a polygon's bounding cap): just short of a
// hemisphere, so that "inside" never becomes ambiguous.
inline constexpr double kMaxCapRadius = 1.5707963257948965;  // π/2 − 1e-9
// Offsets closer to the boundary than this are reported as exactly 0.
inline constexpr double kOnBoundary = 1e-15;
inline constexpr double kSmallestNormal = std::numeric_limits<double>::min();
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A query point must be a real position; anything else has no offset.
inline bool is_valid_point(LatLon point) {
  return std::fabs(point.latitude_deg) <= 90.0 && std::isfinite(point.longitude_deg);
}

// Longitude in (-360, 360) on the same meridian. Whole turns are removed in degrees, where
// fmod is exact, so that 540° and 180° (or 1e20° and its remainder) give the same meridian
// everywhere, whatever a later radian reduction would round to.
inline double reduced_longitude_deg(double longitude_deg) {
  return std::fmod(longitude_deg, 360.0);
}

// Unit vector of a latitude and longitude in radians.
inline Vec3 unit_vector_rad(double lat, double lon) {
  const double cos_lat = std::cos(lat);
  return {cos_lat * std::cos(lon), cos_lat * std::sin(lon), std::sin(lat)};
}

// Latitude in radians, or the Latitude error (NaN fails too).
[[nodiscard]] inline std::expected<double, Error> checked_latitude(double latitude_deg) {
  if (!(std::fabs(latitude_deg) <= 90.0)) return std::unexpected(LatitudeOutOfRange{latitude_deg});
  return latitude_deg * kDegToRad;
}

// `what` names the value in the NotFinite error; it must outlive the error (a literal).
[[nodiscard]] inline std::expected<void, Error> check_finite(std::string_view what, double value) {
  if (!std::isfinite(value)) return std::unexpected(NotFinite{what, value});
  return {};
}

// A real position: the Latitude error first, then NotFinite under `longitude_what`.
[[nodiscard]] inline std::expected<void, Error> check_position(LatLon point, std::string_view longitude_what) {
  if (auto lat = checked_latitude(point.latitude_deg); !lat) return std::unexpected(lat.error());
  return check_finite(longitude_what, point.longitude_deg);
}

inline double squared_distance(const Vec3& a, const Vec3& b) {
  const Vec3 d = a - b;
  return dot(d, d);
}

inline Vec3 normalized(const Vec3& v) { return v / norm(v); }

// Angle from p to the plane through the origin with unit normal n.
inline double angle_to_plane(const Vec3& p, const Vec3& n) {
  const double s = dot(p, n);
  return std::atan2(std::fabs(s), norm(p - n * s));
}

// Index of the vector nearest to p; chord length orders points as the angle does.
template <class Range>
std::size_t nearest_index(const Vec3& p, const Range& points) {
  std::size_t best = 0;
  double best_chord2 = kInfinity;
  for (std::size_t i = 0; i < std::size(points); ++i) {
    const double chord2 = squared_distance(p, points[i]);
    if (chord2 < best_chord2) {
      best_chord2 = chord2;
      best = i;
    }
  }
  return best;
}

}  // namespace satvane::area::detail
