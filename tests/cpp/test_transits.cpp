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

// A pass seen by sampling every second: the AoS lies in (aos_before, aos_after], the LoS in
// (los_before, los_after].
struct SampledPass {
  Instant aos_before, aos_after, los_before, los_after;
};

std::vector<SampledPass> sampled_passes(const Predictor& predictor, const GeodeticPoint& observer,
                                        double min_elevation_deg, Instant from, Instant to) {
  std::vector<SampledPass> passes;
  std::optional<Instant> previous;
  bool previous_inside = true;  // a pass in progress at `from` has no sampled AoS: left out
  bool open = false;
  for (Instant t = from; t <= to; t = plus_s(t, 1.0)) {
    const bool inside = predictor.observe_at(t, observer)->elevation_rad >= min_elevation_deg * kDegToRad;
    if (inside && !previous_inside) {
      passes.push_back({*previous, t, t, t});
      open = true;
    } else if (!inside && previous_inside && open) {
      passes.back().los_before = *previous;
      passes.back().los_after = t;
      open = false;
    }
    previous_inside = inside;
    previous = t;
  }
  if (open) passes.pop_back();  // no sampled LoS
  return passes;
}

bool within(Instant t, Instant before, Instant after) {
  return seconds_between(before, t) > -kEdgeSlack_s && seconds_between(t, after) > -kEdgeSlack_s;
}

struct PassCase {
  std::string name;
  Orbit orbit;
  GeodeticPoint observer;
  double min_elevation_deg;
  double days;
  Duration max_transit_duration = Duration::seconds(3600);
};

class PassesAgainstDenseSampling : public testing::TestWithParam<PassCase> {};

// Every pass the dense scan sees whole inside the interval is reported exactly once, its edges in
// the scan's one-second brackets, the elevation there equal to the minimum to what the time
// tolerance allows; nothing else is reported.
TEST_P(PassesAgainstDenseSampling, SamePassesAndEdges) {
  const PassCase& c = GetParam();
  const Predictor predictor = predictor_of(c.orbit);
  const Instant start = plus_s(predictor.epoch(), 3600.0);
  const Instant end = plus_s(start, c.days * 86400.0);
  const double margin_s = c.max_transit_duration.as_seconds_f64();
  const auto expected = sampled_passes(predictor, c.observer, c.min_elevation_deg, plus_s(start, -margin_s),
                                       plus_s(end, margin_s));
  TransitIterOpts opts;
  opts.max_transit_duration = c.max_transit_duration;
  auto iter = transits_iter_with_opts(predictor, c.observer, {start, end}, c.min_elevation_deg, opts);
  const ElevationAboveMin elevation(predictor, c.observer, c.min_elevation_deg * kDegToRad);

  std::vector<bool> found(expected.size(), false);
  std::optional<Instant> previous_los;
  while (auto item = iter.next()) {
    ASSERT_TRUE(*item) << item->error().display();
    const Transit& pass = **item;
    if (previous_los) {
      EXPECT_LT(*previous_los, pass.aos) << "overlapping or repeated pass";
    }
    previous_los = pass.los;
    const auto match = std::find_if(expected.begin(), expected.end(), [&](const SampledPass& p) {
      return within(pass.aos, p.aos_before, p.aos_after) && within(pass.los, p.los_before, p.los_after);
    });
    ASSERT_NE(match, expected.end()) << "unexpected pass at " << format_datetime(pass.aos);
    found[match - expected.begin()] = true;
    for (const Instant edge : {pass.aos, pass.los}) {
      const EventSample s = *elevation.sample(edge);
      EXPECT_LE(std::abs(s.value), std::abs(*s.derivative) * kEdgeSlack_s + 1e-12);
    }
  }
  int required = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const SampledPass& p = expected[i];
    // A pass shorter than the shortest coarse stride may fall between two samples.
    if (p.aos_before < start || p.aos_after >= end || seconds_between(p.aos_after, p.los_before) < 20.0) continue;
    ++required;
    EXPECT_TRUE(found[i]) << "missed pass at " << format_datetime(p.aos_after);
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
  auto iter = transits_iter_with_opts(predictor, kParis, {from, plus_s(from, 86400.0)}, 10.0);
  return **iter.next();
}

Instant midpoint(const Transit& pass) { return plus_s(pass.aos, seconds_between(pass.aos, pass.los) / 2); }

TEST(Transits, PassesInProgressAtTheIntervalEnds) {
  const Predictor predictor = iss();
  const Transit pass = first_paris_pass(predictor);
  const Instant mid = midpoint(pass);
  const auto first = [&](Instant start, Instant end, bool skip, bool clamp) {
    TransitIterOpts opts;
    opts.skip_leading_partial = skip;
    opts.clamp_to_interval = clamp;
    return **transits_iter_with_opts(predictor, kParis, {start, end}, 10.0, opts).next();
  };
  const Instant later = plus_s(mid, 6 * 3600.0);
  EXPECT_GT(first(mid, later, true, false).aos, pass.los);  // skipped
  const Transit whole = first(mid, later, false, false);
  EXPECT_NEAR(seconds_between(pass.aos, whole.aos), 0.0, kEdgeSlack_s);
  EXPECT_NEAR(seconds_between(pass.los, whole.los), 0.0, kEdgeSlack_s);
  EXPECT_EQ(first(mid, later, false, true).aos, mid);

  const Instant earlier = plus_s(pass.aos, -600.0);
  const Transit running_out = first(earlier, mid, true, false);
  EXPECT_NEAR(seconds_between(pass.los, running_out.los), 0.0, kEdgeSlack_s);
  EXPECT_EQ(first(earlier, mid, true, true).los, mid);
}

