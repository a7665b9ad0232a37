#!/usr/bin/env python3
"""Time per propagation of `satvane.batch.propagate` against python-sgp4's `SatrecArray.sgp4`,
on the same element sets and times, in the same run.

    python bench/batch_vs_sgp4.py [repetitions]

Each catalogue is 60 element sets of one orbit (near earth, sun-synchronous, 12 h Molniya,
geostationary, GPS) with spread nodes and anomalies, and last the four 2006 orbits together;
the times are 1000 instants over the day after the first set's epoch. Both sides fill arrays of TEME positions and velocities. CPU time is the
fair single-core figure on a shared machine; wall time shows what the threads add. Medians of
the repetitions; budget: at most half the reference's time per propagation on one thread.
"""

import statistics
import sys
import time
from datetime import timedelta
from importlib.metadata import PackageNotFoundError, version

import numpy as np
from sgp4.api import WGS84, Satrec, SatrecArray

from satvane import Predictor, Tle, batch

BASES = [  # (name, line 1, line 2)
    ("near earth", "1 25544U 98067A   20194.05494676  .00000943  00000-0  24953-4 0  9990",
     "2 25544  51.6435 225.4004 0001771  44.9625   5.1087 15.49560532235875"),
    ("sun-synchronous", "1 28057U 03049A   06177.78615833  .00000060  00000-0  35940-4 0  1836",
     "2 28057  98.4283 247.6961 0000884  88.1964 271.9322 14.35478080140550"),
    ("Molniya", "1 08195U 75081A   06176.33215444  .00000099  00000-0  11873-3 0   813",
     "2 08195  64.1586 279.0717 6877146 264.7651  20.2257  2.00491383225656"),
    ("geostationary", "1 28626U 05008A   06176.46683397 -.00000205  00000-0  10000-3 0  2190",
     "2 28626   0.0019 286.9433 0000335  13.7918  55.6504  1.00270176  4891"),
    ("GPS", "1 28129U 03058A   06175.57071136 -.00000104  00000-0  10000-3 0   459",
     "2 28129  54.7298 324.8098 0048506 266.2640  93.1663  2.00562768 18443"),
]
VARIANTS = 60
TIME_COUNT = 1000


def checksum(line):
    return sum(int(c) if c.isdigit() else c == "-" for c in line[:68]) % 10


def variant(line_2, k):
    """Line 2 with the node and the mean anomaly moved by k steps."""
    node = (float(line_2[17:25]) + 6.1 * k) % 360
    anomaly = (float(line_2[43:51]) + 37.3 * k) % 360
    body = f"{line_2[:17]}{node:8.4f}{line_2[25:43]}{anomaly:8.4f}{line_2[51:68]}"
    return body + str(checksum(body))


def catalogue(bases):
    return [(l1, variant(l2, k)) for _, l1, l2 in bases for k in range(VARIANTS)]


def medians_ns_per_propagation(runs, propagations, repetitions):
    """Median of each (function, clock) pair, the runs interleaved so that each sees the same
    load from the machine's other users."""
    samples = [[] for _ in runs]
    for _ in range(repetitions):
        for (run, clock), out in zip(runs, samples):
            start = clock()
            run()
            out.append((clock() - start) / propagations * 1e9)
    return [statistics.median(s) for s in samples]


def compare(label, bases, repetitions):
    sets = catalogue(bases)
    predictors = [Predictor.from_tle(Tle("", l1, l2)) for l1, l2 in sets]
    satrecs = SatrecArray([Satrec.twoline2rv(l1, l2, WGS84) for l1, l2 in sets])
    start = predictors[0].epoch
    times = [start + timedelta(seconds=86400 * i / TIME_COUNT) for i in range(TIME_COUNT)]
    ns = batch.times_ns(times)
    instants = ns.view("datetime64[ns]")
    # The same instants as Julian dates for python-sgp4 (whole day and fraction, to the microsecond).
    jd_unix_epoch = 2440587.5
    days = ns / 86_400e9
    jd = np.floor(days) + jd_unix_epoch
    fr = days - np.floor(days)
    count = len(sets) * TIME_COUNT
    ours_1 = lambda: batch.propagate(predictors, instants, threads=1)  # noqa: E731
    ours_all = lambda: batch.propagate(predictors, instants)  # noqa: E731
    theirs = lambda: satrecs.sgp4(jd, fr)  # noqa: E731
    row = medians_ns_per_propagation(((ours_1, time.process_time), (theirs, time.process_time),
                                      (ours_all, time.perf_counter), (theirs, time.perf_counter)), count, repetitions)
    print(f"{label:<16} {row[0]:9.1f} {row[1]:9.1f} {row[0] / row[1]:7.2f}   {row[2]:9.1f} {row[3]:9.1f} "
          f"{row[2] / row[3]:7.2f}")
    return row[0] / row[1]


def satvane_version():
    try:
        return version("satvane")
    except PackageNotFoundError:  # a developer build on PYTHONPATH
        return "(build tree)"


def main():
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else 9
    print(f"satvane {satvane_version()}, sgp4 {version('sgp4')} (C++ extension: "
          f"{Satrec.__module__ == 'sgp4.wrapper'}), numpy {np.__version__}, "
          f"{batch.default_threads()} threads")
    print(f"{'ns/propagation':<16} {'ours CPU':>9} {'sgp4 CPU':>9} {'ratio':>7}   {'ours wall':>9} "
          f"{'sgp4 wall':>9} {'ratio':>7}")
    for base in BASES:
        compare(base[0], [base], repetitions)
    # The 2006 element sets together (the ISS's 2020 epoch would put the others 14 years out).
    ratio = compare("mixed 2006", BASES[1:], repetitions)
    sys.exit(0 if ratio <= 0.5 else 1)


if __name__ == "__main__":
    main()
