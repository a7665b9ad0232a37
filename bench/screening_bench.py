"""Screening a catalogue: the batch pass search against a plain Python loop over transits_iter and
against orbit-predictor's passes_over, in one run; the large screen's time and peak memory; Dask
with two local worker processes against one process.

    python bench/screening_bench.py [--quick]

Times are medians. One-thread figures are CPU time (the machine is shared); all-core figures are
wall time. Every search runs at 10° over one day from 2026-12-07 00:00 UTC, with passes in
progress at the ends cut there (as `python -m satvane screen` does).
"""

from __future__ import annotations

import os

os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")  # idle BLAS threads would count as CPU time

import datetime as dt
import logging
import resource
import statistics
import subprocess
import sys
import time

from catalogue import OBSERVERS, UTC, catalogue, median_seconds, naive, peer, version

from satvane import GeodeticPoint, Interval, Predictor, batch

START = dt.datetime(2026, 12, 7, tzinfo=UTC)
DAY = Interval(START, START + dt.timedelta(days=1))
MIN_ELEVATION_DEG = 10.0
CUT = dict(skip_leading_partial=False, clamp_to_interval=True, max_transit_duration=dt.timedelta(days=1, minutes=1))


def wall_median(work, repeats: int = 5) -> float:
    timings = []
    for _ in range(repeats):
        start = time.perf_counter()
        work()
        timings.append(time.perf_counter() - start)
    return statistics.median(timings)


def observers(count: int) -> list[GeodeticPoint]:
    return [GeodeticPoint(-60 + 120 * k / max(count - 1, 1), -180 + 360 * (k * 7 % count) / count, 100.0)
            for k in range(count)]


def loop_pairs_per_s(predictors, sample_pairs: int = 200) -> float:
    """A plain Python loop over transits_iter (with the peak of each pass), on a sample of pairs."""
    every = len(predictors) * len(OBSERVERS) // sample_pairs  # a sample across the catalogue's kinds
    pairs = [(p, o) for p in predictors[::every] for o in OBSERVERS]

    def work():
        for predictor, observer in pairs:
            for transit in predictor.transits_iter(observer, DAY, MIN_ELEVATION_DEG, **CUT):
                predictor.max_elevation(observer, transit)
    return len(pairs) / median_seconds(work, repeats=3)


def orbit_predictor_pairs_per_s(tles, sample_pairs: int = 400) -> float | None:
    """orbit-predictor's passes_over on a sample of pairs across the catalogue's kinds. Its predictors
    cache propagations, so each repetition builds them afresh, as a screening run would."""
    sources = peer("orbit_predictor.sources")
    locations = peer("orbit_predictor.locations")
    if sources is None or locations is None:
        return None
    logging.getLogger("orbit_predictor").setLevel(logging.CRITICAL)  # it logs each pass it gives up on
    every = len(tles) * len(OBSERVERS) // sample_pairs
    sample = tles[::every]
    places = [locations.Location(f"site {k}", o.latitude_deg, o.longitude_deg, o.altitude) for k, o in enumerate(OBSERVERS)]

    failed = set()

    def work():
        for k, tle in enumerate(sample):
            sat = sources.get_predictor_from_tle_lines((tle.line_1, tle.line_2))
            for place in places:
                try:
                    list(sat.passes_over(place, naive(DAY.start), limit_date=naive(DAY.end),
                                         aos_at_dg=MIN_ELEVATION_DEG))
                except Exception:  # it gives up on some slow orbits (an internal assertion)
                    failed.add(k)
    seconds = median_seconds(work, repeats=3)
    print(f"  [orbit-predictor gave up on {len(failed)} of {len(sample)} sampled satellites; their pairs count as done]")
    return len(sample) * len(places) / seconds


