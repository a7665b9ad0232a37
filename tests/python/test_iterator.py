"""What the six search and series iterators share: the iterator protocol, laziness, ownership
of their predictor, error items, and the argument handling of the methods that build them."""

import datetime as dt
import gc
from importlib import resources

import pytest

import satvane
from satvane import GeodeticPoint, Interval, LatLon, Predictor, Refinement, Tle
from leak_checks import reference_counts, traced_growth_bytes

UTC = dt.timezone.utc
MINUTE = dt.timedelta(minutes=1)
ISS = Predictor.from_tle(Tle(*resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines()))
OBSERVER = GeodeticPoint(45.0, 10.0, 0.0)
DAY = Interval(ISS.epoch, ISS.epoch + dt.timedelta(days=1))


def with_checksum(line):
    return line + str(sum(int(c) if c.isdigit() else c == "-" for c in line) % 10)


# e = 0.995: propagation fails for hours around every perigee and works in between.
FLAKY = Predictor.from_tle(Tle(
    "FLAKY",
    with_checksum("1 33333U 05037B   05333.02012661  .25992681  00000-0  24476-3 0  153"),
    with_checksum("2 33333  96.4736 157.9986 9950000 244.0492 110.6523  4.00004038 1070"),
))

# Each search or series over `interval`, with the class it returns and that class's docstring.
BUILDERS = {
    "TransitIter": (lambda p, interval: p.transits_iter(OBSERVER, interval, 10.0),
                    "Lazy iterator yielding satellite passes visible to an observer."),
    "IlluminationIter": (lambda p, interval: p.illumination_iter(interval),
                         "Lazy iterator yielding sunlit and eclipse windows within a time interval."),
    "ApsisIter": (lambda p, interval: p.apsis_iter(interval),
                  "Lazy iterator yielding apogee and perigee events within a time interval."),
    "PredictionIter": (lambda p, interval: p.prediction_iter(interval, MINUTE),
                       "Lazy iterator yielding `(datetime, StateVectorTeme)` at regular intervals."),
    "GroundTrackIter": (lambda p, interval: p.ground_track_iter(interval, MINUTE),
                        "Lazy iterator yielding `(datetime, GeodeticPoint)` sub-satellite points at regular intervals."),
    "ObservationIter": (lambda p, interval: p.observation_iter(OBSERVER, interval, MINUTE),
                        "Lazy iterator yielding time-stamped observations at regular intervals."),
}


def drain(iterator, limit=100_000, must_end=True):
    """Every item (the first `limit`), with each raised RuntimeError in its place as its text."""
    items = []
    for _ in range(limit):
        try:
            items.append(next(iterator))
        except StopIteration:
            return items
        except RuntimeError as error:
            items.append(str(error))
    assert not must_end, "the iterator did not end"
    return items


@pytest.mark.parametrize("name", BUILDERS)
def test_iterator_protocol(name):
    build, doc = BUILDERS[name]
    cls = getattr(satvane, name)
    assert cls.__module__ == "satvane._satvane" and cls.__doc__ == doc
    with pytest.raises(TypeError):
        cls()
    hour = Interval(ISS.epoch, ISS.epoch + dt.timedelta(hours=3))
    iterator = build(ISS, hour)
    assert type(iterator) is cls and iter(iterator) is iterator
    items = list(iterator)
    assert items and items == list(build(ISS, hour))
    for _ in range(3):  # the end lasts
        with pytest.raises(StopIteration):
            next(iterator)


@pytest.mark.parametrize("name", BUILDERS)
def test_failed_samples_raise_from_next_and_the_iteration_goes_on(name):
    # Building propagates nothing: the failures come one per next(), never from the call.
    items = drain(BUILDERS[name][0](FLAKY, Interval(FLAKY.epoch, FLAKY.epoch + dt.timedelta(days=1))))
    failures = [item for item in items if isinstance(item, str)]
    # A failure inside a refinement comes wrapped: "Roots error: cost function error: SGP4 ...".
    assert failures and all("SGP4 propagation error: The propagated " in text for text in failures)
    assert len(failures) < len(items), "results come after failures"


def test_an_iterator_owns_its_predictor():
    stubborn = ISS.with_refinement(Refinement(max_iter=0))
    failing, passes = stubborn.illumination_iter(DAY), ISS.transits_iter(OBSERVER, DAY, 10.0)
    del stubborn
    gc.collect()
    with pytest.raises(RuntimeError, match="^Roots error: failed to converge after 0 iterations"):
        next(failing)
    ISS.with_refinement(Refinement(max_iter=0))
    assert list(passes) == list(ISS.transits_iter(OBSERVER, DAY, 10.0))


