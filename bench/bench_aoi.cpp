// One satellite-day of area-of-interest windows: time, and the samples (one SGP4 propagation
// each) the search spends, against the 86400 of sampling every second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "satvane/aoi.hpp"

using namespace satvane;

namespace {

Predictor satellite(bool iss) {
  if (iss)
    return *Predictor::from_tle("ISS (ZARYA)", "1 25544U 98067A   20194.05493000  .00000813  00000-0  22646-4 0  9993",
                                "2 25544  51.6431 189.6454 0001427  74.8669  50.1546 15.49456427236170");
  return *Predictor::from_tle("SSO", "1 40697U 15028A   20194.50000000  .00000010  00000-0  20000-4 0  9990",
                              "2 40697  98.5700 270.0000 0001100  90.0000 270.1000 14.30820000266009");
}

// A regular 100-gon of radius 10° around (45, 20).
area::AreaKind hundred_gon() {
  std::vector<LatLon> ring;
  const double lat0 = 45 * kDegToRad, r = 10 * kDegToRad;
  for (int k = 0; k < 100; ++k) {
    const double bearing = 2 * std::numbers::pi * k / 100;
    const double lat = std::asin(std::sin(lat0) * std::cos(r) + std::cos(lat0) * std::sin(r) * std::cos(bearing));
    const double dlon =
        std::atan2(std::sin(bearing) * std::sin(r) * std::cos(lat0), std::cos(r) - std::sin(lat0) * std::sin(lat));
    ring.push_back({lat * kRadToDeg, 20 + dlon * kRadToDeg});
  }
  return *area::Polygon::create(ring);
}

// Counts the samples: each evaluates the area once.
struct Counted {
  const area::AreaKind* area;
  long* samples;
  double signed_angular_offset(LatLon point) const {
    ++*samples;
    return area->signed_angular_offset(point);
  }
};

// Arguments: satellite (1 ISS, 0 sun-synchronous), area (1 polygon, 0 circle), off-nadir degrees.
void BM_AoiDay(benchmark::State& state) {
  const Predictor predictor = satellite(state.range(0) == 1);
  const area::AreaKind area = state.range(1) == 1 ? hundred_gon() : area::AreaKind(*area::Circle::create({45, 20}, 10));
  AoiIterOpts opts;
  opts.max_off_nadir = double(state.range(2)) * kDegToRad;
  const Instant start = predictor.epoch();
  const TimeInterval day{start, *start.checked_add(Duration::seconds(86400))};
  long samples = 0, windows = 0;
  for (auto _ : state) {
    samples = windows = 0;
    auto iter = aoi_iter_with_opts(predictor, Counted{&area, &samples}, day, opts);
    while (auto item = iter.next()) windows += item->has_value();
  }
  state.counters["windows"] = double(windows);
  state.counters["samples"] = double(samples);
  state.counters["per_window"] = windows ? double(samples) / double(windows) : 0.0;
  state.counters["fewer_than_1s"] = 86400.0 / double(samples);
}

}  // namespace

BENCHMARK(BM_AoiDay)
    ->ArgNames({"iss", "polygon", "off_nadir"})
    ->ArgsProduct({{1, 0}, {1, 0}, {0, 30}})
    ->Unit(benchmark::kMicrosecond);
