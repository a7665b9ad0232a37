"""Passes, illumination windows and apsides against a reference library (Skyfield, python-sgp4).

Skyfield runs offline on the ephemeris and time scale bundled with skyfield-data and
Skyfield itself; its satellites are built from the same element sets in python-sgp4's WGS84
mode, the geopotential our propagator uses.
"""

import datetime as dt
import math
import warnings
from importlib import resources

import numpy as np
import pytest
from sgp4.api import WGS84, Satrec

from satvane import ApsisEvent, GeodeticPoint, IlluminationState, Interval, Predictor, Refinement, Tle

with warnings.catch_warnings():
    warnings.simplefilter("ignore")  # skyfield-data warns that its Earth-orientation file has aged
    import skyfield_data
    from skyfield.api import EarthSatellite, Loader, wgs84
    from skyfield.nutationlib import iau2000b_radians

    LOAD = Loader(skyfield_data.get_skyfield_data_path(), verbose=False)
    TS = LOAD.timescale(builtin=True)
    EPHEMERIS = LOAD("de421.bsp")

UTC = dt.timezone.utc
SECOND = dt.timedelta(seconds=1)
DAY = dt.timedelta(days=1)
TIME_TOLERANCE_S = Refinement().time_tolerance  # every predictor here keeps the default


def tle_line(text):
    return text + str(sum(int(c) if c.isdigit() else c == "-" for c in text) % 10)


def catalogue_tle(name, norad, inclination_deg, raan_deg, eccentricity, perigee_deg, anomaly_deg, revs_per_day,
                  bstar="00000-0"):
    """An element set in the layout of a published catalogue entry, epoch 2026-12-06 12:00 UTC."""
    line_1 = tle_line(f"1 {norad:05d}U 26001A   26340.50000000  .00000000  00000-0 {bstar:>8} 0  999")
    line_2 = tle_line(f"2 {norad:05d} {inclination_deg:8.4f} {raan_deg:8.4f} {round(eccentricity * 1e7):07d} "
                      f"{perigee_deg:8.4f} {anomaly_deg:8.4f} {revs_per_day:11.8f}    1")
    return Tle(name, line_1, line_2)


ISS = Tle(*resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines())
ORBITS = {
    "iss": ISS,
    "leo": catalogue_tle("LEO 550 KM", 90001, 53.05, 120.0, 0.00015, 90.0, 10.0, 15.06, " 10000-4"),
    "sun-synchronous": catalogue_tle("SSO 800 KM", 90002, 98.6, 300.0, 0.0012, 80.0, 200.0, 14.28, " 20000-4"),
    "molniya": catalogue_tle("MOLNIYA", 90003, 63.4, 50.0, 0.72, 270.0, 0.0, 2.006),
    "geo": catalogue_tle("GEO INCLINED", 90004, 4.0, 80.0, 0.0002, 0.0, 0.0, 1.0027),
}
OBSERVERS = {  # name: (observer, minimum elevation in degrees)
    "greenwich": (GeodeticPoint(51.4779, -0.0015, 46.0), 10.0),
    "quito": (GeodeticPoint(-0.2201, -78.5123, 2850.0), 0.0),
    "svalbard": (GeodeticPoint(78.2232, 15.6267, 500.0), 25.0),
    "sydney": (GeodeticPoint(-33.8688, 151.2093, 40.0), 5.0),
}
LONG_PASSES = dict(max_transit_duration=2 * DAY)  # a Molniya or GEO pass lasts hours


def skyfield_satellite(tle):
    return EarthSatellite.from_satrec(Satrec.twoline2rv(tle.line_1, tle.line_2, WGS84), TS)


def skyfield_passes(tle, observer, min_elevation_deg, start, end):
    """Skyfield's (rise, set) pairs whose rise lies in [start, end); sets may lie up to a day later."""
    site = wgs84.latlon(observer.latitude_deg, observer.longitude_deg, elevation_m=observer.altitude)
    times, events = skyfield_satellite(tle).find_events(site, TS.from_datetime(start), TS.from_datetime(end + DAY),
                                                        altitude_degrees=min_elevation_deg)
    passes, rise = [], None
    for t, event in zip(times.utc_datetime(), events):
        if event == 0:
            rise = t
        elif event == 2 and rise is not None:
            if rise < end:
                passes.append((rise, t))
            rise = None
    return passes


def elevation_tolerance_deg(predictor, observer, t):
    """How far from the minimum the elevation at a refined edge may lie: its rate times the time tolerance
    (plus the microsecond a datetime drops)."""
    before, after = (predictor.observe_at(t + s * dt.timedelta(milliseconds=50), observer).elevation_deg
                     for s in (-1, 1))
    return abs(after - before) / 0.1 * (TIME_TOLERANCE_S + 2e-6) + 1e-9


