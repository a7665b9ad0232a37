"""The Sun as an observer sees it: the core's solar model written again in Python, checked against the core
itself (Earth rotation bit for bit, eclipse edges on the Python shadow's surface) and against DE421."""

import datetime as dt
import math

import numpy as np
import pytest

from satvane import IlluminationState, Interval, Predictor
from satvane.sun import sun_elevation_deg, sun_position_eci, teme_to_ecef, twilight_deg
from test_reference_searches import EPHEMERIS, ISS, TS, wgs84

PREDICTOR = Predictor.from_tle(ISS)


def test_earth_rotation_is_the_cores_bit_for_bit():
    for k in range(400):
        t = PREDICTOR.epoch + dt.timedelta(seconds=k * 7919.123457)
        state = PREDICTOR.propagate(t)
        position = state.position
        core = state.to_ecef(t).position
        assert teme_to_ecef((position.x, position.y, position.z), t) == (core.x, core.y, core.z), t


def test_eclipse_edges_lie_on_the_python_models_shadow():
    """Each eclipse edge of the core's search is within what 1 ms of flight moves the ISS (8 m) of the surface of
    the shadow cylinder built on the Python Sun: a Sun direction off by the model's 0.01° would move it a km."""
    start = PREDICTOR.epoch + dt.timedelta(minutes=7)
    windows = PREDICTOR.illumination_iter(Interval(start, start + dt.timedelta(days=2)))
    edges = [t for w in windows if w.state is IlluminationState.Eclipse for t in (w.start, w.end)][1:-1]
    assert len(edges) > 50
    for t in edges:
        position = PREDICTOR.propagate(t).position
        r = np.array([position.x, position.y, position.z])
        sun = np.array(sun_position_eci(t))
        along_m = r @ sun / np.linalg.norm(sun)
        assert along_m < 0.0
        assert abs(6378137.0 - math.sqrt(r @ r - along_m * along_m)) < 10.0, t


@pytest.mark.parametrize("latitude_deg, longitude_deg, altitude_m",
                         [(78.2232, 15.6267, 500.0), (51.4779, -0.0015, 46.0), (-0.2201, -78.5123, 2850.0),
                          (-33.8688, 151.2093, 40.0)])
def test_sun_elevation_within_0_011_degrees_of_de421(latitude_deg, longitude_deg, altitude_m):
    times = [dt.datetime(2026, 1, 1, tzinfo=dt.timezone.utc) + k * dt.timedelta(hours=7.3) for k in range(1200)]
    site = EPHEMERIS["earth"] + wgs84.latlon(latitude_deg, longitude_deg, elevation_m=altitude_m)
    reference = site.at(TS.from_datetimes(times)).observe(EPHEMERIS["sun"]).apparent().altaz()[0].degrees
    ours = np.array([sun_elevation_deg(t, latitude_deg, longitude_deg, altitude_m) for t in times])
    assert np.abs(ours - reference).max() < 0.011


@pytest.mark.parametrize("twilight, expected", [("civil", -6.0), ("nautical", -12.0), ("astronomical", -18.0),
                                                (-3, -3.0), (4.5, 4.5)])
def test_twilight_by_name_or_angle(twilight, expected):
    assert twilight_deg(twilight) == expected


@pytest.mark.parametrize("twilight", ["dusk", "-6", None, True, math.nan, 91.0, [-6]])
def test_twilight_that_is_no_name_nor_angle_is_refused(twilight):
    with pytest.raises(ValueError, match=r"^twilight must be 'civil', 'nautical', 'astronomical' or a number"):
        twilight_deg(twilight)
