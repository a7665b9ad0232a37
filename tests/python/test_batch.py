import math
import sys
from datetime import datetime, timedelta, timezone

import numpy as np
import pytest

from satvane import GeodeticPoint, Predictor, Tle, batch
from catalog_data import DECAYED, TLES, failing_elements

# LEO, sun-synchronous, Molniya, GEO, GPS, and one whose propagation fails near each perigee.
START = datetime(2006, 6, 25, tzinfo=timezone.utc)
PREDICTORS = [Predictor.from_tle(Tle(*t)) for t in TLES] + [Predictor(failing_elements(START))]
# Irregular instants over four days, some a fraction of a millisecond apart, before and after epochs.
OFFSETS_S = sorted({0.0, 0.0004, 0.0009, 1.0, 59.9996} | {i * 3613.7 for i in range(-24, 72)})
TIMES = [START + timedelta(seconds=s) for s in OFFSETS_S]
OBSERVERS = [GeodeticPoint(51.4779, -0.0015, 46.0), GeodeticPoint(-89.9, 0, 2800), GeodeticPoint(0, 180, -50),
             GeodeticPoint(35.0, 139.7, 8.0e5)]


DECAYED_TEXT = "below the Earth's surface: the orbit has decayed"


def scalar(call):
    """The scalar method's result, or its error text."""
    try:
        return call()
    except RuntimeError as error:
        return str(error)


def below_surface(state):  # inside the WGS84 ellipsoid
    r = state.position
    return (r.x ** 2 + r.y ** 2) / 6378137.0 ** 2 + r.z ** 2 / 6356752.314245179 ** 2 < 1.0


def reference(predictor, times):
    """Scalar states (or error texts), which samples must fail, and the earliest failure: a failed
    propagation, or every sample from the first one below the surface on."""
    states = [scalar(lambda: predictor.propagate(t)) for t in times]
    failures = [(t, i, s) for i, (t, s) in enumerate(zip(times, states)) if isinstance(s, str)]
    below = [(t, i, DECAYED_TEXT) for i, (t, s) in enumerate(zip(times, states)) if not isinstance(s, str)
             and below_surface(s)]
    decay = min(below)[0] if below else None
    failed = [isinstance(s, str) or (decay is not None and t >= decay) for t, s in zip(times, states)]
    earliest = min(failures + below[:1] if below else failures, default=None)
    return states, failed, earliest and earliest[1:]


@pytest.mark.parametrize("frame", ["teme", "ecef"])
@pytest.mark.parametrize("threads", [1, 2, 7])
def test_propagate_equals_the_scalar_method_bit_for_bit(frame, threads):
    result = batch.propagate(PREDICTORS, TIMES, frame=frame, threads=threads)
    assert result.position_m.shape == result.velocity_m_s.shape == (len(PREDICTORS), len(TIMES), 3)
    errors = []
    for s, predictor in enumerate(PREDICTORS):
        states, failed, earliest = reference(predictor, TIMES)
        assert result.failed[s].tolist() == failed
        if earliest:
            errors.append((s, *earliest))
        for i, state in enumerate(states):
            if failed[i]:
                assert np.isnan(result.position_m[s, i]).all() and np.isnan(result.velocity_m_s[s, i]).all()
                continue
            if frame == "ecef":
                state = state.to_ecef(TIMES[i])
            p, v = state.position, state.velocity
            assert result.position_m[s, i].tolist() == [p.x, p.y, p.z]
            assert result.velocity_m_s[s, i].tolist() == [v.x, v.y, v.z]
    assert result.failed[:-1].sum() == 0 and 0 < result.failed[-1].sum() < len(TIMES)
    assert result.errors == errors


