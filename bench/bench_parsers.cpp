// Reading element sets: one OMM JSON record (about 700 bytes, as an element-set service sends
// it) and one two-line element set.
#include <benchmark/benchmark.h>

#include <string>

#include "sgp4/omm.hpp"
#include "sgp4/tle.hpp"

namespace {

const std::string kOmmRecord =
    R"j({"OBJECT_NAME": "ISS (ZARYA)", "OBJECT_ID": "1998-067A", "EPOCH": "2020-07-12T01:19:07.402656", )j"
    R"j("MEAN_MOTION": 15.49560532, "ECCENTRICITY": 0.0001771, "INCLINATION": 51.6435, )j"
    R"j("RA_OF_ASC_NODE": 225.4004, "ARG_OF_PERICENTER": 44.9625, "MEAN_ANOMALY": 5.1087, )j"
    R"j("EPHEMERIS_TYPE": 0, "CLASSIFICATION_TYPE": "U", "NORAD_CAT_ID": 25544, "ELEMENT_SET_NO": 999, )j"
    R"j("REV_AT_EPOCH": 23587, "BSTAR": 0.0049645, "MEAN_MOTION_DOT": 0.00289036, "MEAN_MOTION_DDOT": 0, )j"
    R"j("CCSDS_OMM_VERS": "2.0", "COMMENT": "GENERATED VIA SPACE-TRACK.ORG API", "CREATION_DATE": )j"
    R"j("2020-07-12T03:26:10", "ORIGINATOR": "18 SPCS", "REF_FRAME": "TEME", )j"
    R"j("TIME_SYSTEM": "UTC", "MEAN_ELEMENT_THEORY": "SGP4", "SEMIMAJOR_AXIS": 6797.145, )j"
    R"j("DECAY_DATE": null, "GP_ID": 158713796})j";

void ReadOmmJson(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(sgp4::read_omm_json(kOmmRecord));
  state.SetBytesProcessed(std::int64_t(state.iterations() * kOmmRecord.size()));
  state.counters["record_bytes"] = double(kOmmRecord.size());
}
BENCHMARK(ReadOmmJson);

void ParseTle(benchmark::State& state) {
  constexpr std::string_view kLine1 = "1 25544U 98067A   08264.51782528 -.00002182  00000-0 -11606-4 0  2927";
  constexpr std::string_view kLine2 = "2 25544  51.6416 247.4627 0006703 130.5360 325.0288 15.72125391563537";
  for (auto _ : state) benchmark::DoNotOptimize(sgp4::parse_tle("ISS (ZARYA)", kLine1, kLine2));
}
BENCHMARK(ParseTle);

}  // namespace
