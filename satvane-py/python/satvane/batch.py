"""Many satellites, many observers, many instants at once, straight into NumPy arrays.

`propagate` gives the state of every satellite at every instant and `observe` what every
observer sees of one satellite at every instant. The numbers are those of
`Predictor.propagate`, `StateVectorTeme.to_ecef` and `Predictor.observe_at`, bit for bit: the
same core computes each sample, in compiled loops that release the interpreter lock and run
on several threads (`threads`, default: every core this process may use).

Failures do not stop the batch. A sample whose propagation fails, and every sample of a
satellite from the first instant at which it lies below the Earth's surface (its orbit has
decayed; the propagator itself would go on with positions inside the Earth), is NaN in every
array and True in `failed`; `errors` names each failing satellite once, at its earliest
failure, with the error text.

Needs NumPy (`pip install 'satvane[batch]'`). Times are UTC: a `numpy.datetime64` array (read
as UTC) or a sequence of `datetime` objects in `datetime.timezone.utc`.
"""

from __future__ import annotations

import datetime as _dt
import importlib
import math
import os
import types
from typing import TYPE_CHECKING, Any, Callable, Iterable, NamedTuple, Sequence, Union

from satvane import _batch
from satvane._satvane import GeodeticPoint, Predictor

if TYPE_CHECKING:
    import numpy as np

    from satvane import IntervalRange

# A datetime64 array, UTC datetimes, or one UTC datetime.
Times = Union["np.ndarray", Iterable[_dt.datetime], _dt.datetime]

_UNIX_EPOCH = _dt.datetime(1970, 1, 1, tzinfo=_dt.timezone.utc)
_MICROSECOND = _dt.timedelta(microseconds=1)


def _numpy() -> types.ModuleType:
    try:
        import numpy
    except ImportError:
        raise ImportError("satvane.batch needs NumPy: install it with pip install 'satvane[batch]' "
                          "(or pip install numpy)") from None
    return numpy


class StateArrays(NamedTuple):
    """States of many satellites (first axis) at many instants (second axis)."""

    position_m: np.ndarray
    """Positions in metres, shape (satellites, times, 3)."""
    velocity_m_s: np.ndarray
    """Velocities in metres per second, shape (satellites, times, 3)."""
    failed: np.ndarray
    """True where the sample failed (its position and velocity are NaN), shape (satellites, times)."""
    errors: list[tuple[int, int, str]]
    """(satellite index, time index, error text) of each satellite's earliest failure."""


class LookAngles(NamedTuple):
    """What many observers (first axis) see of one satellite at many instants (second axis)."""

    azimuth_deg: np.ndarray
    """Azimuth in degrees from north, clockwise, in (-180, 180], shape (observers, times)."""
    elevation_deg: np.ndarray
    """Elevation above the horizon in degrees, shape (observers, times)."""
    range_m: np.ndarray
    """Slant range in metres, shape (observers, times)."""
    range_rate_m_s: np.ndarray
    """Range rate in metres per second, positive receding, shape (observers, times)."""
    failed: np.ndarray
    """True at the instants whose propagation failed (NaN for every observer), shape (times,)."""
    errors: list[tuple[int, str]]
    """(time index, error text) of the satellite's earliest failure, if any."""


def default_threads() -> int:
    """The number of cores this process may run on."""
    if hasattr(os, "sched_getaffinity"):
        return len(os.sched_getaffinity(0))
    return os.cpu_count() or 1


def times_ns(times: Times) -> np.ndarray:
    """Nanoseconds since 1970-01-01 UTC (int64) of a datetime64 array or of UTC datetimes."""
    numpy = _numpy()
    if isinstance(times, _dt.datetime):
        times = [times]
    array = numpy.asarray(times) if hasattr(times, "dtype") else None
    if array is not None and array.dtype.kind == "M":
        ns = array.astype("datetime64[ns]").view("int64")
        if numpy.isnat(array).any():
            raise ValueError("times must not hold NaT")
    else:
        ns = numpy.fromiter((_ns_of(t) for t in times), dtype=numpy.int64)
    if ns.ndim != 1:
        raise ValueError(f"times must be one-dimensional, not of shape {ns.shape}")
    contiguous: np.ndarray = numpy.ascontiguousarray(ns, dtype=numpy.int64)
    return contiguous