def pass_cases():
    for orbit in ("iss", "leo", "sun-synchronous", "molniya"):
        for site in OBSERVERS:
            yield orbit, site


def geo_case():
    """An observer north of the inclined GEO satellite, with the minimum at the middle of the elevations it
    sees in a day: the satellite rises and sets once a day."""
    predictor = Predictor.from_tle(ORBITS["geo"])
    under = predictor.sub_point(predictor.epoch)
    observer = GeodeticPoint(40.0, under.longitude_deg + 3.0, 0.0)
    elevations = [predictor.observe_at(predictor.epoch + k * dt.timedelta(minutes=20), observer).elevation_deg
                  for k in range(72)]
    return observer, (max(elevations) + min(elevations)) / 2


@pytest.mark.parametrize("orbit, site", [*pass_cases(), ("geo", "north of the satellite")])
def test_passes_match_skyfield(orbit, site):
    tle = ORBITS[orbit]
    predictor = Predictor.from_tle(tle)
    observer, min_elevation_deg = geo_case() if orbit == "geo" else OBSERVERS[site]
    start = predictor.epoch + dt.timedelta(hours=3, minutes=17)
    end = start + (3 * DAY if orbit in ("molniya", "geo") else 2 * DAY)

    def passes(first):
        found = predictor.transits_iter(observer, Interval(first, end), min_elevation_deg, **LONG_PASSES)
        return [(p.start, p.end) for p in found]

    ours = passes(start)
    reference = skyfield_passes(tle, observer, min_elevation_deg, start, end)
    assert len(ours) == len(reference), (ours, reference)
    for (aos, los), (rise, set_) in zip(ours, reference):
        assert abs((aos - rise).total_seconds()) < 1.0 and abs((los - set_).total_seconds()) < 1.0, (aos, rise, los, set_)

    for edge in [t for p in ours for t in p]:
        seen = predictor.observe_at(edge, observer).elevation_deg
        assert abs(seen - min_elevation_deg) <= elevation_tolerance_deg(predictor, observer, edge), edge
    assert all(earlier[1] < later[0] for earlier, later in zip(ours, ours[1:])), "passes overlap or repeat"

    def inside(found, first):
        return [p for p in found if p[0] > first + SECOND and p[1] < end]

    tolerance = 2 * TIME_TOLERANCE_S
    for shift in (-SECOND, SECOND):
        shifted = inside(passes(start + shift), start)
        unshifted = inside(ours, start)
        assert len(shifted) == len(unshifted)
        for a, b in zip(shifted, unshifted):
            assert abs((a[0] - b[0]).total_seconds()) <= tolerance and abs((a[1] - b[1]).total_seconds()) <= tolerance


# --- Illumination ---------------------------------------------------------------------------------------------


def skyfield_sunlit(tle, base, offsets_s):
    """Skyfield's `is_sunlit` at `base` plus each offset in seconds: the line to the Sun's centre (DE421)
    misses an Earth sphere of the equatorial radius."""
    times = TS.utc(base.year, base.month, base.day, base.hour, base.minute, base.second + np.asarray(offsets_s))
    times._nutation_angles_radians = iau2000b_radians(times)  # Skyfield's faster nutation: 1 mas, not 0.1
    return skyfield_satellite(tle).at(times).is_sunlit(EPHEMERIS)


def skyfield_edges(tle, base, edges_s, entering, half_width_s=16.0, rounds=7):
    """Skyfield's shadow entries and exits near each of ours (in seconds after `base`), by bisection on
    `is_sunlit` to 1/8 s; the offsets from ours, NaN where [edge - half_width, edge + half_width] holds no
    change of Skyfield's state. `entering[i]` says whether edge i enters the shadow."""
    low, high = np.full(len(edges_s), -half_width_s), np.full(len(edges_s), half_width_s)
    sunlit_at = lambda offsets: skyfield_sunlit(tle, base, edges_s + offsets)
    bracketed = (sunlit_at(low) == entering) & (sunlit_at(high) != entering)
    for _ in range(rounds):
        middle = (low + high) / 2
        before = sunlit_at(middle) == entering  # still on the first side of the edge
        low, high = np.where(before, middle, low), np.where(before, high, middle)
    return np.where(bracketed, (low + high) / 2, np.nan)


