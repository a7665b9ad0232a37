"""The batch pass search against transits_iter pair by pair, brute-force sampling, and itself
across thread counts; failures, decays and bad input."""

import datetime as dt
import math
import os
import random
import signal
import subprocess
import sys
import time
from pathlib import Path

import numpy as np
import pytest

from satvane import Elements, GeodeticPoint, IlluminationState, Interval, Predictor, Refinement, batch

UTC = dt.timezone.utc
START = dt.datetime(2026, 12, 7, tzinfo=UTC)
INTERVAL = Interval(START, START + dt.timedelta(days=2))
DECAYED_TEXT = "below the Earth's surface: the orbit has decayed"


def elements(rng, k, kind):
    raan, perigee, anomaly = rng.uniform(0, 360), rng.uniform(0, 360), rng.uniform(0, 360)
    common = dict(norad_id=70000 + k, epoch=START - dt.timedelta(hours=rng.uniform(0, 48)), right_ascension=raan,
                  argument_of_perigee=perigee, mean_anomaly=anomaly, object_name=f"{kind} {k}",
                  mean_motion_dot=0.0, drag_term=0.0)
    if kind == "LEO":
        return Elements(mean_motion=rng.uniform(13.0, 15.6), eccentricity=rng.uniform(0, 0.003),
                        inclination=rng.choice([28.5, 51.6, 53.0, 70.0, 86.4]), **{**common, "drag_term": 1e-4})
    if kind == "SSO":
        return Elements(mean_motion=rng.uniform(14.2, 15.2), eccentricity=0.001, inclination=98.2, **common)
    if kind == "MEO":
        return Elements(mean_motion=2.0056, eccentricity=rng.uniform(0, 0.02), inclination=55.0, **common)
    if kind == "Molniya":
        return Elements(mean_motion=2.006, eccentricity=0.72, inclination=63.4, **{**common, "argument_of_perigee": 270.0})
    if kind == "GEO":
        return Elements(mean_motion=1.0027, eccentricity=0.0002, inclination=rng.uniform(0, 3), **common)
    # Decaying: below the surface on the second day; failing: an SGP4 error on the first.
    drag = dict(DECAYING=(16.0, 0.01, 0.01), FAILING=(16.3, 0.003, 0.005))[kind]
    return Elements(**{**common, "epoch": START - dt.timedelta(days=1), "right_ascension": 10.0, "mean_anomaly": 0.0,
                       "argument_of_perigee": 0.0, "drag_term": drag[1], "mean_motion_dot": drag[2]},
                    mean_motion=drag[0], eccentricity=0.0005, inclination=51.6)


RNG = random.Random(12)
KINDS = ["LEO"] * 24 + ["SSO"] * 10 + ["MEO"] * 8 + ["Molniya"] * 6 + ["GEO"] * 6 + ["DECAYING", "FAILING"]
PREDICTORS = [Predictor(elements(RNG, k, kind)) for k, kind in enumerate(KINDS)]
DECAYING, FAILING = len(KINDS) - 2, len(KINDS) - 1
OBSERVERS = [GeodeticPoint(RNG.uniform(-85, 85), RNG.uniform(-180, 180), RNG.uniform(0, 3000)) for _ in range(10)]
OPTIONS = {  # the defaults at 10°, and a run that reports passes cut by the interval at 0°
    "defaults": (10.0, {}),
    "cut": (0.0, dict(skip_leading_partial=False, clamp_to_interval=True, min_step=dt.timedelta(seconds=20),
                      max_transit_duration=dt.timedelta(days=2, minutes=1))),
}


@pytest.fixture(scope="module", params=list(OPTIONS))
def screened(request):
    min_elevation_deg, options = OPTIONS[request.param]
    return min_elevation_deg, options, batch.transits(PREDICTORS, OBSERVERS, INTERVAL, min_elevation_deg, **options)


def ns(t):
    return np.datetime64(t.replace(tzinfo=None), "ns")


def rows(table, s, o):
    chosen = (table.satellite == s) & (table.observer == o)
    return list(zip(table.aos[chosen], table.los[chosen]))


def decay_time(errors):
    return errors.time[(errors.satellite == DECAYING) & (errors.observer == -1)][0]