@pytest.mark.parametrize("threads", [1, 3])
def test_observe_equals_observe_at_bit_for_bit(threads):
    times = np.array([t.replace(tzinfo=None) for t in TIMES], dtype="datetime64[us]")
    for predictor in PREDICTORS:
        result = batch.observe(predictor, OBSERVERS, times, threads=threads)
        _, failed, earliest = reference(predictor, TIMES)
        assert result.failed.tolist() == failed
        assert result.errors == ([earliest] if earliest else [])
        for o, observer in enumerate(OBSERVERS):
            for i, t in enumerate(TIMES):
                got = [a[o, i] for a in (result.azimuth_deg, result.elevation_deg, result.range_m, result.range_rate_m_s)]
                if failed[i]:
                    assert all(math.isnan(x) for x in got)
                else:
                    seen = predictor.observe_at(t, observer)
                    assert got == [seen.azimuth_deg, seen.elevation_deg, seen.range, seen.range_rate]


def test_a_decayed_orbit_fails_from_its_first_sample_below_the_surface():
    predictor = Predictor.from_tle(Tle(*DECAYED))
    times = [predictor.epoch + timedelta(minutes=m) for m in range(-30, 200, 3)]

    first = min(i for i, t in enumerate(times) if below_surface(predictor.propagate(t)))
    result = batch.propagate([predictor], times)
    assert result.failed[0].tolist() == [i >= first for i in range(len(times))]
    assert result.errors == [(0, first, DECAYED_TEXT)]
    looks = batch.observe(predictor, OBSERVERS[:1], times)
    assert looks.failed.tolist() == result.failed[0].tolist()
    assert np.isnan(looks.elevation_deg[0, first:]).all()


def test_bad_arguments_fail_before_any_work():
    t = [START]
    with pytest.raises(TypeError, match="expected a datetime with non-None tzinfo"):
        batch.propagate(PREDICTORS, [datetime(2024, 1, 1)])
    with pytest.raises(ValueError, match="frame must be 'teme' or 'ecef'"):
        batch.propagate(PREDICTORS, t, frame="gcrs")
    with pytest.raises(ValueError, match="threads must be at least 1"):
        batch.propagate(PREDICTORS, t, threads=0)
    with pytest.raises(TypeError, match="'GeodeticPoint' object is not an instance of 'Predictor'"):
        batch.propagate([OBSERVERS[0]], t)
    with pytest.raises(TypeError, match="'tuple' object is not an instance of 'GeodeticPoint'"):
        batch.observe(PREDICTORS[0], [(51.5, 0.0)], t)
    with pytest.raises(ValueError, match=r"observer 1: latitude 91.0 is outside \[-90, 90\]"):
        batch.observe(PREDICTORS[0], [OBSERVERS[0], GeodeticPoint(91, 0, 0)], t)
    with pytest.raises(ValueError, match="observer 0: longitude and altitude must be finite"):
        batch.observe(PREDICTORS[0], [GeodeticPoint(0, 0, math.nan)], t)
    with pytest.raises(ValueError, match="times must not hold NaT"):
        batch.propagate(PREDICTORS, np.array(["NaT"], dtype="datetime64[ns]"))
    from satvane import _batch
    with pytest.raises(TypeError, match="'position_m' must be a float64 array"):
        _batch.propagate(PREDICTORS[:1], np.zeros(1, np.int64), False, np.zeros(3, np.float32), np.zeros(3),
                         np.zeros(1, bool), 1)
    with pytest.raises(ValueError, match="'failed' must hold 1 items, not 2"):
        _batch.propagate(PREDICTORS[:1], np.zeros(1, np.int64), False, np.zeros(3), np.zeros(3), np.zeros(2, bool), 1)


def test_without_numpy_the_message_names_what_to_install(monkeypatch):
    monkeypatch.setitem(sys.modules, "numpy", None)
    with pytest.raises(ImportError, match=r"pip install 'satvane\[batch\]'"):
        batch.propagate(PREDICTORS, [START])


def test_ctrl_c_stops_a_long_batch_promptly():
    import _thread
    import threading
    import time

    times = np.datetime64("2006-06-25", "ns") + np.arange(500_000, dtype="timedelta64[s]")
    timer = threading.Timer(0.05, _thread.interrupt_main)
    start = time.perf_counter()
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        batch.propagate(PREDICTORS[:5] * 2, times, threads=1)  # 5 million samples: over a second
    assert time.perf_counter() - start < 0.55  # the signal is seen between chunks of a few milliseconds
    timer.join()
