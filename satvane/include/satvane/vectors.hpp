// Position records and frame-tagged state vectors.
#pragma once

#include <cmath>

namespace satvane {

// Angle units: the records below hold degrees, the arithmetic on them works in radians.
inline constexpr double kDegToRad = 0.017453292519943295;
inline constexpr double kRadToDeg = 57.29577951308232;
inline constexpr double kTwoPi = 6.283185307179586;

// Latitude and longitude in degrees (no altitude).
struct LatLon {
  double latitude_deg = 0.0;
  double longitude_deg = 0.0;
  friend bool operator==(const LatLon&, const LatLon&) = default;
};

// Geodetic latitude and longitude in degrees, altitude in metres above the WGS84 ellipsoid.
struct GeodeticPoint {
  double latitude_deg = 0.0;
  double longitude_deg = 0.0;
  double altitude_m = 0.0;
  friend bool operator==(const GeodeticPoint&, const GeodeticPoint&) = default;
};

// A Cartesian triple; the unit belongs to whoever holds it (metres, metres per second, or none).
struct Vec3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  friend constexpr Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
  friend constexpr Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
  friend constexpr Vec3 operator*(const Vec3& a, double k) { return {a.x * k, a.y * k, a.z * k}; }
  friend constexpr Vec3 operator/(const Vec3& a, double k) { return {a.x / k, a.y / k, a.z / k}; }
  friend constexpr Vec3 operator-(const Vec3& a) { return {-a.x, -a.y, -a.z}; }
  friend bool operator==(const Vec3&, const Vec3&) = default;
};

constexpr double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
constexpr Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double norm(const Vec3& a) { return std::sqrt(dot(a, a)); }

// Frame tags: no data, they only keep states of different frames apart at compile time.
struct Teme {};  // True Equator Mean Equinox, the SGP4 output frame
struct Ecef {};  // Earth-centred Earth-fixed, z toward the north pole, x through Greenwich
struct Enu {};   // East-North-Up of a ground observer, origin at the observer
struct Lvlh {};  // Z to the Earth's centre, Y along the negative orbit normal, X = Y × Z

template <class Frame>
struct StateVector {
  Vec3 position_m;
  Vec3 velocity_m_s;
  friend bool operator==(const StateVector&, const StateVector&) = default;
};

}  // namespace satvane
