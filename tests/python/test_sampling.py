"""Fixed-step series from Python (the walk itself, step floors included, is tested in C++)."""

import datetime as dt
from importlib import resources

import pytest

from satvane import GeodeticPoint, Interval, Predictor, Tle

ISS = Predictor.from_tle(Tle(*resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines()))
OBSERVER = GeodeticPoint(-33.9, 18.4, 10.0)
START = ISS.epoch + dt.timedelta(seconds=3, microseconds=250)

# Each series beside the point query that must give its values.
SERIES = {
    "prediction_iter": (lambda interval, step: ISS.prediction_iter(interval, step), ISS.propagate),
    "ground_track_iter": (lambda interval, step: ISS.ground_track_iter(interval, step), ISS.sub_point),
    "observation_iter": (lambda interval, step: ISS.observation_iter(OBSERVER, interval, step),
                         lambda t: ISS.observe_at(t, OBSERVER)),
}


@pytest.mark.parametrize("name", SERIES)
def test_series_sample_the_point_query_at_each_step_before_the_end(name):
    series, query = SERIES[name]
    step = dt.timedelta(seconds=60)
    times = [START + k * step for k in range(10)]
    assert list(series(Interval(START, START + 10 * step), step)) == [(t, query(t)) for t in times]
    second = dt.timedelta(seconds=1)  # what a zero step walks by
    assert list(series(Interval(START, START + 2 * second), dt.timedelta(0))) == [(START, query(START)),
                                                                                 (START + second, query(START + second))]


def test_a_pass_is_an_interval_to_sample():
    transit = next(ISS.transits_iter(OBSERVER, Interval(ISS.epoch, ISS.epoch + dt.timedelta(days=1)), 10.0))
    seen = list(ISS.observation_iter(OBSERVER, transit, dt.timedelta(seconds=5)))
    assert seen[0][0] == transit.start and transit.end - dt.timedelta(seconds=5) <= seen[-1][0] < transit.end
    assert min(o.elevation_deg for _, o in seen) == pytest.approx(10.0, abs=1e-3)
