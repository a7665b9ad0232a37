#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "satvane/detect.hpp"

#include "allocation_counter.hpp"

using namespace satvane;

namespace {

const Instant kBase = *Instant::from_civil({2024, 3, 1, 0, 0, 0, 0});

Instant at(double seconds) { return *kBase.checked_add(Duration::nanos(std::llround(seconds * 1e9))); }
double seconds_of(Instant t) { return datetime_to_f64(t) - datetime_to_f64(kBase); }

struct Value {
  double value;
  std::optional<double> derivative = std::nullopt;
};

// Shared by every copy of a synthetic function (the iterators copy their function).
struct Probe {
  long samples = 0;
  bool record = false;
  std::vector<double> sampled{};
  std::vector<Instant> fail_at{};
};

Error propagation_failure(double seconds) {
  return Error::sgp4(sgp4::PropagationError{sgp4::PropagationError::Kind::NegativeSemiLatusRectum, 0.0, seconds / 60});
}

// An event function from a callable seconds-since-base -> Value.
template <class G>
struct Synthetic {
  G g;
  Probe* probe = nullptr;

  SampleResult sample(Instant t) {
    const double s = seconds_of(t);
    if (probe) {
      ++probe->samples;
      if (probe->record) probe->sampled.push_back(s);
      if (std::find(probe->fail_at.begin(), probe->fail_at.end(), t) != probe->fail_at.end()) {
        return std::unexpected(propagation_failure(s));
      }
    }
    const Value v = g(s);
    return EventSample{v.value, v.derivative, t};
  }
};

template <class G>
Synthetic<G> synthetic(G g, Probe* probe = nullptr) {
  return {std::move(g), probe};
}

struct Edges {
  double start, end;
};

enum class Shape { Linear, LinearValuesOnly, Step };

// Signed distance to the nearest edge of a set of windows: positive inside, negative outside,
// slope +-1, zero exactly at every edge. As a step function: +1 inside (edges included), -1
// outside, no derivative.
struct WindowSet {
  const std::vector<Edges>* windows;
  Shape shape = Shape::Linear;

