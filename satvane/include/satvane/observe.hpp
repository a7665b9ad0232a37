// What a ground observer sees of a satellite, and where a ground target lies as seen from it.
#pragma once

#include "satvane/vectors.hpp"

namespace satvane {

struct Observation {
  double azimuth_rad = 0.0;    // from north toward east, in (-π, π]
  double elevation_rad = 0.0;  // above the observer's horizon plane
  double range_m = 0.0;
  double range_rate_m_s = 0.0;  // positive when the distance grows
  friend bool operator==(const Observation&, const Observation&) = default;
};

struct ElevationAndRate {
  double elevation_rad = 0.0;
  double rate_rad_s = 0.0;
};

// The satellite's view of a target.
struct Pointing {
  Vec3 direction;  // unit vector satellite → target in LVLH; zero when the range is zero
  double range_m = 0.0;
  double range_rate_m_s = 0.0;  // positive receding
  friend bool operator==(const Pointing&, const Pointing&) = default;
};

// Below this range there is no direction to report.
inline constexpr double kZeroRange_m = 1e-9;

// At zero range (observer at the satellite) there is no line of sight: the observation is then
// all zeros rather than the NaNs the formulas would give.
Observation to_observation(const StateVector<Enu>& enu);

// Elevation by atan2 (exact at the zenith, where the rate is 0); the transit searches step on it.
ElevationAndRate elevation_and_rate(const StateVector<Enu>& enu);

Pointing to_pointing(const StateVector<Lvlh>& lvlh);

// Angle between a direction and geocentric nadir (LVLH +Z), degrees; 0 for the zero direction.
double off_nadir_deg(const Vec3& direction);

}  // namespace satvane
