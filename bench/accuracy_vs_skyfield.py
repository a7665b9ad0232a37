#!/usr/bin/env python3
"""The accuracy figures stated in the core headers, measured against Skyfield (DE421 ephemeris,
UT1 and polar motion from its built-in tables) on the installed satvane:

    python3 bench/accuracy_vs_skyfield.py

- frames: sub-satellite point and look angles from Paris of the same TEME states (LEO,
  Molniya, GPS), 2000-2024;
- sun: direction and distance of the Sun against DE421, 1950-2050;
- shadow: sunlit/eclipse edges of the ISS against Skyfield's is_sunlit, found by bisection.
"""
import math
import os
import random
import warnings
from datetime import datetime, timedelta, timezone

import numpy as np
import skyfield_data
from skyfield import api
from skyfield.framelib import true_equator_and_equinox_of_date
from skyfield.positionlib import build_position
from skyfield.sgp4lib import TEME

from satvane import GeodeticPoint, IlluminationState, Predictor, Tle

UTC = timezone.utc
ISS = (
    "1 25544U 98067A   20194.05494676  .00000943  00000-0  24953-4 0  9990",
    "2 25544  51.6435 225.4004 0001771  44.9625   5.1087 15.49560532235875",
)
SATELLITES = {
    "leo": ISS,
    "molniya": (
        "1 08195U 75081A   06176.33215444  .00000099  00000-0  11873-3 0   813",
        "2 08195  64.1586 279.0717 6877146 264.7651  20.2257  2.00491383225656",
    ),
    "gps": (
        "1 28129U 03058A   06175.57071136 -.00000104  00000-0  10000-3 0   459",
        "2 28129  54.7298 324.8098 0048506 266.2640  93.1663  2.00562768 18443",
    ),
}


def load():
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)
        ephemeris = api.load_file(os.path.join(skyfield_data.get_skyfield_data_path(), "de421.bsp"))
    return api.load.timescale(builtin=True), ephemeris


def frames(ts):
    """Our TEME state carried to the ground by our frames and by Skyfield's (which add UT1 - UTC,
    polar motion and the equation of the equinoxes), so only the frames differ."""
    rng = random.Random(1)
    site = GeodeticPoint(48.85, 2.35, 35.0)
    topos = api.wgs84.latlon(site.latitude_deg, site.longitude_deg, site.altitude)
    worst = {"ground_m": 0.0, "altitude_m": 0.0, "elevation_deg": 0.0, "range_m": 0.0}
    for name, (line_1, line_2) in SATELLITES.items():
        predictor = Predictor.from_tle(Tle(name, line_1, line_2))
        for _ in range(400):
            t = datetime(2000, 1, 1, tzinfo=UTC) + timedelta(days=rng.uniform(0, 9131))
            when = ts.from_datetime(t)
            teme = predictor.propagate(t).position
            r_teme_au = np.array([teme.x, teme.y, teme.z]) / 149597870700
            geocentric = build_position(TEME.rotation_at(when).T @ r_teme_au, None, when, center=399)
            under = api.wgs84.geographic_position_of(geocentric)
            point = predictor.sub_point(t)
            d_lat = math.radians(point.latitude_deg - under.latitude.degrees)
            d_lon = math.radians(math.remainder(point.longitude_deg - under.longitude.degrees, 360))
            ground = 6378137 * math.hypot(d_lat, d_lon * math.cos(math.radians(point.latitude_deg)))
            worst["ground_m"] = max(worst["ground_m"], ground)
            worst["altitude_m"] = max(worst["altitude_m"], abs(point.altitude - under.elevation.m))
            alt, _, distance = (geocentric - topos.at(when)).altaz()
            seen = predictor.observe_at(t, site)
            worst["range_m"] = max(worst["range_m"], abs(seen.range - distance.m))
            if alt.degrees > 5:
                worst["elevation_deg"] = max(worst["elevation_deg"], abs(seen.elevation_deg - alt.degrees))
    return worst


def sun_direction_error(ts, ephemeris):
    """Our low-precision Sun against DE421 (true equator and equinox of date, like TEME)."""
    earth, sun = ephemeris["earth"], ephemeris["sun"]
    rng = random.Random(2)
    worst_deg = worst_au = 0.0
    for _ in range(2000):
        t = datetime(1950, 1, 1, tzinfo=UTC) + timedelta(days=rng.uniform(0, 36525))
        when = ts.from_datetime(t)
        apparent = earth.at(when).observe(sun).apparent()
        reference = np.array(apparent.frame_xyz(true_equator_and_equinox_of_date).m)
        ours = sun_position(t)
        cos_angle = np.dot(ours, reference) / np.linalg.norm(ours) / np.linalg.norm(reference)
        worst_deg = max(worst_deg, math.degrees(math.acos(min(1.0, cos_angle))))
        worst_au = max(worst_au, abs(np.linalg.norm(ours) - np.linalg.norm(reference)) / 149597870700)
    return worst_deg, worst_au


def sun_position(t):
    # The core's formula, restated (the Python API has no Sun position of its own).
    n = (t - datetime(1970, 1, 1, tzinfo=UTC)).total_seconds() / 86400 + 2440587.5 - 2451545.0
    g = math.radians(357.528 + 0.9856003 * n)
    ecliptic = math.radians(280.46 + 0.9856474 * n + 1.915 * math.sin(g) + 0.02 * math.sin(2 * g))
    obliquity = math.radians(23.439 - 0.0000004 * n)
    distance = (1.00014 - 0.01671 * math.cos(g) - 0.00014 * math.cos(2 * g)) * 149597870700
    return distance * np.array([math.cos(ecliptic), math.cos(obliquity) * math.sin(ecliptic),
                                math.sin(obliquity) * math.sin(ecliptic)])


def edge(state_at, a, b):
    """The instant (to 1 ms) where state_at flips between a and b."""
    first = state_at(a)
    while b - a > timedelta(milliseconds=1):
        middle = a + (b - a) / 2
        if state_at(middle) == first:
            a = middle
        else:
            b = middle
    return a


def shadow_edges(ts, ephemeris):
    predictor = Predictor.from_tle(Tle("ISS", *ISS))
    satellite = api.EarthSatellite(*ISS, "ISS", ts)
    ours = lambda t: predictor.illumination_state(t) is IlluminationState.Sunlit  # noqa: E731
    theirs = lambda t: bool(satellite.at(ts.from_datetime(t)).is_sunlit(ephemeris))  # noqa: E731
    t = predictor.epoch
    worst_s = 0.0
    count = 0
    step = timedelta(seconds=30)
    while count < 60:
        if ours(t) != ours(t + step):
            ours_edge = edge(ours, t, t + step)
            theirs_edge = edge(theirs, t - step, t + 2 * step)
            worst_s = max(worst_s, abs((ours_edge - theirs_edge).total_seconds()))
            count += 1
        t += step
    return worst_s, count


def main():
    ts, ephemeris = load()
    print("frames (worst over 1200 samples):", frames(ts))
    print("sun (worst direction deg, distance au over 1950-2050):", sun_direction_error(ts, ephemeris))
    print("shadow (worst edge difference s, edges):", shadow_edges(ts, ephemeris))


if __name__ == "__main__":
    main()
