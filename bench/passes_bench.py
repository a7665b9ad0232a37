"""Pass planning speed beside the plain pass search it builds on.

    python bench/passes_bench.py

Visible passes of the ISS over 30 days (every pass with its sunlight, the observer's twilight, and the
whole record of each visible one) against `Predictor.transits_iter` over the same days; passes over a
36-point horizon mask over 7 days against `transits_iter` at the mask's lowest elevation. Target:
at most 1.5 times. Each pair is timed alternately in the thread's CPU time and the fastest runs are
compared: on a shared machine wall-clock times of a few milliseconds mostly measure the other jobs.
"""

import datetime as dt
import time
from importlib import resources

from satvane import GeodeticPoint, Interval, Predictor, Tle
from satvane.horizon import HorizonMask, mask_passes
from satvane.passes import visible_passes

REPEATS = 25
PREDICTOR = Predictor.from_tle(Tle(*resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines()))
OBSERVER = GeodeticPoint(51.4779, -0.0015, 46.0)
# A station with hills and roofs: 2° to 14° in a 10° pattern around the compass.
MASK = HorizonMask([(10.0 * k, 2.0 + 4.0 * (k % 4)) for k in range(36)])


def fastest_ms(*calls):
    timings = [[] for _ in calls]
    for _ in range(REPEATS):
        for call, times in zip(calls, timings):
            start = time.thread_time()
            call()
            times.append(time.thread_time() - start)
    return [min(times) * 1e3 for times in timings]


def compare(title, plain, planned):
    plain_ms, planned_ms = fastest_ms(plain, planned)
    ratio = planned_ms / plain_ms
    print(f"{title:<44} {planned_ms:8.2f} ms   transits_iter {plain_ms:7.2f} ms   ratio {ratio:4.2f}"
          f" ({'within' if ratio <= 1.5 else 'over'} the 1.5 target)")


def main():
    month = Interval(PREDICTOR.epoch, PREDICTOR.epoch + dt.timedelta(days=30))
    compare(f"visible passes, ISS, 30 days ({len(visible_passes(PREDICTOR, OBSERVER, month, 10.0))} found)",
            lambda: list(PREDICTOR.transits_iter(OBSERVER, month, 10.0)),
            lambda: visible_passes(PREDICTOR, OBSERVER, month, 10.0))
    week = Interval(PREDICTOR.epoch, PREDICTOR.epoch + dt.timedelta(days=7))
    compare(f"passes over a 36-point mask, 7 days ({len(list(mask_passes(PREDICTOR, OBSERVER, week, MASK)))} found)",
            lambda: list(PREDICTOR.transits_iter(OBSERVER, week, MASK.min_elevation_deg)),
            lambda: list(mask_passes(PREDICTOR, OBSERVER, week, MASK)))


if __name__ == "__main__":
    main()
