// Perigees and apogees: the instants where the distance from the Earth's centre is extreme,
// found as the sign changes of the radial velocity r · v in TEME.
//
// Accuracy: each apsis is the root of r · v to the predictor's Refinement time tolerance
// (1 ms by default) on the SGP4 osculating state. SGP4's velocity is not exactly the derivative
// of its position, so that root lies off the extreme of the propagated |r| by about a second
// for a LEO and half a minute for a GEO (millimetres to centimetres of distance). For a nearly
// circular orbit the apsides are poorly
// defined (r · v stays near zero) and follow its numerical sign changes. The altitude is
// spherical: |r| minus 6378137 m, not a height above the ellipsoid.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>

#include "satvane/detect.hpp"
#include "satvane/error.hpp"
#include "satvane/predictor.hpp"
#include "satvane/time.hpp"

namespace satvane {

// Event function of apsides: r · v in m²/s (TEME metres and metres per second), with the sign
// of the radial velocity; no derivative.
struct RadialVelocity {
  Predictor predictor;

  SampleResult sample(Instant t) const;
};

enum class ApsisEvent : std::uint8_t { Perigee = 0, Apogee = 1 };

struct ApsisIterOpts {
  Duration step = Duration::seconds(60);  // fixed step of the scan; raised to 1 s where smaller
  friend bool operator==(const ApsisIterOpts&, const ApsisIterOpts&) = default;
};

struct Apsis {
  Instant time;
  ApsisEvent event;
  double altitude_m;  // |r| - 6378137 m at `time`
  friend bool operator==(const Apsis&, const Apsis&) = default;
};

using ApsisItem = std::expected<Apsis, Error>;

// Apsides in time order. A failure (propagation, refinement) is an item and the scan goes on
// after it. An apsis between the last scan sample and the interval end is not reported (the
// end itself is never sampled). Owns its copy of the predictor.
class ApsisIter {
 public:
  ApsisIter(const Predictor& predictor, TimeInterval interval, const ApsisIterOpts& opts,
            const Refinement& refinement);

  // Nothing once the interval is exhausted, on every later call too.
  std::optional<ApsisItem> next();

 private:
  CrossingIter<RadialVelocity, FixedStep> crossings_;
};

// Perigees and apogees in the interval, refined with the predictor's Refinement.
[[nodiscard]] ApsisIter apsis_iter_with_opts(const Predictor& predictor, TimeInterval interval,
                                             const ApsisIterOpts& opts = {});

}  // namespace satvane