class StartOnly:
    start = ISS.epoch


NAIVE = dt.datetime(2026, 12, 6)


@pytest.mark.parametrize(
    "call, error, text, parameter",
    [
        # Positional arguments, converted in signature order: the first failure is reported.
        (lambda: ISS.transits_iter(LatLon(45.0, 10.0), StartOnly(), "x"), TypeError,
         "'LatLon' object is not an instance of 'GeodeticPoint'", "observer"),
        (lambda: ISS.transits_iter(OBSERVER, StartOnly(), "x"), AttributeError, "end", "interval"),
        (lambda: ISS.transits_iter(OBSERVER, DAY, "x"), TypeError, None, "min_elevation_deg"),
        (lambda: ISS.transits_iter(OBSERVER, DAY, float("nan")), ValueError, "the minimum elevation is NaN",
         "min_elevation_deg"),
        (lambda: ISS.detect_transit(ISS.epoch, OBSERVER, float("nan")), ValueError, "the minimum elevation is NaN",
         "min_elevation_deg"),
        (lambda: ISS.detect_transit(NAIVE, OBSERVER, 10.0), TypeError,
         "expected a datetime with non-None tzinfo", "t"),
        (lambda: ISS.prediction_iter(DAY, 60), TypeError, "'int' object is not an instance of 'timedelta'", "step"),
        # Keyword options: a timedelta for a duration, a bool for a flag, in signature order.
        (lambda: ISS.transits_iter(OBSERVER, DAY, 10.0, min_step=10, skip_leading_partial=1), TypeError,
         "'int' object is not an instance of 'timedelta'", "min_step"),
        (lambda: ISS.transits_iter(OBSERVER, DAY, 10.0, clamp_to_interval=1, max_transit_duration=3600.0), TypeError,
         "'float' object is not an instance of 'timedelta'", "max_transit_duration"),
        (lambda: ISS.transits_iter(OBSERVER, DAY, 10.0, skip_leading_partial=0), TypeError,
         "'int' object is not an instance of 'bool'", "skip_leading_partial"),
        (lambda: ISS.illumination_iter(DAY, max_window_duration="1h"), TypeError, None, "max_window_duration"),
        (lambda: ISS.apsis_iter(DAY, step=60), TypeError, None, "step"),
        # The interpreter's own wording for the call itself.
        (lambda: ISS.illumination_iter(DAY, min_step=MINUTE), TypeError,
         "Predictor.illumination_iter() got an unexpected keyword argument 'min_step'", None),
    ],
)
def test_argument_errors(call, error, text, parameter):
    with pytest.raises(error) as raised:
        call()
    if text is not None:
        assert (text in str(raised.value)) if error is AttributeError else str(raised.value) == text
    assert getattr(raised.value, "__notes__", []) == ([f"while processing '{parameter}'"] if parameter else [])


def test_none_keeps_each_default():
    given_none = ISS.transits_iter(OBSERVER, DAY, 10.0, min_step=None, max_step=None, walk_step=None,
                                   max_transit_duration=None, skip_leading_partial=None, clamp_to_interval=None)
    assert list(given_none) == list(ISS.transits_iter(OBSERVER, DAY, 10.0))
    assert list(ISS.illumination_iter(DAY, step=None, walk_step=None, max_window_duration=None)) == list(
        ISS.illumination_iter(DAY))
    assert list(ISS.apsis_iter(DAY, step=None)) == list(ISS.apsis_iter(DAY))
    assert ISS.max_elevation(OBSERVER, DAY, scan_step=None) == ISS.max_elevation(OBSERVER, DAY)


def exercise(rounds, interval, step):
    for _ in range(rounds):
        for build, _ in BUILDERS.values():
            drain(build(FLAKY, interval), limit=3, must_end=False)
        with pytest.raises(TypeError):
            ISS.transits_iter(OBSERVER, interval, 10.0, walk_step=30)
        ISS.max_elevation(OBSERVER, interval, scan_step=step)


@pytest.mark.slow
def test_memory_and_reference_counts_stay_flat():
    interval, step = Interval(FLAKY.epoch, FLAKY.epoch + dt.timedelta(hours=2)), dt.timedelta(minutes=5)
    exercise(200, interval, step)  # warm caches and freelists
    counts = reference_counts([interval, step, OBSERVER, FLAKY])
    assert traced_growth_bytes(lambda: (exercise(2_000, interval, step), gc.collect())) < 64 * 1024
    assert reference_counts([interval, step, OBSERVER, FLAKY]) == counts
