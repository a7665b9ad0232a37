"""Shared inputs of the search benchmarks: the bundled ISS element set, a catalogue-like set of
satellites, ground observers, peer-library loading and timing helpers."""

from __future__ import annotations

import datetime as dt
import importlib
import random
import statistics
import sys
import time
import warnings
from importlib import resources

from satvane import GeodeticPoint, Tle

UTC = dt.timezone.utc
PEERS = {  # import name: the PyPI package that provides it
    "skyfield": "skyfield skyfield-data",
    "pyorbital": "pyorbital",
    "ephem": "ephem",
    "orbit_predictor": "orbit-predictor",
}


def peer(module: str):
    """Import a peer library, or say what to install and return None."""
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            return importlib.import_module(module)
    except ImportError:
        print(f"[{module} missing: pip install {PEERS[module.split('.')[0]]}]", file=sys.stderr)
        return None


def version(distribution: str) -> str:
    from importlib.metadata import PackageNotFoundError, version as dist_version
    try:
        return dist_version(distribution)
    except PackageNotFoundError:
        return "missing"


def iss() -> Tle:
    return Tle(*resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines())


def tle_line(text: str) -> str:
    return text + str(sum(int(c) if c.isdigit() else c == "-" for c in text) % 10)


def element_set(name, norad, inclination_deg, raan_deg, eccentricity, perigee_deg, anomaly_deg, revs_per_day,
                bstar="00000-0") -> Tle:
    """An element set in the layout of a published catalogue entry, epoch 2026-12-06 12:00 UTC."""
    line_1 = tle_line(f"1 {norad:05d}U 26001A   26340.50000000  .00000000  00000-0 {bstar:>8} 0  999")
    line_2 = tle_line(f"2 {norad:05d} {inclination_deg:8.4f} {raan_deg:8.4f} {round(eccentricity * 1e7):07d} "
                      f"{perigee_deg:8.4f} {anomaly_deg:8.4f} {revs_per_day:11.8f}    1")
    return Tle(name, line_1, line_2)


def revs_per_day(altitude_km: float) -> float:
    semi_major_km = 6378.137 + altitude_km
    return 86400.0 / (2 * 3.141592653589793 * (semi_major_km ** 3 / 398600.4418) ** 0.5)


def catalogue(count: int = 200, seed: int = 7) -> list[Tle]:
    """Satellites in about the proportions of the public catalogue: 80 % low orbits (the inclinations of
    the big constellations, sun-synchronous and the ISS), 8 % navigation (MEO), 4 % Molniya, 2 %
    geostationary transfer and 6 % geostationary orbits; the angles drawn at random."""
    rng = random.Random(seed)
    kinds = ["LEO"] * 80 + ["MEO"] * 8 + ["HEO"] * 4 + ["GTO"] * 2 + ["GEO"] * 6
    sets = []
    for k in range(count):
        kind, norad = kinds[k * len(kinds) // count], 80000 + k
        raan, perigee, anomaly = rng.uniform(0, 360), rng.uniform(0, 360), rng.uniform(0, 360)
        if kind == "LEO":
            inclination = rng.choice([28.5, 43.0, 51.6, 53.0, 53.2, 70.0, 82.0, 86.4, 97.6, 98.2, 99.0])
            tle = element_set(f"LEO {k}", norad, inclination, raan, rng.uniform(0, 0.003), perigee, anomaly,
                              revs_per_day(rng.uniform(350, 1200)), " 10000-4")
        elif kind == "MEO":
            tle = element_set(f"MEO {k}", norad, rng.uniform(54, 56), raan, rng.uniform(0, 0.02), perigee, anomaly,
                              2.0056)
        elif kind == "HEO":
            tle = element_set(f"HEO {k}", norad, 63.4, raan, 0.72, 270.0, anomaly, 2.006)
        elif kind == "GTO":
            tle = element_set(f"GTO {k}", norad, 27.0, raan, 0.73, 180.0, anomaly, 2.25)
        else:
            tle = element_set(f"GEO {k}", norad, rng.uniform(0, 5), raan, rng.uniform(0, 0.0005), perigee, anomaly,
                              1.0027)
        sets.append(tle)
    return sets


OBSERVERS = [
    GeodeticPoint(51.4779, -0.0015, 46.0),      # Greenwich
    GeodeticPoint(40.7128, -74.0060, 10.0),     # New York
    GeodeticPoint(-0.2201, -78.5123, 2850.0),   # Quito
    GeodeticPoint(-33.8688, 151.2093, 40.0),    # Sydney
    GeodeticPoint(35.6762, 139.6503, 40.0),     # Tokyo
    GeodeticPoint(78.2232, 15.6267, 500.0),     # Svalbard
    GeodeticPoint(-77.8463, 166.6683, 10.0),    # McMurdo
    GeodeticPoint(28.6139, 77.2090, 216.0),     # Delhi
    GeodeticPoint(-23.5505, -46.6333, 760.0),   # São Paulo
    GeodeticPoint(1.3521, 103.8198, 15.0),      # Singapore
]


def median_seconds(work, repeats: int = 7, budget_s: float = 30.0) -> float:
    """Median CPU time of `work()` (the build machine is shared, and wall time would count the other
    processes): at least 3 runs, at most `repeats`, fewer once `budget_s` is spent."""
    timings: list[float] = []
    while len(timings) < repeats and (len(timings) < 3 or sum(timings) < budget_s):
        start = time.process_time()
        work()
        timings.append(time.process_time() - start)
    return statistics.median(timings)


def naive(t: dt.datetime) -> dt.datetime:
    return t.astimezone(UTC).replace(tzinfo=None)


def aware(t: dt.datetime) -> dt.datetime:
    return t.replace(tzinfo=UTC) if t.tzinfo is None else t.astimezone(UTC)