TEST(Transits, DetectionFindsTheWholePassAroundAnInstant) {
  const Predictor predictor = iss();
  const Transit pass = first_paris_pass(predictor);
  const Transit detected = **detect_transit_with_opts(predictor, plus_s(pass.los, -5.0), kParis, 10.0);
  EXPECT_NEAR(seconds_between(pass.aos, detected.aos), 0.0, kEdgeSlack_s);
  EXPECT_NEAR(seconds_between(pass.los, detected.los), 0.0, kEdgeSlack_s);
  EXPECT_EQ(*detect_transit_with_opts(predictor, plus_s(pass.los, 5.0), kParis, 10.0), std::nullopt);
}

TEST(Transits, AGeostationarySatelliteNeverSetsOrNeverRises) {
  const Predictor geo = predictor_of(kGeostationary);
  const Instant t = plus_s(geo.epoch(), 3600.0);
  const GeodeticPoint sub = *geo.sub_point(t);
  const GeodeticPoint beneath{sub.latitude_deg, sub.longitude_deg, 0.0};
  TransitIterOpts opts;
  opts.max_transit_duration = Duration::seconds(5400);
  const auto overhead = detect_transit_with_opts(geo, t, beneath, 10.0, opts);
  ASSERT_FALSE(overhead);
  EXPECT_EQ(overhead.error().display(), "Detection error: window too long: the positive window containing " +
                                            format_datetime(t) + " exceeds the 1h 30m maximum");

  const GeodeticPoint antipode{-sub.latitude_deg, sub.longitude_deg + 180.0, 0.0};
  EXPECT_EQ(*detect_transit_with_opts(geo, t, antipode, 0.0), std::nullopt);
  auto never = transits_iter_with_opts(geo, antipode, {t, plus_s(t, 2 * 86400.0)}, 0.0);
  EXPECT_FALSE(never.next().has_value());
  EXPECT_FALSE(never.next().has_value());
}

TEST(Transits, StepsBelowOneSecondAndAMaxStepBelowMinStepAreRaised) {
  const Predictor predictor = iss();
  const Transit pass = first_paris_pass(predictor);
  const TimeInterval around{plus_s(pass.aos, -1800.0), plus_s(pass.los, 600.0)};
  const auto all = [&](Duration min_step, Duration max_step, Duration walk_step) {
    TransitIterOpts opts{min_step, max_step, walk_step};
    std::vector<TransitItem> items;
    auto iter = transits_iter_with_opts(predictor, kParis, around, 10.0, opts);
    while (auto item = iter.next()) items.push_back(*item);
    return items;
  };
  const Duration one = Duration::seconds(1);
  EXPECT_EQ(all(Duration::seconds(0), Duration::seconds(-5), Duration::seconds(-1)), all(one, one, one));
  EXPECT_EQ(all(Duration::seconds(90), Duration::seconds(20), Duration::seconds(30)),
            all(Duration::seconds(90), Duration::seconds(90), Duration::seconds(30)));
  EXPECT_EQ(all(one, one, one).size(), 1u);
}

// The peak against the highest of dense one-second samples, and the rising- and setting-only
// intervals whose peak is an interval end.
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

  const Transit pass = first_paris_pass(predictor);
  const Instant mid = midpoint(pass);
  EXPECT_EQ(max_elevation_with_opts(predictor, {pass.aos, plus_s(mid, -60.0)}, kParis)->time, plus_s(mid, -60.0));
  EXPECT_EQ(max_elevation_with_opts(predictor, {plus_s(mid, 60.0), pass.los}, kParis)->time, plus_s(mid, 60.0));
  MaxElevationOpts zero_step{Duration::seconds(0)};
  EXPECT_EQ(*max_elevation_with_opts(predictor, {pass.aos, pass.los}, kParis, zero_step),
            *max_elevation_with_opts(predictor, {pass.aos, pass.los}, kParis, {Duration::seconds(1)}));
}

using TransitDiagnostics = WithRecordingSink;

TEST_F(TransitDiagnostics, ReportEachPassAndThePeak) {
  const Predictor predictor = iss();
  sink.events.clear();  // the predictor's own event
  const Transit pass = first_paris_pass(predictor);
  const ElevationPeak peak = *max_elevation_with_opts(predictor, {pass.aos, pass.los}, kParis);
  ASSERT_EQ(sink.events.size(), 2u);
  const auto text = [](const auto& value) { return diagnostics::to_text(value); };
  EXPECT_EQ(sink.events[0].target, "satvane::transits");
  EXPECT_EQ(sink.events[0].message, "transit detected");
  EXPECT_EQ(sink.events[0].fields, (decltype(sink.events[0].fields){{"aos", text(pass.aos)}, {"los", text(pass.los)}}));
  EXPECT_EQ(sink.events[1].message, "peak elevation found");
  EXPECT_EQ(sink.events[1].fields,
            (decltype(sink.events[1].fields){{"time", text(peak.time)},
                                             {"elevation_deg", text(peak.observation.elevation_rad * kRadToDeg)}}));
}

}  // namespace
