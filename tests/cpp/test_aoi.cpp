#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "satvane/aoi.hpp"
#include "satvane/diagnostics.hpp"
#include "satvane/frames.hpp"

#include "iss_tle.hpp"

using namespace satvane;
using area::AreaKind;

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
constexpr double kEdge_s = 0.003;  // refinement tolerance plus SGP4's whole-millisecond times
constexpr long kMargin_s = 7200;   // brute force runs this far beyond the interval on both sides
constexpr long kDay_s = 86400;

Predictor iss() {
  return *Predictor::from_tle(test_support::kIssName, test_support::kIssLine1, test_support::kIssLine2);
}
Predictor sun_synchronous() {
  return *Predictor::from_tle("SSO", "1 40697U 15028A   20194.50000000  .00000010  00000-0  20000-4 0  9990",
                              "2 40697  98.5700 270.0000 0001100  90.0000 270.1000 14.30820000266009");
}

Instant plus_s(Instant t, double s) { return *t.checked_add(Duration::nanos(std::llround(s * 1e9))); }
double seconds_from(Instant base, Instant t) { return (t - base).as_seconds_f64(); }
bool near(Instant a, Instant b) { return std::fabs(seconds_from(a, b)) <= kEdge_s; }
bool near(const Window& a, const Window& b) { return near(a.start, b.start) && near(a.end, b.end); }

// Counts the offsets a search evaluates: one per sample.
struct Counted {
  const AreaKind* area;
  long* calls;
  double signed_angular_offset(LatLon point) const {
    ++*calls;
    return area->signed_angular_offset(point);
  }
};

// The reach by intersecting the ray with the sphere (the distance along the ray, then the angle
// it subtends at the centre), independent of the law of sines.
double ray_reach(double off_nadir, double r, double ground_r) {
  const double horizon = std::acos(ground_r / r);
  const double discriminant = ground_r * ground_r - std::pow(r * std::sin(off_nadir), 2);
  if (discriminant < 0) return horizon;
  const double along = r * std::cos(off_nadir) - std::sqrt(discriminant);
  return std::min(horizon, std::atan2(along * std::sin(off_nadir), r - along * std::cos(off_nadir)));
}

// The sub-satellite point and the distance from the Earth's centre every second from `start`.
struct Track {
  Instant start;
  std::vector<GeodeticPoint> below;
  std::vector<double> radius_m;

  Track(const Predictor& p, Instant from, long seconds) : start(from) {
    for (long i = 0; i <= seconds; ++i) {
      const Instant t = plus_s(from, double(i));
      const auto teme = p.propagate(t);
      below.push_back(to_geodetic(to_ecef(*teme, t)));
      radius_m.push_back(norm(teme->position_m));
    }
  }
};

struct Stretch {
  long first, last;  // seconds from the track start of the first and last inside samples
};

std::vector<Stretch> brute_force(const Track& track, const AreaKind& area, double off_nadir, Coverage rule) {
  std::vector<Stretch> out;
  for (long i = 0; i < long(track.below.size()); ++i) {
    const GeodeticPoint& g = track.below[i];
    const LatLon point{g.latitude_deg, g.longitude_deg};
    const double reach = ray_reach(off_nadir, track.radius_m[i], track.radius_m[i] - g.altitude_m);
    const bool inside = rule == Coverage::Any ? area.signed_angular_offset(point) >= -reach
                                              : area::max_angular_distance(area, point) <= reach;
    if (!inside) continue;
    if (!out.empty() && out.back().last == i - 1) {
      out.back().last = i;
    } else {
      out.push_back({i, i});
    }
  }
  return out;
}

// Every stretch of two or more inside samples that starts clearly inside the interval lies in
// one reported window (which may merge stretches less than a walk step apart); every window
// starts within the interval, has its edges at brute-force transitions and holds an inside
// sample unless it is shorter than a second. Returns the windows that hold exactly one stretch.
std::vector<std::pair<Window, Stretch>> check(const Track& track, const std::vector<Stretch>& truth,
                                              const std::vector<Window>& windows) {
  std::vector<std::pair<Window, Stretch>> single;
  std::vector<bool> covered(truth.size());
  double previous_end = -1e9;
  for (const Window& w : windows) {
    const double s = seconds_from(track.start, w.start), e = seconds_from(track.start, w.end);
    EXPECT_TRUE(previous_end < s && s < e && s > kMargin_s - kEdge_s && s < kMargin_s + kDay_s + kEdge_s) << s;
    previous_end = e;
    std::vector<std::size_t> hit;
    for (std::size_t k = 0; k < truth.size(); ++k) {
      if (truth[k].first <= e + kEdge_s && truth[k].last >= s - kEdge_s) hit.push_back(k);
    }
    if (hit.empty()) {
      EXPECT_LT(e - s, 1 + kEdge_s) << "window at " << s << " s has no brute-force stretch";
      continue;
    }
    const Stretch& first = truth[hit.front()];
    const Stretch& last = truth[hit.back()];
    EXPECT_TRUE(s >= first.first - 1 - kEdge_s && s <= first.first + kEdge_s) << s << " vs " << first.first;
    EXPECT_TRUE(e >= last.last - kEdge_s && e <= last.last + 1 + kEdge_s) << e << " vs " << last.last;
    for (std::size_t k = 1; k < hit.size(); ++k) EXPECT_LE(truth[hit[k]].first - truth[hit[k - 1]].last, 6);
    for (std::size_t k : hit) covered[k] = true;
    if (hit.size() == 1) single.emplace_back(w, first);
  }
  for (std::size_t k = 0; k < truth.size(); ++k) {
    const bool required = truth[k].last > truth[k].first && truth[k].first > kMargin_s + 2 &&
                          truth[k].first < kMargin_s + kDay_s - 2;
    EXPECT_TRUE(covered[k] || !required) << "stretch at " << truth[k].first << " s not reported";
  }
  return single;
}

