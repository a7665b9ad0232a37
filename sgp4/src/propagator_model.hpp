// Pieces of the SGP4/SDP4 model shared between the near-earth and deep-space sources.
#pragma once

#include <numbers>

#include "sgp4/propagator.hpp"

namespace sgp4::detail {

inline constexpr double pi = std::numbers::pi;
inline constexpr double two_pi = 2.0 * std::numbers::pi;
inline constexpr double two_thirds = 2.0 / 3.0;

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
// node, perigee, mean anomaly).
void apply_lunar_solar_periodics(const LunarSolarTerms& terms, double minutes, MeanElements& mean);

}  // namespace sgp4::detail
