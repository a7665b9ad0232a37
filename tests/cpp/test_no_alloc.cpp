// The per-sample operations run thousands of times in every search: they must not touch the
// heap. This executable replaces the global allocation functions to count calls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "satvane/aoi.hpp"
#include "satvane/apsides.hpp"
#include "satvane/frames.hpp"
#include "satvane/illumination.hpp"
#include "satvane/observe.hpp"
#include "satvane/predictor.hpp"
#include "satvane/sampling.hpp"
#include "satvane/transits.hpp"

#include "allocation_counter.hpp"
#include "iss_tle.hpp"

namespace satvane {
namespace {

using test_support::allocations_during;

TEST(NoAlloc, CounterSeesHeapUse) {
  std::string* text = nullptr;
  EXPECT_GE(allocations_during([&] { text = new std::string(100, 'x'); }), 1);
  delete text;
}

TEST(NoAlloc, PerSampleOperationsAllocateNothing) {
  const auto predictor = Predictor::from_tle(test_support::kIssName, test_support::kIssLine1, test_support::kIssLine2);
  ASSERT_TRUE(predictor);
  const GeodeticPoint site{48.85, 2.35, 35.0};
  double sink = 0.0;  // keeps the results alive

  const long count = allocations_during([&] {
    for (std::int64_t second = 0; second < 6000; second += 7) {
      const Instant t = *predictor->epoch().checked_add(Duration::seconds(second));
      const auto teme = predictor->propagate(t);
      const StateVector<Ecef> ecef = to_ecef(*teme, t);
      const StateVector<Teme> back = to_teme(ecef, t);
      const StateVector<Enu> enu = to_enu(ecef, site);
      const StateVector<Enu> enu_from_frame = to_enu(ecef, EnuFrame::of(site));
      const Observation seen = to_observation(enu);
      const ElevationAndRate elevation = elevation_and_rate(enu);
      const GeodeticPoint below = to_geodetic(ecef);
      const StateVector<Ecef> site_ecef = to_ecef(site);
      const Pointing pointing = to_pointing(to_lvlh(*teme, to_teme(site_ecef, t)));
      sink += enu_from_frame.position_m.z + back.position_m.x + seen.range_m + elevation.rate_rad_s + below.altitude_m + pointing.range_m +
              off_nadir_deg(pointing.direction) + sidereal_angle_rad(t) + sun_position_eci(t).x;
      sink += predictor->observe_at(t, site)->elevation_rad + predictor->point_at(t, site)->range_rate_m_s +
              predictor->sub_point(t)->latitude_deg + *shadow_value(*predictor, t) +
              double(*predictor->illumination_state(t));
    }
  });
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(std::isfinite(sink));
}

// A resonant orbit's integrator steps are stored on the first propagation that reaches them;
// after that, propagation at any time they cover allocates nothing.
TEST(NoAlloc, ResonantPropagationOnceTheStepsAreStored) {
  sgp4::Elements elements;
  elements.epoch = {1594533600, 0};  // 2020-07-12 06:00 UTC
  elements.mean_motion = 1.002704;
  elements.eccentricity = 0.0002347;
  elements.inclination = 0.0417;
  elements.right_ascension = 210.6212;
  elements.argument_of_perigee = 325.6143;
  elements.mean_anomaly = 72.2931;
  const auto geo = Predictor::create(elements);
  ASSERT_TRUE(geo) << geo.error().display();
  const Instant first = *geo->epoch().checked_add(Duration::seconds(-365 * 86400));
  const Instant last = *geo->epoch().checked_add(Duration::seconds(3 * 365 * 86400));
  ASSERT_TRUE(geo->propagate(first) && geo->propagate(last));
  const Predictor copy = *geo;  // copies share the stored steps
  double sink = 0.0;
  const long count = allocations_during([&] {
    for (std::int64_t hour = -365 * 24; hour < 3 * 365 * 24; hour += 5)
      sink += copy.propagate(*geo->epoch().checked_add(Duration::seconds(hour * 3600)))->position_m.x;
  });
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(std::isfinite(sink));
}

TEST(NoAlloc, SamplingStepsAllocateNothing) {
  const auto predictor = Predictor::from_tle(test_support::kIssName, test_support::kIssLine1, test_support::kIssLine2);
  ASSERT_TRUE(predictor);
  const Instant start = predictor->epoch();
  const Instant end = *start.checked_add(Duration::seconds(6000));
  PredictionIter states(*predictor, start, end, Duration::seconds(7));
  GroundTrackIter track(PredictionIter(*predictor, start, end, Duration::seconds(7)));
  ObservationIter seen(*predictor, GeodeticPoint{48.85, 2.35, 35.0}, start, end, Duration::seconds(7));
  double sink = 0.0;
  const long count = allocations_during([&] {
    while (auto state = states.next()) sink += (*state)->second.position_m.x;
    while (auto point = track.next()) sink += (*point)->second.latitude_deg;
    while (auto observation = seen.next()) sink += (*observation)->second.elevation_rad;
  });
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(std::isfinite(sink));
}

// Every search, with its coarse scan, walks and refinements, runs without the heap.
TEST(NoAlloc, EventSearchesAllocateNothing) {
  const auto predictor = Predictor::from_tle(test_support::kIssName, test_support::kIssLine1, test_support::kIssLine2);
  ASSERT_TRUE(predictor);
  const GeodeticPoint site{48.85, 2.35, 35.0};
  const TimeInterval day{predictor->epoch(), *predictor->epoch().checked_add(Duration::seconds(86400))};
  auto passes = transits_iter_with_opts(*predictor, site, day, 10.0);
  auto windows = illumination_iter_with_opts(*predictor, day);
  auto apsides = apsis_iter_with_opts(*predictor, day);
  const auto polygon = area::Polygon::create({{35, -10}, {35, 10}, {45, 10}, {45, -10}});
  AoiIterOpts reach;
  reach.max_off_nadir = 0.5;
  auto areas = aoi_iter_with_opts(*predictor, area::AreaKind(*polygon), day, reach);
  long items = 0;
  const long count = allocations_during([&] {
    while (auto pass = passes.next()) items += pass->has_value();
    while (auto window = windows.next()) items += window->has_value();
    while (auto apsis = apsides.next()) items += apsis->has_value();
    items += detect_transit_with_opts(*predictor, day.start, site, 0.0).has_value();
    items += max_elevation_with_opts(*predictor, day, site).has_value();
    while (auto area = areas.next()) items += area->has_value();
    items += detect_aoi_with_opts(*predictor, day.start, *polygon, reach).has_value();
  });
  EXPECT_EQ(count, 0);
  EXPECT_GT(items, 30);
}

}  // namespace
}  // namespace satvane
