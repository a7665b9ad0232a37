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

class WindowsAgainstDenseSampling : public testing::TestWithParam<IlluminationCase> {};

// The windows tile the interval with alternating states, each edge is a sign change of the
// shadow value to the time tolerance, and every second sampled has the state of its window.
TEST_P(WindowsAgainstDenseSampling, TileAlternateAndAgree) {
  const Predictor predictor = predictor_of(GetParam().orbit);
  const Instant start = plus_s(predictor.epoch(), 1234.5);
  const Instant end = plus_s(start, GetParam().days * 86400.0);
  const auto windows = all_windows(predictor, start, end);
  ASSERT_GT(windows.size(), 2u);
  Instant expected_start = start;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    ASSERT_TRUE(windows[i]) << windows[i].error().display();
    const IlluminationWindow& w = *windows[i];
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

TEST(Illumination, IntervalsWhollySunlitOrWhollyInEclipseAreOneWindow) {
  // Geostationary in July: the shadow cylinder passes below it.
  const Predictor geo = predictor_of(kGeostationary);
  const Instant t = plus_s(geo.epoch(), 600.0);
  const auto sunlit = all_windows(geo, t, plus_s(t, 86400.0));
  ASSERT_EQ(sunlit.size(), 1u);
  EXPECT_EQ(*sunlit[0], (IlluminationWindow{t, plus_s(t, 86400.0), IlluminationState::Sunlit}));

  const Predictor predictor = iss();
  const auto day = all_windows(predictor, t, plus_s(t, 86400.0));
  const auto eclipse = std::find_if(day.begin() + 1, day.end(),
                                    [](const auto& w) { return w->state == IlluminationState::Eclipse; });
  ASSERT_NE(eclipse, day.end());
  const Instant inside = plus_s((*eclipse)->start, 60.0);
  const auto dark = all_windows(predictor, inside, plus_s((*eclipse)->end, -60.0));
  ASSERT_EQ(dark.size(), 1u);
  EXPECT_EQ(dark[0]->state, IlluminationState::Eclipse);

  // Starting in eclipse: the first window is that eclipse, cut at the interval start.
  const auto from_inside = all_windows(predictor, inside, plus_s(inside, 10800.0));
  EXPECT_EQ(from_inside[0]->start, inside);
  EXPECT_EQ(from_inside[0]->state, IlluminationState::Eclipse);
  EXPECT_NEAR((from_inside[0]->end - (*eclipse)->end).as_seconds_f64(), 0.0, kEdgeSlack_s);
}

TEST(Illumination, StepsBelowOneSecondAreRaisedAndLongEclipsesAreErrors) {
  const Predictor predictor = iss();
  const Instant t = plus_s(predictor.epoch(), kSixHours_s);
  const Instant end = plus_s(t, 6000.0);
  const Duration one = Duration::seconds(1);
  EXPECT_EQ(all_windows(predictor, t, end, {Duration::seconds(0), Duration::seconds(-3), Duration::seconds(600)}),
            all_windows(predictor, t, end, {one, one, Duration::seconds(600)}));

  const auto limited = all_windows(predictor, t, end, {Duration::seconds(60), Duration::seconds(30), Duration::seconds(200)});
  const auto error = std::find_if(limited.begin(), limited.end(), [](const auto& item) { return !item; });
  ASSERT_NE(error, limited.end());
  EXPECT_TRUE(error->error().display().starts_with(
      "Detection error: window too long: the positive window containing 2020-07-12 "))
      << error->error().display();
  EXPECT_TRUE(error->error().display().ends_with(" exceeds the 3m 20s maximum"));
}

using IlluminationDiagnostics = WithRecordingSink;

TEST_F(IlluminationDiagnostics, ReportEachWindow) {
  const Predictor predictor = iss();
  sink.events.clear();  // the predictor's own event
  const Instant t = plus_s(predictor.epoch(), kSixHours_s);
  const auto windows = all_windows(predictor, t, plus_s(t, 6000.0));
  ASSERT_EQ(sink.events.size(), windows.size());
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const RecordedEvent& event = sink.events[i];
    EXPECT_EQ(event.target, "satvane::illumination");
    EXPECT_EQ(event.message, "illumination window");
    const std::string state = windows[i]->state == IlluminationState::Sunlit ? "Sunlit" : "Eclipse";
    EXPECT_EQ(event.fields, (decltype(event.fields){{"state", state},
                                                    {"start", diagnostics::to_text(windows[i]->start)},
                                                    {"end", diagnostics::to_text(windows[i]->end)}}));
  }
}

}  // namespace
