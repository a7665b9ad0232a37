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

// The Sun's position (metres) in the Earth-centred equatorial frame of date, from a
// low-precision solar ephemeris; used directly against TEME positions.
Vec3 sun_position_eci(Instant t);

// Signed depth in the Earth's shadow cylinder (radius 6378137 m, no penumbra), metres:
// >= 0 inside (0 on the surface), < 0 in sunlight.
double shadow_value(const Vec3& teme_position_m, Instant t);
std::expected<double, Error> shadow_value(const Predictor& predictor, Instant t);

}  // namespace satvane
