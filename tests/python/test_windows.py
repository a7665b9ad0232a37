"""Window result classes: Interval, Transit, AoiWindow, Illumination, Apsis and the two
enumerations IlluminationState and ApsisEvent."""

import inspect
import operator
import re
import struct
import subprocess
import sys
import types
import warnings
from datetime import datetime, timedelta, timezone

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import satvane
from satvane import ApsisEvent, IlluminationState, Interval
from leak_checks import reference_counts, traced_growth_bytes

UTC = timezone.utc
A = datetime(2024, 3, 1, 12, 0, 0, tzinfo=UTC)
B = datetime(2024, 3, 1, 12, 10, 30, 280000, tzinfo=UTC)
C = datetime(2024, 3, 1, 13, 0, 0, tzinfo=UTC)
D = datetime(2024, 3, 2, 0, 0, 0, 1, tzinfo=UTC)
UNIX_EPOCH = datetime(1970, 1, 1, tzinfo=UTC)

ORDERINGS = [operator.lt, operator.le, operator.gt, operator.ge]
NO_CONSTRUCTOR = ["Transit", "AoiWindow", "Illumination", "Apsis", "IlluminationState", "ApsisEvent"]

utc_datetimes = st.datetimes(
    min_value=datetime(1, 1, 1), max_value=datetime(9999, 12, 31, 23, 59, 59, 999999), timezones=st.just(UTC)
)


def instant_bytes(dt):
    """The hashed layout of one instant: whole Unix seconds (i64, floor) and nanoseconds (u64)."""
    micros = (dt - UNIX_EPOCH) // timedelta(microseconds=1)
    seconds, micro = divmod(micros, 1_000_000)
    return struct.pack("<qQ", seconds, micro * 1000)


def reference_hashes(payloads):
    """SipHash-1-3 under an all-zero key, as CPython computes it for bytes with PYTHONHASHSEED=0."""
    assert sys.hash_info.algorithm == "siphash13"
    code = "import sys; [print(hash(bytes.fromhex(h))) for h in sys.argv[1:]]"
    out = subprocess.run(
        [sys.executable, "-c", code, *(p.hex() for p in payloads)],
        env={"PYTHONHASHSEED": "0"},
        capture_output=True,
        text=True,
        check=True,
    ).stdout
    return [int(line) for line in out.split()]


def show_instant(dt):
    text = f"{dt.year:04d}-{dt.month:02d}-{dt.day:02d} {dt.hour:02d}:{dt.minute:02d}:{dt.second:02d}"
    if dt.microsecond:
        digits = f"{dt.microsecond:06d}"
        text += "." + (digits[:3] if digits.endswith("000") else digits)
    return text + " UTC"


INSTANT_TEXT = r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)(?:\.(\d{3}|\d{6}|\d{9}))? UTC"


def shows_instant(text, dt):
    """Whether `text` prints `dt` as a search result does: searches refine instants to the
    nanosecond, of which a datetime keeps the microseconds, so the digits beyond agree with
    `dt` only up to its microsecond; the fraction has the fewest of 3, 6 or 9 digits."""
    match = re.fullmatch(INSTANT_TEXT, text)
    if match is None or (match[2] or "").endswith("000"):
        return False
    micros = int(((match[2] or "") + "000000")[:6])
    return datetime.fromisoformat(match[1]).replace(microsecond=micros, tzinfo=UTC) == dt


# --- Interval: construction, attributes, conversion errors ------------------------------------


def test_interval_signature_and_docstrings():
    assert inspect.signature(Interval) == inspect.Signature(
        [inspect.Parameter(n, inspect.Parameter.POSITIONAL_OR_KEYWORD) for n in ("start", "end")]
    )
    assert Interval.__doc__.endswith("A concrete `[start, end)` interval.")
    assert Interval.start.__doc__ == "Inclusive start of the interval."
    assert Interval.end.__doc__ == "Exclusive end of the interval."
    assert Interval.duration.__doc__ == "Length of the interval."
    assert Interval.mid_point.__doc__ == "The instant halfway between `start` and `end`."
    assert Interval.intersection.__text_signature__ == "($self, other)"
    assert Interval.intersection.__doc__.endswith("The overlap with `other`, or None if the two do not overlap.")
    assert Interval.__module__ == "satvane._satvane"


def test_interval_round_trips_its_bounds_and_is_read_only():
    interval = Interval(end=B, start=A)
    assert (interval.start, interval.end) == (A, B)
    assert interval.start.tzinfo is UTC
    for name in ("start", "end", "duration", "mid_point"):
        with pytest.raises(AttributeError):
            setattr(interval, name, A)


