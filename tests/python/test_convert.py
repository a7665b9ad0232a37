"""The shared argument converters, seen through the classes that use them."""

import re
from collections import namedtuple
from datetime import datetime, timedelta, timezone

import pytest

from satvane import Circle, GeodeticPoint, Interval, LatLon

UTC = timezone.utc
T0 = datetime(2024, 3, 1, 12, 0, tzinfo=UTC)
LATLON_TEXT = "expected a LatLon, a GeodeticPoint, or a (latitude_deg, longitude_deg) tuple"


class UtcSubclass(datetime):
    pass


@pytest.mark.parametrize(
    "value, exc, message",
    [
        (T0.replace(tzinfo=None), TypeError, "expected a datetime with non-None tzinfo"),
        (T0.replace(tzinfo=timezone(timedelta(hours=2))), ValueError, "expected datetime.timezone.utc"),
        (T0.timestamp(), TypeError, "'float' object is not an instance of 'datetime'"),
        (None, TypeError, "'None' is not an instance of 'datetime'"),
        (T0.date(), TypeError, "'date' object is not an instance of 'datetime'"),
    ],
)
def test_rejected_datetimes_keep_their_class_and_text_and_name_the_parameter(value, exc, message):
    with pytest.raises(exc) as info:
        Interval(T0, value)
    assert str(info.value) == message and type(info.value) is exc
    assert info.value.__notes__ == ["while processing 'end'"]


def test_accepted_datetimes_come_back_in_utc():
    zero_offset = T0.replace(tzinfo=timezone(timedelta(0)), fold=1)
    subclass = UtcSubclass(2024, 3, 1, 12, 0, 0, 999_999, tzinfo=UTC)
    interval = Interval(zero_offset, subclass)
    assert interval.start == T0 and interval.start.tzinfo is UTC and interval.start.fold == 0
    assert type(interval.end) is datetime and interval.end.microsecond == 999_999
    assert Interval(datetime(1, 1, 1, tzinfo=UTC), datetime(9999, 12, 31, 23, 59, 59, 999_999, tzinfo=UTC)).end.year == 9999


def test_sub_microsecond_instants_are_truncated():
    # The midpoint of a one-microsecond interval lies 500 ns after its start.
    interval = Interval(T0 - timedelta(microseconds=1), T0)
    assert interval.mid_point == T0 - timedelta(microseconds=1)
    assert Interval(T0, T0 + timedelta(microseconds=3)).mid_point == T0 + timedelta(microseconds=1)


@pytest.mark.parametrize("span", [timedelta(days=-3, microseconds=7), timedelta(0), timedelta(days=400, seconds=5, microseconds=999_999)])
def test_durations_are_exact_to_the_microsecond(span):
    assert Interval(T0, T0 + span).duration == span


def test_interval_arguments_read_start_then_end_of_any_object():
    Span = namedtuple("Span", "start end")
    assert Interval(T0, T0 + timedelta(hours=2)).intersection(Span(T0 + timedelta(hours=1), T0 + timedelta(hours=3))) == Interval(
        T0 + timedelta(hours=1), T0 + timedelta(hours=2))
    reversed_span = Span(T0 + timedelta(hours=1), T0)
    assert Interval(T0, T0 + timedelta(hours=2)).intersection(reversed_span) is None

    class StartOnly:
        start = T0

    with pytest.raises(AttributeError, match="end") as info:
        Interval(T0, T0).intersection(StartOnly())
    assert info.value.__notes__ == ["while processing 'other'"]
    with pytest.raises(TypeError, match="non-None tzinfo") as info:
        Interval(T0, T0).intersection(Span(T0.replace(tzinfo=None), T0))
    assert info.value.__notes__ == ["while processing 'other'"]


Pair = namedtuple("Pair", "lat lon")


@pytest.mark.parametrize("centre", [(10, 20), (10.0, 20), Pair(10, 20), LatLon(10, 20), GeodeticPoint(10, 20, 5000)])
def test_latlon_forms_accepted(centre):
    circle = Circle(centre, 5)
    assert circle.centre.latitude_deg == pytest.approx(10) and circle.centre.longitude_deg == pytest.approx(20)


@pytest.mark.parametrize("centre", [[10, 20], (10, 20, 30), (10,), ("10", 20), (10, 2**2000), None, 10])
def test_other_latlon_forms_refused_with_one_text(centre):
    with pytest.raises(TypeError) as info:
        Circle(centre, 5)
    assert str(info.value) == LATLON_TEXT
    assert info.value.__notes__ == ["while processing 'centre'"]


class Raises:
    def __init__(self, exc):
        self.exc = exc

    def __float__(self):
        raise self.exc


@pytest.mark.parametrize("exc", [KeyboardInterrupt, MemoryError, RuntimeError, ZeroDivisionError])
@pytest.mark.parametrize("first", [True, False])
def test_latlon_items_pass_on_what_they_raise_unless_it_is_a_wrong_form(exc, first):
    pair = (Raises(exc("raised by the item")), 20) if first else (10, Raises(exc("raised by the item")))
    with pytest.raises(exc, match="raised by the item") as info:
        Circle(pair, 5)
    assert info.value.__notes__ == ["while processing 'centre'"]
    with pytest.raises(TypeError, match=re.escape(LATLON_TEXT)):
        Circle((10, Raises(ValueError("not a number"))) if first else (Raises(TypeError), 20), 5)
