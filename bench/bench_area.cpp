// Cost of one area offset, the operation every sample of an area search evaluates.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "satvane/area.hpp"

using satvane::LatLon;
using namespace satvane::area;

namespace {

// Query points on a scattered grid of `spread_deg` around (45, 20), the centre of every area
// below: 30° reaches inside, near and well outside; 8° stays within the polygon's bounding cap,
// where the winding number must be counted.
std::vector<LatLon> query_points(double spread_deg) {
  std::vector<LatLon> points;
  for (int i = 0; i < 256; ++i)
    points.push_back({45 + spread_deg * (std::fmod(i * 0.37, 2.0) - 1.0) * 0.7,
                      20 + spread_deg * (std::fmod(i * 0.61, 2.0) - 1.0)});
  return points;
}

// A regular 100-gon of radius 10° around (45, 20).
Polygon hundred_gon() {
  std::vector<LatLon> ring;
  const double lat0 = 45 * kDegToRad, r = 10 * kDegToRad;
  for (int k = 0; k < 100; ++k) {
    const double bearing = 2 * std::numbers::pi * k / 100;
    const double lat =
        std::asin(std::sin(lat0) * std::cos(r) + std::cos(lat0) * std::sin(r) * std::cos(bearing));
    const double dlon = std::atan2(std::sin(bearing) * std::sin(r) * std::cos(lat0),
                                   std::cos(r) - std::sin(lat0) * std::sin(lat));
    ring.push_back({lat * kRadToDeg, 20 + dlon * kRadToDeg});
  }
  return *Polygon::create(ring);
}

template <class A>
void run(benchmark::State& state, const A& area, double spread_deg = 30) {
  const std::vector<LatLon> points = query_points(spread_deg);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(area.signed_angular_offset(points[i++ & 255]));
  }
}

void BM_Polygon100(benchmark::State& state) { run(state, hundred_gon()); }
void BM_Polygon100WithinCap(benchmark::State& state) { run(state, hundred_gon(), 8); }
void BM_Polygon100AreaKind(benchmark::State& state) { run(state, AreaKind(hundred_gon())); }
void BM_Rectangle(benchmark::State& state) { run(state, *Rectangle::create({35, 10}, {55, 30})); }
void BM_Circle(benchmark::State& state) { run(state, *Circle::create({45, 20}, 10)); }

}  // namespace

BENCHMARK(BM_Polygon100);
BENCHMARK(BM_Polygon100WithinCap);
BENCHMARK(BM_Polygon100AreaKind);
BENCHMARK(BM_Rectangle);
BENCHMARK(BM_Circle);
