// Sunlight and the Earth's shadow: at one instant, and as alternating sunlit and eclipse
// windows over an interval.
//
// Model: a cylindrical shadow of radius 6378137 m (the WGS84 equatorial radius) along the Sun
// direction, without penumbra, and the low-precision solar ephemeris of the Astronomical
// Almanac (about 0.01° in direction), used directly against TEME positions.
//
// Accuracy: window edges are roots of that shadow function to the predictor's Refinement time
// tolerance (1 ms by default). Against a conical umbra/penumbra model the cylinder puts a LEO
// satellite's eclipse entry and exit a few seconds off (the penumbra of the ISS lasts about
// 8 s), shortening or lengthening each eclipse by up to about 10 s. An eclipse shorter than
// the coarse `step` can fall between two samples and go unseen.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>

#include "satvane/detect.hpp"
#include "satvane/error.hpp"
#include "satvane/predictor.hpp"
#include "satvane/time.hpp"
#include "satvane/vectors.hpp"

namespace satvane {

enum class IlluminationState : std::uint8_t { Sunlit = 0, Eclipse = 1 };

inline constexpr double kAstronomicalUnit_m = 149597870700.0;

// The Sun's position (metres) in the Earth-centred equatorial frame of date, used directly
// against TEME positions. Source: the low-precision formulas for the Sun of the Astronomical
// Almanac (section C; U.S. Naval Observatory and HM Nautical Almanac Office), UTC standing in
// for TT. Accuracy against DE421 (apparent place, true equator and equinox of date) at 2000
// random instants of 1950-2050 (bench/accuracy_vs_skyfield.py): direction within 0.014°,
// distance within 8.6e-5 au.
Vec3 sun_position_eci(Instant t);

// Signed depth in the Earth's shadow cylinder (radius 6378137 m, no penumbra, no flattening,
// no atmosphere), metres: >= 0 inside (0 on the surface), < 0 in sunlight. The cylindrical
// model of O. Montenbruck and E. Gill, "Satellite Orbits" (Springer, 2000), section 3.4.2
// (doi:10.1007/978-3-642-58351-3). Accuracy: the 60 sunlit/eclipse edges of the ISS after its
// 2020 epoch lie within 1.5 s of Skyfield's is_sunlit (line of sight to the Sun's centre past a
// spherical Earth, DE421), both found by bisection to 1 ms (bench/accuracy_vs_skyfield.py).
double shadow_value(const Vec3& teme_position_m, Instant t);
[[nodiscard]] std::expected<double, Error> shadow_value(const Predictor& predictor, Instant t);

// Event function of eclipses: the shadow value in metres, without derivative, so its positive
// windows are the eclipses.
struct ShadowFunction {
  Predictor predictor;

  SampleResult sample(Instant t) const;
};

// Steps below 1 s are raised to 1 s.
struct IlluminationIterOpts {
  Duration step = Duration::seconds(60);        // fixed step of the coarse scan
  Duration walk_step = Duration::seconds(30);   // step of the walks from inside an eclipse to its edges
  Duration max_window_duration = Duration::seconds(3600);  // longest eclipse; sunlit windows are unbounded
  friend bool operator==(const IlluminationIterOpts&, const IlluminationIterOpts&) = default;
};

// A stretch of constant illumination.
struct IlluminationWindow {
  Instant start;
  Instant end;
  IlluminationState state;
  friend bool operator==(const IlluminationWindow&, const IlluminationWindow&) = default;
};

using IlluminationItem = std::expected<IlluminationWindow, Error>;

// Windows that tile the interval: the first starts at its start, each starts where the one
// before ended, Sunlit and Eclipse alternate, the last ends at its end. A failure is an item;
// in the coarse scan the iteration goes on after it. Owns its copy of the predictor.
class IlluminationIter {
 public:
  IlluminationIter(const Predictor& predictor, TimeInterval interval, const IlluminationIterOpts& opts,
                   const Refinement& refinement);

  // Nothing once the interval is exhausted, on every later call too.
  std::optional<IlluminationItem> next();

 private:
  WindowIter<ShadowFunction, FixedStep> windows_;
};

// Sunlit and eclipse windows over the interval, refined with the predictor's Refinement.
[[nodiscard]] IlluminationIter illumination_iter_with_opts(const Predictor& predictor, TimeInterval interval,
                                                           const IlluminationIterOpts& opts = {});

}  // namespace satvane
