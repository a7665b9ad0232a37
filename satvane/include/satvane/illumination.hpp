// Sunlight and the Earth's shadow at one instant.
#pragma once

#include <cstdint>
#include <expected>

#include "satvane/error.hpp"
#include "satvane/time.hpp"
#include "satvane/vectors.hpp"

namespace satvane {

class Predictor;

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

}  // namespace satvane
