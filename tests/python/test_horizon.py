"""Horizon masks: a flat mask is the plain pass search, a mask that hides a quarter of the sky against 1 s
brute-force sampling, and the refusal of masks that are not masks."""

import datetime as dt
import math

import pytest

from satvane import GeodeticPoint, Interval, Predictor
from satvane.horizon import HorizonMask, mask_passes
from test_reference_searches import ISS, OBSERVERS, ORBITS

SECOND = dt.timedelta(seconds=1)


@pytest.mark.parametrize("orbit", ["iss", "sun-synchronous"])
@pytest.mark.parametrize("site", ["greenwich", "sydney"])
def test_a_flat_mask_gives_exactly_the_plain_passes(orbit, site):
    predictor, (observer, min_elevation_deg) = Predictor.from_tle(ORBITS[orbit]), OBSERVERS[site]
    interval = Interval(predictor.epoch, predictor.epoch + dt.timedelta(days=3))
    flat = HorizonMask([(0, min_elevation_deg), (120, min_elevation_deg), (240, min_elevation_deg)])
    options = dict(min_step=dt.timedelta(seconds=20), skip_leading_partial=False)
    plain = list(predictor.transits_iter(observer, interval, min_elevation_deg, **options))
    assert list(mask_passes(predictor, observer, interval, flat, **options)) == plain and len(plain) > 5


def brute_force_runs(predictor, observer, mask, windows):
    """The runs of 1 s samples at or above the mask, within windows that hold them all."""
    runs = []
    for window in windows:
        current = []
        for k in range(math.ceil(window.duration / SECOND) + 1):
            t = window.start + k * SECOND
            seen = predictor.observe_at(t, observer)
            if seen.elevation_deg >= mask.elevation_deg(seen.azimuth_deg):
                current.append(t)
            elif current:
                runs.append((current[0], current[-1]))
                current = []
        if current:
            runs.append((current[0], current[-1]))
    return runs


@pytest.mark.parametrize("site", ["greenwich", "sydney", "quito"])
def test_a_quarter_sky_mask_removes_and_shortens_the_passes_sampling_says(site):
    """East to south is hidden up to 40° (a building), the rest of the sky is open above 10°; the mask ramps
    across one degree at each side and wraps at north."""
    predictor, observer = Predictor.from_tle(ISS), OBSERVERS[site][0]
    mask = HorizonMask([(0, 10), (90, 10), (91, 40), (179, 40), (180, 10), (359.5, 10)])
    interval = Interval(predictor.epoch, predictor.epoch + dt.timedelta(days=4))
    open_sky = list(predictor.transits_iter(observer, interval, 10.0))
    found = list(mask_passes(predictor, observer, interval, mask))
    expected = brute_force_runs(predictor, observer, mask, open_sky)
    assert len(found) == len(expected), (found, expected)
    tolerance = dt.timedelta(milliseconds=1)  # the refinement's, where the edge is a sample
    for window, (first, last) in zip(found, expected):
        assert first - SECOND - tolerance <= window.start <= first + tolerance
        assert last - tolerance <= window.end <= last + SECOND + tolerance
    kept = {t.start for t in open_sky} & {w.start for w in found}
    assert len(kept) < len(open_sky) or len(found) > len(open_sky)  # the mask took something away
    assert any(w.start not in kept or w.end not in {t.end for t in open_sky} for w in found)


def test_mask_interpolates_linearly_and_wraps_at_north():
    mask = HorizonMask([(10, 0), (90, 40), (350, 20)])
    samples = {10: 0, 50: 20, 90: 40, 220: 30, 350: 20, 0: 10, 360: 10, -10: 20, 5: 5}
    assert {azimuth: mask.elevation_deg(azimuth) for azimuth in samples} == samples


@pytest.mark.parametrize("points, message", [
    ([(0, 10)], "a horizon mask needs at least two points, got 1"),
    ([(0, 10), (360, 10)], "horizon mask point 1: azimuth 360 is outside [0, 360) degrees"),
    ([(0, 10), (180, 10), (90, 5)], "horizon mask point 2: azimuth 90 does not follow 180; azimuths must rise"),
    ([(0, math.nan), (90, 5)], "horizon mask point 0: elevation nan is outside [-90, 90] degrees"),
    ([(0, 10), (90, "high")], "horizon mask point 1: expected (azimuth_deg, elevation_deg) numbers, got (90, 'high')"),
    ([(0, 10), 7], "horizon mask point 1: expected (azimuth_deg, elevation_deg) numbers, got 7"),
])
def test_masks_that_are_not_masks_are_refused(points, message):
    with pytest.raises(ValueError) as raised:
        HorizonMask(points)
    assert str(raised.value) == message


def test_a_pass_cut_at_the_interval_start_is_judged_by_its_elevation():
    """With clamp_to_interval, a pass in progress at the start begins there if the satellite stands above the mask
    there, also where the mask stands between its lowest and highest; brute force from each start inside one
    Greenwich pass says so."""
    predictor, observer = Predictor.from_tle(ISS), OBSERVERS["greenwich"][0]
    mask = HorizonMask([(0, 10), (90, 10), (91, 20), (179, 20), (180, 10), (270, 10), (271, 40), (300, 40), (301, 10)])
    after_peak = dt.datetime(2026, 12, 6, 13, 53, 10, tzinfo=dt.timezone.utc)  # setting through the east
    for k in range(13):
        start = after_peak + k * dt.timedelta(seconds=10)
        interval = Interval(start, start + dt.timedelta(minutes=30))
        options = dict(skip_leading_partial=False, clamp_to_interval=True)
        found = list(mask_passes(predictor, observer, interval, mask, **options))
        open_sky = list(predictor.transits_iter(observer, interval, 10.0, **options))
        expected = brute_force_runs(predictor, observer, mask, open_sky)
        assert [w.start == start for w in found[:1]] == [first == start for first, _ in expected[:1]], start
        assert len(found) == len(expected)