def peak_rss_mib() -> float:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def large_screen(satellites: int, observer_count: int) -> None:
    """Run in a child process so that its peak memory is its own."""
    predictors = [Predictor.from_tle(t) for t in catalogue(satellites)]
    sites = observers(observer_count)
    before = peak_rss_mib()
    start = time.perf_counter()
    found = batch.transits(predictors, sites, DAY, MIN_ELEVATION_DEG, **CUT)
    seconds = time.perf_counter() - start
    print(f"{seconds:.2f} {len(found.passes)} {before:.0f} {peak_rss_mib():.0f}")


def dask_ratio(predictors) -> tuple[float, float] | None:
    try:
        from dask.distributed import Client, LocalCluster
    except ImportError:
        print("[dask missing: pip install 'satvane[dask]']", file=sys.stderr)
        return None
    from satvane import distributed
    local = wall_median(lambda: batch.transits(predictors, OBSERVERS, DAY, MIN_ELEVATION_DEG, threads=1, **CUT), 3)
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        distributed.transits(client, predictors[:10], OBSERVERS, DAY, MIN_ELEVATION_DEG, **CUT)  # warm the workers
        spread = wall_median(lambda: distributed.transits(client, predictors, OBSERVERS, DAY, MIN_ELEVATION_DEG,
                                                          **CUT), 3)
    return local, spread


def main() -> None:
    if sys.argv[1:2] == ["--large"]:
        large_screen(int(sys.argv[2]), int(sys.argv[3]))
        return
    quick = "--quick" in sys.argv
    tles = catalogue(1000)
    predictors = [Predictor.from_tle(t) for t in tles]
    pairs = len(predictors) * len(OBSERVERS)
    print(f"satvane batch pass search; numpy {version('numpy')}, dask {version('dask')}, "
          f"orbit-predictor {version('orbit-predictor')}, Python {sys.version.split()[0]}")
    print(f"{len(predictors)} catalogue-like satellites x {len(OBSERVERS)} observers x 1 day, "
          f"{MIN_ELEVATION_DEG:g}°")

    one = median_seconds(lambda: batch.transits(predictors, OBSERVERS, DAY, MIN_ELEVATION_DEG, threads=1, **CUT), 5)
    every = wall_median(lambda: batch.transits(predictors, OBSERVERS, DAY, MIN_ELEVATION_DEG, **CUT), 5)
    rows = len(batch.transits(predictors, OBSERVERS, DAY, MIN_ELEVATION_DEG, **CUT).passes)
    print(f"  batch, 1 thread (CPU):        {one:7.3f} s  {pairs / one:9.0f} pairs/s  ({rows} passes)")
    print(f"  batch, {batch.default_threads()} threads (wall):      {every:7.3f} s  {pairs / every:9.0f} pairs/s")
    loop = loop_pairs_per_s(predictors)
    print(f"  Python loop over transits_iter + max_elevation: {loop:9.0f} pairs/s  (batch 1 thread: "
          f"{pairs / one / loop:.0f}x)")
    theirs = orbit_predictor_pairs_per_s(tles)
    if theirs:
        print(f"  orbit-predictor passes_over:  {theirs:9.0f} pairs/s  (batch 1 thread: {pairs / one / theirs:.0f}x, "
              f"all threads: {pairs / every / theirs:.0f}x)")
    if quick:
        return

    large = subprocess.run([sys.executable, __file__, "--large", "10000", "50"], capture_output=True, text=True,
                           check=True).stdout.split()
    seconds, passes, base_mib, peak_mib = float(large[0]), int(large[1]), float(large[2]), float(large[3])
    print(f"10000 satellites x 50 observers x 1 day, all threads: {seconds:.1f} s wall, {passes} passes, "
          f"peak RSS {peak_mib:.0f} MiB ({peak_mib - base_mib:.0f} MiB over the loaded catalogue)")
    ratio = dask_ratio(predictors)
    if ratio:
        local, spread = ratio
        print(f"Dask, 2 worker processes x 1 thread: {spread:.3f} s against one process on one thread {local:.3f} s "
              f"(ratio {local / spread:.2f})")


if __name__ == "__main__":
    main()
