#!/usr/bin/env python3
"""Time per SGP4 propagation: ours (bench_propagation) against python-sgp4's compiled
Satrec.sgp4_array, for the same element sets and times, in the same run.

    python3 bench/propagation_vs_sgp4.py build/<dir>/bench/bench_propagation [repetitions]

Both sides are timed in CPU time (the machine is shared, so wall time mostly measures the
neighbours) and summarised by the median of the repetitions.
"""
import json
import statistics
import subprocess
import sys
import time

import numpy as np
from sgp4.api import WGS84, Satrec

# Keep in step with bench_propagation.cpp.
ELEMENT_SETS = {
    "NearEarth": (
        "1 25544U 98067A   20194.05494676  .00000943  00000-0  24953-4 0  9990",
        "2 25544  51.6435 225.4004 0001771  44.9625   5.1087 15.49560532235875",
    ),
    "DeepSpace": (
        "1 28129U 03058A   06175.57071136 -.00000104  00000-0  10000-3 0   459",
        "2 28129  54.7298 324.8098 0048506 266.2640  93.1663  2.00562768 18443",
    ),
    "Resonant": (
        "1 08195U 75081A   06176.33215444  .00000099  00000-0  11873-3 0   813",
        "2 08195  64.1586 279.0717 6877146 264.7651  20.2257  2.00491383225656",
    ),
}
TIME_COUNT = 1000
FIRST_MINUTE = -1440.0
SPAN_MINUTES = 8.0 * 1440.0


def times_min():
    i = np.arange(TIME_COUNT, dtype=float)
    return FIRST_MINUTE + SPAN_MINUTES * i / (TIME_COUNT - 1)


def reference_ns_per_call(line1, line2, repetitions):
    sat = Satrec.twoline2rv(line1, line2, WGS84)
    minutes = times_min()
    jd = np.full(minutes.shape, sat.jdsatepoch)
    fr = sat.jdsatepochF + minutes / 1440.0
    batches = 200
    samples = []
    for _ in range(repetitions):
        start = time.process_time()
        for _ in range(batches):
            sat.sgp4_array(jd, fr)
        samples.append((time.process_time() - start) / (batches * TIME_COUNT) * 1e9)
    return statistics.median(samples)


def ours_ns_per_call(binary, repetitions):
    out = subprocess.run(
        [binary, "--benchmark_filter=BM_Propagate", "--benchmark_format=json",
         f"--benchmark_repetitions={repetitions}", "--benchmark_min_time=0.2"],
        check=True, capture_output=True, text=True).stdout
    results = {}
    for bench in json.loads(out)["benchmarks"]:
        if bench.get("aggregate_name") == "median":
            name = bench["run_name"].removeprefix("BM_Propagate")
            scale = {"ns": 1.0, "us": 1e3, "ms": 1e6}[bench["time_unit"]]
            results[name] = bench["cpu_time"] * scale
    return results


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    ours = ours_ns_per_call(sys.argv[1], repetitions)
    print(f"{'element set':<12} {'ours ns':>9} {'python-sgp4 ns':>15} {'ratio':>7}")
    for name, (line1, line2) in ELEMENT_SETS.items():
        reference = reference_ns_per_call(line1, line2, repetitions)
        print(f"{name:<12} {ours[name]:9.1f} {reference:15.1f} {ours[name] / reference:7.2f}")


if __name__ == "__main__":
    main()