  Value operator()(double s) const {
    double best = -std::numeric_limits<double>::infinity();
    double slope = 1;
    for (const Edges& w : *windows) {
      const double v = std::min(s - w.start, w.end - s);
      if (v > best) {
        best = v;
        slope = s - w.start < w.end - s ? 1 : -1;
      }
    }
    switch (shape) {
      case Shape::Linear: return {best, slope};
      case Shape::LinearValuesOnly: return {best};
      case Shape::Step: return {best >= 0 ? 1.0 : -1.0};
    }
    return {best};
  }
};

auto constant(double value) {
  return [value](double) { return Value{value}; };
}

template <class F, class S>
std::vector<WindowItem> drain(WindowIter<F, S>& iter, std::size_t max_items = 10000) {
  std::vector<WindowItem> items;
  while (auto item = iter.next()) {
    items.push_back(std::move(*item));
    if (items.size() >= max_items) break;
  }
  return items;
}

template <class F, class S>
std::vector<CrossingItem> drain(CrossingIter<F, S>& iter) {
  std::vector<CrossingItem> items;
  while (auto item = iter.next()) items.push_back(std::move(*item));
  return items;
}

constexpr double kEdgeTolerance = 0.001 + 1e-6;  // time_tolerance plus the double-time rounding

void expect_window(const WindowItem& item, double start, double end, bool positive) {
  ASSERT_TRUE(item.has_value()) << item.error().display();
  EXPECT_NEAR(seconds_of(item->start), start, kEdgeTolerance);
  EXPECT_NEAR(seconds_of(item->end), end, kEdgeTolerance);
  EXPECT_EQ(item->positive, positive);
}

// A window builder over [start, end) seconds with a 60 s fixed step.
template <class F>
auto windows(F function, double start, double end) {
  return window_iter_builder().function(std::move(function)).interval(at(start), at(end));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Builders
// ---------------------------------------------------------------------------------------------

TEST(Builders, MissingIntervalIsTheOnlyConfigurationError) {
  const auto window_iter = window_iter_builder().function(synthetic(constant(-1))).build();
  ASSERT_FALSE(window_iter.has_value());
  EXPECT_EQ(window_iter.error().kind(), ErrorKind::Interval);
  EXPECT_EQ(window_iter.error().display(), "Interval error: WindowIter requires an interval \u2014 call .interval(start..end)");

  const auto crossing_iter = crossing_iter_builder().function(synthetic(constant(-1))).build();
  ASSERT_FALSE(crossing_iter.has_value());
  EXPECT_EQ(crossing_iter.error().display(), "Interval error: EventIter requires an interval \u2014 call .interval(start..end)");
}

TEST(Builders, Defaults) {
  const auto window_iter = windows(synthetic(constant(-1)), 0, 10).build();
  ASSERT_TRUE(window_iter.has_value());
  const auto& detector = window_iter->detector();
  EXPECT_EQ(detector.step.step, Duration::seconds(60));
  EXPECT_EQ(detector.options.refinement, (Refinement{0.001, 100}));
  EXPECT_EQ(detector.options.walk_step, Duration::seconds(30));
  EXPECT_EQ(detector.options.max_window_duration, Duration::seconds(3600));
  EXPECT_TRUE(detector.options.windows_only);
  EXPECT_TRUE(detector.options.skip_leading_partial);
  EXPECT_FALSE(detector.options.clamp_to_interval);
  EXPECT_EQ(detector.interval, (TimeInterval{at(0), at(10)}));
  EXPECT_EQ(window_iter->phase(), WindowIter<Synthetic<decltype(constant(0))>>::Phase::Scanning);

  const auto crossing_iter = crossing_iter_builder().function(synthetic(constant(-1))).interval(at(0), at(10)).build();
  ASSERT_TRUE(crossing_iter.has_value());
  EXPECT_EQ(crossing_iter->detector().step.step, Duration::seconds(60));
  EXPECT_EQ(crossing_iter->detector().refinement, Refinement{});
}

class WalkStepFloorTest : public testing::TestWithParam<std::pair<Duration, Duration>> {};

TEST_P(WalkStepFloorTest, BuildRaisesWalkStepToOneSecond) {
  const auto iter = windows(synthetic(constant(-1)), 0, 10).walk_step(GetParam().first).build();
  ASSERT_TRUE(iter.has_value());
  EXPECT_EQ(iter->detector().options.walk_step, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Steps, WalkStepFloorTest,
                         testing::Values(std::pair{Duration::seconds(0), Duration::seconds(1)},
                                         std::pair{Duration::seconds(-30), Duration::seconds(1)},
                                         std::pair{Duration::millis(999), Duration::seconds(1)},
                                         std::pair{Duration::millis(1500), Duration::millis(1500)}));

// ---------------------------------------------------------------------------------------------
// Step strategies
// ---------------------------------------------------------------------------------------------

struct ThresholdCase {
  const char* name;
  double min_s, max_s;
  std::optional<Value> last;  // outside sample at `now`
  double expected_step_s;
};

class ThresholdStepTest : public testing::TestWithParam<ThresholdCase> {};

TEST_P(ThresholdStepTest, NextTime) {
  const ThresholdCase& c = GetParam();
  const ThresholdStep step{Duration::nanos(std::llround(c.min_s * 1e9)), Duration::nanos(std::llround(c.max_s * 1e9))};
  std::optional<EventSample> last;
  if (c.last) last = EventSample{c.last->value, c.last->derivative, at(100)};
  const auto next = step.next_time(at(100), last ? &*last : nullptr);
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(*next - at(100), Duration::nanos(std::llround(c.expected_step_s * 1e9)));
}

const double kNan = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Rule, ThresholdStepTest,
    testing::Values(ThresholdCase{"NoLastSample", 10, 600, std::nullopt, 600},
                    ThresholdCase{"MaxBelowMinIsRaised", 10, 5, std::nullopt, 10},
                    ThresholdCase{"NoDerivative", 10, 600, Value{-5}, 600},
                    ThresholdCase{"Falling", 10, 600, Value{-100, -2.0}, 600},
                    ThresholdCase{"Flat", 10, 600, Value{-100, 0.0}, 600},
                    ThresholdCase{"RisingPredictsWholeSeconds", 10, 600, Value{-101, 2.0}, 50},
                    ThresholdCase{"RisingNeverBelowMinStep", 10, 600, Value{-1, 1.0}, 10},
                    ThresholdCase{"RisingFarAwayCappedAtMax", 10, 600, Value{-1e6, 1.0}, 600},
                    ThresholdCase{"CapIsMaxInWholeSeconds", 10, 600.7, Value{-1e6, 1.0}, 600},
                    ThresholdCase{"NanPredictionCountsAsZero", 10, 600, Value{kNan, 1.0}, 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StepStrategies, ThresholdStrideLandsOnAPredictedCrossing) {
  Probe probe{.record = true};
  auto iter = *windows(synthetic([](double s) { return Value{s - 1000, 1.0}; }, &probe), 0, 5000)
                   .step_strategy(ThresholdStep{Duration::seconds(10), Duration::seconds(600)})
                   .build();
  const auto items = drain(iter);
  // 0 (1000 s to go, stride capped at 600), 600 (400 s to go), 1000: inside, a window that
  // never ends within the limit.
  ASSERT_GE(probe.sampled.size(), 3u);
  EXPECT_EQ(std::vector<double>(probe.sampled.begin(), probe.sampled.begin() + 3), (std::vector<double>{0, 600, 1000}));
  ASSERT_FALSE(items.empty());
  EXPECT_FALSE(items[0].has_value());
}

TEST(StepStrategies, StepBeyondTheRepresentableRangeIsNothing) {
  const Instant late = Instant::max();
  EXPECT_FALSE(FixedStep{}.next_time(late, nullptr).has_value());
  EXPECT_FALSE((ThresholdStep{Duration::seconds(1), Duration::seconds(2)}.next_time(late, nullptr).has_value()));
}

// ---------------------------------------------------------------------------------------------
// Refining and walking
// ---------------------------------------------------------------------------------------------

TEST(RefineCrossing, SampleFailureBecomesCostFunctionError) {
  Probe probe{.fail_at = {at(10)}};
  auto function = synthetic([](double s) { return Value{s - 5}; }, &probe);
  const auto t = refine_crossing(function, Refinement{}, at(0), at(10));
  ASSERT_FALSE(t.has_value());
  EXPECT_EQ(t.error().kind(), ErrorKind::Roots);
  EXPECT_EQ(t.error().display(), "Roots error: cost function error: " + propagation_failure(10).display());
}

// A function that changes only at whole milliseconds, as every SGP4 sample does, with its sign
// change exactly at one: the ends are sampled at the bracket's own instants, not at their
// seconds read back, which can land in the millisecond before.
TEST(RefineCrossing, EndsOnWholeMillisecondsKeepTheirSigns) {
  for (std::int64_t ms = 1; ms <= 2000; ++ms) {
    const Instant edge = *kBase.checked_add(Duration::millis(ms));
    auto function = ValueFn([edge](Instant t) -> std::expected<double, Error> { return t >= edge ? 1.0 : -1.0; });
    const auto t = refine_crossing(function, Refinement{}, edge, *edge.checked_sub(Duration::seconds(5)));
    ASSERT_TRUE(t.has_value()) << ms << " ms: " << t.error().display();
    EXPECT_LE(std::fabs(datetime_to_f64(*t) - datetime_to_f64(edge)), 0.001);
  }
}

struct WalkCase {
  const char* name;
  WalkDirection direction;
  double limit_s;
  std::optional<double> bound_s;
  bool succeeds;
  std::vector<double> sampled;
};

class WalkLimitTest : public testing::TestWithParam<WalkCase> {};

// Inside everywhere: only the limit or the bound can end the walk from 0 in 30 s steps.
TEST_P(WalkLimitTest, BoundIsTestedBeforeLimit) {
  const WalkCase& c = GetParam();
  Probe probe{.record = true};
  auto function = synthetic(constant(1), &probe);
  std::optional<Instant> bound;
  if (c.bound_s) bound = at(*c.bound_s);
  const Walk walk{c.direction, Duration::seconds(30), at(c.limit_s), bound, at(0), Duration::seconds(90)};
  const auto end = walk_to_crossing(function, at(0), walk, Refinement{});
  EXPECT_EQ(probe.sampled, c.sampled);
  if (c.succeeds) {
    ASSERT_TRUE(end.has_value()) << end.error().display();
    EXPECT_EQ(end->crossing, *bound);
    EXPECT_EQ(end->bracket, *bound);
  } else {
    ASSERT_FALSE(end.has_value());
    EXPECT_EQ(end.error().display(),
              "Detection error: window too long: the positive window containing 2024-03-01 00:00:00 UTC exceeds "
              "the 1m 30s maximum");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Walks, WalkLimitTest,
    testing::Values(WalkCase{"ForwardBoundAtLimit", WalkDirection::Forward, 90, 90.0, true, {30, 60, 90}},
                    WalkCase{"ForwardBoundBetweenSteps", WalkDirection::Forward, 90, 75.0, true, {30, 60, 75}},
                    WalkCase{"ForwardLimitFirst", WalkDirection::Forward, 90, 100.0, false, {30, 60}},
                    WalkCase{"ForwardNoBound", WalkDirection::Forward, 90, std::nullopt, false, {30, 60}},
                    WalkCase{"BackwardBoundAtLimit", WalkDirection::Backward, -90, -90.0, true, {-30, -60, -90}},
                    WalkCase{"BackwardLimitFirst", WalkDirection::Backward, -61, -100.0, false, {-30, -60}},
                    WalkCase{"BoundAtStart", WalkDirection::Forward, 90, 0.0, true, {0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Walk, RefinesBetweenTheLastTwoWalkSamples) {
  const std::vector<Edges> set{{-1000, 77}};
  Probe probe{.record = true};
  auto function = synthetic(WindowSet{&set}, &probe);
  const Walk walk{WalkDirection::Forward, Duration::seconds(30), at(3600), std::nullopt, at(0), Duration::seconds(3600)};
  const auto end = walk_to_crossing(function, at(0), walk, Refinement{});
  ASSERT_TRUE(end.has_value()) << end.error().display();
  EXPECT_NEAR(seconds_of(end->crossing), 77, kEdgeTolerance);
  EXPECT_EQ(end->bracket, at(90));
  // Walk 30, 60, 90, then refinement between 60 and 90 (Newton lands on 77 exactly).
  EXPECT_EQ(probe.sampled, (std::vector<double>{30, 60, 90, 60, 90, 77}));
}

TEST(ResolvePositiveWindow, ForwardLimitCountsFromTheRefinedStart) {
  // 3000 s back to the start plus 700 s forward is past 3600 s after the start.
  const std::vector<Edges> set{{-3000, 700}};
  auto function = synthetic(WindowSet{&set});
  const auto edges = resolve_positive_window(function, at(0), Duration::seconds(30), Duration::seconds(3600), Refinement{});
  ASSERT_FALSE(edges.has_value());
  EXPECT_EQ(edges.error().display(),
            "Detection error: window too long: the positive window containing 2024-03-01 00:00:00 UTC exceeds the 1h "
            "maximum");
}

TEST(ValueFn, AdaptsAValueFunctionWithoutDerivative) {
  auto elevation_rate = ValueFn([](Instant t) -> std::expected<double, Error> {
    const double s = seconds_of(t);
    if (s == 300) return std::unexpected(propagation_failure(s));
    return std::cos(2 * std::numbers::pi * s / 1000);
  });
  const auto sample = elevation_rate.sample(at(0));
  ASSERT_TRUE(sample.has_value());
  EXPECT_EQ(sample->value, 1.0);
  EXPECT_FALSE(sample->derivative.has_value());
  EXPECT_EQ(sample->time, at(0));
  EXPECT_EQ(elevation_rate.sample(at(300)), std::unexpected(propagation_failure(300)));

  // Peaks of the underlying sine are where the rate falls through zero.
  auto iter = *crossing_iter_builder().function(elevation_rate).interval(at(0), at(1000)).build();
  const auto items = drain(iter);
  // The failed sample at 300 comes first; the crossing at 250 is seen from 240 to 360.
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0], std::unexpected(propagation_failure(300)));
  ASSERT_TRUE(items[1].has_value() && items[2].has_value());
  EXPECT_NEAR(seconds_of(items[1]->time), 250, kEdgeTolerance);
  EXPECT_EQ(items[1]->direction, CrossingDirection::Falling);
  EXPECT_NEAR(seconds_of(items[2]->time), 750, kEdgeTolerance);
  EXPECT_EQ(items[2]->direction, CrossingDirection::Rising);
}

// ---------------------------------------------------------------------------------------------
// Window iteration: edge cases
// ---------------------------------------------------------------------------------------------

class EmptyIntervalTest : public testing::TestWithParam<double> {};

TEST_P(EmptyIntervalTest, YieldsNothingWithoutSampling) {
  Probe probe;
  auto window_iter = *windows(synthetic(constant(1), &probe), 100, GetParam()).windows_only(false).build();
  EXPECT_FALSE(window_iter.next().has_value());
  EXPECT_FALSE(window_iter.next().has_value());
  auto crossing_iter =
      *crossing_iter_builder().function(synthetic(constant(1), &probe)).interval(at(100), at(GetParam())).build();
  EXPECT_FALSE(crossing_iter.next().has_value());
  EXPECT_EQ(probe.samples, 0);
}

INSTANTIATE_TEST_SUITE_P(Ends, EmptyIntervalTest, testing::Values(100.0, 40.0));

TEST(WindowIteration, NegativeThroughout) {
  Probe probe;
  auto only = *windows(synthetic(constant(-1), &probe), 0, 600).build();
  EXPECT_TRUE(drain(only).empty());
  EXPECT_EQ(probe.samples, 11);  // 0, 60, ..., 540, then the interval end

  auto gaps = *windows(synthetic(constant(-1)), 0, 600).windows_only(false).build();
  const auto items = drain(gaps);
  ASSERT_EQ(items.size(), 1u);
  expect_window(items[0], 0, 600, false);
}

struct ThroughoutCase {
  bool skip_leading_partial;
  std::size_t expected_items;
};

class NonNegativeThroughoutTest : public testing::TestWithParam<ThroughoutCase> {};

TEST_P(NonNegativeThroughoutTest, ClampedToTheInterval) {
  for (const double value : {0.0, 1.0}) {
    auto iter = *windows(synthetic(constant(value)), 0, 1800)
                     .clamp_to_interval(true)
                     .skip_leading_partial(GetParam().skip_leading_partial)
                     .build();
    const auto items = drain(iter);
    ASSERT_EQ(items.size(), GetParam().expected_items);
    if (!items.empty()) {
      ASSERT_TRUE(items[0].has_value()) << items[0].error().display();
      EXPECT_EQ(*items[0], (Window{at(0), at(1800), true}));
    }
    EXPECT_EQ(iter.phase(), (WindowIter<Synthetic<decltype(constant(0))>>::Phase::Done));
  }
}

INSTANTIATE_TEST_SUITE_P(Leading, NonNegativeThroughoutTest,
                         testing::Values(ThroughoutCase{false, 1}, ThroughoutCase{true, 0}));

TEST(WindowIteration, LeadingWindowTrueStartSearchedBackward) {
  const std::vector<Edges> set{{-500, 300}, {1000, 1200}};
  auto skipped = *windows(synthetic(WindowSet{&set}), 0, 3000).build();
  auto items = drain(skipped);
  ASSERT_EQ(items.size(), 1u);
  expect_window(items[0], 1000, 1200, true);

  auto leading = *windows(synthetic(WindowSet{&set}), 0, 3000).skip_leading_partial(false).build();
  items = drain(leading);
  ASSERT_EQ(items.size(), 2u);
  expect_window(items[0], -500, 300, true);
  expect_window(items[1], 1000, 1200, true);

  auto clamped = *windows(synthetic(WindowSet{&set}), 0, 3000).skip_leading_partial(false).clamp_to_interval(true).build();
  items = drain(clamped);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->start, at(0));
  expect_window(items[0], 0, 300, true);
}

TEST(WindowIteration, WindowInProgressAtTheEnd) {
  const std::vector<Edges> set{{1000, 4000}};
  auto open = *windows(synthetic(WindowSet{&set}), 0, 3000).build();
  auto items = drain(open);
  ASSERT_EQ(items.size(), 1u);
  expect_window(items[0], 1000, 4000, true);

  auto clamped = *windows(synthetic(WindowSet{&set}), 0, 3000).clamp_to_interval(true).build();
  items = drain(clamped);
  ASSERT_EQ(items.size(), 1u);
  expect_window(items[0], 1000, 3000, true);
  EXPECT_EQ(items[0]->end, at(3000));
}

class TailSampleTest : public testing::TestWithParam<bool> {};

// Coarse samples at 0, 60, ..., 540; the window opens at 560, after the last one.
TEST_P(TailSampleTest, FindsAWindowThatBeginsAfterTheLastCoarseSample) {
  const bool clamp = GetParam();
  const std::vector<Edges> set{{560, 700}};
  const double end = clamp ? 590 : 700;

  auto only = *windows(synthetic(WindowSet{&set}), 0, 590).clamp_to_interval(clamp).build();
  auto items = drain(only);
  ASSERT_EQ(items.size(), 1u);
  expect_window(items[0], 560, end, true);

  auto gaps = *windows(synthetic(WindowSet{&set}), 0, 590).clamp_to_interval(clamp).windows_only(false).build();
  items = drain(gaps);
  ASSERT_EQ(items.size(), 2u);
  expect_window(items[0], 0, 560, false);
  expect_window(items[1], 560, end, true);
  EXPECT_EQ(items[0]->end, items[1]->start);
}

INSTANTIATE_TEST_SUITE_P(Clamp, TailSampleTest, testing::Bool());

TEST(WindowIteration, TooLongWindowIsAnItemAndTheScanGoesOn) {
  const std::vector<Edges> set{{100, 5000}, {6000, 6100}};
  auto iter = *windows(synthetic(WindowSet{&set}), 0, 7000).build();
  const auto first = iter.next();
  ASSERT_TRUE(first.has_value() && !first->has_value());
  EXPECT_EQ(first->error().kind(), ErrorKind::Detect);
  EXPECT_EQ(first->error().display(),
            "Detection error: window too long: the positive window containing 2024-03-01 00:02:00 UTC exceeds the 1h "
            "maximum");
  // The scan continues after the failed coarse sample: every later inside sample fails alike,
  // and the window after the long one is still found.
  const auto rest = drain(iter);
  ASSERT_FALSE(rest.empty());
  ASSERT_FALSE(rest.front().has_value());
  EXPECT_NE(rest.front().error().display().find("containing 2024-03-01 00:03:00 UTC"), std::string::npos);
  expect_window(rest.back(), 6000, 6100, true);
}

TEST(WindowIteration, BackwardWalkLimitCountsFromTheInsideSample) {
  // Inside from -4000 s: the backward walk from the first sample may not reach 3600 s back.
  const std::vector<Edges> set{{-4000, 100}};
  auto iter = *windows(synthetic(WindowSet{&set}), 0, 600).skip_leading_partial(false).build();
  const auto items = drain(iter);
  // Both coarse samples inside the window fail alike; the scan then runs outside.
  ASSERT_EQ(items.size(), 2u);
  ASSERT_FALSE(items[0].has_value());
  EXPECT_NE(items[0].error().display().find("containing 2024-03-01 00:00:00 UTC"), std::string::npos);
  ASSERT_FALSE(items[1].has_value());
  EXPECT_NE(items[1].error().display().find("containing 2024-03-01 00:01:00 UTC"), std::string::npos);
}

TEST(WindowIteration, GapsAreYieldedBeforeTheirWindow) {
  const std::vector<Edges> set{{100, 200}, {1000, 1500}};
  Probe probe;
  auto iter = *windows(synthetic(WindowSet{&set}, &probe), 0, 3000).windows_only(false).build();
  const auto gap = iter.next();
  expect_window(**&gap, 0, 100, false);
  const long samples_after_gap = probe.samples;
  const auto window = iter.next();
  expect_window(**&window, 100, 200, true);
  EXPECT_EQ(probe.samples, samples_after_gap);  // the pending window costs no sample
  EXPECT_EQ((*gap)->end, (*window)->start);
  const auto rest = drain(iter);
  ASSERT_EQ(rest.size(), 3u);
  expect_window(rest[0], 200, 1000, false);
  expect_window(rest[1], 1000, 1500, true);
  expect_window(rest[2], 1500, 3000, false);
}

TEST(WindowIteration, WindowsCloserThanTheWalkStepAreNotReportedTwice) {
  // The first walk sample after A lands in the short gap at 220; the scan resumes there and
  // meets B one second later. Walking back 30 s from 221 would land inside A again.
  const std::vector<Edges> set{{100, 195}, {220.5, 400}};
  auto iter = *windows(synthetic(WindowSet{&set}), 0, 1000).step_strategy(FixedStep{Duration::seconds(1)}).build();
  auto items = drain(iter);
  ASSERT_EQ(items.size(), 2u);
  expect_window(items[0], 100, 195, true);
  expect_window(items[1], 220.5, 400, true);

  auto gaps = *windows(synthetic(WindowSet{&set}), 0, 1000)
                   .step_strategy(FixedStep{Duration::seconds(1)})
                   .windows_only(false)
                   .build();
  items = drain(gaps);
  ASSERT_EQ(items.size(), 5u);
  expect_window(items[2], 195, 220.5, false);
}

// The interval starts outside, at 0; window B runs from 10 to 100; the coarse step is 60 s and
// the walk step 45 s, so the backward walk from 60 samples 15 and then -30, past 0.
struct PastOutsideCase {
  const char* name;
  std::vector<Edges> before;  // windows before the interval start
};

class BackwardWalkPastOutsideTest : public testing::TestWithParam<PastOutsideCase> {};

TEST_P(BackwardWalkPastOutsideTest, StartNeverPrecedesAnOutsideSample) {
  std::vector<Edges> set = GetParam().before;
  set.push_back({10, 100});
  auto iter = *windows(synthetic(WindowSet{&set}), 0, 1000)
                   .walk_step(Duration::seconds(45))
                   .windows_only(false)
                   .build();
  const auto items = drain(iter);
  ASSERT_EQ(items.size(), 3u);
  ASSERT_TRUE(items[0].has_value()) << items[0].error().display();
  EXPECT_EQ(*items[0], (Window{at(0), at(10), false}));
  EXPECT_EQ(*items[1], (Window{at(10), at(100), true}));
  expect_window(items[2], 100, 1000, false);
}

INSTANTIATE_TEST_SUITE_P(
    Walks, BackwardWalkPastOutsideTest,
    testing::Values(PastOutsideCase{"NothingBefore", {}},
                    // -30 lands inside: walking on would stretch B back to -50.
                    PastOutsideCase{"SampleInsideAnEarlierWindow", {{-50, -20}}},
                    // -30 is outside, but the Newton step from it lands on -25, the earlier window's start.
                    PastOutsideCase{"RefinedEdgeInAnEarlierWindow", {{-25, -20}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowIteration, WalkPastTheFirstOutsideSampleRefinesBetweenItsOwnSamples) {
  // As above, with a step function, whose refined edge depends on the bracket: the start is
  // refined between the walk samples 15 and -30, not between 15 and the outside sample at 0.
  const std::vector<Edges> set{{10, 100}};
  auto function = synthetic(WindowSet{&set, Shape::Step});
  const auto expected = refine_crossing(function, Refinement{}, at(15), at(-30));
  ASSERT_TRUE(expected.has_value());
  ASSERT_NE(*expected, *refine_crossing(function, Refinement{}, at(15), at(0)));
  auto iter = *windows(function, 0, 1000).walk_step(Duration::seconds(45)).build();
  const auto window = iter.next();
  ASSERT_TRUE(window && window->has_value());
  EXPECT_EQ((*window)->start, *expected);
}

TEST(WindowIteration, SampleFailuresAreItemsAndTheScanContinues) {
  const std::vector<Edges> set{{1000, 1100}};
  Probe probe{.fail_at = {at(120), at(600)}};
  auto iter = *windows(synthetic(WindowSet{&set}, &probe), 0, 3000).build();
  const auto items = drain(iter);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0], std::unexpected(propagation_failure(120)));
  EXPECT_EQ(items[1], std::unexpected(propagation_failure(600)));
  expect_window(items[2], 1000, 1100, true);
}

TEST(WindowIteration, FailureAtTheTailEndsTheIteration) {
  Probe probe{.fail_at = {at(590)}};
  auto iter = *windows(synthetic(constant(-1), &probe), 0, 590).windows_only(false).build();
  const auto item = iter.next();
  ASSERT_TRUE(item.has_value());
  EXPECT_EQ(*item, std::unexpected(propagation_failure(590)));
  const long samples = probe.samples;
  EXPECT_FALSE(iter.next().has_value());
  EXPECT_FALSE(iter.next().has_value());
  EXPECT_EQ(probe.samples, samples);
}

TEST(WindowIteration, NanSampleSurfacesAsARefinementError) {
  auto function = synthetic([](double s) { return Value{s == 120 ? kNan : -1.0}; });
  auto iter = *windows(function, 0, 600).build();
  const auto items = drain(iter);
  ASSERT_EQ(items.size(), 1u);
  ASSERT_FALSE(items[0].has_value());
  EXPECT_EQ(items[0].error().display(), "Roots error: root is not bracketed");
}

TEST(WindowIteration, StalledStepStrategyEndsTheScan) {
  Probe probe;
  auto iter = *windows(synthetic(constant(-1), &probe), 0, 600)
                   .step_strategy(FixedStep{Duration::seconds(0)})
                   .windows_only(false)
                   .build();
  const auto items = drain(iter);
  ASSERT_EQ(items.size(), 1u);
  expect_window(items[0], 0, 600, false);
  EXPECT_EQ(probe.samples, 2);  // the start, then the end
}

TEST(WindowIteration, AbsurdLimitReportsOverflow) {
  const std::vector<Edges> set{{100, 200}};
  auto iter = *windows(synthetic(WindowSet{&set}), 0, 600)
                   .max_window_duration(Duration::seconds(std::numeric_limits<std::int64_t>::max() / 2))
                   .build();
  const auto item = iter.next();
  ASSERT_TRUE(item.has_value() && !item->has_value());
  EXPECT_EQ(item->error().display(), "Detection error: `DateTime - TimeDelta` overflowed");
}

TEST(WindowIteration, IntervalAtTheEndOfTimeReportsOverflowInsteadOfAborting) {
  // Inside throughout the last 100 s before the largest representable instant: each of the
  // two coarse samples is cut at the interval start, and its forward limit lies past the end
  // of time.
  const Instant last = Instant::max();
  auto iter = *window_iter_builder()
                   .function(synthetic(constant(1)))
                   .skip_leading_partial(false)
                   .clamp_to_interval(true)
                   .interval(*last.checked_sub(Duration::seconds(100)), last)
                   .build();
  const auto items = drain(iter);
  ASSERT_EQ(items.size(), 2u);
  for (const auto& item : items) {
    ASSERT_FALSE(item.has_value());
    EXPECT_EQ(item.error().display(), "Detection error: `DateTime + TimeDelta` overflowed");
  }
  EXPECT_EQ(iter.phase(), decltype(iter)::Phase::Done);
}

TEST(WindowIteration, WalkStepBelowOneSecondWalksInSeconds) {
  const std::vector<Edges> set{{100.5, 110.5}};
  Probe probe{.record = true};
  auto iter = *windows(synthetic(WindowSet{&set}, &probe), 0, 600)
                   .step_strategy(FixedStep{Duration::seconds(5)})
                   .walk_step(Duration::seconds(-3))
                   .build();
  const auto items = drain(iter);
  ASSERT_EQ(items.size(), 1u);
  expect_window(items[0], 100.5, 110.5, true);
  // The first inside coarse sample is 105; the walks step 104, 103, ... and 106, 107, ...
  const auto first_walk = std::find(probe.sampled.begin(), probe.sampled.end(), 105.0) + 1;
  EXPECT_EQ(std::vector<double>(first_walk, first_walk + 6), (std::vector<double>{104, 103, 102, 101, 100, 101}));
}

// ---------------------------------------------------------------------------------------------
// Window iteration: properties over random windows and steps
// ---------------------------------------------------------------------------------------------

struct Scenario {
  std::vector<Edges> windows;
  double interval_end;
  double coarse_step_s;
  double walk_step_s;
};

Scenario random_scenario(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> unit(0, 1);
  Scenario s;
  s.coarse_step_s = std::round(1 + unit(rng) * 300);
  s.walk_step_s = std::round(1 + unit(rng) * 60);
  double t = 5 + unit(rng) * 500;
  const int count = 1 + int(unit(rng) * 12);
  for (int i = 0; i < count; ++i) {
    // Some windows shorter than the coarse step (may be missed), most longer.
    const double length = unit(rng) < 0.2 ? 0.2 + unit(rng) * s.coarse_step_s : s.coarse_step_s * (1 + unit(rng) * 5);
    s.windows.push_back({t, t + length});
    t += length + s.walk_step_s + 1 + unit(rng) * 2000;  // gaps wider than the walk step
  }
  s.interval_end = t;
  return s;
}

// Each reported window lies within a true window; every true window longer than the coarse
// step is reported exactly once with both edges within tolerance.
void check_windows_found(const Scenario& s, const std::vector<WindowItem>& items) {
  std::vector<int> found(s.windows.size(), 0);
  std::optional<Instant> previous_end;
  for (const WindowItem& item : items) {
    ASSERT_TRUE(item.has_value()) << item.error().display();
    ASSERT_TRUE(item->positive);
    if (previous_end) {
      EXPECT_LT(*previous_end, item->start);
    }
    previous_end = item->end;
    const double start = seconds_of(item->start), end = seconds_of(item->end);
    const auto match = std::find_if(s.windows.begin(), s.windows.end(), [&](const Edges& w) {
      return std::abs(w.start - start) <= kEdgeTolerance && std::abs(w.end - end) <= kEdgeTolerance;
    });
    ASSERT_NE(match, s.windows.end()) << "spurious window " << start << " .. " << end;
    ++found[std::size_t(match - s.windows.begin())];
  }
  for (std::size_t i = 0; i < s.windows.size(); ++i) {
    const double length = s.windows[i].end - s.windows[i].start;
    EXPECT_LE(found[i], 1);
    if (length > s.coarse_step_s) {
      EXPECT_EQ(found[i], 1) << "missed " << s.windows[i].start << " .. " << s.windows[i].end;
    }
  }
}

class RandomWindowsTest : public testing::TestWithParam<Shape> {};

TEST_P(RandomWindowsTest, FixedStepFindsEveryLongWindowOnce) {
  std::mt19937_64 rng(20240301);
  for (int trial = 0; trial < 200; ++trial) {
    const Scenario s = random_scenario(rng);
    auto iter = *windows(synthetic(WindowSet{&s.windows, GetParam()}), 0, s.interval_end)
                     .step_strategy(FixedStep{Duration::seconds(std::int64_t(s.coarse_step_s))})
                     .walk_step(Duration::seconds(std::int64_t(s.walk_step_s)))
                     .max_window_duration(Duration::seconds(100000))
                     .build();
    SCOPED_TRACE(testing::Message() << "trial " << trial << " step " << s.coarse_step_s << " walk " << s.walk_step_s);
    check_windows_found(s, drain(iter));
  }
}

TEST_P(RandomWindowsTest, ThresholdStepFindsEveryWindowLongerThanItsStride) {
  std::mt19937_64 rng(7);
  for (int trial = 0; trial < 200; ++trial) {
    Scenario s = random_scenario(rng);
    const std::int64_t min_step_s = std::int64_t(s.coarse_step_s);
    auto iter = *windows(synthetic(WindowSet{&s.windows, GetParam()}), 0, s.interval_end)
                     .step_strategy(ThresholdStep{Duration::seconds(min_step_s), Duration::seconds(min_step_s * 4)})
                     .walk_step(Duration::seconds(std::int64_t(s.walk_step_s)))
                     .max_window_duration(Duration::seconds(100000))
                     .build();
    SCOPED_TRACE(testing::Message() << "trial " << trial);
    // Moving away from the last window the stride is max_step; only windows longer than that
    // are certain to be met.
    s.coarse_step_s *= 4;
    check_windows_found(s, drain(iter));
  }
}

TEST_P(RandomWindowsTest, GapsModeTilesTheInterval) {
  std::mt19937_64 rng(99);
  for (int trial = 0; trial < 200; ++trial) {
    const Scenario s = random_scenario(rng);
    std::uniform_real_distribution<double> unit(0, 1);
    // Start and end anywhere, possibly inside a window.
    const double start = unit(rng) * s.windows.front().end;
    const double end = s.windows.back().start + unit(rng) * (s.interval_end - s.windows.back().start);
    auto iter = *windows(synthetic(WindowSet{&s.windows, GetParam()}), start, end)
                     .step_strategy(FixedStep{Duration::seconds(std::int64_t(s.coarse_step_s))})
                     .walk_step(Duration::seconds(std::int64_t(s.walk_step_s)))
                     .max_window_duration(Duration::seconds(100000))
                     .windows_only(false)
                     .skip_leading_partial(false)
                     .clamp_to_interval(true)
                     .build();
    SCOPED_TRACE(testing::Message() << "trial " << trial);
    const auto items = drain(iter);
    ASSERT_FALSE(items.empty());
    Instant cursor = at(start);
    std::optional<bool> previous_positive;
    for (const auto& item : items) {
      ASSERT_TRUE(item.has_value()) << item.error().display();
      EXPECT_EQ(item->start, cursor);
      EXPECT_LE(item->start, item->end);
      if (previous_positive) {
        EXPECT_NE(item->positive, *previous_positive);
      }
      previous_positive = item->positive;
      cursor = item->end;
    }
    EXPECT_EQ(cursor, at(end));
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, RandomWindowsTest,
                         testing::Values(Shape::Linear, Shape::LinearValuesOnly, Shape::Step),
                         [](const auto& info) {
                           switch (info.param) {
                             case Shape::Linear: return "Linear";
                             case Shape::LinearValuesOnly: return "LinearValuesOnly";
                             case Shape::Step: return "Step";
                           }
                           return "";
                         });

TEST(WindowIteration, IteratingAllocatesNothing) {
  std::vector<Edges> set;
  for (int i = 0; i < 200; ++i) set.push_back({1000.0 * i + 100, 1000.0 * i + 400});
  Probe probe;
  for (const bool windows_only : {true, false}) {
    auto iter = *windows(synthetic(WindowSet{&set}, &probe), 0, 200000)
                     .step_strategy(ThresholdStep{Duration::seconds(10), Duration::seconds(120)})
                     .windows_only(windows_only)
                     .build();
    const long samples_before = probe.samples;
    std::size_t windows_found = 0;
    const long allocations = test_support::allocations_during([&] {
      while (auto item = iter.next()) windows_found += item->has_value() && item->value().positive;
    });
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(windows_found, set.size());
    EXPECT_GT(probe.samples - samples_before, 3000);
  }
}

// ---------------------------------------------------------------------------------------------
// Crossing iteration
// ---------------------------------------------------------------------------------------------

auto sine_1000s(double s) { return Value{std::sin(2 * std::numbers::pi * s / 1000)}; }

TEST(CrossingIteration, EachSignChangeOnceWithItsDirection) {
  // Roots every 500 s; 0 itself is sampled as an exact zero and gives no crossing. The root at
  // 2000 lies between the last sample (1980) and the interval end, so it is not reported.
  auto iter = *crossing_iter_builder().function(synthetic(sine_1000s)).interval(at(0), at(2030)).build();
  const auto items = drain(iter);
  ASSERT_EQ(items.size(), 3u);
  const std::pair<double, CrossingDirection> expected[] = {
      {500, CrossingDirection::Falling}, {1000, CrossingDirection::Rising}, {1500, CrossingDirection::Falling}};
  for (std::size_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(items[i].has_value()) << items[i].error().display();
    EXPECT_NEAR(seconds_of(items[i]->time), expected[i].first, kEdgeTolerance);
    EXPECT_EQ(items[i]->direction, expected[i].second);
  }
  EXPECT_TRUE(iter.done());
}

TEST(CrossingIteration, ExactZeroSampleGivesNoCrossing) {
  // Samples at 0, 60, 120, ...: the function is 0 at 60 and changes sign there.
  auto iter = *crossing_iter_builder()
                   .function(synthetic([](double s) { return Value{s - 60}; }))
                   .interval(at(0), at(600))
                   .build();
  EXPECT_TRUE(drain(iter).empty());
}

TEST(CrossingIteration, TinyValuesOfOppositeSignsCross) {
  // Their product underflows to zero; the crossing must still be found.
  auto iter = *crossing_iter_builder()
                   .function(synthetic([](double s) { return Value{(s - 90) * 1e-200}; }))
                   .interval(at(0), at(600))
                   .build();
  const auto items = drain(iter);
  ASSERT_EQ(items.size(), 1u);
  ASSERT_TRUE(items[0].has_value()) << items[0].error().display();
  EXPECT_NEAR(seconds_of(items[0]->time), 90, kEdgeTolerance);
  EXPECT_EQ(items[0]->direction, CrossingDirection::Rising);
}

TEST(CrossingIteration, FailedSampleIsAnItemAndKeepsThePreviousSample) {
  Probe probe{.fail_at = {at(540)}};
  auto iter = *crossing_iter_builder().function(synthetic(sine_1000s, &probe)).interval(at(0), at(900)).build();
  const auto items = drain(iter);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0], std::unexpected(propagation_failure(540)));
  // The sign change between 480 and 600 is still seen, across the failed sample.
  ASSERT_TRUE(items[1].has_value());
  EXPECT_NEAR(seconds_of(items[1]->time), 500, kEdgeTolerance);
}

// ---------------------------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------------------------

TEST(DetectError, TextsAndCoreKind) {
  const detect::Error too_long(detect::WindowTooLong{*Instant::from_civil({2024, 3, 1, 12, 0, 5, 0}), Duration::seconds(5400)});
  EXPECT_EQ(too_long.text(),
            "window too long: the positive window containing 2024-03-01 12:00:05 UTC exceeds the 1h 30m maximum");
  EXPECT_EQ(too_long.to_core().kind(), ErrorKind::Detect);
  EXPECT_EQ(too_long.to_core().display(), "Detection error: " + too_long.text());
  EXPECT_EQ(detect::Error(detect::Overflow{false}).text(), "`DateTime + TimeDelta` overflowed");
  EXPECT_EQ(plus(Instant::max(), Duration::seconds(1)).error().display(),
            "Detection error: `DateTime + TimeDelta` overflowed");
  EXPECT_EQ(minus(Instant::min(), Duration::seconds(1)).error().display(),
            "Detection error: `DateTime - TimeDelta` overflowed");
}
