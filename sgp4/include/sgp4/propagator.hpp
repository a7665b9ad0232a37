// SGP4/SDP4 propagation (Hoots & Roehrich 1980, with the corrections of Vallado et al. 2006).
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <string>

#include "sgp4/elements.hpp"

namespace sgp4 {

// Standard: WGS84 geopotential and the IAU sidereal time at epoch (what the library uses).
// Afspc72: WGS72 with the AFSPC-compatible sidereal time and epoch handling; only used to
// check this implementation against the published reference outputs.
enum class Mode : std::uint8_t { Standard, Afspc72 };

struct ElementsError {
  enum class Kind : std::uint8_t { OutOfRangeEccentricity, NegativeKozaiMeanMotion, NegativeBrouwerMeanMotion };
  Kind kind;
  double eccentricity = 0.0;  // for OutOfRangeEccentricity

  std::string text() const;
};

struct PropagationError {
  enum class Kind : std::uint8_t {
    EccentricityBeforePerturbations,
    EccentricityAfterPerturbations,
    NegativeSemiLatusRectum,
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

// Propagator constants computed once from an element record. Plain value, cheap to copy,
// propagation allocates nothing.
class Constants {
 public:
  static std::expected<Constants, ElementsError> from_elements(const Elements& elements,
                                                              Mode mode = Mode::Standard);

  std::expected<Prediction, PropagationError> propagate(double minutes_since_epoch) const;
 private:
  // The propagator's own state (near-earth and deep-space terms) lives here by value.
};

}  // namespace sgp4
