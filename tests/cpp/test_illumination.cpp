#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "satvane/illumination.hpp"

#include "catalogue_orbits.hpp"
#include "recording_sink.hpp"

using namespace satvane;
using namespace test_support;

namespace {

Instant plus_s(Instant t, double seconds) { return *t.checked_add(Duration::nanos(std::llround(seconds * 1e9))); }

// The ISS element set starts a season of short eclipses: none in its first six hours, then
// eclipses of four minutes and more.
constexpr double kSixHours_s = 6 * 3600.0;

// Refinement tolerance plus the millisecond to which propagation truncates time.
constexpr double kEdgeSlack_s = 0.003;

std::vector<IlluminationItem> all_windows(const Predictor& predictor, Instant start, Instant end,
                                          const IlluminationIterOpts& opts = {}) {
  std::vector<IlluminationItem> items;
  auto iter = illumination_iter_with_opts(predictor, {start, end}, opts);
  while (auto item = iter.next()) items.push_back(*item);
  EXPECT_FALSE(iter.next().has_value());
  return items;
}

IlluminationState state_at(const Predictor& predictor, Instant t) { return *predictor.illumination_state(t); }

struct IlluminationCase {
  std::string name;
  Orbit orbit;
  double days;
};

void PrintTo(const IlluminationCase& c, std::ostream* os) { *os << c.name; }

class WindowsAgainstDenseSampling : public testing::TestWithParam<IlluminationCase> {};

// The windows tile the interval with alternating states, each edge is a sign change of the
// shadow value to the time tolerance, every second sampled has the state of its window, and
// each window is reported as a diagnostic event.
TEST_P(WindowsAgainstDenseSampling, TileAlternateAndAgree) {
  const Predictor predictor = predictor_of(GetParam().orbit);
  const Instant start = plus_s(predictor.epoch(), 1234.5);
  const Instant end = plus_s(start, GetParam().days * 86400.0);
  const RecordingSink sink;
  const auto windows = all_windows(predictor, start, end);
  ASSERT_GT(windows.size(), 2u);
  ASSERT_EQ(sink.events.size(), windows.size());
  Instant expected_start = start;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    ASSERT_TRUE(windows[i]) << windows[i].error().display();
    const IlluminationWindow& w = *windows[i];
    const std::string state = w.state == IlluminationState::Sunlit ? "Sunlit" : "Eclipse";
    expect_event(sink.events[i], "satvane::illumination", "illumination window",
                 {{"state", state}, {"start", text(w.start)}, {"end", text(w.end)}});
    EXPECT_EQ(w.start, expected_start);
    expected_start = w.end;
    if (i > 0) {
      EXPECT_NE(w.state, windows[i - 1]->state);
      EXPECT_EQ(state_at(predictor, plus_s(w.start, -kEdgeSlack_s)), windows[i - 1]->state);
      EXPECT_EQ(state_at(predictor, plus_s(w.start, kEdgeSlack_s)), w.state);
    }
  }
  EXPECT_EQ(expected_start, end);

  std::size_t current = 0;
  for (Instant t = start; t < end; t = plus_s(t, 1.0)) {
    while (windows[current]->end <= t) ++current;
    const IlluminationWindow& w = *windows[current];
    if ((t - w.start).as_seconds_f64() < kEdgeSlack_s || (w.end - t).as_seconds_f64() < kEdgeSlack_s) continue;
    ASSERT_EQ(state_at(predictor, t), w.state) << format_datetime(t);
  }
}

INSTANTIATE_TEST_SUITE_P(Orbits, WindowsAgainstDenseSampling,
                         testing::Values(IlluminationCase{"ISS", kIss, 3.0}, IlluminationCase{"LEO", kLeo, 2.0},
                                         IlluminationCase{"SSO", kSunSynchronous, 2.0}),
                         [](const auto& info) { return info.param.name; });

TEST(Illumination, AnIntervalWhollySunlitOrStartingInEclipse) {
  // Geostationary in July: the shadow cylinder passes below it.
  const Predictor geo = predictor_of(kGeostationary);
  const Instant t = plus_s(geo.epoch(), 600.0), end = plus_s(t, 86400.0);
  EXPECT_EQ(all_windows(geo, t, end), (std::vector<IlluminationItem>{IlluminationWindow{t, end, IlluminationState::Sunlit}}));

  const Predictor predictor = iss();
  const auto day = all_windows(predictor, t, end);
  const IlluminationWindow& eclipse = *day.at(1);
  const Instant inside = plus_s(eclipse.start, 60.0);
  const IlluminationWindow first = *all_windows(predictor, inside, end).front();
  EXPECT_EQ(first.start, inside);
  EXPECT_EQ(first.state, IlluminationState::Eclipse);
  EXPECT_NEAR((first.end - eclipse.end).as_seconds_f64(), 0.0, kEdgeSlack_s);
}

TEST(Illumination, StepsBelowOneSecondAreRaisedAndLongEclipsesAreErrors) {
  const Predictor predictor = iss();
  const Instant t = plus_s(predictor.epoch(), kSixHours_s), end = plus_s(t, 6000.0);
  const auto windows = [&](std::int64_t step_s, std::int64_t walk_step_s, std::int64_t max_s) {
    return all_windows(predictor, t, end, {Duration::seconds(step_s), Duration::seconds(walk_step_s), Duration::seconds(max_s)});
  };
  EXPECT_EQ(windows(0, -3, 600), windows(1, 1, 600));
  const auto limited = windows(60, 30, 200);
  const auto error = std::find_if(limited.begin(), limited.end(), [](const auto& item) { return !item; });
  ASSERT_NE(error, limited.end());
  EXPECT_TRUE(error->error().display().starts_with("Detection error: window too long: the positive window containing "));
  EXPECT_TRUE(error->error().display().ends_with(" exceeds the 3m 20s maximum"));
}

}  // namespace
