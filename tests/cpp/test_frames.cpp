#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>
#include <numbers>
#include <random>

#include "frames_reference.hpp"
#include "satvane/frames.hpp"
#include "satvane/observe.hpp"

namespace satvane {
namespace {

constexpr double kPi = std::numbers::pi;

Instant at(std::int64_t year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second,
           std::uint32_t nanosecond = 0) {
  return *Instant::from_civil({year, month, day, hour, minute, second, nanosecond});
}

void expect_vec_near(const Vec3& actual, const Vec3& expected, double tolerance) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// A low-orbit TEME state (metres, m/s) that is neither equatorial nor polar.
const StateVector<Teme> kLeo{{-4400594.0, 1932870.0, 4760712.0}, {-5198.0, -5390.0, -2620.0}};

// --- Sidereal angle --------------------------------------------------------------------------

struct SiderealCase {
  Instant t;
  double expected_rad;  // the IAU 1982 GMST of the python-sgp4 package (gstime)
};

class SiderealAngle : public testing::TestWithParam<SiderealCase> {};

TEST_P(SiderealAngle, MatchesIndependentGmst) {
  // The reference takes a single Julian-date double (µs resolution), hence the tolerance.
  EXPECT_NEAR(sidereal_angle_rad(GetParam().t), GetParam().expected_rad, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Dates, SiderealAngle,
                         testing::Values(SiderealCase{at(2000, 1, 1, 12, 0, 0), 4.894961212823059},
                                         SiderealCase{at(2020, 7, 12, 1, 19, 5), 5.413605159459891},
                                         SiderealCase{at(1985, 3, 4, 23, 59, 59), 2.8393563733614116},
                                         SiderealCase{at(2049, 12, 31, 6, 30, 0), 3.449242556504771},
                                         SiderealCase{at(1969, 7, 20, 20, 17, 40), 4.238496393017499}));

TEST(SecondsIntoDay, SameBitsAsTheDoubleFmod) {
  const auto reference = [](double s) { return std::fmod(std::fmod(s, 86400.0) + 86400.0, 86400.0); };
  const auto same_bits = [&](double s) {
    const double expected = reference(s), actual = seconds_into_day(s);
    if (std::isnan(expected)) return std::isnan(actual);
    return std::bit_cast<std::uint64_t>(expected) == std::bit_cast<std::uint64_t>(actual);
  };
  std::vector<double> values{0.0, -0.0, 1e-300, -1e-300, 1e-12, -1e-12, 43200.0, 86400.0, -86400.0,
                             4503599627370496.0, -4503599627370496.0, 1e300, -1e300, INFINITY, -INFINITY, NAN};
  // Whole days and their floating-point neighbours, where the quotient rounds the wrong way.
  for (double days : {1.0, 2.0, 3.0, 17.0, 1000.0, 8888.0, 9131.0, 36525.0, 1e6, 5.2e10}) {
    for (double sign : {1.0, -1.0}) {
      double s = sign * days * 86400.0;
      for (int i = 0; i < 4; ++i) s = std::nextafter(s, -INFINITY);
      for (int i = 0; i < 9; ++i, s = std::nextafter(s, INFINITY)) values.push_back(s);
    }
  }
  std::mt19937_64 rng(86400);
  std::uniform_real_distribution<double> exponent(-20.0, 52.0);
  for (int i = 0; i < 200000; ++i) {
    const double magnitude = std::exp2(exponent(rng));
    values.push_back(i % 2 ? magnitude : -magnitude);
  }
  for (double s : values) EXPECT_TRUE(same_bits(s)) << std::hexfloat << s;
}

// --- TEME <-> ECEF ---------------------------------------------------------------------------

class TemeEcef : public testing::TestWithParam<Instant> {};

TEST_P(TemeEcef, RoundTripRestoresPositionAndVelocity) {
  const StateVector<Teme> back = to_teme(to_ecef(kLeo, GetParam()), GetParam());
  expect_vec_near(back.position_m, kLeo.position_m, 1e-8);
  expect_vec_near(back.velocity_m_s, kLeo.velocity_m_s, 1e-11);
}

TEST_P(TemeEcef, MatchesRotationMatrixAndEarthRotation) {
  const Instant t = GetParam();
  const StateVector<Ecef> ecef = to_ecef(kLeo, t);
  const reference::Matrix r3 = reference::rotation_z(sidereal_angle_rad(t));
  const Vec3 position = reference::apply(r3, kLeo.position_m);
  const Vec3 omega_cross_r = cross({0, 0, reference::kEarthRotation}, position);
  expect_vec_near(ecef.position_m, position, 1e-8);
  expect_vec_near(ecef.velocity_m_s, reference::apply(r3, kLeo.velocity_m_s) - omega_cross_r, 1e-11);
  EXPECT_NEAR(norm(ecef.position_m), norm(kLeo.position_m), 1e-8);
}

INSTANTIATE_TEST_SUITE_P(Instants, TemeEcef,
                         testing::Values(at(1970, 1, 1, 0, 0, 0), at(1957, 10, 4, 19, 28, 34),
                                         at(2020, 7, 12, 1, 19, 5, 952'000'000), at(2100, 2, 28, 23, 0, 0)));

// The instant nearest (to the nanosecond) to a zero sidereal angle after `start`.
Instant zero_sidereal_instant(Instant start) {
  constexpr double kSiderealRate_rad_s = 7.292115855e-05;
  Instant t = start;
  for (int i = 0; i < 8; ++i) {
    double theta = sidereal_angle_rad(t);
    if (theta > kPi) theta -= 2.0 * kPi;
    const auto shift_ns = std::int64_t(std::llround(-theta / kSiderealRate_rad_s * 1e9));
    t = *t.checked_add(Duration::nanos(shift_ns));
  }
  return t;
}

TEST(TemeEcef, AtZeroSiderealAnglePositionsCoincideAndVelocityLosesEarthRotation) {
  const Instant t = zero_sidereal_instant(at(2024, 3, 20, 0, 0, 0));
  // The angle comes from a Julian date whose last bit is ~40 µs, so zero is reached only to
  // within a few nanoradians; the tolerances below scale with what is left.
  double theta = sidereal_angle_rad(t);
  theta = std::min(theta, 2.0 * kPi - theta);
  ASSERT_LT(theta, 5e-9);

  const StateVector<Ecef> ecef = to_ecef(kLeo, t);
  expect_vec_near(ecef.position_m, kLeo.position_m, norm(kLeo.position_m) * theta + 1e-6);
  const Vec3 omega_cross_r = cross({0, 0, kEarthRotation_rad_s}, kLeo.position_m);
  expect_vec_near(ecef.velocity_m_s - kLeo.velocity_m_s, -omega_cross_r, norm(kLeo.velocity_m_s) * theta + 1e-9);
}

// --- Geodetic <-> ECEF -----------------------------------------------------------------------

class GeodeticRoundTrip : public testing::TestWithParam<GeodeticPoint> {};

TEST_P(GeodeticRoundTrip, ReturnsTheSamePointWithinAMillimetre) {
  const GeodeticPoint point = GetParam();
  const GeodeticPoint back = to_geodetic(to_ecef(point));
  // 1e-9 degrees is about 0.1 mm on the ground.
  EXPECT_NEAR(back.latitude_deg, point.latitude_deg, 1e-9);
  if (std::abs(point.latitude_deg) < 90.0) {
    EXPECT_NEAR(back.longitude_deg, point.longitude_deg, 1e-9);
  }
  EXPECT_NEAR(back.altitude_m, point.altitude_m, 1e-4);
}

TEST_P(GeodeticRoundTrip, EcefMatchesIndependentFormulaAndIsFixedToTheEarth) {
  const GeodeticPoint point = GetParam();
  const StateVector<Ecef> ecef = to_ecef(point);
  expect_vec_near(ecef.position_m, reference::ecef_of(point.latitude_deg, point.longitude_deg, point.altitude_m),
                  1e-6);
  EXPECT_EQ(ecef.velocity_m_s, Vec3{});
}

INSTANTIATE_TEST_SUITE_P(Points, GeodeticRoundTrip,
                         testing::Values(GeodeticPoint{45.0, 10.0, 1000.0}, GeodeticPoint{0.0, 0.0, 0.0},
                                         GeodeticPoint{-33.87, 151.21, 58.0}, GeodeticPoint{0.0, 180.0, -100.0},
                                         GeodeticPoint{89.999, -170.0, 400000.0},
                                         GeodeticPoint{-60.0, -45.0, 35786000.0}, GeodeticPoint{90.0, 0.0, 0.0},
                                         GeodeticPoint{-90.0, 0.0, 1000.0}));

TEST(GeodeticFromEcef, AgreesWithBowringIterationOverLeoToGeo) {
  std::mt19937_64 rng(20260);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_real_distribution<double> radius_m(6.36e6, 4.3e7);
  for (int i = 0; i < 2000; ++i) {
    Vec3 direction{unit(rng), unit(rng), unit(rng)};
    const Vec3 r = direction / norm(direction) * radius_m(rng);
    const GeodeticPoint fast = geodetic_from_ecef(r.x, r.y, r.z);
    const GeodeticPoint slow = reference::bowring_geodetic(r);
    // Positions compared on the ground: 1e-8 degrees is about 1 mm.
    EXPECT_NEAR(fast.latitude_deg, slow.latitude_deg, 1e-8) << i;
    EXPECT_NEAR(fast.longitude_deg, slow.longitude_deg, 1e-8) << i;
    EXPECT_NEAR(fast.altitude_m, slow.altitude_m, 1e-3) << i;
  }
}

TEST(GeodeticFromEcef, EarthCentreGivesTheDegenerateSurfacePoint) {
  EXPECT_EQ(geodetic_from_ecef(0.0, 0.0, 0.0), (GeodeticPoint{0.0, 0.0, -6378137.0}));
  // Anywhere deep inside the closed form breaks down: same answer, never NaN.
  EXPECT_EQ(geodetic_from_ecef(1000.0, -2000.0, 500.0), (GeodeticPoint{0.0, 0.0, -6378137.0}));
}

TEST(GeodeticFromEcef, PositiveZAxisIsTheNorthPole) {
  const GeodeticPoint pole = geodetic_from_ecef(0.0, 0.0, 7.0e6);
  EXPECT_DOUBLE_EQ(pole.latitude_deg, 90.0);
  EXPECT_EQ(pole.longitude_deg, 0.0);
  EXPECT_NEAR(pole.altitude_m, 7.0e6 - reference::kB, 1e-3);
}

// --- ENU and observation ---------------------------------------------------------------------

const GeodeticPoint kObserver{51.5, -0.1, 50.0};

TEST(Observation, ExactCompassPointsInEnu) {
  const auto azimuth = [](Vec3 enu) { return to_observation({enu, {}}).azimuth_rad; };
  EXPECT_EQ(azimuth({0, 1000, 10}), 0.0);
  EXPECT_EQ(azimuth({1000, 0, 10}), kPi / 2);
  EXPECT_EQ(azimuth({-1000, 0, 10}), -kPi / 2);
  EXPECT_EQ(std::abs(azimuth({0, -1000, 10})), kPi);
}

TEST(Observation, ZenithHasElevationHalfPiAndZeroRate) {
  const GeodeticPoint above{kObserver.latitude_deg, kObserver.longitude_deg, kObserver.altitude_m + 500000.0};
  const StateVector<Ecef> satellite{to_ecef(above).position_m, {7000.0, -1000.0, 300.0}};
  const StateVector<Enu> enu = to_enu(satellite, kObserver);
  expect_vec_near(enu.position_m, {0.0, 0.0, 500000.0}, 1e-6);

  const ElevationAndRate exact = elevation_and_rate({{0.0, 0.0, 500000.0}, {10.0, -20.0, 5.0}});
  EXPECT_EQ(exact.elevation_rad, kPi / 2);
  EXPECT_EQ(exact.rate_rad_s, 0.0);
  EXPECT_EQ(to_observation({{0.0, 0.0, 500000.0}, {}}).elevation_rad, kPi / 2);
  EXPECT_NEAR(to_observation(enu).elevation_rad, kPi / 2, 1e-9);
}

TEST(EnuFrame, PrebuiltFrameGivesTheSameBitsAsThePoint) {
  const StateVector<Ecef> satellite = to_ecef(kLeo, at(2020, 7, 12, 1, 19, 5));
  for (const GeodeticPoint observer : {kObserver, GeodeticPoint{-89.5, 179.9, -20.0}, GeodeticPoint{0.0, 0.0, 0.0}}) {
    const EnuFrame frame = EnuFrame::of(observer);
    EXPECT_EQ(to_enu(satellite, frame), to_enu(satellite, observer));
    EXPECT_EQ(frame.origin_m, to_ecef(observer).position_m);
  }
}

class ObservationRates : public testing::TestWithParam<StateVector<Enu>> {};

// Elevation rate and range rate are derivatives: check them against central differences along
// the straight-line motion the state describes.
TEST_P(ObservationRates, MatchFiniteDifferences) {
  const StateVector<Enu> s = GetParam();
  constexpr double dt = 1e-4;
  const auto shifted = [&](double seconds) {
    return StateVector<Enu>{s.position_m + s.velocity_m_s * seconds, s.velocity_m_s};
  };
  const ElevationAndRate now = elevation_and_rate(s);
  const double elevation_rate =
      (elevation_and_rate(shifted(dt)).elevation_rad - elevation_and_rate(shifted(-dt)).elevation_rad) / (2 * dt);
  EXPECT_NEAR(now.rate_rad_s, elevation_rate, 1e-9);

  const Observation o = to_observation(s);
  const double range_rate = (to_observation(shifted(dt)).range_m - to_observation(shifted(-dt)).range_m) / (2 * dt);
  EXPECT_NEAR(o.range_rate_m_s, range_rate, 1e-5);
  EXPECT_NEAR(o.elevation_rad, now.elevation_rad, 1e-12);
  EXPECT_NEAR(o.range_m, norm(s.position_m), 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    States, ObservationRates,
    testing::Values(StateVector<Enu>{{300000.0, 900000.0, 400000.0}, {-6000.0, 2000.0, -1500.0}},
                    StateVector<Enu>{{-1.2e6, -2.0e5, -3.0e5}, {1000.0, 7000.0, 800.0}},
                    StateVector<Enu>{{1000.0, -2000.0, 7.0e5}, {7500.0, 0.0, 0.0}}));

TEST(Observation, ZeroRangeIsAllZerosInsteadOfNan) {
  EXPECT_EQ(to_observation({{}, {100.0, 0.0, 0.0}}), Observation{});
}

// --- LVLH and pointing -----------------------------------------------------------------------

// A circular equatorial orbit at 7000 km moving toward +y: X along-track = +y, Z = -x, Y = -z.
const StateVector<Teme> kCircular{{7.0e6, 0.0, 0.0}, {0.0, 7546.0, 0.0}};

struct LvlhCase {
  Vec3 offset_m;  // target position relative to the satellite, TEME
  Vec3 expected_lvlh_m;
};

class LvlhAxes : public testing::TestWithParam<LvlhCase> {};

TEST_P(LvlhAxes, ResolveOffsetsOnAlongTrackNormalAndNadir) {
  const auto& c = GetParam();
  const StateVector<Teme> target{kCircular.position_m + c.offset_m, kCircular.velocity_m_s + Vec3{1.0, 2.0, 3.0}};
  const StateVector<Lvlh> lvlh = to_lvlh(kCircular, target);
  expect_vec_near(lvlh.position_m, c.expected_lvlh_m, 1e-9);
  // Velocity: the inertial difference (1, 2, 3) resolved on the same axes.
  expect_vec_near(lvlh.velocity_m_s, {2.0, -3.0, -1.0}, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Offsets, LvlhAxes,
                         testing::Values(LvlhCase{{0.0, 100.0, 0.0}, {100.0, 0.0, 0.0}},
                                         LvlhCase{{0.0, 0.0, 100.0}, {0.0, -100.0, 0.0}},
                                         LvlhCase{{-100.0, 0.0, 0.0}, {0.0, 0.0, 100.0}},
                                         LvlhCase{{30.0, -40.0, 120.0}, {-40.0, -120.0, -30.0}}));

TEST(Pointing, ZeroRangeHasNoDirection) {
  for (const Vec3 position : {Vec3{}, Vec3{4e-10, -4e-10, 4e-10}}) {
    const Pointing p = to_pointing({position, {5.0, 6.0, 7.0}});
    EXPECT_EQ(p, Pointing{});
    EXPECT_EQ(off_nadir_deg(p.direction), 0.0);
  }
  const StateVector<Lvlh> itself = to_lvlh(kLeo, kLeo);
  EXPECT_EQ(to_pointing(itself), Pointing{});
}

TEST(Pointing, GeocentricNadirTargetLiesOnPlusZ) {
  const Vec3 ground = kLeo.position_m * (6.371e6 / norm(kLeo.position_m));
  const Pointing p = to_pointing(to_lvlh(kLeo, {ground, {}}));
  expect_vec_near(p.direction, {0.0, 0.0, 1.0}, 1e-12);
  EXPECT_NEAR(p.range_m, norm(kLeo.position_m) - 6.371e6, 1e-6);
  EXPECT_NEAR(off_nadir_deg(p.direction), 0.0, 1e-9);
}

TEST(OffNadir, AngleFromPlusZ) {
  EXPECT_EQ(off_nadir_deg({0.0, 0.0, 1.0}), 0.0);
  EXPECT_DOUBLE_EQ(off_nadir_deg({1.0, 0.0, 0.0}), 90.0);
  EXPECT_DOUBLE_EQ(off_nadir_deg({0.0, 0.0, -1.0}), 180.0);
  EXPECT_DOUBLE_EQ(off_nadir_deg({0.0, std::sqrt(0.5), std::sqrt(0.5)}), 45.0);
}

}  // namespace
}  // namespace satvane
