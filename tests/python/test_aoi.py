"""Area-of-interest searches from Python: Predictor.aoi_iter, Predictor.detect_aoi and AoiIter."""

import datetime as dt
import functools
import gc
import math

import pytest

from satvane import AoiWindow, Circle, Coverage, Interval, LatLon, Predictor, Rectangle, Tle

UTC = dt.timezone.utc
ISS = Tle("ISS (ZARYA)", "1 25544U 98067A   20194.05493000  .00000813  00000-0  22646-4 0  9993",
          "2 25544  51.6431 189.6454 0001427  74.8669  50.1546 15.49456427236170")
SSO = Tle("SSO", "1 40697U 15028A   20194.50000000  .00000010  00000-0  20000-4 0  9990",
          "2 40697  98.5700 270.0000 0001100  90.0000 270.1000 14.30820000266009")
START = dt.datetime(2020, 7, 12, 3, tzinfo=UTC)
DAY = Interval(START, START + dt.timedelta(days=1))
CIRCLE = Circle((45, 20), 5)
EDGE = dt.timedelta(milliseconds=3)
SECOND = dt.timedelta(seconds=1)


def windows(predictor, area, interval=DAY, **options):
    return list(predictor.aoi_iter(area, interval, **options))


def close(a, b):
    return abs(a.start - b.start) <= EDGE and abs(a.end - b.end) <= EDGE


# --- Against one-second sampling of the sub-satellite point -----------------------------------


@functools.cache
def track(tle):
    """The sub-satellite point every second from an hour before DAY to an hour after it."""
    predictor, first = Predictor.from_tle(tle), DAY.start - dt.timedelta(hours=1)
    times = [first + k * SECOND for k in range(26 * 3600)]
    return times, [(p.latitude_deg, p.longitude_deg) for p in map(predictor.sub_point, times)]


@pytest.mark.parametrize("tle", [ISS, SSO], ids=["iss", "sso"])
@pytest.mark.parametrize("area", [Circle((45, 20), 5), Rectangle((-20, 170), (20, -170))], ids=["circle", "box"])
def test_windows_match_one_second_sampling(tle, area):
    predictor = Predictor.from_tle(tle)
    stretches = []  # [first, last] inside instant of each run of inside samples
    for t, point in zip(*track(tle)):
        if area.signed_angular_offset_deg(point) >= 0:
            if stretches and stretches[-1][1] == t - SECOND:
                stretches[-1][1] = t
            else:
                stretches.append([t, t])
    expected = [s for s in stretches if s[1] > s[0] and DAY.start + 2 * SECOND < s[0] < DAY.end - 2 * SECOND]
    found = windows(predictor, area)
    assert expected and len(found) == len(expected)
    for window, (first, last) in zip(found, expected):
        assert type(window) is AoiWindow and window.start < window.end
        assert first - SECOND - EDGE <= window.start <= first + EDGE
        assert last - EDGE <= window.end <= last + SECOND + EDGE
        assert close(predictor.detect_aoi(first, area), window)


# --- Arguments ----------------------------------------------------------------------------------


PREDICTOR = Predictor.from_tle(ISS)


def test_an_area_error_comes_after_interval_and_option_errors():
    with pytest.raises(TypeError, match="^expected a Polygon, Rectangle, or Circle$") as error:
        PREDICTOR.aoi_iter(LatLon(0, 0), DAY)
    assert not getattr(error.value, "__notes__", None)
    with pytest.raises(TypeError, match="^expected a Polygon, Rectangle, or Circle$"):
        PREDICTOR.detect_aoi(START, (0, 0))
    with pytest.raises(AttributeError):
        PREDICTOR.aoi_iter(LatLon(0, 0), 5)
    for options, param in [({"coverage": "full"}, "coverage"), ({"min_step": 1}, "min_step"),
                           ({"max_off_nadir_deg": "30"}, "max_off_nadir_deg"),
                           ({"clamp_to_interval": 1}, "clamp_to_interval")]:
        with pytest.raises(TypeError) as error:
            PREDICTOR.aoi_iter(LatLon(0, 0), DAY, **options)
        assert error.value.__notes__ == [f"while processing '{param}'"]
    with pytest.raises(TypeError) as error:
        PREDICTOR.detect_aoi(START, CIRCLE, walk_step=5)
    assert error.value.__notes__ == ["while processing 'walk_step'"]