def _ns_of(t: _dt.datetime) -> int:
    if not isinstance(t, _dt.datetime):
        raise TypeError(f"times must be datetime objects or a datetime64 array, not '{type(t).__name__}'")
    if t.tzinfo is None:
        raise TypeError("expected a datetime with non-None tzinfo")
    if t.tzinfo != _dt.timezone.utc:
        raise ValueError("expected datetime.timezone.utc")
    return (t - _UNIX_EPOCH) // _MICROSECOND * 1000


def propagate(predictors: Iterable[Predictor], times: Times, *, frame: str = "teme",
              threads: int | None = None) -> StateArrays:
    """The state of every satellite at every instant.

    `frame` is "teme" (as `Predictor.propagate`) or "ecef" (as its `to_ecef` at the same
    instant). Returns a `StateArrays` of shape (satellites, times, 3); see the module's notes
    on failures.
    """
    numpy = _numpy()
    if frame not in ("teme", "ecef"):
        raise ValueError(f"frame must be 'teme' or 'ecef', not {frame!r}")
    predictors = tuple(predictors)
    ns = times_ns(times)
    shape = (len(predictors), len(ns))
    position = numpy.empty(shape + (3,))
    velocity = numpy.empty(shape + (3,))
    failed = numpy.empty(shape, dtype=bool)
    errors = _batch.propagate(predictors, ns, frame == "ecef", position, velocity, failed,
                              default_threads() if threads is None else threads)
    return StateArrays(position, velocity, failed, errors)


def _check_observers(observers: Iterable[object]) -> None:
    """Observers somewhere on or above the Earth: a real latitude, finite longitude and altitude."""
    for index, o in enumerate(observers):
        if not isinstance(o, GeodeticPoint):
            continue  # the extension names the wrong type
        if not -90.0 <= o.latitude_deg <= 90.0:
            raise ValueError(f"observer {index}: latitude {o.latitude_deg} is outside [-90, 90]")
        if not (math.isfinite(o.longitude_deg) and math.isfinite(o.altitude)):
            raise ValueError(f"observer {index}: longitude and altitude must be finite, got {o!r}")


def observe(predictor: Predictor, observers: Sequence[GeodeticPoint], times: Times, *,
            threads: int | None = None) -> LookAngles:
    """What every observer sees of `predictor` at every instant, as `Predictor.observe_at`.

    The satellite is propagated once per instant and every observer reads that state.
    Returns `LookAngles` of shape (observers, times); see the module's notes on failures.
    """
    numpy = _numpy()
    observers = tuple(observers)
    _check_observers(observers)
    ns = times_ns(times)
    shape = (len(observers), len(ns))
    azimuth, elevation, range_m, range_rate = (numpy.empty(shape) for _ in range(4))
    failed = numpy.empty(len(ns), dtype=bool)
    errors = _batch.observe(predictor, observers, ns, azimuth, elevation, range_m, range_rate, failed,
                            default_threads() if threads is None else threads)
    return LookAngles(azimuth, elevation, range_m, range_rate, failed, errors)


# ---------------------------------------------------------------------------------------------
# The batch pass search

PASS_COLUMNS = ("satellite", "observer", "aos", "peak", "los", "peak_elevation_deg", "aos_azimuth_deg",
                "peak_azimuth_deg", "los_azimuth_deg", "peak_range_m", "sunlit_at_peak", "cut")
# A failure as the extension reports it: satellite, observer (None: the whole satellite), ns, text.
ErrorRow = tuple[int, Union[int, None], int, str]
ERROR_COLUMNS = ("satellite", "observer", "time", "text")
_DTYPES = ("int64", "int64", "datetime64[ns]", "datetime64[ns]", "datetime64[ns]", "float64", "float64",
           "float64", "float64", "float64", "bool", "bool")


