// Propagator constants: element checks and their texts, propagation error texts, the epoch
// the model is given, and robustness against non-finite or absurd input.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "sgp4/propagator.hpp"
#include "sgp4/tle.hpp"

namespace {

using sgp4::Constants;
using sgp4::Elements;
using sgp4::ElementsError;
using sgp4::Mode;
using sgp4::PropagationError;

// Copies are how predictors and iterators share a satellite: no hidden owned state.
static_assert(std::is_trivially_copyable_v<Constants>);

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

Elements elements(double mean_motion, double eccentricity, double inclination) {
  Elements e;
  e.norad_id = 99999;
  e.epoch = {1594516747, 402656000};  // 2020-07-12 01:19:07.402656 UTC
  e.mean_motion = mean_motion;
  e.eccentricity = eccentricity;
  e.inclination = inclination;
  e.right_ascension = 225.4004;
  e.argument_of_perigee = 44.9625;
  e.mean_anomaly = 5.1087;
  e.drag_term = 0.0049645;
  e.mean_motion_dot = 0.00289036;
  return e;
}

// One element set per family of terms the propagator has.
const Elements near_earth = elements(15.49560532, 0.0001771, 51.6435);
const Elements deep_space = elements(2.00562768, 0.0048506, 54.7298);     // GPS
const Elements half_day_resonant = elements(2.00491383, 0.6877146, 64.1586);  // Molniya
const Elements one_day_resonant = elements(1.00270176, 0.0000335, 0.0019);    // geostationary

struct ElementsErrorCase {
  double eccentricity;
  double mean_motion;
  const char* text;
};

class ElementsRejected : public testing::TestWithParam<ElementsErrorCase> {};

TEST_P(ElementsRejected, WithTheExactText) {
  const ElementsErrorCase& c = GetParam();
  Elements e = near_earth;
  e.eccentricity = c.eccentricity;
  e.mean_motion = c.mean_motion;
  for (Mode mode : {Mode::Standard, Mode::Afspc72}) {
    const auto constants = Constants::from_elements(e, mode);
    ASSERT_FALSE(constants.has_value());
    EXPECT_EQ(constants.error().text(), c.text);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sgp4, ElementsRejected,
    testing::Values(
        ElementsErrorCase{1.2, 15.5, "The epoch eccentricity (1.2) is outside the range [0, 1["},
        ElementsErrorCase{1.0, 15.5, "The epoch eccentricity (1) is outside the range [0, 1["},
        ElementsErrorCase{-0.000001, 15.5, "The epoch eccentricity (-0.000001) is outside the range [0, 1["},
        ElementsErrorCase{nan, 15.5, "The epoch eccentricity (NaN) is outside the range [0, 1["},
        ElementsErrorCase{inf, 15.5, "The epoch eccentricity (inf) is outside the range [0, 1["},
        ElementsErrorCase{0.1, -15.5, "The Kozai mean motion calculated from epoch elements is negative"},
        ElementsErrorCase{0.1, 0.0, "The Kozai mean motion calculated from epoch elements is negative"},
        ElementsErrorCase{0.1, -inf, "The Kozai mean motion calculated from epoch elements is negative"}));

// Unreachable for finite elements (the Brouwer correction never exceeds the Kozai motion in
// magnitude), so only its text is checked.
TEST(Sgp4Errors, BrouwerMeanMotionText) {
  EXPECT_EQ(ElementsError{ElementsError::Kind::NegativeBrouwerMeanMotion}.text(),
            "The Brouwer mean motion calculated from epoch elements is negative");
}

struct PropagationErrorCase {
  const char* line_1;
  const char* line_2;
  double minutes;
  PropagationError::Kind kind;
  const char* text_prefix;
  const char* text_suffix;
};

// The verification lines that provoke these errors deliberately carry wrong checksums; the
// parser is not under test here, so the right digit is written in.
std::string with_checksum(std::string line) {
  int sum = 0;
  for (std::size_t i = 0; i < 68; ++i) {
    if (line[i] >= '0' && line[i] <= '9') sum += line[i] - '0';
    if (line[i] == '-') sum += 1;
  }
  line[68] = char('0' + sum % 10);
  return line;
}

class PropagationFails : public testing::TestWithParam<PropagationErrorCase> {};

TEST_P(PropagationFails, WithTheExactText) {
  const PropagationErrorCase& c = GetParam();
  const auto e = sgp4::parse_tle("", with_checksum(c.line_1), with_checksum(c.line_2));
  ASSERT_TRUE(e.has_value()) << e.error().text();
  const auto constants = Constants::from_elements(*e);
  ASSERT_TRUE(constants.has_value());
  const auto prediction = constants->propagate(c.minutes);
  ASSERT_FALSE(prediction.has_value());
  const PropagationError& error = prediction.error();
  EXPECT_EQ(error.kind, c.kind);
  EXPECT_EQ(error.minutes, c.minutes);
  const std::string text = error.text();
  EXPECT_EQ(text.rfind(c.text_prefix, 0), 0u) << text;
  EXPECT_TRUE(text.ends_with(c.text_suffix)) << text;
  if (error.kind != PropagationError::Kind::NegativeSemiLatusRectum) {
    // The eccentricity printed is the one carried, in the shortest round-trip form.
    const std::string number = text.substr(std::string(c.text_prefix).size());
    EXPECT_EQ(std::stod(number), error.eccentricity) << text;
    EXPECT_TRUE(error.eccentricity < 0.0 || error.eccentricity >= 1.0);
  }
}

// Element sets of the verification suite that the model cannot follow.
INSTANTIATE_TEST_SUITE_P(
    Sgp4, PropagationFails,
    testing::Values(
        PropagationErrorCase{"1 22312U 93002D   06094.46235912  .99999999  81888-5  49949-3 0  3953",
                             "2 22312  62.1486  77.4698 0308723 267.9229  88.7392 15.95744531 98783",
                             494.2028672, PropagationError::Kind::EccentricityBeforePerturbations,
                             "The propagated eccentricity (",
                             ") is outside the range [0, 1[ 494.2028672 minutes after epoch (before adding "
                             "third-body perturbations)"},
        PropagationErrorCase{"1 33334U 78066F   06174.85818871  .00000620  00000-0  10000-3 0  6809",
                             "2 33334  68.4714 236.1303 5602877 123.7484 302.5767  0.00001000 67521",
                             0.0, PropagationError::Kind::EccentricityAfterPerturbations,
                             "The propagated eccentricity (",
                             ") is outside the range [0, 1[ 0 minutes after epoch (after adding third-body "
                             "perturbations)"},
        PropagationErrorCase{"1 33333U 05037B   05333.02012661  .25992681  00000-0  24476-3 0  1534",
                             "2 33333  96.4736 157.9986 9950000 244.0492 110.6523  4.00004038 10708",
                             25.0, PropagationError::Kind::NegativeSemiLatusRectum,
                             "The propagated semi-latus rectum is negative 25 minutes after epoch", ""}));

// The model's time origin is 1949-12-31 00:00 UTC; the epoch reaches it as a Julian date.
struct EpochCase {
  sgp4::UtcInstant epoch;
  double days_since_1950;
};

class EpochDays : public testing::TestWithParam<EpochCase> {};

TEST_P(EpochDays, FromTheRecordInstant) {
  Elements e = near_earth;
  e.epoch = GetParam().epoch;
  const auto constants = Constants::from_elements(e);
  ASSERT_TRUE(constants.has_value());
  EXPECT_NEAR(constants->epoch_days_since_1950(), GetParam().days_since_1950, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Sgp4, EpochDays,
                         testing::Values(EpochCase{{0, 0}, 7306.0},
                                         EpochCase{{946728000, 0}, 18263.5},          // J2000.0
                                         EpochCase{{-1, 500'000'000}, 7306.0 - 0.5 / 86400.0},
                                         EpochCase{{-631152000, 0}, 1.0},             // 1950-01-01
                                         EpochCase{{1594516747, 402656000}, 25761.0 + 4747.402656 / 86400.0}));

TEST(Sgp4Epoch, IauSiderealTimeAtJ2000) {
  Elements e = near_earth;
  e.epoch = {946728000, 0};  // 2000-01-01 12:00 UTC: GMST 280.46061837 degrees
  const auto standard = Constants::from_elements(e, Mode::Standard);
  ASSERT_TRUE(standard.has_value());
  EXPECT_NEAR(standard->sidereal_time_at_epoch_rad(), 280.46061837 * M_PI / 180.0, 1e-10);
  // The AFSPC expression is a fit of the same angle.
  const auto afspc = Constants::from_elements(e, Mode::Afspc72);
  EXPECT_NEAR(afspc->sidereal_time_at_epoch_rad(), standard->sidereal_time_at_epoch_rad(), 1e-6);
}

// Non-finite or absurd input must end in an error or a finite state, never a hang (the Kepler
// iteration and the resonance integration are bounded) and never a NaN passed off as a state.
struct AbsurdCase {
  const char* field;
  double value;
};

class AbsurdInput : public testing::TestWithParam<AbsurdCase> {};

bool is_finite(const sgp4::Prediction& p) {
  for (int axis = 0; axis < 3; ++axis) {
    if (!std::isfinite(p.position_km[axis]) || !std::isfinite(p.velocity_km_s[axis])) return false;
  }
  return true;
}

void set_field(Elements& e, const std::string& field, double value) {
  if (field == "mean_motion") e.mean_motion = value;
  if (field == "eccentricity") e.eccentricity = value;
  if (field == "inclination") e.inclination = value;
  if (field == "right_ascension") e.right_ascension = value;
  if (field == "argument_of_perigee") e.argument_of_perigee = value;
  if (field == "mean_anomaly") e.mean_anomaly = value;
  if (field == "drag_term") e.drag_term = value;
}

TEST_P(AbsurdInput, EndsPromptly) {
  const auto start = std::chrono::steady_clock::now();
  for (const Elements& base : {near_earth, deep_space, half_day_resonant, one_day_resonant}) {
    Elements e = base;
    set_field(e, GetParam().field, GetParam().value);
    for (Mode mode : {Mode::Standard, Mode::Afspc72}) {
      const auto constants = Constants::from_elements(e, mode);
      if (!constants) continue;
      for (double minutes : {0.0, 1440.0, -1e6, 1e9, 1e300, -1e300, inf, -inf, nan}) {
        const auto prediction = constants->propagate(minutes);
        EXPECT_TRUE(!prediction || is_finite(*prediction)) << GetParam().field << " " << minutes;
      }
    }
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

INSTANTIATE_TEST_SUITE_P(
    Sgp4, AbsurdInput,
    testing::Values(AbsurdCase{"mean_motion", nan}, AbsurdCase{"mean_motion", inf}, AbsurdCase{"mean_motion", 1e12},
                    AbsurdCase{"mean_motion", 1e-12}, AbsurdCase{"eccentricity", 0.9999999999},
                    AbsurdCase{"inclination", nan}, AbsurdCase{"inclination", 1e300},
                    AbsurdCase{"right_ascension", inf}, AbsurdCase{"argument_of_perigee", nan},
                    AbsurdCase{"mean_anomaly", -inf}, AbsurdCase{"drag_term", nan}, AbsurdCase{"drag_term", 1e300}));

// Times far out are meaningless but must still come back: the resonance integration steps
// from the epoch, and beyond its bound the propagation fails instead of looping for ages.
TEST(Sgp4Resonance, FarTimesAreBoundedAndNearOnesIntegrate) {
  for (const Elements& e : {half_day_resonant, one_day_resonant}) {
    const auto constants = Constants::from_elements(e);
    ASSERT_TRUE(constants.has_value());
    for (double years : {-20.0, 20.0}) {
      const auto prediction = constants->propagate(years * 365.25 * 1440.0);
      if (prediction) {
        EXPECT_TRUE(std::isfinite(prediction->position_km[0])) << years;
      }
    }
    const auto far = constants->propagate(1e12);
    EXPECT_FALSE(far.has_value());
  }
}

// Successive calls of one constants value are independent: the resonance state is not
// cached, so the order of the calls cannot change a result.
TEST(Sgp4Resonance, ResultDoesNotDependOnCallOrder) {
  const auto constants = Constants::from_elements(half_day_resonant);
  ASSERT_TRUE(constants.has_value());
  const auto forward = constants->propagate(5000.0);
  (void)constants->propagate(-9000.0);
  (void)constants->propagate(100000.0);
  const auto again = constants->propagate(5000.0);
  ASSERT_TRUE(forward && again);
  EXPECT_EQ(forward->position_km, again->position_km);
  EXPECT_EQ(forward->velocity_km_s, again->velocity_km_s);
}

// The stored resonance steps give the bits of integration from the epoch, at any distance,
// in any order of calls, and from several threads at once.
TEST(Sgp4Resonance, StoredStepsGiveTheBitsOfIntegrationFromTheEpoch) {
  std::vector<double> minutes;
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> ten_years(-3652.5 * 1440.0, 3652.5 * 1440.0);
  for (int i = 0; i < 300; ++i) minutes.push_back(ten_years(random));
  for (double step : {0.0, 1.0, 15.0, 16.0, 63.0, 64.0, 65.0, 127.0, 128.0, 7305.0}) {
    for (double sign : {1.0, -1.0}) {
      for (double offset : {0.0, 1e-9, -1e-9, 0.5, 719.999999}) minutes.push_back(sign * (step * 720.0 + offset));
    }
  }
  for (const Elements& e : {half_day_resonant, one_day_resonant}) {
    const auto constants = Constants::from_elements(e);
    ASSERT_TRUE(constants.has_value());
    std::vector<sgp4::Prediction> from_epoch;
    for (double m : minutes) from_epoch.push_back(*constants->propagate(m));

    const auto steps = constants->resonance_steps();
    ASSERT_NE(steps, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        // Each thread walks the times in its own order, so the store grows from all of them.
        for (std::size_t n = 0; n < minutes.size(); ++n) {
          const std::size_t i = (n * (2 * t + 1) + 37 * t) % minutes.size();
          const auto stored = constants->propagate(minutes[i], steps.get());
          ASSERT_TRUE(stored.has_value());
          EXPECT_EQ(stored->position_km, from_epoch[i].position_km) << minutes[i];
          EXPECT_EQ(stored->velocity_km_s, from_epoch[i].velocity_km_s) << minutes[i];
        }
      });
    }
    for (auto& thread : threads) thread.join();
  }
  EXPECT_EQ(Constants::from_elements(deep_space)->resonance_steps(), nullptr);
  EXPECT_EQ(Constants::from_elements(near_earth)->resonance_steps(), nullptr);
}

// A record with a NaN or infinite field is refused, naming the first such field in OMM order.
struct NonFiniteCase {
  const char* field;
  double value;
  const char* text;
};

class NonFiniteFieldRejected : public testing::TestWithParam<NonFiniteCase> {};

TEST_P(NonFiniteFieldRejected, NamingTheField) {
  for (const Elements& base : {near_earth, half_day_resonant}) {
    Elements e = base;
    const std::string field = GetParam().field;
    if (field == "MEAN_MOTION_DOT") e.mean_motion_dot = GetParam().value;
    if (field == "MEAN_MOTION_DDOT") e.mean_motion_ddot = GetParam().value;
    if (field == "BSTAR") e.drag_term = GetParam().value;
    if (field == "INCLINATION") e.inclination = GetParam().value;
    if (field == "RA_OF_ASC_NODE") e.right_ascension = GetParam().value;
    if (field == "ARG_OF_PERICENTER") e.argument_of_perigee = GetParam().value;
    if (field == "MEAN_ANOMALY") e.mean_anomaly = GetParam().value;
    if (field == "MEAN_MOTION") e.mean_motion = GetParam().value;
    const auto constants = Constants::from_elements(e);
    ASSERT_FALSE(constants.has_value()) << field;
    EXPECT_EQ(constants.error().kind, ElementsError::Kind::NonFiniteField);
    EXPECT_EQ(constants.error().text(), GetParam().text);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sgp4, NonFiniteFieldRejected,
    testing::Values(NonFiniteCase{"MEAN_MOTION_DOT", inf, "The element MEAN_MOTION_DOT (inf) is not finite"},
                    NonFiniteCase{"MEAN_MOTION_DDOT", nan, "The element MEAN_MOTION_DDOT (NaN) is not finite"},
                    NonFiniteCase{"BSTAR", -inf, "The element BSTAR (-inf) is not finite"},
                    NonFiniteCase{"INCLINATION", nan, "The element INCLINATION (NaN) is not finite"},
                    NonFiniteCase{"RA_OF_ASC_NODE", inf, "The element RA_OF_ASC_NODE (inf) is not finite"},
                    NonFiniteCase{"ARG_OF_PERICENTER", nan, "The element ARG_OF_PERICENTER (NaN) is not finite"},
                    NonFiniteCase{"MEAN_ANOMALY", -inf, "The element MEAN_ANOMALY (-inf) is not finite"},
                    NonFiniteCase{"MEAN_MOTION", nan, "The element MEAN_MOTION (NaN) is not finite"}));

// Finite records whose model overflows: the propagation fails, naming the time, instead of
// handing out a NaN state.
struct OverflowCase {
  Elements elements;
  double minutes;
};

class OverflowFails : public testing::TestWithParam<OverflowCase> {};

TEST_P(OverflowFails, AsANonFiniteState) {
  const auto constants = Constants::from_elements(GetParam().elements);
  ASSERT_TRUE(constants.has_value());
  const auto prediction = constants->propagate(GetParam().minutes);
  ASSERT_FALSE(prediction.has_value());
  EXPECT_EQ(prediction.error().kind, PropagationError::Kind::NonFiniteState);
  EXPECT_EQ(prediction.error().minutes, GetParam().minutes);
}

Elements with(Elements e, double Elements::*field, double value) {
  e.*field = value;
  return e;
}

// 1 rev/day at eccentricity 0.99999, without drag.
Elements near_parabolic() {
  Elements e = with(elements(1.0, 0.99999, 63.4), &Elements::drag_term, 0.0);
  e.epoch = {1594533600, 0};  // 2020-07-12 06:00 UTC
  return e;
}

INSTANTIATE_TEST_SUITE_P(
    Sgp4, OverflowFails,
    testing::Values(OverflowCase{with(near_earth, &Elements::mean_motion, 1e300), 0.0},
                    OverflowCase{with(near_earth, &Elements::drag_term, 1e300), 0.0},
                    OverflowCase{with(deep_space, &Elements::inclination, 1e-310), 60.0},  // subnormal
                    // Near-parabolic: the resonance drives the mean motion below zero (where
                    // python-sgp4 reports its mean-motion error).
                    OverflowCase{near_parabolic(), 60.0},
                    OverflowCase{one_day_resonant, 101.0 * 365.25 * 1440.0}));             // past the bound

TEST(Sgp4Errors, NonFiniteStateText) {
  EXPECT_EQ((PropagationError{PropagationError::Kind::NonFiniteState, 0.0, -1.5}.text()),
            "The propagated state is not finite -1.5 minutes after epoch");
}

TEST(Sgp4Constants, DeepSpaceFromA225MinutePeriod) {
  EXPECT_FALSE(Constants::from_elements(near_earth)->is_deep_space());
  EXPECT_TRUE(Constants::from_elements(deep_space)->is_deep_space());
  // 1440/225 = 6.4 rev/day is the boundary, on the Brouwer mean motion.
  EXPECT_FALSE(Constants::from_elements(elements(6.5, 0.01, 51.0))->is_deep_space());
  EXPECT_TRUE(Constants::from_elements(elements(6.3, 0.01, 51.0))->is_deep_space());
}

}  // namespace
