"""Apogees and perigees from Python: the scan step reaches the search. (Apsides against a reference
library are in test_reference_searches.py.)"""

import datetime as dt
from importlib import resources

from satvane import Interval, Predictor, Tle

ISS = Predictor.from_tle(Tle(*resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines()))
ORBIT = Interval(ISS.epoch, ISS.epoch + dt.timedelta(minutes=95))


def test_the_scan_step_is_the_sampling_of_the_search():
    assert len(list(ISS.apsis_iter(ORBIT))) == 2
    # An interval shorter than the step is sampled only at its start.
    assert list(ISS.apsis_iter(ORBIT, step=dt.timedelta(minutes=96))) == []
    # Zero and negative steps scan by the second.
    by_second = list(ISS.apsis_iter(ORBIT, step=dt.timedelta(seconds=1)))
    assert list(ISS.apsis_iter(ORBIT, step=dt.timedelta(0))) == by_second
    assert list(ISS.apsis_iter(ORBIT, step=-dt.timedelta(minutes=1))) == by_second
