"""Sunlit and eclipse windows from Python: the options reach the search (windows against a
reference library are in test_reference_searches.py)."""

import datetime as dt
from importlib import resources

import pytest

from satvane import IlluminationState, Interval, Predictor, Tle

ISS = Predictor.from_tle(Tle(*resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines()))
DAY = Interval(ISS.epoch, ISS.epoch + dt.timedelta(days=1))


def test_step_and_max_window_duration_reach_the_search():
    def eclipses(**options):
        return sum(w.state is IlluminationState.Eclipse for w in ISS.illumination_iter(DAY, **options))

    assert eclipses(step=dt.timedelta(hours=2)) < eclipses() // 2  # a coarse scan steps over most eclipses
    with pytest.raises(RuntimeError, match=r"^Detection error: window too long: .* exceeds the 20m 30s maximum$"):
        eclipses(max_window_duration=dt.timedelta(minutes=20, seconds=30))  # ISS eclipses last about half an hour
