"""Sunlit and eclipse windows from Python: the keyword options reach the search. (Windows against
a reference library are in test_reference_searches.py.)"""

import datetime as dt
import re
from importlib import resources

import pytest

from satvane import IlluminationState, Interval, Predictor, Tle

ISS = Predictor.from_tle(Tle(*resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines()))
DAY = Interval(ISS.epoch, ISS.epoch + dt.timedelta(days=1))


def eclipses(windows):
    return [w for w in windows if w.state is IlluminationState.Eclipse]


def test_an_eclipse_longer_than_max_window_duration_raises_from_next():
    limit = dt.timedelta(minutes=20, seconds=30)
    assert max(w.duration for w in eclipses(ISS.illumination_iter(DAY))) > limit
    with pytest.raises(RuntimeError) as error:
        list(ISS.illumination_iter(DAY, max_window_duration=limit))
    assert re.fullmatch(r"Detection error: window too long: the positive window containing \S+ \S+ UTC exceeds "
                        r"the 20m 30s maximum", str(error.value))


def test_a_scan_step_longer_than_the_eclipses_steps_over_most_of_them():
    assert len(eclipses(ISS.illumination_iter(DAY, step=dt.timedelta(hours=2)))) < len(
        eclipses(ISS.illumination_iter(DAY))) // 2
