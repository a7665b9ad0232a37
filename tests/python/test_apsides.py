"""Apogees and perigees from Python: the scan step reaches the search (apsides against a
reference library are in test_reference_searches.py)."""

import datetime as dt
from importlib import resources

from satvane import Interval, Predictor, Tle

ISS = Predictor.from_tle(Tle(*resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines()))
ORBIT = Interval(ISS.epoch, ISS.epoch + dt.timedelta(minutes=95))


def test_the_step_is_the_scan_of_the_search():
    assert len(list(ISS.apsis_iter(ORBIT))) == 2
    assert list(ISS.apsis_iter(ORBIT, step=dt.timedelta(minutes=96))) == []  # only the start is sampled
    by_second = list(ISS.apsis_iter(ORBIT, step=dt.timedelta(seconds=1)))
    assert list(ISS.apsis_iter(ORBIT, step=-dt.timedelta(minutes=1))) == by_second  # floored
