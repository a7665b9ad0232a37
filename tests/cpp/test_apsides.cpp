#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "satvane/apsides.hpp"
#include "satvane/frames.hpp"

#include "catalogue_orbits.hpp"
#include "recording_sink.hpp"

using namespace satvane;
using namespace test_support;

namespace {

Instant plus_s(Instant t, double seconds) { return *t.checked_add(Duration::nanos(std::llround(seconds * 1e9))); }
double seconds_between(Instant a, Instant b) { return (b - a).as_seconds_f64(); }

double radius_m(const Predictor& predictor, Instant t) { return norm(predictor.propagate(t)->position_m); }

std::vector<ApsisItem> all_apsides(const Predictor& predictor, Instant start, Instant end, ApsisIterOpts opts = {}) {
  std::vector<ApsisItem> items;
  auto iter = apsis_iter_with_opts(predictor, {start, end}, opts);
  while (auto item = iter.next()) items.push_back(*item);
  EXPECT_FALSE(iter.next().has_value());
  return items;
}

// A local extreme of |r| among samples one second apart.
struct SampledExtreme {
  Instant at;
  ApsisEvent event;
  double radius_m;
};

std::vector<SampledExtreme> sampled_extremes(const Predictor& predictor, Instant start, Instant end) {
  std::vector<SampledExtreme> extremes;
  double before = radius_m(predictor, start), here = radius_m(predictor, plus_s(start, 1.0));
  for (Instant t = plus_s(start, 1.0); t < end; t = plus_s(t, 1.0)) {
    const double after = radius_m(predictor, plus_s(t, 1.0));
    if (here < before && here <= after) extremes.push_back({t, ApsisEvent::Perigee, here});
    if (here > before && here >= after) extremes.push_back({t, ApsisEvent::Apogee, here});
    before = here;
    here = after;
  }
  return extremes;
}

struct ApsisCase {
  std::string name;
  Orbit orbit;
  double days;
};

void PrintTo(const ApsisCase& c, std::ostream* os) { *os << c.name; }

class ApsidesAgainstDenseSampling : public testing::TestWithParam<ApsisCase> {};

// The apsides alternate, match one-to-one the extremes of |r| that a dense scan finds, with the
// right kind, within a thousandth of a period and a distance as extreme to what that allows
// (SGP4's velocity is not exactly the derivative of its position, so r · v vanishes a little off
// the extreme of |r|: by about a second for a LEO, half a minute for a GEO), and carry the
// altitude of their instant, which their diagnostic events report.
TEST_P(ApsidesAgainstDenseSampling, AlternateAndSitAtTheExtremes) {
  const Predictor predictor = predictor_of(GetParam().orbit);
  const Instant start = plus_s(predictor.epoch(), 900.0);
  const Instant end = plus_s(start, GetParam().days * 86400.0);
  RecordingSink sink;
  const auto apsides = all_apsides(predictor, start, end);
  ASSERT_EQ(sink.events.size(), apsides.size());
  const auto extremes = sampled_extremes(predictor, start, end);
  ASSERT_GE(apsides.size(), 2u);
  // |r| ≈ a (1 - e cos M): over a thousandth of a period from the extreme it changes by
  // a e (2π/1000)² / 2 ≈ 2e-5 a e.
  const sgp4::Elements& elements = predictor.elements();
  const double period_s = 86400.0 / elements.mean_motion;
  const double a_m = std::cbrt(398600.5e9 * std::pow(period_s / kTwoPi, 2));
  const double radius_slack_m = 2e-5 * a_m * elements.eccentricity;
  ASSERT_EQ(apsides.size(), extremes.size());
  for (std::size_t i = 0; i < apsides.size(); ++i) {
    ASSERT_TRUE(apsides[i]) << apsides[i].error().display();
    const Apsis& apsis = *apsides[i];
    const std::string event = apsis.event == ApsisEvent::Perigee ? "Perigee" : "Apogee";
    expect_event(sink.events[i], "satvane::apsides", "apsis detected",
                 {{"event", event}, {"time", text(apsis.time)}, {"altitude_km", text(apsis.altitude_m / 1000.0)}});
    EXPECT_EQ(apsis.event, extremes[i].event);
    EXPECT_LE(std::abs(seconds_between(extremes[i].at, apsis.time)), period_s / 1000) << i;
    const double radius = radius_m(predictor, apsis.time);
    EXPECT_EQ(apsis.altitude_m, radius - kWgs84A_m);
    const double beyond_m = apsis.event == ApsisEvent::Perigee ? extremes[i].radius_m - radius : radius - extremes[i].radius_m;
    EXPECT_GE(beyond_m, -radius_slack_m) << i;
    if (i > 0) {
      EXPECT_NE(apsis.event, apsides[i - 1]->event);
      EXPECT_EQ(apsis.altitude_m < apsides[i - 1]->altitude_m, apsis.event == ApsisEvent::Perigee);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Orbits, ApsidesAgainstDenseSampling,
                         testing::Values(ApsisCase{"SSO", kSunSynchronous, 1.0}, ApsisCase{"Molniya", kMolniya, 3.0},
                                         ApsisCase{"GEO", kGeostationary, 3.0}),
                         [](const auto& info) { return info.param.name; });

TEST(Apsides, StepsBelowOneSecondAreRaised) {
  const Predictor predictor = predictor_of(kMolniya);
  const Instant t = plus_s(predictor.epoch(), 900.0);
  const Instant apsis = all_apsides(predictor, t, plus_s(t, 86400.0)).at(0)->time;
  const auto around = [&](std::int64_t step_s) {
    return all_apsides(predictor, plus_s(apsis, -300.0), plus_s(apsis, 300.0), {Duration::seconds(step_s)});
  };
  EXPECT_EQ(around(1).size(), 1u);
  EXPECT_EQ(around(0), around(1));
  EXPECT_EQ(around(-60), around(1));
}

}  // namespace
