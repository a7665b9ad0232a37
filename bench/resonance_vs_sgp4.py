#!/usr/bin/env python3
"""Time per propagation of resonant orbits (GEO, Molniya) far from their epoch: our
Predictor.propagate against python-sgp4's Satrec.sgp4, on the same times, in the same run.

    PYTHONPATH=build/<dir>/satvane-py/python python3 bench/resonance_vs_sgp4.py [repetitions]

At each distance from the epoch (0, 30 days, 1 year, 10 years) both propagate to the same
2880 times of a two-day window starting there: once in increasing order (a search) and once
shuffled (random access). Each repetition starts from new objects, so the first call's
integration out to the window (ours stores the steps, python-sgp4 keeps its last state) is
included, spread over the 2880 calls; "ours warm" repeats the run on the same Predictor.
CPU time, median of the repetitions, nanoseconds per call.
"""
import datetime as dt
import random
import statistics
import sys
import time
from importlib.metadata import version

from sgp4.api import WGS84, Satrec

from satvane import Predictor, Tle


def with_checksum(line):
    return line + str(sum(int(c) if c.isdigit() else c == "-" for c in line) % 10)


ELEMENT_SETS = {
    "GEO": ("1 26038U 00011A   20194.50000000 -.00000273  00000-0  00000-0 0  999",
            "2 26038   0.0417 210.6212 0002347 325.6143  72.2931  1.00270400 7555"),
    "Molniya": ("1 08195U 75081A   06176.33215444  .00000099  00000-0  11873-3 0   81",
                "2 08195  64.1586 279.0717 6877146 264.7651  20.2257  2.0049138322565"),
}
DISTANCES = {"epoch": 0, "30 days": 30, "1 year": 365, "10 years": 3652}
SAMPLES = 2880
STEP_MS = 60_000


def window_ms(days):
    return [days * 86_400_000 + i * STEP_MS for i in range(SAMPLES)]


def time_ours(lines, epoch, millis, warm):
    predictor = Predictor.from_tle(Tle("bench", *lines))
    times = [epoch + dt.timedelta(milliseconds=m) for m in millis]
    propagate = predictor.propagate
    if warm:
        for t in times:
            propagate(t)
    start = time.process_time()
    for t in times:
        propagate(t)
    return (time.process_time() - start) / len(times) * 1e9


def time_reference(lines, millis):
    satrec = Satrec.twoline2rv(*lines, WGS84)
    jd, fr0 = satrec.jdsatepoch, satrec.jdsatepochF
    fractions = [fr0 + m / 86_400_000 for m in millis]
    sgp4 = satrec.sgp4
    start = time.process_time()
    for fr in fractions:
        sgp4(jd, fr)
    return (time.process_time() - start) / len(fractions) * 1e9


def main():
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    print(f"python-sgp4 {version('sgp4')}, {SAMPLES} times per run, median of {repetitions}, ns per call")
    print(f"{'orbit':<8} {'distance':<9} {'order':<10} {'ours':>8} {'ours warm':>10} {'python-sgp4':>12} {'ratio':>6}")
    for name, raw in ELEMENT_SETS.items():
        lines = tuple(with_checksum(line) for line in raw)
        epoch = Predictor.from_tle(Tle("bench", *lines)).epoch
        for label, days in DISTANCES.items():
            for order in ("increasing", "random"):
                millis = window_ms(days)
                if order == "random":
                    random.Random(days).shuffle(millis)
                ours = statistics.median(time_ours(lines, epoch, millis, False) for _ in range(repetitions))
                warm = statistics.median(time_ours(lines, epoch, millis, True) for _ in range(repetitions))
                reference = statistics.median(time_reference(lines, millis) for _ in range(repetitions))
                print(f"{name:<8} {label:<9} {order:<10} {ours:8.0f} {warm:10.0f} {reference:12.0f} "
                      f"{ours / reference:6.2f}")


if __name__ == "__main__":
    main()