def test_pairs_equal_transits_iter(screened):
    min_elevation_deg, options, (passes, errors) = screened
    min_step = options.get("min_step", dt.timedelta(seconds=10))
    tolerance = np.timedelta64(2, "ms")  # each edge within the 1 ms time tolerance of the true one
    pairs = random.Random(3).sample([(s, o) for s in range(len(PREDICTORS)) for o in range(len(OBSERVERS))], 200)
    pairs += [(DECAYING, o) for o in range(len(OBSERVERS))] + [(FAILING, 0)]
    end = {DECAYING: decay_time(errors), FAILING: errors.time[errors.satellite == FAILING][0]}
    compared = 0
    for s, o in pairs:
        expected = []
        for item in _items(PREDICTORS[s].transits_iter(OBSERVERS[o], INTERVAL, min_elevation_deg, **options)):
            if isinstance(item, Exception):
                assert s in end or "window too long" in str(item), (s, o, item)
            elif s not in end or ns(item.end) < end[s]:
                expected.append((ns(item.start), ns(item.end)))
        got = rows(passes, s, o)
        # Passes shorter than min_step may be missed by either search.
        short = np.timedelta64(int(min_step.total_seconds() * 1e9), "ns")
        expected = [p for p in expected if p[1] - p[0] > short]
        got_long = [p for p in got if p[1] - p[0] > short]
        assert len(got_long) == len(expected), (s, o, got, expected)
        for (a, b), (c, d) in zip(got_long, expected):
            for mine, theirs in ((a, c), (b, d)):
                # Near the edges of slow passes the elevation is flat within its numerical noise
                # (1e-6°) over milliseconds: there any instant of that noise is an edge.
                assert abs(mine - theirs) <= tolerance or abs(elevation_deg(s, o, mine) - min_elevation_deg) < 1e-5, \
                    (s, o, (a, b), (c, d))
        compared += len(expected)
    assert compared > 300


@pytest.mark.parametrize("time_tolerance_s", [1e-6, 0.5])
def test_refinement_tolerance_is_honoured(time_tolerance_s):
    """Tolerances finer or coarser than the default take the search's other paths."""
    chosen = [0, 24, 34, 42]  # LEO, sun-synchronous, MEO, Molniya
    predictors = [PREDICTORS[s].with_refinement(Refinement(time_tolerance=time_tolerance_s)) for s in chosen]
    passes = batch.transits(predictors, OBSERVERS, INTERVAL, 10.0).passes
    tolerance = np.timedelta64(int(2e9 * time_tolerance_s) + 1000, "ns")
    compared = 0
    for k, predictor in enumerate(predictors):
        for o, observer in enumerate(OBSERVERS):
            expected = [(ns(w.start), ns(w.end)) for w in _items(predictor.transits_iter(observer, INTERVAL, 10.0))
                        if not isinstance(w, Exception) and w.end - w.start > dt.timedelta(seconds=10)]
            got = [p for p in rows(passes, k, o) if p[1] - p[0] > np.timedelta64(10, "s")]
            assert len(got) == len(expected), (k, o)
            for mine, theirs in zip(np.ravel(got), np.ravel(expected)):
                assert abs(mine - theirs) <= tolerance or abs(elevation_deg(chosen[k], o, mine) - 10.0) < 1e-5
            compared += len(expected)
    assert compared > 40


def elevation_deg(s, o, t):
    return PREDICTORS[s].observe_at(t.astype("datetime64[us]").item().replace(tzinfo=UTC), OBSERVERS[o]).elevation_deg


def _items(iterator):
    while True:
        try:
            yield next(iterator)
        except StopIteration:
            return
        except RuntimeError as error:
            yield error


def test_columns_describe_each_pass(screened):
    min_elevation_deg, options, (passes, _) = screened
    for i in random.Random(5).sample(range(len(passes)), 60):
        predictor, observer = PREDICTORS[passes.satellite[i]], OBSERVERS[passes.observer[i]]
        aos, los = (passes[name][i].astype("datetime64[us]").item().replace(tzinfo=UTC) for name in ("aos", "los"))
        peak_time, peak = predictor.max_elevation(observer, Interval(aos, los))
        assert abs(passes.peak_elevation_deg[i] - peak.elevation_deg) < 1e-4
        assert abs(passes.peak[i] - ns(peak_time)) < np.timedelta64(2, "s") or abs(passes.peak_elevation_deg[i]) > 89
        # Both peaks lie within the time tolerance of the true one, where the range may still move.
        assert abs(passes.peak_range_m[i] - peak.range) < 1.0 + 0.002 * abs(peak.range_rate)
        assert abs(passes.aos_azimuth_deg[i] - predictor.observe_at(aos, observer).azimuth_deg) < 1e-3
        assert abs(passes.los_azimuth_deg[i] - predictor.observe_at(los, observer).azimuth_deg) < 1e-3
        sunlit = predictor.illumination_state(peak_time) == IlluminationState.Sunlit
        assert passes.sunlit_at_peak[i] == sunlit
    clamped = bool(options.get("clamp_to_interval"))
    # Unclamped, a pass up at the end keeps its true LoS beyond it.
    assert (passes.aos >= ns(INTERVAL.start)).all() and (not clamped or (passes.los <= ns(INTERVAL.end)).all())
    at_ends = clamped & ((passes.aos == ns(INTERVAL.start)) | (passes.los == ns(INTERVAL.end)))
    at_decay = (passes.satellite == DECAYING) & (passes.los == decay_time(screened[2].errors))
    others = passes.satellite != FAILING  # cut at its last propagated instant
    assert (passes.cut == (at_ends | at_decay))[others].all() and at_ends.any() == clamped


