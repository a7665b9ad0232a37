"""Passes from Python: transits_iter options, detect_transit and max_elevation. (Pass times against
a reference library are in test_reference_searches.py.)"""

import datetime as dt
from importlib import resources

import pytest

from satvane import Elements, GeodeticPoint, Interval, Predictor, Refinement, Tle

UTC = dt.timezone.utc
ISS = Predictor.from_tle(Tle(*resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines()))
OBSERVER = GeodeticPoint(51.5, -0.1, 20.0)
DAY = Interval(ISS.epoch, ISS.epoch + dt.timedelta(days=1))
PASSES = list(ISS.transits_iter(OBSERVER, DAY, 10.0))
TOLERANCE = dt.timedelta(seconds=Refinement().time_tolerance)


def test_passes_come_in_time_order_without_overlap():
    assert len(PASSES) >= 3
    assert all(a.end < b.start for a, b in zip(PASSES, PASSES[1:]))


def test_detect_transit_finds_the_pass_in_progress_or_none():
    for transit in PASSES:
        for t in (transit.start + dt.timedelta(seconds=1), transit.mid_point, transit.end - dt.timedelta(seconds=1)):
            found = ISS.detect_transit(t, OBSERVER, 10.0)
            assert abs(found.start - transit.start) <= TOLERANCE and abs(found.end - transit.end) <= TOLERANCE
    for a, b in zip(PASSES, PASSES[1:]):
        assert ISS.detect_transit(a.end + (b.start - a.end) / 2, OBSERVER, 10.0) is None


def test_a_pass_in_progress_at_the_start_is_skipped_walked_back_or_clamped():
    first = PASSES[0]
    start = first.mid_point
    interval = Interval(start, DAY.end)
    assert next(ISS.transits_iter(OBSERVER, interval, 10.0)).start > first.end
    walked = next(ISS.transits_iter(OBSERVER, interval, 10.0, skip_leading_partial=False))
    assert abs(walked.start - first.start) <= TOLERANCE
    clamped = next(ISS.transits_iter(OBSERVER, interval, 10.0, skip_leading_partial=False, clamp_to_interval=True))
    assert clamped.start == start and abs(clamped.end - first.end) <= TOLERANCE


def test_max_elevation_is_the_observation_at_the_peak():
    for transit in PASSES:
        t, seen = ISS.max_elevation(OBSERVER, transit)
        assert transit.start < t < transit.end and seen == ISS.observe_at(t, OBSERVER)
        for offset in (-2, 2):  # a maximum: the scan steps are 10 s
            assert ISS.observe_at(t + dt.timedelta(seconds=offset), OBSERVER).elevation_deg < seen.elevation_deg
    rising = Interval(PASSES[0].start, PASSES[0].mid_point - dt.timedelta(seconds=30))
    assert ISS.max_elevation(OBSERVER, rising)[0] == rising.end


def test_a_satellite_that_never_sets_makes_a_pass_too_long():
    geo = Predictor(Elements(norad_id=1, epoch=dt.datetime(2024, 1, 1, tzinfo=UTC), mean_motion=1.0027,
                             eccentricity=0.0001, inclination=0.05, right_ascension=0.0, argument_of_perigee=0.0,
                             mean_anomaly=0.0, mean_motion_dot=0.0, drag_term=0.0))
    t = geo.epoch + dt.timedelta(minutes=10)
    below = geo.sub_point(t)
    observer = GeodeticPoint(below.latitude_deg + 5.0, below.longitude_deg, 0.0)
    with pytest.raises(RuntimeError) as error:
        geo.detect_transit(t, observer, 10.0, max_transit_duration=dt.timedelta(minutes=90))
    assert str(error.value) == (
        "Detection error: window too long: the positive window containing 2024-01-01 00:10:00 UTC exceeds the "
        "1h 30m maximum")
