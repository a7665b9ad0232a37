// The fixed-step series: each sample must be exactly the matching point query at that instant.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "iss_tle.hpp"
#include "satvane/predictor.hpp"
#include "satvane/sampling.hpp"

namespace satvane {
namespace {

Predictor iss() {
  return *Predictor::from_tle(test_support::kIssName, test_support::kIssLine1, test_support::kIssLine2);
}
Instant plus_s(Instant t, std::int64_t seconds) { return *t.checked_add(Duration::seconds(seconds)); }

// The instants of a series (a failed sample there would fail the test).
std::vector<Instant> instants(PredictionIter iter) {
  std::vector<Instant> out;
  while (auto item = iter.next()) out.push_back(item->value().first);
  return out;
}

TEST(Sampling, EachSeriesMatchesItsPointQueryAtStartPlusWholeSteps) {
  const Predictor predictor = iss();
  const GeodeticPoint observer{-33.9, 151.2, 40.0};  // mostly below the horizon: still yielded
  const Instant start = plus_s(predictor.epoch(), 3);
  const Instant end = plus_s(start, 600);
  PredictionIter states(predictor, start, end, Duration::seconds(60));
  GroundTrackIter track(PredictionIter(predictor, start, end, Duration::seconds(60)));
  ObservationIter seen(predictor, observer, start, end, Duration::seconds(60));
  for (std::int64_t k = 0; k < 10; ++k) {
    const Instant t = plus_s(start, 60 * k);
    EXPECT_EQ(**states.next(), std::pair(t, *predictor.propagate(t)));
    EXPECT_EQ(**track.next(), std::pair(t, *predictor.sub_point(t)));
    EXPECT_EQ(**seen.next(), std::pair(t, *predictor.observe_at(t, observer)));
  }
  // The end is never sampled, and exhaustion lasts.
  for (int repeat = 0; repeat < 2; ++repeat) {
    EXPECT_FALSE(states.next());
    EXPECT_FALSE(track.next());
    EXPECT_FALSE(seen.next());
  }
}

struct WalkCase {
  std::int64_t length_s;  // end - start
  Duration step;
  std::vector<std::int64_t> offsets_ms;  // of the instants yielded
};

class SamplingWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(SamplingWalk, YieldsTheInstantsOfTheEffectiveStep) {
  const Predictor predictor = iss();
  const Instant start = predictor.epoch();
  std::vector<Instant> expected;
  for (std::int64_t ms : GetParam().offsets_ms) expected.push_back(*start.checked_add(Duration::millis(ms)));
  EXPECT_EQ(instants(PredictionIter(predictor, start, plus_s(start, GetParam().length_s), GetParam().step)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SamplingWalk,
    testing::Values(WalkCase{3, Duration::seconds(0), {0, 1000, 2000}},    // zero: one second
                    WalkCase{3, Duration::seconds(-30), {0, 1000, 2000}},  // negative: one second
                    WalkCase{3, Duration::nanos(-1), {0, 1000, 2000}},     // just below zero
                    WalkCase{1, Duration::millis(400), {0, 400, 800}},     // a positive step below 1 s is kept
                    WalkCase{60, Duration::seconds(3600), {0}},            // longer than the interval
                    WalkCase{0, Duration::seconds(1), {}},                 // empty
                    WalkCase{-60, Duration::seconds(1), {}}));             // reversed

}  // namespace
}  // namespace satvane