std::vector<std::pair<std::string, AreaKind>> areas() {
  const auto star = [](area::FillRule rule) {
    std::vector<LatLon> ring;
    for (int k = 0; k < 5; ++k) {
      const double bearing = (90 + 144 * k) * kDeg;
      ring.push_back({8 * std::sin(bearing), 60 + 8 * std::cos(bearing)});
    }
    auto polygon = *area::Polygon::create(ring);
    polygon.set_fill_rule(rule);
    return polygon;
  };
  return {
      {"circle", *area::Circle::create({45, 20}, 5)},
      {"small circle", *area::Circle::create({50, 10}, 1)},
      {"small box near the pole", *area::Rectangle::create({78, 30}, {79, 32})},
      {"small triangle", *area::Polygon::create({{-50, 100}, {-50.5, 101}, {-49.5, 101}})},
      {"box across the antimeridian", *area::Rectangle::create({10, 170}, {30, -170})},
      {"band", *area::Rectangle::latitude_band(-10, 10)},
      {"polar cap", *area::Rectangle::latitude_band(70, 90)},
      {"concave polygon",
       *area::Polygon::create({{35, -10}, {35, 10}, {45, 10}, {45, 5}, {38, 5}, {38, -5}, {45, -5}, {45, -10}})},
      {"pentagram, non-zero", star(area::FillRule::NonZero)},
      {"pentagram, even-odd", star(area::FillRule::EvenOdd)},
  };
}

class BruteForce : public testing::TestWithParam<std::tuple<bool, double>> {};