@pytest.mark.parametrize(
    ("start", "end", "exc", "text", "param"),
    [
        (datetime(2024, 1, 1), B, TypeError, "expected a datetime with non-None tzinfo", "start"),
        (A, datetime(2024, 1, 1, tzinfo=timezone(timedelta(hours=2))), ValueError, "expected datetime.timezone.utc", "end"),
        (A, "2024-01-01", TypeError, "'str' object is not an instance of 'datetime'", "end"),
        (None, B, TypeError, "'None' is not an instance of 'datetime'", "start"),
    ],
)
def test_interval_rejects_bad_instants_naming_the_parameter(start, end, exc, text, param):
    with pytest.raises(exc) as info:
        Interval(start, end)
    assert str(info.value) == text
    assert info.value.__notes__ == [f"while processing '{param}'"]


def test_interval_accepts_any_zero_offset_timezone():
    zero = timezone(timedelta(0), "Z")
    assert Interval(A.replace(tzinfo=zero), B) == Interval(A, B)


@pytest.mark.parametrize(
    ("call", "text"),
    [
        (lambda: Interval(), "Interval() missing 2 required positional arguments: 'start' and 'end'"),
        (lambda: Interval(A), "Interval() missing 1 required positional argument: 'end'"),
        (lambda: Interval(A, B, C), "Interval() takes 2 positional arguments but 3 were given"),
        (lambda: Interval(A, B).intersection(), "Interval.intersection() missing 1 required positional argument: 'other'"),
        (lambda: Interval(A, B).intersection(A, B), "Interval.intersection() takes 1 positional argument but 2 were given"),
        (lambda: Interval(A, B).intersection(o=A), "Interval.intersection() got an unexpected keyword argument 'o'"),
    ],
)
def test_wrong_arguments_read_like_the_interpreters_own(call, text):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == text


# --- Interval: duration, mid_point, intersection ------------------------------------------------


