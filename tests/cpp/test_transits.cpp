#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "satvane/transits.hpp"

#include "catalogue_orbits.hpp"
#include "recording_sink.hpp"

using namespace satvane;
using namespace test_support;

namespace {

Instant plus_s(Instant t, double seconds) { return *t.checked_add(Duration::nanos(std::llround(seconds * 1e9))); }
double seconds_between(Instant a, Instant b) { return (b - a).as_seconds_f64(); }

// Refinement tolerance plus the millisecond to which propagation truncates time.
constexpr double kEdgeSlack_s = 0.0025;

const GeodeticPoint kParis{48.85, 2.35, 35.0};
const GeodeticPoint kQuito{-0.2, -78.5, 2800.0};
const GeodeticPoint kCapeTown{-33.9, 18.4, 10.0};
const GeodeticPoint kTromso{69.65, 18.96, 10.0};
const GeodeticPoint kMoscow{55.75, 37.6, 150.0};

// A pass seen by sampling every second: its AoS lies within the second after aos_before, its
// LoS within the second after los_before.
struct SampledPass {
  Instant aos_before, los_before;
};

// Passes in progress at `from` or `to` are left out.
std::vector<SampledPass> sampled_passes(const Predictor& predictor, const GeodeticPoint& observer,
                                        double min_elevation_deg, Instant from, Instant to) {
  std::vector<SampledPass> passes;
  bool was_inside = true, open = false;
  for (Instant t = from; t < to; t = plus_s(t, 1.0)) {
    const bool inside = predictor.observe_at(plus_s(t, 1.0), observer)->elevation_rad >= min_elevation_deg * kDegToRad;
    if (inside && !was_inside) passes.push_back({t, t});
    if (!inside && was_inside && open) passes.back().los_before = t;
    open = inside && (open || !was_inside);
    was_inside = inside;
  }
  if (open) passes.pop_back();
  return passes;
}

bool in_second_after(Instant t, Instant before) {
  const double after_s = seconds_between(before, t);
  return after_s > -kEdgeSlack_s && after_s < 1.0 + kEdgeSlack_s;
}

struct PassCase {
  std::string name;
  Orbit orbit;
  GeodeticPoint observer;
  double min_elevation_deg, days;
  Duration max_transit_duration = Duration::seconds(3600);
};

void PrintTo(const PassCase& c, std::ostream* os) { *os << c.name; }

class PassesAgainstDenseSampling : public testing::TestWithParam<PassCase> {};

// Every pass the dense scan sees begin inside the interval is reported exactly once (unless
// shorter than min_step), with its edges in the scan's one-second brackets and the elevation
// there equal to the minimum to what the time tolerance allows; nothing else is reported.
TEST_P(PassesAgainstDenseSampling, SamePassesAndEdges) {
  const PassCase& c = GetParam();
  const Predictor predictor = predictor_of(c.orbit);
  const Instant start = plus_s(predictor.epoch(), 3600.0), end = plus_s(start, c.days * 86400.0);
  const double margin_s = c.max_transit_duration.as_seconds_f64();
  const auto expected =
      sampled_passes(predictor, c.observer, c.min_elevation_deg, plus_s(start, -margin_s), plus_s(end, margin_s));
  TransitIterOpts opts;
  opts.max_transit_duration = c.max_transit_duration;
  auto iter = transits_iter_with_opts(predictor, c.observer, {start, end}, c.min_elevation_deg, opts);
  const ElevationAboveMin elevation(predictor, c.observer, c.min_elevation_deg * kDegToRad);

  std::vector<int> found(expected.size(), 0);
  while (auto item = iter.next()) {
    ASSERT_TRUE(*item) << item->error().display();
    const Transit& pass = **item;
    const auto match = std::find_if(expected.begin(), expected.end(), [&](const SampledPass& p) {
      return in_second_after(pass.aos, p.aos_before) && in_second_after(pass.los, p.los_before);
    });
    ASSERT_NE(match, expected.end()) << "unexpected pass at " << format_datetime(pass.aos);
    ++found[match - expected.begin()];
    for (const Instant edge : {pass.aos, pass.los}) {
      const EventSample s = *elevation.sample(edge);
      EXPECT_LE(std::abs(s.value), std::abs(*s.derivative) * kEdgeSlack_s + 1e-12);
    }
  }
  int required = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const SampledPass& p = expected[i];
    const bool whole = p.aos_before >= start && p.aos_before < end && seconds_between(p.aos_before, p.los_before) > 20;
    required += whole;
    EXPECT_TRUE(found[i] == 1 || (!whole && found[i] == 0)) << "pass at " << format_datetime(p.aos_before);
  }
  EXPECT_GT(required, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Orbits, PassesAgainstDenseSampling,
    testing::Values(PassCase{"IssParis10", kIss, kParis, 10.0, 2.0},
                    PassCase{"IssQuito0", kIss, kQuito, 0.0, 2.0},
                    PassCase{"IssCapeTown30", kIss, kCapeTown, 30.0, 3.0},
                    PassCase{"IssParis60", kIss, kParis, 60.0, 4.0},
                    PassCase{"LeoCapeTown10", kLeo, kCapeTown, 10.0, 1.0},
                    PassCase{"SunSynchronousTromso5", kSunSynchronous, kTromso, 5.0, 1.0},
                    PassCase{"SunSynchronousQuito10", kSunSynchronous, kQuito, 10.0, 2.0},
                    PassCase{"MolniyaMoscow10", kMolniya, kMoscow, 10.0, 2.0, Duration::seconds(16 * 3600)}),
    [](const auto& info) { return info.param.name; });

// The first ISS pass over Paris at least two hours after the epoch.
Transit first_paris_pass(const Predictor& predictor) {
  const Instant from = plus_s(predictor.epoch(), 7200.0);
  return **transits_iter_with_opts(predictor, kParis, {from, plus_s(from, 86400.0)}, 10.0).next();
}

void expect_same_pass(const Transit& a, const Transit& b) {
  EXPECT_NEAR(seconds_between(a.aos, b.aos), 0.0, kEdgeSlack_s);
  EXPECT_NEAR(seconds_between(a.los, b.los), 0.0, kEdgeSlack_s);
}

TEST(Transits, PassesInProgressAtTheIntervalEndsAndAtAnInstant) {
  const Predictor predictor = iss();
  const Transit pass = first_paris_pass(predictor);
  const Instant mid = plus_s(pass.aos, seconds_between(pass.aos, pass.los) / 2);
  const auto first = [&](Instant start, Instant end, bool skip, bool clamp) {
    TransitIterOpts opts;
    opts.skip_leading_partial = skip;
    opts.clamp_to_interval = clamp;
    return **transits_iter_with_opts(predictor, kParis, {start, end}, 10.0, opts).next();
  };
  const Instant later = plus_s(mid, 6 * 3600.0), earlier = plus_s(pass.aos, -600.0);
  EXPECT_GT(first(mid, later, true, false).aos, pass.los);
  expect_same_pass(first(mid, later, false, false), pass);
  EXPECT_EQ(first(mid, later, false, true).aos, mid);
  expect_same_pass(first(earlier, mid, true, false), pass);
  EXPECT_EQ(first(earlier, mid, true, true).los, mid);

  expect_same_pass(**detect_transit_with_opts(predictor, plus_s(pass.los, -5.0), kParis, 10.0), pass);
  EXPECT_EQ(*detect_transit_with_opts(predictor, plus_s(pass.los, 5.0), kParis, 10.0), std::nullopt);
}

TEST(Transits, AGeostationarySatelliteNeverSetsOrNeverRises) {
  const Predictor geo = predictor_of(kGeostationary);
  const Instant t = plus_s(geo.epoch(), 3600.0);
  const GeodeticPoint sub = *geo.sub_point(t);
  TransitIterOpts opts;
  opts.max_transit_duration = Duration::seconds(5400);
  const auto overhead = detect_transit_with_opts(geo, t, {sub.latitude_deg, sub.longitude_deg, 0.0}, 10.0, opts);
  ASSERT_FALSE(overhead);
  EXPECT_EQ(overhead.error().display(), "Detection error: window too long: the positive window containing " +
                                            format_datetime(t) + " exceeds the 1h 30m maximum");

  const GeodeticPoint antipode{-sub.latitude_deg, sub.longitude_deg + 180.0, 0.0};
  EXPECT_EQ(*detect_transit_with_opts(geo, t, antipode, 0.0), std::nullopt);
  EXPECT_FALSE(transits_iter_with_opts(geo, antipode, {t, plus_s(t, 2 * 86400.0)}, 0.0).next().has_value());
}

TEST(Transits, StepsBelowOneSecondAndAMaxStepBelowMinStepAreRaised) {
  const Predictor predictor = iss();
  const Transit pass = first_paris_pass(predictor);
  const auto all = [&](std::int64_t min_step_s, std::int64_t max_step_s, std::int64_t walk_step_s) {
    const TransitIterOpts opts{Duration::seconds(min_step_s), Duration::seconds(max_step_s),
                               Duration::seconds(walk_step_s)};
    auto iter = transits_iter_with_opts(predictor, kParis, {plus_s(pass.aos, -1800.0), pass.los}, 10.0, opts);
    std::vector<TransitItem> items;
    while (auto item = iter.next()) items.push_back(*item);
    return items;
  };
  EXPECT_EQ(all(0, -5, -1), all(1, 1, 1));
  EXPECT_EQ(all(90, 20, 30), all(90, 90, 30));
  // The interval ends at the pass's refined LoS, within the time tolerance of the true one: the
  // pass is reported once, not again as a sliver beyond that LoS.
  EXPECT_EQ(all(1, 1, 1).size(), 1u);
  EXPECT_EQ(all(10, 600, 30).size(), 1u);
}

// The peak against the highest of dense one-second samples; intervals in which the satellite
// only rises or only sets peak at an end.
TEST(MaxElevation, AgreesWithDenseSamplingAndFallsBackToTheEnds) {
  const Predictor predictor = iss();
  const Instant start = plus_s(predictor.epoch(), 7200.0);
  const Instant end = plus_s(start, 86400.0);
  Instant highest_at = start;
  double highest_rad = -1.0;
  for (Instant t = start; t < end; t = plus_s(t, 1.0)) {
    const double elevation_rad = predictor.observe_at(t, kParis)->elevation_rad;
    if (elevation_rad > highest_rad) highest_rad = elevation_rad, highest_at = t;
  }
  const ElevationPeak peak = *max_elevation_with_opts(predictor, {start, end}, kParis);
  EXPECT_GE(peak.observation.elevation_rad, highest_rad - 1e-9);
  EXPECT_LE(std::abs(seconds_between(highest_at, peak.time)), 1.0);
  EXPECT_EQ(peak.observation, *predictor.observe_at(peak.time, kParis));

  const Instant rising = plus_s(highest_at, -60.0), setting = plus_s(highest_at, 60.0);
  EXPECT_EQ(max_elevation_with_opts(predictor, {plus_s(rising, -120.0), rising}, kParis)->time, rising);
  EXPECT_EQ(max_elevation_with_opts(predictor, {setting, plus_s(setting, 120.0)}, kParis)->time, setting);
  const TimeInterval around{rising, setting};
  EXPECT_EQ(*max_elevation_with_opts(predictor, around, kParis, {Duration::seconds(0)}),
            *max_elevation_with_opts(predictor, around, kParis, {Duration::seconds(1)}));
}

TEST(TransitDiagnostics, ReportEachPassAndThePeak) {
  const Predictor predictor = iss();
  const RecordingSink sink;
  const Transit pass = first_paris_pass(predictor);
  const ElevationPeak peak = *max_elevation_with_opts(predictor, {pass.aos, pass.los}, kParis);
  ASSERT_EQ(sink.events.size(), 2u);
  expect_event(sink.events[0], "satvane::transits", "transit detected", {{"aos", text(pass.aos)}, {"los", text(pass.los)}});
  expect_event(sink.events[1], "satvane::transits", "peak elevation found",
               {{"time", text(peak.time)}, {"elevation_deg", text(peak.observation.elevation_rad * kRadToDeg)}});
}

}  // namespace
