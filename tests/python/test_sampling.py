"""Fixed-step series: prediction_iter, ground_track_iter and observation_iter."""

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
    items = list(series(Interval(START, START + 10 * step), step))
    times = [START + k * step for k in range(10)]
    assert items == [(t, query(t)) for t in times]
    assert all(t.tzinfo is dt.timezone.utc for t, _ in items)


@pytest.mark.parametrize("step", [dt.timedelta(0), dt.timedelta(seconds=-30), dt.timedelta(microseconds=-1)])
@pytest.mark.parametrize("name", SERIES)
def test_steps_at_or_below_zero_walk_by_one_second(name, step):
    interval = Interval(START, START + dt.timedelta(seconds=3))
    series = SERIES[name][0]
    assert list(series(interval, step)) == list(series(interval, dt.timedelta(seconds=1)))


def test_a_search_window_is_an_interval_to_sample():
    passes = list(ISS.transits_iter(OBSERVER, Interval(ISS.epoch, ISS.epoch + dt.timedelta(days=1)), 10.0))
    assert passes
    for window in [*passes, *ISS.illumination_iter(passes[0])]:
        step = window.duration / 7
        items = list(ISS.observation_iter(OBSERVER, window, step))
        assert [t for t, _ in items] == [window.start + k * step for k in range(len(items))]
        assert window.end - step <= items[-1][0] < window.end
    # A pass is sampled above its minimum elevation (10°) from its first sample on.
    seen = [o.elevation_deg for _, o in ISS.observation_iter(OBSERVER, passes[0], dt.timedelta(seconds=5))]
    assert min(seen) == pytest.approx(10.0, abs=1e-3) == seen[0]
