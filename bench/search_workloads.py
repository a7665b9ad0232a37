"""The benchmarks' satvane workloads, one per run, for profilers and counters.

    python bench/search_workloads.py WORKLOAD [REPEAT]

WORKLOAD is one of: iss-week (7 days of ISS passes above 10° over Greenwich), iss-week-peaks (the same
with each pass's peak), catalogue (1 day, 200 satellites, 10 observers), illumination (30 days of ISS
windows), apsides (30 days of ISS apsides). For example, propagations counted with a uprobe:

    perf probe -x satvane/_satvane*.so --add sgp4prop=ADDRESS_OF_sgp4::Constants::propagate
    perf stat -e probe__satvane:sgp4prop python bench/search_workloads.py iss-week
"""

import datetime as dt
import sys

from catalogue import OBSERVERS, UTC, catalogue, iss
from satvane import Interval, Predictor

START = dt.datetime(2026, 12, 7, tzinfo=UTC)
DAY = dt.timedelta(days=1)


def passes(tle, observer, days, peaks=False):
    predictor = Predictor.from_tle(tle)
    found = 0
    try:
        for transit in predictor.transits_iter(observer, Interval(START, START + days * DAY), 10.0,
                                               max_transit_duration=DAY):
            if peaks:
                predictor.max_elevation(observer, transit)
            found += 1
    except RuntimeError:  # a geostationary satellite that never sets
        pass
    return found


WORKLOADS = {
    "iss-week": lambda: passes(iss(), OBSERVERS[0], 7),
    "iss-week-peaks": lambda: passes(iss(), OBSERVERS[0], 7, peaks=True),
    "catalogue": lambda: sum(passes(tle, o, 1) for tle in catalogue() for o in OBSERVERS),
    "illumination": lambda: len(list(Predictor.from_tle(iss()).illumination_iter(Interval(START, START + 30 * DAY)))),
    "apsides": lambda: len(list(Predictor.from_tle(iss()).apsis_iter(Interval(START, START + 30 * DAY)))),
}

if __name__ == "__main__":
    name, repeat = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 1
    for _ in range(repeat):
        items = WORKLOADS[name]()
    print(f"{name}: {items} items")
