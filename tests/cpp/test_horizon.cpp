#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "satvane/horizon.hpp"

#include "catalogue_orbits.hpp"

using namespace satvane;
using test_support::iss;

namespace {

Instant plus_s(Instant t, double seconds) { return *t.checked_add(Duration::nanos(std::llround(seconds * 1e9))); }

}  // namespace

// The derivative the refinement's Newton steps take: the elevation rate less the mask's slope
// times the azimuth rate, against a central difference of the value over a day of samples
// (those whose difference straddles a corner of the mask are skipped). SGP4's velocity is the
// derivative of its position to a few cm/s, and the difference errs where the rate bends fast.
TEST(Horizon, DerivativeMatchesTheValuesCentralDifference) {
  const std::vector<MaskPoint> points{{0, 5}, {60, 30}, {61, 10}, {200, 45}, {300, 0}};
  const HorizonMask mask = *HorizonMask::from_points(points);
  const Predictor predictor = iss();
  const GeodeticPoint observer{48.85, 2.35, 35.0};
  LastElevation last;
  const ElevationAboveMask function(predictor, observer, mask, &last);
  const auto slope_at = [&](Instant t) {
    return mask.at(predictor.observe_at(t, observer)->azimuth_rad * kRadToDeg).slope;
  };
  const double h_s = 0.01;
  int checked = 0;
  for (int k = 0; k < 86400 / 7; ++k) {
    const Instant t = plus_s(predictor.epoch(), 7.0 * k);
    const Instant before = plus_s(t, -h_s), after = plus_s(t, h_s);
    if (slope_at(before) != slope_at(after)) continue;
    const auto sample = *function.sample(t);
    const double difference = (function.sample(after)->value - function.sample(before)->value) / (2 * h_s);
    ASSERT_TRUE(sample.derivative.has_value());
    EXPECT_NEAR(*sample.derivative, difference, 5e-7 + 1e-3 * std::abs(difference)) << k;
    ++checked;
  }
  EXPECT_GT(checked, 12000);
}

TEST(Horizon, MasksThatAreNotMasksAreRefusedWithThePythonClassesText) {
  const std::vector<MaskPoint> backwards{{0, 10}, {180, 10}, {90, 5}};
  EXPECT_EQ(HorizonMask::from_points(backwards).error(),
            "horizon mask point 2: azimuth 90 does not follow 180; azimuths must rise");
  EXPECT_FALSE(HorizonMask::from_points(std::vector<MaskPoint>{{0, 10}}).has_value());
  EXPECT_FALSE(HorizonMask::from_points(std::vector<MaskPoint>{{0, NAN}, {90, 5}}).has_value());
}
