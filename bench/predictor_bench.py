"""Point-query speed of the Python binding, beside python-sgp4's `Satrec.sgp4` called from Python.

    python bench/predictor_bench.py

Budgets: `Predictor.propagate(t)` (datetime in, StateVectorTeme out) at most 1.0x the reference
call, `observe_at` at most 1.5x, `signed_angular_offset_deg` on a 100-vertex polygon under 5 µs.
Prints medians over repeated runs; exits with 1 when a budget is missed.
"""

import datetime as dt
import math
import statistics
import sys
import timeit
from importlib import resources

from sgp4.api import WGS84, Satrec

from satvane import GeodeticPoint, Polygon, Predictor, Tle

REPEATS = 15


def median_ns(call, number):
    timings = timeit.repeat(call, number=number, repeat=REPEATS)
    return statistics.median(timings) / number * 1e9


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


def main():
    name, line_1, line_2 = resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines()
    predictor = Predictor.from_tle(Tle(name, line_1, line_2))
    reference = Satrec.twoline2rv(line_1, line_2, WGS84)
    t = predictor.epoch + dt.timedelta(hours=7, milliseconds=123)
    jd, fr = reference.jdsatepoch, reference.jdsatepochF + (7 * 3600 + 0.123) / 86400
    site = GeodeticPoint(51.4779, -0.0015, 46.0)
    polygon = Polygon(ring(45.0, 10.0, 10.0, 100))
    point = (46.0, 11.0)
    assert polygon.signed_angular_offset_deg(point) > 0

    number = 50_000
    reference_ns = median_ns(lambda: reference.sgp4(jd, fr), number)
    rows = [
        ("python-sgp4 Satrec.sgp4(jd, fr)", reference_ns, None),
        ("Predictor.propagate(t)", median_ns(lambda: predictor.propagate(t), number), 1.0),
        ("Predictor.observe_at(t, site)", median_ns(lambda: predictor.observe_at(t, site), number), 1.5),
    ]
    polygon_ns = median_ns(lambda: polygon.signed_angular_offset_deg(point), number)

    missed = False
    print(f"{'call':40} {'median':>10} {'ratio':>7} {'budget':>7}")
    for label, ns, budget in rows:
        ratio = ns / reference_ns
        over = budget is not None and ratio > budget
        missed |= over
        print(f"{label:40} {ns:8.0f} ns {ratio:6.2f}x {'' if budget is None else f'{budget:.1f}x':>7}"
              f"{'  OVER' if over else ''}")
    over = polygon_ns > 5000
    missed |= over
    print(f"{'Polygon(100).signed_angular_offset_deg':40} {polygon_ns:8.0f} ns {'':>7} {'5 µs':>7}"
          f"{'  OVER' if over else ''}")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
