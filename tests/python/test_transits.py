"""Passes from Python: the options, detect_transit and max_elevation reach the core searches
(their behaviour is tested in C++, their results against references in test_reference_searches.py)."""

import datetime as dt
from importlib import resources

from satvane import GeodeticPoint, Interval, Predictor, Refinement, Tle

ISS = Predictor.from_tle(Tle(*resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines()))
OBSERVER = GeodeticPoint(51.5, -0.1, 20.0)
DAY = Interval(ISS.epoch, ISS.epoch + dt.timedelta(days=1))
TOLERANCE = dt.timedelta(seconds=Refinement().time_tolerance)


def same_pass(a, b):
    return type(a) is type(b) and abs(a.start - b.start) <= TOLERANCE and abs(a.end - b.end) <= TOLERANCE


def test_leading_pass_skipped_walked_back_or_clamped():
    first, second = list(ISS.transits_iter(OBSERVER, DAY, 10.0))[:2]
    interval = Interval(first.mid_point, DAY.end)
    assert same_pass(next(ISS.transits_iter(OBSERVER, interval, 10.0)), second)
    assert same_pass(next(ISS.transits_iter(OBSERVER, interval, 10.0, skip_leading_partial=False)), first)
    clamped = next(ISS.transits_iter(OBSERVER, interval, 10.0, skip_leading_partial=False, clamp_to_interval=True))
    assert clamped.start == interval.start and abs(clamped.end - first.end) <= TOLERANCE


def test_detect_transit_and_max_elevation():
    first, second = list(ISS.transits_iter(OBSERVER, DAY, 10.0))[:2]
    assert same_pass(ISS.detect_transit(first.mid_point, OBSERVER, 10.0), first)
    assert ISS.detect_transit(first.end + (second.start - first.end) / 2, OBSERVER, 10.0) is None
    t, seen = ISS.max_elevation(OBSERVER, first)
    assert first.start < t < first.end and seen == ISS.observe_at(t, OBSERVER) and seen.elevation_deg > 10.0
