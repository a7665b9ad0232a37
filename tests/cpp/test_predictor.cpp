#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "frames_reference.hpp"
#include "iss_tle.hpp"
#include "satvane/diagnostics.hpp"
#include "satvane/frames.hpp"
#include "satvane/illumination.hpp"
#include "satvane/predictor.hpp"
#include "sgp4/tle.hpp"

namespace satvane {
namespace {

using test_support::kIssLine1;
using test_support::kIssLine2;
using test_support::kIssName;

Predictor iss() { return *Predictor::from_tle(kIssName, kIssLine1, kIssLine2); }
sgp4::Elements iss_elements() { return *sgp4::parse_tle(kIssName, kIssLine1, kIssLine2); }

Instant after(Instant t, std::int64_t nanoseconds) { return *t.checked_add(Duration::nanos(nanoseconds)); }
constexpr std::int64_t kMinute_ns = 60'000'000'000;

StateVector<Teme> state_at_minutes(const Predictor& predictor, double minutes) {
  const auto constants = sgp4::Constants::from_elements(predictor.elements());
  const auto prediction = constants->propagate(minutes);
  const auto& r = prediction->position_km;
  const auto& v = prediction->velocity_km_s;
  return {{r[0] * 1000.0, r[1] * 1000.0, r[2] * 1000.0}, {v[0] * 1000.0, v[1] * 1000.0, v[2] * 1000.0}};
}

// --- Construction and errors ----------------------------------------------------------------

TEST(PredictorBuild, FromTleAndFromElementsAgreeBitForBit) {
  const Predictor from_tle = iss();
  const Predictor from_elements = *Predictor::create(iss_elements());
  EXPECT_EQ(from_tle.epoch(), Instant(iss_elements().epoch));
  EXPECT_EQ(from_tle.refinement(), (Refinement{0.001, 100}));
  for (std::int64_t minutes : {-500, 0, 1, 97, 10000}) {
    const Instant t = after(from_tle.epoch(), minutes * kMinute_ns + 123'456'789);
    EXPECT_EQ(*from_tle.propagate(t), *from_elements.propagate(t)) << minutes;
  }
}

TEST(PredictorBuild, EccentricityAboveOneIsAnElementsError) {
  sgp4::Elements elements = iss_elements();
  elements.eccentricity = 1.2;
  const auto predictor = Predictor::create(elements);
  ASSERT_FALSE(predictor);
  EXPECT_EQ(predictor.error().kind(), ErrorKind::Elements);
  EXPECT_EQ(predictor.error().display(),
            "SGP4 elements error: The epoch eccentricity (1.2) is outside the range [0, 1[");
}

TEST(PredictorBuild, BadChecksumIsATleErrorWithTheParserText) {
  std::string line1 = kIssLine1;
  line1.back() = '1';
  const auto predictor = Predictor::from_tle(kIssName, line1, kIssLine2);
  ASSERT_FALSE(predictor);
  EXPECT_EQ(predictor.error().kind(), ErrorKind::Tle);
  EXPECT_EQ(predictor.error().display(),
            "TLE parse error: Bad line checksum on TLE line 1 between characters 68 and 69");
}

TEST(PredictorBuild, WithRefinementCopiesAndLeavesTheOriginal) {
  const Predictor original = iss();
  const Predictor tuned = original.with_refinement({0.5, 7});
  EXPECT_EQ(tuned.refinement(), (Refinement{0.5, 7}));
  EXPECT_EQ(original.refinement(), Refinement{});
  EXPECT_EQ(*tuned.propagate(original.epoch()), *original.propagate(original.epoch()));
}

TEST(PredictorPropagate, FailureIsAnSgp4ErrorForThatCallOnly) {
  sgp4::Elements decaying = iss_elements();
  decaying.drag_term = 0.5;
  decaying.mean_motion = 16.0;
  const Predictor predictor = *Predictor::create(decaying);
  const Instant t = after(predictor.epoch(), 1440 * kMinute_ns);
  const auto state = predictor.propagate(t);
  ASSERT_FALSE(state);
  EXPECT_EQ(state.error().kind(), ErrorKind::Sgp4);
  EXPECT_TRUE(state.error().display().starts_with("SGP4 propagation error: The propagated eccentricity ("));
  EXPECT_TRUE(state.error().display().ends_with(" 1440 minutes after epoch (before adding third-body perturbations)"));
  // Every query built on propagation passes the same error through.
  const GeodeticPoint site{0.0, 0.0, 0.0};
  EXPECT_EQ(predictor.sub_point(t).error(), state.error());
  EXPECT_EQ(predictor.observe_at(t, site).error(), state.error());
  EXPECT_EQ(predictor.point_at(t, site).error(), state.error());
  EXPECT_EQ(predictor.illumination_state(t).error(), state.error());
  EXPECT_TRUE(predictor.propagate(predictor.epoch()));
}

// --- Time handling --------------------------------------------------------------------------

struct TruncationCase {
  std::int64_t offset_ns;  // from the epoch
  double minutes;          // what the propagator must be called with
};

class PropagateTruncation : public testing::TestWithParam<TruncationCase> {};

TEST_P(PropagateTruncation, UsesWholeMillisecondsTowardZero) {
  const Predictor predictor = iss();
  const auto state = predictor.propagate(after(predictor.epoch(), GetParam().offset_ns));
  ASSERT_TRUE(state);
  EXPECT_EQ(*state, state_at_minutes(predictor, GetParam().minutes));
}

INSTANTIATE_TEST_SUITE_P(Offsets, PropagateTruncation,
                         testing::Values(TruncationCase{0, 0.0}, TruncationCase{900'000, 0.0},
                                         TruncationCase{-900'000, 0.0}, TruncationCase{-1'500'000, -1.0 / 60000.0},
                                         TruncationCase{1'999'999, 1.0 / 60000.0},
                                         TruncationCase{90 * kMinute_ns + 1, 90.0},
                                         TruncationCase{-3 * kMinute_ns - 999'999, -3.0}));

TEST(TleAge, IsExactNowMinusEpoch) {
  const Predictor predictor = iss();
  const Instant epoch = predictor.epoch();
  EXPECT_EQ(predictor.tle_age(after(epoch, 86'400'000'000'000)), Duration::seconds(86400));
  EXPECT_EQ(predictor.tle_age(after(epoch, -3'600'000'000'000)), Duration::seconds(-3600));
  EXPECT_EQ(predictor.tle_age(after(epoch, -1'500'000)), Duration::nanos(-1'500'000));
  EXPECT_TRUE(predictor.tle_age(epoch).is_zero());
}

// --- Point queries against independent computations ---------------------------------------

class AlongTheOrbit : public testing::TestWithParam<std::int64_t> {
 protected:
  Predictor predictor = iss();
  Instant t() const { return after(predictor.epoch(), GetParam() * 7'919'000'000 + 250'000'000); }
};

TEST_P(AlongTheOrbit, SubPointMatchesBowringWithinAMillimetre) {
  const GeodeticPoint fast = *predictor.sub_point(t());
  const StateVector<Ecef> ecef = to_ecef(*predictor.propagate(t()), t());
  const GeodeticPoint slow = reference::bowring_geodetic(ecef.position_m);
  EXPECT_NEAR(fast.latitude_deg, slow.latitude_deg, 1e-8);
  EXPECT_NEAR(fast.longitude_deg, slow.longitude_deg, 1e-8);
  EXPECT_NEAR(fast.altitude_m, slow.altitude_m, 1e-3);
  EXPECT_GT(fast.altitude_m, 350e3);
  EXPECT_LT(fast.altitude_m, 450e3);
}

TEST_P(AlongTheOrbit, ObserveAtMatchesRotationMatrixChain) {
  for (const GeodeticPoint observer : {GeodeticPoint{51.5, -0.1, 50.0}, GeodeticPoint{-33.9, 151.2, 0.0},
                                       GeodeticPoint{0.0, -75.0, 3000.0}}) {
    const Observation o = *predictor.observe_at(t(), observer);

    const StateVector<Teme> teme = *predictor.propagate(t());
    const reference::Matrix r3 = reference::rotation_z(sidereal_angle_rad(t()));
    const Vec3 r_ecef = reference::apply(r3, teme.position_m);
    const Vec3 v_ecef = reference::apply(r3, teme.velocity_m_s) - cross({0, 0, reference::kEarthRotation}, r_ecef);
    const reference::Matrix to_enu = reference::ecef_to_enu_matrix(observer.latitude_deg * reference::kPi / 180.0,
                                                                   observer.longitude_deg * reference::kPi / 180.0);
    const Vec3 los = reference::apply(
        to_enu, r_ecef - reference::ecef_of(observer.latitude_deg, observer.longitude_deg, observer.altitude_m));
    const Vec3 los_rate = reference::apply(to_enu, v_ecef);
    const double range_m = norm(los);

    EXPECT_NEAR(o.range_m, range_m, range_m * 1e-9);
    EXPECT_NEAR(o.azimuth_rad, std::atan2(los.x, los.y), 1e-9);
    EXPECT_NEAR(o.elevation_rad, std::atan2(los.z, std::hypot(los.x, los.y)), 1e-9);
    EXPECT_NEAR(o.range_rate_m_s, dot(los, los_rate) / range_m, norm(los_rate) * 1e-9);
  }
}

TEST_P(AlongTheOrbit, RangeRatesMatchRangeDifferences) {
  const GeodeticPoint site{40.0, -105.0, 1600.0};
  const Instant before = after(t(), -500'000'000), later = after(t(), 500'000'000);
  const double observed_rate = (predictor.observe_at(later, site)->range_m - predictor.observe_at(before, site)->range_m);
  EXPECT_NEAR(predictor.observe_at(t(), site)->range_rate_m_s, observed_rate, 0.05);
  // Seen from the satellite the target moves with the Earth; the rate must carry that rotation.
  const double pointing_rate = (predictor.point_at(later, site)->range_m - predictor.point_at(before, site)->range_m);
  EXPECT_NEAR(predictor.point_at(t(), site)->range_rate_m_s, pointing_rate, 0.05);
  EXPECT_NEAR(predictor.point_at(t(), site)->range_rate_m_s, predictor.observe_at(t(), site)->range_rate_m_s, 1e-6);
}

TEST_P(AlongTheOrbit, SubPointTargetIsNearNadir) {
  const GeodeticPoint below = *predictor.sub_point(t());
  const Pointing p = *predictor.point_at(t(), {below.latitude_deg, below.longitude_deg, 0.0});
  // Nadir is geocentric, the sub-point geodetic: they part by well under a fifth of a degree.
  EXPECT_NEAR(p.direction.z, 1.0, 1e-5);
  EXPECT_LT(off_nadir_deg(p.direction), 0.2);
  EXPECT_NEAR(p.range_m, below.altitude_m, 100.0);
}

INSTANTIATE_TEST_SUITE_P(Samples, AlongTheOrbit, testing::Values(-400, -3, 0, 1, 2, 5, 8, 13, 400));

TEST(SubPoint, AboveTheEquatorHasZeroLatitudeAndGeocentricAltitude) {
  sgp4::Elements elements = iss_elements();
  elements.inclination = 0.0;
  const Predictor equatorial = *Predictor::create(elements);
  for (std::int64_t minutes : {0, 17, 45}) {
    const Instant t = after(equatorial.epoch(), minutes * kMinute_ns);
    const StateVector<Teme> teme = *equatorial.propagate(t);
    ASSERT_EQ(teme.position_m.z, 0.0);
    const GeodeticPoint point = *equatorial.sub_point(t);
    EXPECT_EQ(point.latitude_deg, 0.0);
    EXPECT_NEAR(point.altitude_m, norm(teme.position_m) - 6378137.0, 1e-6);
  }
}

// --- Illumination --------------------------------------------------------------------------

struct SunCase {
  Instant t;
  double right_ascension_deg;
  double declination_deg;
  double distance_au;
};

class SunPosition : public testing::TestWithParam<SunCase> {};

TEST_P(SunPosition, MatchesTheSeasons) {
  const Vec3 sun = sun_position_eci(GetParam().t);
  const double ra_deg = std::atan2(sun.y, sun.x) * kRadToDeg;
  EXPECT_NEAR(std::remainder(ra_deg - GetParam().right_ascension_deg, 360.0), 0.0, 0.05);
  EXPECT_NEAR(std::asin(sun.z / norm(sun)) * kRadToDeg, GetParam().declination_deg, 0.02);
  EXPECT_NEAR(norm(sun) / kAstronomicalUnit_m, GetParam().distance_au, 5e-4);
}

// Equinox and solstices of 2021 (UTC) with the Sun's distance on those days.
INSTANTIATE_TEST_SUITE_P(
    Seasons, SunPosition,
    testing::Values(SunCase{*Instant::from_civil({2021, 3, 20, 9, 37, 0, 0}), 0.0, 0.0, 0.99601},
                    SunCase{*Instant::from_civil({2021, 6, 21, 3, 32, 0, 0}), 90.0, 23.4366, 1.01624},
                    SunCase{*Instant::from_civil({2021, 12, 21, 15, 59, 0, 0}), -90.0, -23.4366, 0.98378}));

TEST(ShadowValue, CylinderOfEarthRadiusBehindTheEarth) {
  const Instant t = *Instant::from_civil({2021, 6, 21, 0, 0, 0, 0});
  const Vec3 toward_sun = sun_position_eci(t) / norm(sun_position_eci(t));
  const Vec3 across = cross(toward_sun, {0.0, 0.0, 1.0}) / norm(cross(toward_sun, {0.0, 0.0, 1.0}));
  // Behind the Earth on the axis: as deep as the cylinder's radius.
  EXPECT_NEAR(shadow_value(toward_sun * -7.0e6, t), 6378137.0, 1e-6);
  // Day side: 6378137 - |r|.
  EXPECT_NEAR(shadow_value(toward_sun * 7.0e6, t), 6378137.0 - 7.0e6, 1e-6);
  // Night side, just on the cylinder surface and just outside.
  EXPECT_NEAR(shadow_value(toward_sun * -4.0e7 + across * 6378137.0, t), 0.0, 1e-6);
  EXPECT_LT(shadow_value(toward_sun * -4.0e7 + across * 6378237.0, t), 0.0);
  // The terminator plane itself counts as day side.
  EXPECT_NEAR(shadow_value(across * 7.0e6, t), 6378137.0 - 7.0e6, 1e-6);
}

TEST(IlluminationState, AgreesWithTheShadowValueAlongAnOrbit) {
  const Predictor predictor = iss();
  int sunlit = 0, eclipse = 0;
  // Ten days on: at the epoch itself this orbit is in a season of permanent sunlight.
  const Instant start = after(predictor.epoch(), 10 * 1440 * kMinute_ns);
  for (std::int64_t minute = 0; minute < 93; ++minute) {
    const Instant t = after(start, minute * kMinute_ns);
    const double shadow_m = *shadow_value(predictor, t);
    EXPECT_EQ(shadow_m, shadow_value(predictor.propagate(t)->position_m, t));
    const IlluminationState state = *predictor.illumination_state(t);
    EXPECT_EQ(state, shadow_m >= 0.0 ? IlluminationState::Eclipse : IlluminationState::Sunlit);
    (state == IlluminationState::Sunlit ? sunlit : eclipse) += 1;
  }
  // A low orbit spends roughly a third of each revolution in the Earth's shadow.
  EXPECT_GT(eclipse, 20);
  EXPECT_GT(sunlit, 50);
}

// --- Diagnostics ---------------------------------------------------------------------------

struct RecordedEvent {
  std::string target, message;
  std::vector<std::pair<std::string, std::string>> fields;
};

class RecordingSink : public diagnostics::Sink {
 public:
  void receive(const diagnostics::Event& event) override {
    RecordedEvent& recorded = events.emplace_back(RecordedEvent{std::string(event.target), std::string(event.message), {}});
    for (const auto& field : event.fields)
      recorded.fields.emplace_back(std::string(field.name), diagnostics::to_text(field.value));
  }
  std::vector<RecordedEvent> events;
};

class Diagnostics : public testing::Test {
 protected:
  void SetUp() override { diagnostics::set_sink(&sink); }
  void TearDown() override { diagnostics::set_sink(nullptr); }
  RecordingSink sink;
};

TEST_F(Diagnostics, ConstructionReportsSatelliteAndEpoch) {
  ASSERT_TRUE(Predictor::from_tle(kIssName, kIssLine1, kIssLine2));
  sgp4::Elements unnamed = iss_elements();
  unnamed.object_name.reset();
  ASSERT_TRUE(Predictor::create(unnamed));
  ASSERT_TRUE(Predictor::create(iss_elements()));

  ASSERT_EQ(sink.events.size(), 3u);
  const std::string epoch = "2020-07-12T01:19:05.952Z";
  EXPECT_EQ(sink.events[0].target, "satvane");
  EXPECT_EQ(sink.events[0].message, "predictor initialized from TLE");
  EXPECT_EQ(sink.events[0].fields, (decltype(sink.events[0].fields){{"satellite", kIssName}, {"epoch", epoch}}));
  EXPECT_EQ(sink.events[1].message, "predictor initialized from OMM elements");
  EXPECT_EQ(sink.events[1].fields, (decltype(sink.events[1].fields){{"satellite", "NORAD 25544"}, {"epoch", epoch}}));
  EXPECT_EQ(sink.events[2].fields[0].second, kIssName);
}

TEST_F(Diagnostics, NothingReachesARemovedSinkAndFailuresReportNothing) {
  sgp4::Elements bad = iss_elements();
  bad.eccentricity = 1.2;
  ASSERT_FALSE(Predictor::create(bad));
  diagnostics::set_sink(nullptr);
  ASSERT_TRUE(Predictor::from_tle(kIssName, kIssLine1, kIssLine2));
  EXPECT_TRUE(sink.events.empty());
}

TEST(DiagnosticsText, RendersInstantsAndNumbers) {
  EXPECT_EQ(diagnostics::to_text(*Instant::from_civil({1969, 12, 31, 23, 59, 59, 500'000'000})),
            "1969-12-31T23:59:59.5Z");
  EXPECT_EQ(diagnostics::to_text(*Instant::from_civil({2024, 2, 29, 0, 0, 0, 1})), "2024-02-29T00:00:00.000000001Z");
  EXPECT_EQ(diagnostics::to_text(*Instant::from_civil({2024, 2, 29, 0, 0, 0, 0})), "2024-02-29T00:00:00Z");
  EXPECT_EQ(diagnostics::to_text(412.5), "412.5");
  EXPECT_EQ(diagnostics::to_text(std::string_view("Eclipse")), "Eclipse");
}

}  // namespace
}  // namespace satvane