def test_illumination_windows_tile_and_match_skyfield():
    """30 days of ISS sunlight and shadow against Skyfield.

    The shadow models differ: ours is a cylinder of the WGS84 equatorial radius without penumbra, along a
    low-precision Sun direction (about 0.01°) taken in the TEME frame, with UTC as time scale; Skyfield asks
    whether the line to the Sun's centre from DE421 misses a sphere of that radius. The Sun direction's error
    moves a shadow edge by up to a few seconds when the orbit grazes the shadow and by well under a second at a
    steep crossing, and the edges' errors partly cancel over many eclipses. Sampling all 2.6 million seconds
    with Skyfield would take minutes, so Skyfield's state is taken at the middle of each of our windows and its
    edges are located to 1/8 s by bisection near ours."""
    predictor = Predictor.from_tle(ISS)
    start = predictor.epoch + dt.timedelta(hours=1, seconds=13.25)
    interval = Interval(start, start + 30 * DAY)
    windows = list(predictor.illumination_iter(interval))

    assert windows[0].start == interval.start and windows[-1].end == interval.end
    assert all(a.end == b.start and a.state is not b.state for a, b in zip(windows, windows[1:]))
    eclipses = [w for w in windows if w.state is IlluminationState.Eclipse]
    assert len(eclipses) > 300  # fewer than orbits: near the highest Sun angles the ISS stays in sunlight
    margin = dt.timedelta(milliseconds=10)
    for w in windows:  # the point query agrees just inside each window: its edges are the shadow's roots
        for t in (w.start + margin, w.end - margin):
            if interval.start < t < interval.end:
                assert predictor.illumination_state(t) is w.state

    seconds = lambda t: (t - start).total_seconds()
    middles = skyfield_sunlit(ISS, start, [seconds(w.mid_point) for w in windows])
    assert list(middles) == [w.state is IlluminationState.Sunlit for w in windows]

    entering = np.array([w.state is IlluminationState.Eclipse for w in windows[1:]])
    offsets = skyfield_edges(ISS, start, np.array([seconds(w.start) for w in windows[1:]]), entering)
    assert not np.isnan(offsets).any(), [windows[1 + i].start for i in np.flatnonzero(np.isnan(offsets))]
    assert np.abs(offsets).max() < 8.0
    # Our eclipse time minus Skyfield's: each entry Skyfield sees later, and each exit earlier, lengthens ours.
    difference_s = offsets[entering].sum() - offsets[~entering].sum()
    total_s = sum(w.duration.total_seconds() for w in eclipses)
    assert abs(difference_s) < 1e-4 * total_s + 0.5 * len(eclipses) ** 0.5, (difference_s, total_s)


# --- Apsides ------------------------------------------------------------------------------------------------------


@pytest.mark.parametrize("orbit, days", [("iss", 1.0), ("sun-synchronous", 1.0), ("molniya", 3.0)])
def test_apsides_alternate_at_the_extremes_of_the_distance(orbit, days):
    """Every local extreme of |r| in a one-second scan by python-sgp4 is an apsis of ours and the reverse.

    SGP4's velocity is not exactly the derivative of its position, so where r · v changes sign lies up to
    half a second from the extreme of |r|, and |r| there falls short of the extreme by up to a few millimetres."""
    tle = ORBITS[orbit]
    predictor = Predictor.from_tle(tle)
    start = predictor.epoch + dt.timedelta(minutes=7)
    step_s = 60.0  # the search's default scan step
    apsides = list(predictor.apsis_iter(Interval(start, start + dt.timedelta(days=days))))
    assert all(a.event is not b.event for a, b in zip(apsides, apsides[1:]))

    satrec = Satrec.twoline2rv(tle.line_1, tle.line_2, WGS84)
    offsets_s = np.arange(0.0, days * 86400.0 + 1.0)
    start_jd = (start - dt.datetime(2000, 1, 1, 12, tzinfo=UTC)) / DAY + 2451545.0
    error, r_km, _ = satrec.sgp4_array(np.full_like(offsets_s, math.floor(start_jd)),
                                       start_jd - math.floor(start_jd) + offsets_s / 86400.0)
    assert not error.any()
    radius_km = np.linalg.norm(r_km, axis=1)
    inner = radius_km[1:-1]
    extremes = np.flatnonzero(((inner > radius_km[:-2]) & (inner >= radius_km[2:]))
                              | ((inner < radius_km[:-2]) & (inner <= radius_km[2:]))) + 1
    # The scan never samples the interval end, so an apsis after its last sample is not reported.
    extremes = extremes[offsets_s[extremes] < offsets_s[-1] - step_s]
    assert len(apsides) == len(extremes) >= 2 * days

    for apsis, i in zip(apsides, extremes):
        at_s = (apsis.time - start).total_seconds()
        assert abs(at_s - offsets_s[i]) <= 1.0
        neighbourhood_km = radius_km[i - 1:i + 2]
        radius_at_km = apsis.altitude / 1000 + 6378.137
        if apsis.event is ApsisEvent.Apogee:
            assert radius_km[i] > radius_km[i - 1] and radius_at_km >= neighbourhood_km.max() - 1e-5
        else:
            assert radius_km[i] < radius_km[i - 1] and radius_at_km <= neighbourhood_km.min() + 1e-5