TEST_P(BruteForce, WindowsMatchOneSecondSampling) {
  const auto [is_iss, off_nadir_deg] = GetParam();
  const Predictor p = is_iss ? iss() : sun_synchronous();
  const Instant start = plus_s(p.epoch(), 3600);
  static std::map<bool, Track> tracks;
  if (!tracks.contains(is_iss)) tracks.emplace(is_iss, Track(p, plus_s(start, -kMargin_s), kDay_s + 2 * kMargin_s));
  const Track& track = tracks.at(is_iss);

  for (const auto& [name, area] : areas()) {
    SCOPED_TRACE(name);
    std::map<Coverage, std::vector<Window>> found;
    for (Coverage rule : {Coverage::Any, Coverage::Full}) {
      AoiIterOpts opts;
      opts.max_off_nadir = off_nadir_deg * kDeg;
      opts.coverage = rule;
      long samples = 0;
      auto iter = aoi_iter_with_opts(p, Counted{&area, &samples}, {start, plus_s(start, kDay_s)}, opts);
      while (auto item = iter.next()) {
        ASSERT_TRUE(item->has_value()) << item->error().display();
        found[rule].push_back(**item);
      }
      EXPECT_LT(samples, kDay_s / 20);  // at least 20 times fewer than sampling every second
      for (const auto& [w, stretch] : check(track, brute_force(track, area, opts.max_off_nadir, rule), found[rule])) {
        const auto detected = detect_aoi_with_opts(p, plus_s(track.start, double(stretch.first)), area, opts);
        ASSERT_TRUE(detected.has_value() && detected->has_value());
        EXPECT_TRUE(near(**detected, w));
      }
    }
    for (const Window& full : found[Coverage::Full]) {
      EXPECT_TRUE(std::ranges::any_of(found[Coverage::Any], [&](const Window& any) {
        return seconds_from(any.start, full.start) >= -kEdge_s && seconds_from(full.end, any.end) >= -kEdge_s;
      }));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(OrbitsAndReach, BruteForce, testing::Combine(testing::Bool(), testing::Values(0.0, 30.0)));

// ---- Options ---------------------------------------------------------------------------------

TEST(AoiOptions, StepsAreFlooredAndTheProximityStrideStaysWithinThem) {
  AoiIterOpts opts;
  opts.min_step = Duration::seconds(-5);
  opts.max_step = Duration{};
  EXPECT_EQ(step_bounds(opts), (StepBounds{Duration::millis(1), Duration::millis(1)}));
  opts.min_step = Duration::seconds(30);
  opts.max_step = Duration::seconds(10);
  EXPECT_EQ(step_bounds(opts), (StepBounds{Duration::seconds(30), Duration::seconds(30)}));

  const ProximityStep step{Duration::seconds(1), Duration::seconds(600), 0.001};
  const Instant now = iss().epoch();
  const auto stride = [&](double value) {
    const EventSample last{value, std::nullopt, now};
    return *step.next_time(now, &last) - now;
  };
  EXPECT_EQ(*step.next_time(now, nullptr) - now, Duration::seconds(600));
  EXPECT_EQ(stride(-0.0123456), Duration::millis(12345));  // |v| / rate, truncated to whole ms
  EXPECT_EQ(stride(-1e-5), Duration::seconds(1));
  EXPECT_EQ(stride(-3), Duration::seconds(600));
  EXPECT_EQ(stride(std::nan("")), Duration::seconds(1));
}

// ---- Edge cases of the two searches ------------------------------------------------------------

const Instant kStart = *Instant::from_civil({2020, 7, 12, 3, 0, 0, 0});
const AreaKind kCircle = *area::Circle::create({45, 20}, 5);

AoiIter<AreaKind> circle_iter(Instant start, Instant end, const AoiIterOpts& opts = {}) {
  return aoi_iter_with_opts(iss(), kCircle, {start, end}, opts);
}

TEST(AoiSearch, WindowsInProgressAtEitherEndAreSkippedCutOrResolved) {
  const Window w = **circle_iter(kStart, plus_s(kStart, kDay_s)).next();
  const Instant mid = plus_s(w.start, seconds_from(w.start, w.end) / 2);
  const Instant late = plus_s(mid, seconds_from(mid, w.end) / 2);
  const Instant before = plus_s(w.start, -60);
  AoiIterOpts opts;
  EXPECT_FALSE(circle_iter(mid, late, opts).next().has_value());
  EXPECT_TRUE(near(**circle_iter(before, mid, opts).next(), w));
  opts.skip_leading_partial = false;
  EXPECT_TRUE(near(**circle_iter(mid, late, opts).next(), w));
  opts.clamp_to_interval = true;
  EXPECT_EQ(**circle_iter(mid, late, opts).next(), (Window{mid, late, true}));
  EXPECT_TRUE(near(**circle_iter(before, mid, opts).next(), Window{w.start, mid, true}));
}

TEST(AoiSearch, DetectionSamplesOnceOutsideAndTakesAZeroValueAsWithinReach) {
  long calls = 0;
  const Instant outside = plus_s((**circle_iter(kStart, plus_s(kStart, kDay_s)).next()).start, -600);
  EXPECT_EQ(*detect_aoi_with_opts(iss(), outside, Counted{&kCircle, &calls}), std::nullopt);
  EXPECT_EQ(calls, 1);

  // An area that is nothing but the sub-satellite point at kStart: offset exactly 0 there.
  struct OnePoint {
    LatLon at;
    double signed_angular_offset(LatLon p) const { return p == at ? 0.0 : -1.0; }
  };
  const auto below = *iss().sub_point(kStart);
  const auto window = detect_aoi_with_opts(iss(), kStart, OnePoint{{below.latitude_deg, below.longitude_deg}});
  EXPECT_EQ(*window, (Window{kStart, kStart, true}));
}

TEST(AoiSearch, OverlongWindowsAreErrorsNotLoops) {
  const AreaKind band = *area::Rectangle::latitude_band(-90, 60);  // the ISS never leaves it
  EXPECT_EQ(detect_aoi_with_opts(iss(), kStart, band).error().display(),
            "Detection error: window too long: the positive window containing 2020-07-12 03:00:00 UTC exceeds "
            "the 1h maximum");
  const auto item = aoi_iter_with_opts(iss(), band, {kStart, plus_s(kStart, 4 * 3600)}).next();
  EXPECT_TRUE(item && !*item && item->error().kind() == ErrorKind::Detect);

  AoiIterOpts absurd;
  absurd.max_window_duration = Duration::seconds(std::int64_t(1) << 62);
  EXPECT_EQ(detect_aoi_with_opts(iss(), kStart, band, absurd).error().inner_text(), kSubOverflowText);
}

struct Recorder : diagnostics::Sink {
  void receive(const diagnostics::Event& event) override {
    if (event.target != "satvane::aoi") return;  // predictors report their creation too
    ASSERT_EQ(event.message, "aoi window detected");
    ASSERT_EQ(event.fields.size(), 2u);
    ASSERT_EQ(event.fields[0].name, "entry");
    ASSERT_EQ(event.fields[1].name, "exit");
    windows.push_back({std::get<Instant>(event.fields[0].value), std::get<Instant>(event.fields[1].value), true});
  }
  std::vector<Window> windows;
};

TEST(AoiSearch, EachWindowIsReportedOnceToTheDiagnosticsSink) {
  Recorder recorder;
  diagnostics::set_sink(&recorder);
  std::vector<Window> yielded;
  auto iter = circle_iter(kStart, plus_s(kStart, kDay_s));
  while (auto item = iter.next()) yielded.push_back(**item);
  const Window& first = yielded.front();
  const auto detected = detect_aoi_with_opts(iss(), plus_s(first.start, seconds_from(first.start, first.end) / 2), kCircle);
  diagnostics::set_sink(nullptr);
  yielded.push_back(**detected);
  EXPECT_EQ(recorder.windows, yielded);
}

}  // namespace