@pytest.mark.parametrize(
    ("start", "end"),
    [
        (A, B),
        (B, A),  # reversed: a valid object with a negative duration
        (A, A),
        (datetime(1, 1, 1, tzinfo=UTC), datetime(9999, 12, 31, 23, 59, 59, 999999, tzinfo=UTC)),  # > 2^63 ns
        (datetime(9999, 12, 31, 23, 59, 59, 999999, tzinfo=UTC), datetime(1, 1, 1, tzinfo=UTC)),
        (datetime(1969, 12, 31, 23, 59, 59, 999999, tzinfo=UTC), datetime(1970, 1, 1, 0, 0, 0, 1, tzinfo=UTC)),
    ],
)
def test_duration_and_mid_point_are_exact(start, end):
    interval = Interval(start, end)
    assert interval.duration == end - start
    # Exact halving at nanosecond resolution, truncated toward zero, then shown in microseconds.
    half_ns = ((end - start) // timedelta(microseconds=1)) * 1000
    half_ns = abs(half_ns) // 2 * (1 if half_ns >= 0 else -1)
    mid_ns = ((start - UNIX_EPOCH) // timedelta(microseconds=1)) * 1000 + half_ns
    assert interval.mid_point == UNIX_EPOCH + timedelta(microseconds=mid_ns // 1000)
    assert min(start, end) <= interval.mid_point <= max(start, end)


def test_mid_point_truncates_the_odd_nanosecond():
    one_us = timedelta(microseconds=1)
    assert Interval(A, A + one_us).mid_point == A
    assert Interval(A + one_us, A).mid_point == A  # A + 0.5 µs, shown truncated


@pytest.mark.parametrize(
    ("first", "second", "expected"),
    [
        ((A, B), (B, C), None),  # touching windows do not overlap
        ((A, C), (B, D), (B, C)),
        ((B, D), (A, C), (B, C)),
        ((A, D), (B, C), (B, C)),  # containment
        ((A, B), (A, B), (A, B)),
        ((A, B), (C, D), None),
        ((B, A), (A, D), None),  # a reversed interval overlaps nothing
        ((A, D), (C, B), None),
        ((A, A), (A, A), None),
    ],
)
def test_intersection(first, second, expected):
    result = Interval(*first).intersection(Interval(*second))
    if expected is None:
        assert result is None
    else:
        assert type(result) is Interval and result == Interval(*expected)


def test_intersection_reads_any_start_end_object():
    other = types.SimpleNamespace(start=B, end=D)
    assert Interval(A, C).intersection(other) == Interval(B, C)
    assert Interval(A, C).intersection(other=other) == Interval(B, C)


@pytest.mark.parametrize(
    ("other", "exc", "needle"),
    [
        (types.SimpleNamespace(start=A), AttributeError, "end"),
        (object(), AttributeError, "start"),
        (types.SimpleNamespace(start=A, end=datetime(2024, 1, 1)), TypeError, "non-None tzinfo"),
    ],
)
def test_intersection_conversion_failures(other, exc, needle):
    with pytest.raises(exc, match=needle):
        Interval(A, B).intersection(other)


@settings(max_examples=300, deadline=None)
@given(utc_datetimes, utc_datetimes, utc_datetimes, utc_datetimes)
def test_interval_arithmetic_matches_datetime_arithmetic(a, b, c, d):
    first, second = Interval(a, b), Interval(c, d)
    assert first.duration == b - a
    assert min(a, b) <= first.mid_point <= max(a, b)
    lo, hi = max(a, c), min(b, d)
    expected = Interval(lo, hi) if lo < hi else None
    assert first.intersection(second) == expected
    assert second.intersection(first) == expected
    assert repr(first) == f"Interval(start={show_instant(a)}, end={show_instant(b)})"


# --- Equality, ordering, hashing ----------------------------------------------------------------


def test_interval_equality_is_field_by_field_and_class_strict():
    assert Interval(A, B) == Interval(A, B)
    assert not Interval(A, B) != Interval(A, B)
    assert Interval(A, B) != Interval(A, C)
    assert Interval(A, B) != Interval(B, B)
    assert Interval(A, B) != (A, B)
    assert Interval(A, B) != types.SimpleNamespace(start=A, end=B)
    assert Interval(A, B).__eq__((A, B)) is NotImplemented


@pytest.mark.parametrize("op", ORDERINGS)
def test_interval_ordering_is_refused(op):
    with pytest.raises(TypeError):
        op(Interval(A, B), Interval(A, C))


def test_equal_intervals_hash_equal_and_work_as_keys():
    table = {Interval(A, B): "first"}
    assert table[Interval(A, B)] == "first"
    assert hash(Interval(A, B)) == hash(Interval(A, B))
    assert len({Interval(A, B), Interval(A, B), Interval(A, C)}) == 2


def test_interval_hash_is_siphash13_of_its_bounds_in_every_process():
    pairs = [(A, B), (B, A), (UNIX_EPOCH, UNIX_EPOCH), (datetime(1, 1, 1, tzinfo=UTC), D)]
    expected = reference_hashes([instant_bytes(s) + instant_bytes(e) for s, e in pairs])
    assert [hash(Interval(s, e)) for s, e in pairs] == expected


# --- Representations ----------------------------------------------------------------------------


@pytest.mark.parametrize(
    ("start", "end", "text"),
    [
        (A, B, "Interval(start=2024-03-01 12:00:00 UTC, end=2024-03-01 12:10:30.280 UTC)"),
        (
            datetime(2020, 7, 12, 1, 19, 7, 402656, tzinfo=UTC),
            datetime(2020, 7, 12, 1, 19, 7, 500000, tzinfo=UTC),
            "Interval(start=2020-07-12 01:19:07.402656 UTC, end=2020-07-12 01:19:07.500 UTC)",
        ),
        (
            datetime(1, 1, 1, tzinfo=UTC),
            datetime(9999, 12, 31, 23, 59, 59, 999999, tzinfo=UTC),
            "Interval(start=0001-01-01 00:00:00 UTC, end=9999-12-31 23:59:59.999999 UTC)",
        ),
    ],
)
def test_interval_repr(start, end, text):
    assert repr(Interval(start, end)) == text


# --- Classes produced only by the library -------------------------------------------------------


@pytest.mark.parametrize("name", NO_CONSTRUCTOR)
def test_library_made_classes_refuse_construction(name):
    cls = getattr(satvane, name)
    with pytest.raises(TypeError):
        cls()
    with pytest.raises(TypeError):
        cls(A, B)


@pytest.mark.parametrize(
    ("name", "doc", "attrs"),
    [
        (
            "Transit",
            "A satellite pass — the window during which the satellite is above the minimum elevation.",
            {
                "start": "Acquisition of Signal: when the satellite rises above `min_elevation`.",
                "end": "Loss of Signal: when the satellite drops below `min_elevation`.",
                "duration_seconds": "Duration of the transit in seconds.\n\nDeprecated: use `duration`, which is a `timedelta`.",
            },
        ),
        (
            "AoiWindow",
            "The window during which an area is within the payload's reach.",
            {
                "start": "When the area comes within reach.",
                "end": "When it passes back out of reach.",
                "duration_seconds": "Duration of the window in seconds.\n\nDeprecated: use `duration`, which is a `timedelta`.",
            },
        ),
        (
            "Illumination",
            "A contiguous window of constant illumination state.",
            {
                "start": "Start of the illumination window (UTC).",
                "end": "End of the illumination window (UTC).",
                "state": "Illumination state (Sunlit or Eclipse).",
                "duration_seconds": "Duration of the window in seconds.\n\nDeprecated: use `duration`, which is a `timedelta`.",
            },
        ),
        (
            "Apsis",
            "A detected apsis event with refined time and altitude.",
            {
                "time": "Time of the apsis event (UTC).",
                "event": "Whether this is an apogee or perigee.",
                "altitude": "Altitude above the WGS-84 equatorial radius in metres.",
            },
        ),
    ],
)
def test_library_made_class_docstrings(name, doc, attrs):
    cls = getattr(satvane, name)
    assert cls.__doc__ == doc
    assert cls.__module__ == "satvane._satvane"
    for attr, text in attrs.items():
        assert getattr(cls, attr).__doc__ == text
    if name != "Apsis":
        assert cls.duration.__doc__ == "Length of the interval."
        assert cls.mid_point.__doc__ == "The instant halfway between `start` and `end`."
        assert cls.intersection.__text_signature__ == "($self, other)"


def test_apsis_is_unhashable():
    assert satvane.Apsis.__hash__ is None


# --- Enumerations -------------------------------------------------------------------------------

ENUM_MEMBERS = [
    (IlluminationState, "Sunlit", 0),
    (IlluminationState, "Eclipse", 1),
    (ApsisEvent, "Apogee", 0),
    (ApsisEvent, "Perigee", 1),
]


@pytest.mark.parametrize(("cls", "name", "value"), ENUM_MEMBERS)
def test_enum_members(cls, name, value):
    member = getattr(cls, name)
    assert type(member) is cls
    assert getattr(cls, name) is member
    assert int(member) == value
    assert repr(member) == f"{cls.__name__}.{name}"
    assert member == value and not member != value
    assert member != 1 - value
    other = getattr(cls, next(n for c, n, _ in ENUM_MEMBERS if c is cls and n != name))
    assert member == member and member != other
    # Equal objects hash equal: a member equals its int, so it hashes like it.
    assert hash(member) == hash(value)
    assert {value: "x"}[member] == "x"
    with pytest.raises(AttributeError):
        member.value = 3


@pytest.mark.parametrize("op", ORDERINGS)
def test_enum_ordering_is_refused(op):
    with pytest.raises(TypeError):
        op(IlluminationState.Sunlit, IlluminationState.Eclipse)
    with pytest.raises(TypeError):
        op(ApsisEvent.Apogee, 1)


def test_enums_of_different_kinds_never_compare_equal():
    assert IlluminationState.Sunlit != ApsisEvent.Apogee
    assert IlluminationState.Sunlit != 0.0
    assert IlluminationState.Eclipse != "Eclipse"
    with pytest.raises(TypeError):
        float(IlluminationState.Eclipse)


def test_enum_docstrings():
    assert IlluminationState.__doc__ == "Whether the satellite is sunlit or in Earth's shadow."
    assert ApsisEvent.__doc__ == "Whether an apsis event is apogee or perigee."


# --- Window objects that come out of the searches -----------------------------------------------
# The searches yield these classes; their shared protocol is checked on whatever a search gives.

ISS = (
    "ISS (ZARYA)",
    "1 25544U 98067A   08264.51782528 -.00002182  00000-0 -11606-4 0  2927",
    "2 25544  51.6416 247.4627 0006703 130.5360 325.0288 15.72125391563537",
)
ISS_DAY = Interval(datetime(2008, 9, 20, tzinfo=UTC), datetime(2008, 9, 21, tzinfo=UTC))


def search_results(kind):
    predictor_cls = getattr(satvane, "Predictor", None)
    if predictor_cls is None or not hasattr(predictor_cls, f"{kind}_iter"):
        pytest.skip(f"{kind}_iter is not available in this build")
    predictor = predictor_cls.from_tle(satvane.Tle(*ISS))
    if kind == "transits":
        return list(predictor.transits_iter(satvane.GeodeticPoint(45.0, 10.0, 0.0), ISS_DAY, 0.0))
    if kind == "aoi":
        return list(predictor.aoi_iter(satvane.Rectangle.latitude_band(-10.0, 10.0), ISS_DAY))
    return list(getattr(predictor, f"{kind}_iter")(ISS_DAY))


@pytest.mark.parametrize(("kind", "cls_name"), [("transits", "Transit"), ("aoi", "AoiWindow"), ("illumination", "Illumination")])
def test_search_windows_follow_the_window_protocol(kind, cls_name):
    windows = search_results(kind)
    assert windows
    for window in windows:
        assert type(window).__name__ == cls_name
        # Bounds kept to the nanosecond: the datetimes drop the digits beyond the microsecond.
        assert abs(window.duration - (window.end - window.start)) <= timedelta(microseconds=1)
        assert window.start <= window.mid_point <= window.end
        copy = window.intersection(window)
        assert type(copy) is Interval and copy == window.intersection(window)
        assert (copy.start, copy.end) == (window.start, window.end)
        with pytest.raises(TypeError, match=rf"^{cls_name}\.intersection\(\) missing 1 required positional argument"):
            window.intersection()
        assert window != copy and hash(window) == hash(window)
        duration_ms = f"{int(window.duration / timedelta(milliseconds=1)) / 1000.0:.1f}"
        if cls_name != "Illumination":
            shown = re.fullmatch(rf"{cls_name}\(start=(.*), end=(.*), duration={re.escape(duration_ms)}s\)", repr(window))
        else:
            assert type(window.state) is IlluminationState
            state = "Sunlit" if window.state is IlluminationState.Sunlit else "Eclipse"
            shown = re.fullmatch(rf"Illumination\(state={state}, start=(.*), end=(.*)\)", repr(window))
        assert shown and shows_instant(shown[1], window.start) and shows_instant(shown[2], window.end), repr(window)
        with pytest.warns(DeprecationWarning, match="duration_seconds is deprecated; use duration instead") as record:
            seconds = window.duration_seconds
        assert len(record) == 1
        assert seconds == pytest.approx(window.duration.total_seconds(), abs=1e-3)
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            with pytest.raises(DeprecationWarning):
                window.duration_seconds


def test_apsides_from_the_search():
    apsides = search_results("apsis")
    assert apsides
    for apsis in apsides:
        assert type(apsis.event) is ApsisEvent
        assert apsis == apsis if apsis.altitude == apsis.altitude else apsis != apsis
        name = "Apogee" if apsis.event is ApsisEvent.Apogee else "Perigee"
        shown = re.fullmatch(rf"Apsis\(event={name}, time=(.*), altitude={apsis.altitude:.0f}m\)", repr(apsis))
        assert shown and shows_instant(shown[1], apsis.time), repr(apsis)
        with pytest.raises(TypeError):
            hash(apsis)


# --- Reference counts and memory ----------------------------------------------------------------


def exercise_windows(rounds, start, end, other):
    for i in range(rounds):
        interval = Interval(start, end)
        interval.intersection(other)
        interval.intersection(Interval(end, start))
        Interval.__new__(Interval, start, end=end).mid_point
        interval.duration, interval.start, hash(interval), repr(interval), interval == other
        int(IlluminationState.Eclipse), hash(ApsisEvent.Perigee), repr(IlluminationState.Sunlit)
        for failing in (lambda: Interval(start, None), lambda: interval.intersection(object()), lambda: Interval(start)):
            try:
                failing()
            except (TypeError, AttributeError):
                pass
            else:
                raise AssertionError("expected a failure")


def test_window_arguments_and_members_are_not_over_referenced():
    start, end = A.replace(microsecond=1), C.replace(microsecond=2)  # objects private to this test
    other = types.SimpleNamespace(start=B.replace(microsecond=3), end=D.replace(microsecond=4))
    watched = (start, end, other, other.start, IlluminationState.Eclipse, ApsisEvent.Perigee)
    counts = reference_counts(watched)
    exercise_windows(1000, start, end, other)
    assert reference_counts(watched) == counts


@pytest.mark.slow
def test_window_memory_stays_flat():
    other = types.SimpleNamespace(start=B, end=D)
    exercise_windows(5_000, A, C, other)
    growth = traced_growth_bytes(lambda: exercise_windows(20_000, A, C, other))
    assert growth < 256 * 1024, growth