def test_options_are_resolved_not_rejected():
    default = windows(PREDICTOR, CIRCLE)
    assert default and windows(PREDICTOR, CIRCLE, coverage=Coverage.Full) == []
    assert windows(PREDICTOR, CIRCLE, max_off_nadir_deg=math.nan) == default
    assert windows(PREDICTOR, CIRCLE, max_off_nadir_deg=-5, max_step=None) == default
    fine = windows(PREDICTOR, CIRCLE, min_step=dt.timedelta(0))  # 1 ms strides near the area
    assert len(fine) == len(default) and all(map(close, fine, default))
    horizon = windows(PREDICTOR, CIRCLE, max_off_nadir_deg=90)
    assert windows(PREDICTOR, CIRCLE, max_off_nadir_deg=math.inf) == horizon
    assert len(horizon) > len(default) and sum((w.duration for w in horizon), dt.timedelta()) > dt.timedelta(hours=1)
    small = Circle((50, -100), 1)
    full = windows(PREDICTOR, small, max_off_nadir_deg=30, coverage=Coverage.Full)
    any_ = windows(PREDICTOR, small, max_off_nadir_deg=30)
    assert full and all(any(a.start <= f.start and f.end <= a.end for a in any_) for f in full)


# --- The iterator and detection -------------------------------------------------------------------


def test_the_iterator_owns_its_predictor_and_area_and_stays_exhausted():
    predictor, area = Predictor.from_tle(ISS), Circle((45, 20), 5)
    iterator = predictor.aoi_iter(area, DAY)
    del predictor, area
    gc.collect()
    assert iter(iterator) is iterator and list(iterator) == windows(PREDICTOR, CIRCLE)
    for _ in range(2):
        with pytest.raises(StopIteration):
            next(iterator)


def test_nothing_is_propagated_before_the_first_next():
    # Heavy drag: the mean elements fall apart long before the year 2040.
    line_1 = "1 25544U 98067A   26340.50000000  .00012345  00000-0  90000-1 0  999"
    line_1 += str(sum(int(c) if c.isdigit() else c == "-" for c in line_1) % 10)
    doomed = Predictor.from_tle(Tle("DRAG", line_1, ISS.line_2))
    late = dt.datetime(2040, 1, 1, tzinfo=UTC)
    iterator = doomed.aoi_iter(CIRCLE, Interval(late, late + dt.timedelta(days=1)))
    with pytest.raises(RuntimeError, match="^SGP4 propagation error: "):
        next(iterator)
    with pytest.raises(RuntimeError, match="^SGP4 propagation error: "):
        doomed.detect_aoi(late, CIRCLE)


def test_windows_in_progress_at_either_end_are_skipped_resolved_or_cut():
    first = windows(PREDICTOR, CIRCLE)[0]
    inside = Interval(first.mid_point, first.end + dt.timedelta(minutes=1))
    assert windows(PREDICTOR, CIRCLE, inside) == []
    assert close(windows(PREDICTOR, CIRCLE, inside, skip_leading_partial=False)[0], first)
    cut = windows(PREDICTOR, CIRCLE, Interval(first.start - SECOND, first.mid_point), clamp_to_interval=True)
    assert cut[0].end == first.mid_point
    assert PREDICTOR.detect_aoi(first.start - dt.timedelta(minutes=10), CIRCLE) is None


def test_a_window_too_long_raises():
    band = Rectangle.latitude_band(-90.0, 60.0)  # the ISS never leaves it
    with pytest.raises(RuntimeError, match=(r"^Detection error: window too long: the positive window containing "
                                            r"2020-07-12 03:00:00 UTC exceeds the 1h maximum$")):
        PREDICTOR.detect_aoi(START, band)
    with pytest.raises(RuntimeError, match="exceeds the 2h maximum$"):
        next(PREDICTOR.aoi_iter(band, DAY, max_window_duration=dt.timedelta(hours=2)))
