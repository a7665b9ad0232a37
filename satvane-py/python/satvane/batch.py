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
import math
import os
import types
from typing import TYPE_CHECKING, Iterable, NamedTuple, Sequence, Union

from satvane import _batch
from satvane._satvane import GeodeticPoint, Predictor

if TYPE_CHECKING:
    import numpy as np

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
