// Pieces of the SGP4/SDP4 model shared between the near-earth and deep-space sources.
#pragma once

#include <cmath>
#include <numbers>

#include "sgp4/propagator.hpp"

namespace sgp4::detail {

inline constexpr double pi = std::numbers::pi;
inline constexpr double two_pi = 2.0 * std::numbers::pi;
inline constexpr double two_thirds = 2.0 / 3.0;

// std::fmod(angle, two_pi), the exact remainder, without the library call for the angles
// below 4 pi the model mostly has: subtracting 2 pi from a magnitude in [2 pi, 4 pi] is exact
// (Sterbenz), and so equals the remainder to the bit, the sign of a zero included.
inline double wrap_two_pi(double angle) {
  const double magnitude = std::fabs(angle);
  if (magnitude < two_pi) return angle;
  if (magnitude < 2.0 * two_pi) return angle > 0.0 ? angle - two_pi : -(magnitude - two_pi);
  return std::fmod(angle, two_pi);
}

struct SinCos {
  double sin;
  double cos;
};

inline SinCos sin_cos(double angle) { return {std::sin(angle), std::cos(angle)}; }

// Angles up to this size take their sine and cosine from the Taylor series below.
inline constexpr double small_angle = 1.0 / 64.0;

// sin and cos of `angle`: within small_angle from their Taylor series to the x^7 and x^6
// terms (the next terms are below 1e-19, so this is as exact as the library's result to a
// unit in the last place, at a fraction of its cost); otherwise from the library.
inline SinCos sin_cos_near_zero(double angle) {
  if (!(std::fabs(angle) <= small_angle)) return sin_cos(angle);
  const double a2 = angle * angle;
  return {angle + angle * a2 * (-1.0 / 6.0 + a2 * (1.0 / 120.0 - a2 * (1.0 / 5040.0))),
          1.0 + a2 * (-0.5 + a2 * (1.0 / 24.0 - a2 * (1.0 / 720.0)))};
}

// sin and cos of x + `angle` from those of x: the model's small corrections to an angle whose
// sine and cosine are already known cost a few multiplications instead of a library call.
inline SinCos rotated(SinCos x, double angle) {
  const SinCos d = sin_cos_near_zero(angle);
  return {x.sin * d.cos + x.cos * d.sin, x.cos * d.cos - x.sin * d.sin};
}

// Mean elements while they are being perturbed during one propagation (radians, rad/min).
struct MeanElements {
  double eccentricity;
  double inclination;
  double node;
  double perigee;
  double mean_anomaly;
  double mean_motion;
};

// Lunar and solar direction terms of one perturbing body, from which both its periodic
// and secular contributions follow (the s and z quantities of dscom).
struct BodyTerms {
  double s1, s2, s3, s4, s5, s6, s7;
  double z1, z2, z3, z11, z12, z13, z21, z22, z23, z31, z32, z33;
};

struct ThirdBodyGeometry {
  BodyTerms sun;
  BodyTerms moon;
  double sin_inclination;
  double cos_inclination;
  double eccentricity_sq;
  LunarSolarTerms lunar_solar;
};

// dscom: sun and moon geometry at epoch.
ThirdBodyGeometry third_body_geometry(double epoch_days_since_1950, const EpochElements& elements);

// dsinit: lunar-solar secular rates and the resonance terms.
struct DeepSpaceInit {
  ThirdBodyRates rates;
  ResonanceTerms resonance;
};
DeepSpaceInit deep_space_secular_init(const ThirdBodyGeometry& geometry, const EpochElements& elements,
                                      const SecularTerms& secular, double ke, double sidereal_time_rad);

// dspace: adds the lunar-solar secular drift and the integrated resonance to `mean`, starting
// from the stored resonance step when `steps` is given. `mean.mean_motion` must hold the epoch
// Brouwer mean motion on entry.
void apply_deep_space_secular(const DeepSpaceTerms& deep, const ResonanceSteps* steps, double sidereal_time_rad,
                              double minutes, MeanElements& mean);

// dpper: adds the lunar-solar long-period periodics to `mean` (eccentricity, inclination,
// node, perigee, mean anomaly). Returns the sine and cosine of the new inclination.
SinCos apply_lunar_solar_periodics(const LunarSolarTerms& terms, double minutes, MeanElements& mean);

}  // namespace sgp4::detail
