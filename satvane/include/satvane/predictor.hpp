// One satellite: its element record with the SGP4 constants computed once, and the point
// queries that follow from propagating it. A value: copy it freely and share it between
// threads. For a 12 h or 24 h resonant orbit (GEO, Molniya) the copies also share the store of
// resonance integrator steps (sgp4::ResonanceSteps): it grows on the first propagation past the
// farthest time reached so far, and lets every later one, at any distance from the epoch, cost
// what one at the epoch does, with the bits integration from the epoch gives. So results never
// depend on the order of calls, and the store is safe under concurrent use; once it covers the
// times asked for, propagation allocates nothing.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <string_view>

#include "satvane/error.hpp"
#include "satvane/observe.hpp"
#include "satvane/roots.hpp"
#include "satvane/time.hpp"
#include "satvane/vectors.hpp"
#include "sgp4/elements.hpp"
#include "sgp4/propagator.hpp"

namespace satvane {

// Declared here so that illumination.hpp, whose searches hold a Predictor, can include this header.
enum class IlluminationState : std::uint8_t;

class Predictor {
 public:
  // Fails with the Elements kind when SGP4 rejects the record.
  [[nodiscard]] static std::expected<Predictor, Error> create(const sgp4::Elements& elements);
  // `name` becomes the object name. Fails with the Tle or the Elements kind.
  [[nodiscard]] static std::expected<Predictor, Error> from_tle(std::string_view name, std::string_view line_1,
                                                                std::string_view line_2);

  const sgp4::Elements& elements() const { return elements_; }
  Instant epoch() const { return Instant(elements_.epoch); }
  const Refinement& refinement() const { return refinement_; }
  Predictor with_refinement(const Refinement& refinement) const;

  // now - epoch, exact; positive when the epoch lies in the past.
  Duration tle_age(Instant now) const { return now - epoch(); }

  // TEME state at t. Time since epoch is truncated toward zero to whole milliseconds, so every
  // instant within one such millisecond gives the same state.
  [[nodiscard]] std::expected<StateVector<Teme>, Error> propagate(Instant t) const;
  // The geodetic point beneath the satellite; altitude above the WGS84 ellipsoid.
  [[nodiscard]] std::expected<GeodeticPoint, Error> sub_point(Instant t) const;
  [[nodiscard]] std::expected<Observation, Error> observe_at(Instant t, const GeodeticPoint& observer) const;
  // Where `target` lies as seen from the satellite, in the satellite's LVLH frame.
  [[nodiscard]] std::expected<Pointing, Error> point_at(Instant t, const GeodeticPoint& target) const;
  // Cylindrical Earth shadow without penumbra.
  [[nodiscard]] std::expected<IlluminationState, Error> illumination_state(Instant t) const;

 private:
  Predictor(const sgp4::Elements& elements, const sgp4::Constants& constants)
      : elements_(elements), constants_(constants), resonance_steps_(constants.resonance_steps()) {}

  sgp4::Elements elements_;
  sgp4::Constants constants_;
  std::shared_ptr<const sgp4::ResonanceSteps> resonance_steps_;  // null without resonance
  Refinement refinement_;  // what every search made through this predictor refines with
};

}  // namespace satvane
