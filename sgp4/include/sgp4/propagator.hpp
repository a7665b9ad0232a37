// SGP4/SDP4 propagation (Hoots & Roehrich 1980, with the corrections of Vallado et al. 2006).
//
// Sources: F. R. Hoots and R. L. Roehrich, "Models for Propagation of NORAD Element Sets",
// Spacetrack Report No. 3 (1980); D. A. Vallado, P. Crawford, R. Hujsak and T. S. Kelso,
// "Revisiting Spacetrack Report #3", AIAA 2006-6753 (doi:10.2514/6.2006-6753).
//
// Accuracy of this implementation (largest position difference over every state listed, as
// checked by tests/cpp/test_sgp4_verification.cpp, which holds it to 1e-6 km): in Afspc72 mode
// 1.2e-7 km from the verification listing of Vallado et al. (tests/data/tcppver.out); in
// Standard mode 4.3e-10 km from python-sgp4's WGS84 mode (tests/data/sgp4_wgs84_reference.txt).
// The model itself, against precise orbits, is commonly quoted at about 1 km at epoch growing
// by 1-3 km per day (Vallado et al. 2006).
//
// Operation order: the operations follow the reference implementation's order, so states agree with
// python-sgp4 (WGS84) to about 1e-11 km when both are given the same element values and epoch.
// Four sines and cosines are taken from ones already known instead (the argument of latitude
// and the inclination after their short-period corrections, the small Newton steps of Kepler's
// equation, the drag-shifted mean anomaly), which moves the last bits; where that makes
// Kepler's iteration stop one step earlier or later, within its 1e-12 rad tolerance, states
// move by up to about 2e-8 km (a Molniya orbit, once in 240000 states).
//
// Limit, retrograde equatorial deep-space orbits: within about 1e-4 degrees of 180 degrees
// inclination the model itself is ill-conditioned. The lunar-solar node periodic is divided
// by sin(i), and the long-period term xlcof by 1 + cos(i) (held at 1.5e-12 there), so one unit
// in the last place of the perturbed inclination moves the position by (measured, e = 0.2,
// ten days out, about 45000 km radius): 1.5e-7 km at 179.99 degrees, 1e-4 km at 179.999,
// 0.15 km at 179.9999, 1.9 km at 179.99999, 0.4 to 0.6 km from 179.999999 to 180. Given the
// same inputs we still match python-sgp4 to 1.5e-11 km there (3000 random deep-space records
// within 1e-3 degrees of 180, and TLEs at 179.9999 and 180.0000). But inputs that differ by
// a rounding differ by kilometres: an epoch handed to python-sgp4's sgp4init as days since
// 1949-12-31 computed directly, rather than through the Julian date its TLE reader forms (they
// differ by up to 2e-10 days), moves states there by up to 2 km within ten days. Both readers
// here form the epoch as that TLE reader does; states near 180 degrees carry that uncertainty.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>

#include "sgp4/elements.hpp"

namespace sgp4 {

// Standard: WGS84 geopotential and the IAU sidereal time at epoch (what the library uses).
// Afspc72: WGS72 with the AFSPC-compatible sidereal time; only used to check this
// implementation against the published reference listing.
enum class Mode : std::uint8_t { Standard, Afspc72 };

struct ElementsError {
  enum class Kind : std::uint8_t {
    OutOfRangeEccentricity,
    NegativeKozaiMeanMotion,
    NegativeBrouwerMeanMotion,
    NonFiniteField,  // NaN or infinite: no state could follow from it
  };
  Kind kind;
  double eccentricity = 0.0;   // for OutOfRangeEccentricity
  const char* field = nullptr; // for NonFiniteField: the OMM key, "MEAN_MOTION"
  double value = 0.0;          // for NonFiniteField

  std::string text() const;
};

struct PropagationError {
  enum class Kind : std::uint8_t {
    EccentricityBeforePerturbations,
    EccentricityAfterPerturbations,
    NegativeSemiLatusRectum,
    // The model overflowed or divided by zero (a mean motion driven below zero by the
    // resonance, a near-parabolic orbit, absurd drag): never handed out as a state.
    NonFiniteState,
  };
  Kind kind;
  double eccentricity = 0.0;  // for the two eccentricity kinds
  double minutes = 0.0;       // propagation time of the failing call

