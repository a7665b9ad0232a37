// The element set the predictor tests propagate: the ISS on 2020-07-12.
#pragma once

namespace test_support {
inline constexpr const char* kIssName = "ISS (ZARYA)";
inline constexpr const char* kIssLine1 = "1 25544U 98067A   20194.05493000  .00000813  00000-0  22646-4 0  9993";
inline constexpr const char* kIssLine2 = "2 25544  51.6431 189.6454 0001427  74.8669  50.1546 15.49456427236170";
}  // namespace test_support
