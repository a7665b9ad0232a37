"""One satellite-day of area-of-interest windows from Python, beside sampling every second.

    python bench/aoi_bench.py

For a 100-vertex polygon and a circle, the ISS and a sun-synchronous orbit, off-nadir 0 and 30°:
the median CPU time of `list(predictor.aoi_iter(area, day, max_off_nadir_deg=...))`, and the time of
the brute-force alternative, `sub_point` plus `signed_angular_offset_deg` every second of the day
(off-nadir 0 only). Budget: 2 ms per satellite-day. Exits with 1 when a budget is missed. The
samples each search spends are counted by the C++ benchmark `bench_aoi`.
"""

import datetime as dt
import math
import statistics
import sys
import time
import timeit

from satvane import Circle, Interval, Polygon, Predictor, Tle

REPEATS = 15
BUDGET_MS = 2.0
SATELLITES = {
    "ISS": Tle("ISS (ZARYA)", "1 25544U 98067A   20194.05493000  .00000813  00000-0  22646-4 0  9993",
               "2 25544  51.6431 189.6454 0001427  74.8669  50.1546 15.49456427236170"),
    "sun-synchronous": Tle("SSO", "1 40697U 15028A   20194.50000000  .00000010  00000-0  20000-4 0  9990",
                           "2 40697  98.5700 270.0000 0001100  90.0000 270.1000 14.30820000266009"),
}


def ring(centre_lat_deg, centre_lon_deg, radius_deg, count):
    """`count` vertices on a small circle: a convex polygon."""
    lat0, lon0, r = (math.radians(x) for x in (centre_lat_deg, centre_lon_deg, radius_deg))
    vertices = []
    for k in range(count):
        bearing = 2 * math.pi * k / count
        lat = math.asin(math.sin(lat0) * math.cos(r) + math.cos(lat0) * math.sin(r) * math.cos(bearing))
        lon = lon0 + math.atan2(math.sin(bearing) * math.sin(r) * math.cos(lat0),
                                math.cos(r) - math.sin(lat0) * math.sin(lat))
        vertices.append((math.degrees(lat), math.degrees(lon)))
    return vertices


def median_ms(call, number):
    """CPU time of this process, so that other work on a shared machine does not count."""
    timings = timeit.repeat(call, number=number, repeat=REPEATS, timer=time.process_time)
    return statistics.median(timings) / number * 1e3


def brute_force(predictor, area, day):
    t, second, inside = day.start, dt.timedelta(seconds=1), 0
    while t < day.end:
        point = predictor.sub_point(t)
        inside += area.signed_angular_offset_deg((point.latitude_deg, point.longitude_deg)) >= 0
        t += second
    return inside


def main():
    areas = {"100-vertex polygon": Polygon(ring(45.0, 20.0, 10.0, 100)), "circle": Circle((45.0, 20.0), 10.0)}
    missed = False
    print(f"{'satellite':16} {'area':19} {'off-nadir':>9} {'windows':>7} {'time':>9} {'1 s brute force':>16}")
    for satellite, tle in SATELLITES.items():
        predictor = Predictor.from_tle(tle)
        day = Interval(predictor.epoch, predictor.epoch + dt.timedelta(days=1))
        for area_name, area in areas.items():
            for off_nadir_deg in (0.0, 30.0):
                search = lambda: list(predictor.aoi_iter(area, day, max_off_nadir_deg=off_nadir_deg))  # noqa: E731
                ms = median_ms(search, 20)
                brute = ""
                if off_nadir_deg == 0.0:
                    brute = f"{median_ms(lambda: brute_force(predictor, area, day), 1):.0f} ms"
                over = ms > BUDGET_MS
                missed |= over
                print(f"{satellite:16} {area_name:19} {off_nadir_deg:8.0f}° {len(search()):7d} {ms:6.2f} ms "
                      f"{brute:>16}{'  OVER' if over else ''}")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