class Table:
    """Named NumPy columns of equal length: `table.aos`, `table["aos"]`, `len(table)`."""

    def __init__(self, columns: dict[str, np.ndarray]) -> None:
        self.columns = columns

    def __getattr__(self, name: str) -> np.ndarray:
        try:
            column: np.ndarray = self.__dict__["columns"][name]
            return column
        except KeyError:
            raise AttributeError(name) from None

    def __getitem__(self, name: str) -> np.ndarray:
        return self.columns[name]

    def __len__(self) -> int:
        return len(next(iter(self.columns.values())))

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Table) or list(self.columns) != list(other.columns):
            return NotImplemented
        return all(bool(_numpy().array_equal(a, other.columns[name])) for name, a in self.columns.items())

    def __repr__(self) -> str:
        return f"<{type(self).__name__} of {len(self)} rows: {', '.join(self.columns)}>"

    def to_pandas(self) -> Any:
        """The table as a pandas DataFrame (times stay datetime64[ns], UTC)."""
        try:  # by name: pandas ships no type information
            pandas = importlib.import_module("pandas")
        except ImportError:
            raise ImportError("to_pandas() needs pandas: install it with pip install pandas") from None
        return pandas.DataFrame(self.columns)


class Passes(NamedTuple):
    """What `transits` found: a pass table and an error table."""

    passes: Table
    """One row per pass (see `PASS_COLUMNS`), sorted by satellite, observer, AoS."""
    errors: Table
    """One row per failure: satellite index, observer index (-1 when the whole satellite failed),
    time (from which a failed satellite's passes are missing; for a pair, the start of the stretch
    whose search failed) and text."""


def transits(predictors: Iterable[Predictor], observers: Iterable[GeodeticPoint], interval: IntervalRange,
             min_elevation_deg: float, *, threads: int | None = None,
             progress: Callable[[int, int], object] | None = None, **options: Any) -> Passes:
    """The passes of every satellite over every observer in `interval`, one row per pass.

    Per satellite-observer pair these are the passes of `Predictor.transits_iter` with the same
    keyword options (`min_step`, `max_step`, `walk_step`, `max_transit_duration`,
    `skip_leading_partial`, `clamp_to_interval`), with edges within the predictor's time
    tolerance, each with its peak as `Predictor.max_elevation` finds it (within the same
    tolerance). Each satellite is propagated once per grid time for every observer, stretches in
    which it cannot rise to the minimum are skipped, the rest is scanned on an ephemeris
    interpolated between the grid states, and every edge and peak is settled with the propagator.
    `interval` is anything with `start` and `end` datetimes (UTC).
    `progress`, if given, is called as progress(satellites_done, satellites) a few times a
    second. A satellite whose propagation fails, or that sinks below the Earth's surface, keeps
    its passes up to then and has a row in the error table; the rest go on.
    """
    numpy = _numpy()
    observers = tuple(observers)
    _check_observers(observers)
    columns, errors = _batch.transits(tuple(predictors), observers, interval, min_elevation_deg,
                                      default_threads() if threads is None else threads, progress, **options)
    passes = Table({name: numpy.frombuffer(data, dtype=numpy.int64 if dtype.startswith("datetime") else dtype)
                    .view(dtype) for name, data, dtype in zip(PASS_COLUMNS, columns, _DTYPES)})
    return Passes(passes, error_table(errors))


def error_table(errors: Sequence[ErrorRow]) -> Table:
    """The error table of `Passes` from (satellite, observer or None, time in ns, text) rows."""
    numpy = _numpy()
    return Table({
        "satellite": numpy.array([e[0] for e in errors], dtype=numpy.int64),
        "observer": numpy.array([-1 if e[1] is None else e[1] for e in errors], dtype=numpy.int64),
        "time": numpy.array([e[2] for e in errors], dtype=numpy.int64).view("datetime64[ns]"),
        "text": numpy.array([e[3] for e in errors], dtype=object),
    })