  std::string text() const;
};

// TEME position (km) and velocity (km/s).
struct Prediction {
  std::array<double, 3> position_km;
  std::array<double, 3> velocity_km_s;
};

namespace detail {

// Earth model in the propagator's canonical units (earth radii, minutes).
struct Geopotential {
  double radius_km;
  double ke;  // sqrt(mu) in earth radii^1.5 per minute
  double j2;
  double j3_over_j2;
  double j4;
};

// Epoch mean elements in radians and radians per minute.
struct EpochElements {
  double inclination;
  double right_ascension;
  double eccentricity;
  double argument_of_perigee;
  double mean_anomaly;
  double kozai_mean_motion;
  double brouwer_mean_motion;  // "un-Kozai'd" mean motion used by the model
  double drag_term;
};

// Secular gravity rates and the atmospheric drag coefficients (C1..C5, D2..D4 of the model).
struct SecularTerms {
  double mean_anomaly_rate;    // mdot
  double perigee_rate;         // argpdot
  double node_rate;            // nodedot
  double node_drag;            // nodecf
  double c1;
  double bstar_c4;             // bstar * C4
  double t2cof;
  // Only with the full drag model (perigee above 220 km, near earth).
  bool full_drag;
  double bstar_c5;             // bstar * C5
  double d2, d3, d4;
  double t3cof, t4cof, t5cof;
  double omgcof, xmcof;
  double eta, delmo, sin_mean_anomaly;
};

// Inclination functions of the short-period and long-period terms. Constant near earth;
// deep space recomputes them from the perturbed inclination at every call.
struct InclinationTerms {
  double sin_inclination;
  double cos_inclination;
  double con41;   // 3 cos^2 i - 1
  double x1mth2;  // 1 - cos^2 i
  double x7thm1;  // 7 cos^2 i - 1
  double xlcof;
  double aycof;
};

// Lunar or solar long-period periodic coefficients (dpper).
struct PeriodicCoefficients {
  double e2, e3, i2, i3, l2, l3, l4, gh2, gh3, gh4, h2, h3;
};

struct LunarSolarTerms {
  PeriodicCoefficients sun;
  PeriodicCoefficients moon;
  double sun_mean_anomaly;   // zmos
  double moon_mean_anomaly;  // zmol
};

// Lunar-solar secular rates of the mean elements (per minute).
struct ThirdBodyRates {
  double eccentricity;     // dedt
  double inclination;      // didt
  double mean_anomaly;     // dmdt
  double node;             // dnodt
  double perigee;          // domdt
};

enum class Resonance : std::uint8_t { None, OneDay, HalfDay };

// State of the resonance integrator (mean longitude, mean motion and their rates) at one of
// its 720-minute steps from the epoch.
struct ResonanceState {
  double xli, xni, xndt, xnddt;
};

// Geopotential resonance terms of 12 h and 24 h orbits, integrated numerically. Everything the
// integrator reads is here, so a copy integrates on its own (see ResonanceSteps).
struct ResonanceTerms {
  Resonance kind;
  double d2201, d2211, d3210, d3222, d4410, d4422, d5220, d5232, d5421, d5433;  // half day
  double del1, del2, del3;                                                      // one day
  double xfact;
  double xlamo;
  double perigee_at_epoch;     // argpo
  double perigee_rate;         // argpdot
  double epoch_mean_motion;    // Brouwer mean motion at epoch
};

struct DeepSpaceTerms {
  LunarSolarTerms lunar_solar;
  ThirdBodyRates rates;
  ResonanceTerms resonance;
};

}  // namespace detail

// The integrator states of a 12 h or 24 h resonant orbit at every 720-minute step between
// the epoch and the farthest time propagated so far, grown on demand (resonance_steps.hpp).
// With them a propagation costs the same at ten years as at the epoch, and gives the same bits
// as integrating from the epoch: each stored state is the one that integration reaches.
class ResonanceSteps;

// Propagator constants computed once from an element record. Plain value, cheap to copy;
// propagation allocates nothing (a ResonanceSteps store allocates only while it grows).
class Constants {
 public:
  [[nodiscard]] static std::expected<Constants, ElementsError> from_elements(const Elements& elements,
                                                                            Mode mode = Mode::Standard);

  // Without `steps`, a resonant orbit is integrated from the epoch on every call: 720-minute
  // steps, so the cost grows with the distance from the epoch (about 50 ns a step). With the
  // steps made by resonance_steps() for these constants, it starts from the stored step
  // (integrating and storing the ones not yet reached). Either way the result is the same.
  [[nodiscard]] std::expected<Prediction, PropagationError> propagate(double minutes_since_epoch,
                                                                      const ResonanceSteps* steps = nullptr) const;

  // A new, empty store of integrator steps for these constants, to be shared by everything
  // that propagates them; null when the orbit has no resonance terms. Safe to use from any
  // number of threads at once.
  std::shared_ptr<const ResonanceSteps> resonance_steps() const;

  // Periods of 225 minutes and more use the deep-space (SDP4) terms.
  bool is_deep_space() const { return deep_space_; }
  // Epoch as days since 1949-12-31 00:00 UTC, the model's own time origin.
  double epoch_days_since_1950() const { return epoch_days_since_1950_; }
  // Greenwich sidereal angle at epoch.
  double sidereal_time_at_epoch_rad() const { return sidereal_time_at_epoch_rad_; }

 private:
  bool deep_space_ = false;
  double epoch_days_since_1950_ = 0.0;
  double sidereal_time_at_epoch_rad_ = 0.0;
  detail::Geopotential geopotential_{};
  detail::EpochElements elements_{};
  detail::SecularTerms secular_{};
  detail::InclinationTerms epoch_inclination_{};
  double semi_major_axis_factor_ = 0.0;  // (ke / n)^(2/3) at the epoch mean motion
  detail::DeepSpaceTerms deep_{};
};

}  // namespace sgp4