def test_brute_force_finds_no_missed_pass(screened):
    min_elevation_deg, options, (passes, errors) = screened
    times = np.arange(ns(INTERVAL.start), ns(INTERVAL.end), np.timedelta64(1, "s"))
    min_step_s = options.get("min_step", dt.timedelta(seconds=10)).total_seconds()  # shorter ones may be missed
    for s in random.Random(8).sample(range(len(PREDICTORS) - 2), 6):
        seen = batch.observe(PREDICTORS[s], OBSERVERS, times)
        for o in range(len(OBSERVERS)):
            above = np.concatenate([[False], seen.elevation_deg[o] >= min_elevation_deg, [False]])
            starts, ends = np.flatnonzero(np.diff(above.astype(int)) == 1), np.flatnonzero(np.diff(above.astype(int)) == -1)
            found = rows(passes, s, o)
            for a, b in zip(starts, ends):
                if b - a <= min_step_s or (a == 0 and options.get("skip_leading_partial", True)):
                    continue
                if b - a > options.get("max_transit_duration", dt.timedelta(hours=1)).total_seconds():
                    assert ((errors.satellite == s) & (errors.observer == o)).any()  # too long: an error
                    continue
                middle = times[(a + b - 1) // 2]
                assert any(x <= middle <= y for x, y in found), (s, o, times[a], times[b - 1])


def test_threads_give_the_same_table(screened):
    min_elevation_deg, options, expected = screened
    again = batch.transits(PREDICTORS, OBSERVERS, INTERVAL, min_elevation_deg, threads=1, **options)
    assert again.passes == expected.passes and again.errors == expected.errors


def test_failures_stop_one_satellite(screened):
    _, _, (passes, errors) = screened
    decayed = decay_time(errors)
    assert ns(INTERVAL.start) < decayed < ns(INTERVAL.end)
    assert list(errors.text[errors.satellite == DECAYING]) == [DECAYED_TEXT]
    assert (passes.los[passes.satellite == DECAYING] <= decayed).all()
    assert "SGP4" in errors.text[errors.satellite == FAILING][0]
    assert set(range(KINDS.index("MEO"))) <= set(passes.satellite)  # the batch went on past the failures
    assert list(passes.satellite) == sorted(passes.satellite)
    order = np.lexsort((passes.aos, passes.observer, passes.satellite))
    assert (order == np.arange(len(passes))).all()
    frame = passes.to_pandas()
    assert list(frame.columns) == list(batch.PASS_COLUMNS) and str(frame.aos.dtype) == "datetime64[ns]"


def test_progress_and_interruption():
    calls = []
    batch.transits(PREDICTORS[:4], OBSERVERS, INTERVAL, 10.0, progress=lambda done, total: calls.append((done, total)))
    assert calls[-1] == (4, 4)

    def interrupt(done, total):
        raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        batch.transits(PREDICTORS * 50, OBSERVERS, INTERVAL, 10.0, progress=interrupt)


@pytest.mark.parametrize("change, error, text", [
    (dict(predictors=[]), ValueError, "predictors must not be empty"),
    (dict(observers=[]), ValueError, "observers must not be empty"),
    (dict(observers=[(0.0, 0.0)]), TypeError, "observers"),
    (dict(observers=[GeodeticPoint(91.0, 0.0, 0.0)]), ValueError, r"observer 0: latitude 91.0 is outside \[-90, 90\]"),
    (dict(observers=[GeodeticPoint(0.0, math.inf, 0.0)]), ValueError, "observer 0: longitude and altitude must be finite"),
    (dict(interval=Interval(START, START)), ValueError, "interval must not be empty"),
    (dict(interval=type("Span", (), dict(start=START, end=START - dt.timedelta(1)))()), ValueError,
     "interval end must not be before its start"),
    (dict(min_elevation_deg=float("nan")), ValueError, "min_elevation_deg must be a number of degrees from -90 to 90"),
    (dict(min_elevation_deg=float("inf")), ValueError, "min_elevation_deg must be a number of degrees from -90 to 90"),
    (dict(threads=0), ValueError, "threads must be at least 1"),
])
def test_bad_input_is_refused(change, error, text):
    arguments = dict(predictors=PREDICTORS[:2], observers=OBSERVERS, interval=INTERVAL, min_elevation_deg=10.0) | change
    with pytest.raises(error, match=text):
        batch.transits(**arguments)


def test_ctrl_c_stops_a_long_batch():
    """SIGINT in the middle of a batch that would take minutes ends it within a second or so."""
    script = ("import sys; from test_screening import *; print('go', flush=True); "
              "batch.transits(PREDICTORS * 400, OBSERVERS, INTERVAL, 0.0, threads=1)")
    path = os.pathsep.join(os.path.abspath(p) for p in sys.path)  # this interpreter's satvane
    child = subprocess.Popen([sys.executable, "-c", script], cwd=Path(__file__).parent, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env={**os.environ, "PYTHONPATH": path})
    assert child.stdout.readline() == "go\n"
    time.sleep(0.5)
    child.send_signal(signal.SIGINT)
    sent = time.monotonic()
    _, err = child.communicate(timeout=60)
    assert "KeyboardInterrupt" in err and time.monotonic() - sent < 5.0
