// Conversions between TEME, ECEF, geodetic, ENU and LVLH. Every function is pure arithmetic on
// its arguments and allocates nothing: each runs once per sample inside every search.
//
// TEME to ECEF is one rotation by the Greenwich mean sidereal angle of the IAU 1982 expression
// (S. Aoki et al., "The new definition of universal time", Astron. Astrophys. 105, 359-361,
// 1982), with UTC standing in for UT1 and without polar motion, as SGP4's output frame is
// defined in Vallado et al., AIAA 2006-6753. Accuracy against a full reduction (Skyfield with
// UT1 - UTC, polar motion and the equation of the equinoxes) of the same TEME states of a LEO,
// a Molniya and a GPS orbit at 1200 random instants of 2000-2024 (bench/accuracy_vs_skyfield.py):
// sub-satellite point within 303 m along the ground (|UT1 - UTC| up to 0.9 s turns the Earth by
// up to 420 m at the equator), its altitude within 0.3 µm, elevation seen from Paris within
// 0.0033°, range within 194 m.
#pragma once

#include "satvane/time.hpp"
#include "satvane/vectors.hpp"

namespace satvane {

// WGS84 and the Earth's rotation.
inline constexpr double kWgs84A_m = 6378137.0;
inline constexpr double kWgs84A2_m2 = 40680631590769.0;
inline constexpr double kWgs84E2 = 0.0066943799901413165;
inline constexpr double kWgs84OneMinusE2 = 0.9933056200098587;
inline constexpr double kWgs84E4 = 4.481472345240445e-05;
inline constexpr double kEarthRotation_rad_s = 7.292115e-05;

inline constexpr double kJulianDateUnixEpoch = 2440587.5;
inline constexpr double kJulianDateJ2000 = 2451545.0;

// fmod(fmod(s, 86400) + 86400, 86400), bit for bit, in [0, 86400).
double seconds_into_day(double seconds);

// Greenwich mean sidereal angle (IAU 1982, UTC standing in for UT1), in [0, 2π). The propagator
// (sgp4) keeps its own form of the same expression, on the Julian date of the epoch, because
// each must match its reference bit for bit.
double sidereal_angle_rad(Instant t);

// TEME and ECEF differ by one rotation about z; the ECEF velocity is relative to the rotating Earth.
StateVector<Ecef> to_ecef(const StateVector<Teme>& teme, Instant t);
StateVector<Teme> to_teme(const StateVector<Ecef>& ecef, Instant t);

// Closed-form inverse: H. Vermeille, "Direct transformation from geocentric coordinates to
// geodetic coordinates", J. Geodesy 76, 451-454 (2002), doi:10.1007/s00190-002-0273-6.
// A round trip geodetic -> ECEF -> geodetic of 2 million random points with altitudes from
// -10 km to 100000 km comes back within 4e-9 m horizontally and 5e-8 m in altitude; the tests
// hold it to 1e-9° and 0.1 mm, and to Bowring's iteration within 1e-8° and 1 mm from LEO
// to GEO. Points within about 43 km of the Earth's centre have no meaningful geodetic position
// and give (0°, 0°, -6378137 m).
GeodeticPoint geodetic_from_ecef(double x_m, double y_m, double z_m);
GeodeticPoint to_geodetic(const StateVector<Ecef>& ecef);  // velocity ignored
// A point fixed to the Earth: zero ECEF velocity.
StateVector<Ecef> to_ecef(const GeodeticPoint& point);

// A ground observer's ENU axes and ECEF origin, computed once: searches that look from one
// observer at many instants build it once instead of redoing its trigonometry per sample.
struct EnuFrame {
  Vec3 origin_m;
  double sin_lat, cos_lat, sin_lon, cos_lon;
  static EnuFrame of(const GeodeticPoint& observer);
};

// Position and velocity of `ecef` relative to a ground observer, in the observer's ENU axes.
// Both overloads give identical bits.
StateVector<Enu> to_enu(const StateVector<Ecef>& ecef, const GeodeticPoint& observer);
StateVector<Enu> to_enu(const StateVector<Ecef>& ecef, const EnuFrame& observer);

// `target` relative to `satellite`, resolved on the satellite's LVLH axes. The velocity is the
// inertial relative velocity on those axes (Doppler-correct), not the derivative of the position.
// Undefined numbers for a satellite at the Earth's centre or moving along its radius vector.
StateVector<Lvlh> to_lvlh(const StateVector<Teme>& satellite, const StateVector<Teme>& target);

}  // namespace satvane
