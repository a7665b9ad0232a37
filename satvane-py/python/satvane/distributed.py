"""The batch pass search over a Dask cluster, for catalogues too large for one machine.

The catalogue is cut into partitions; each partition travels to a worker (predictors and
observers pickle exactly) and runs `satvane.batch.transits` there; the tables come back with
their satellite indices shifted to the whole catalogue's, so the result equals the
single-process one row for row. Needs the extra: `pip install 'satvane[dask]'`.

    from dask.distributed import Client
    passes, errors = satvane.distributed.transits(Client(), predictors, observers, interval, 10.0)
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Any, Iterable, Sequence

from satvane import batch
from satvane._satvane import GeodeticPoint, Interval, Predictor

if TYPE_CHECKING:
    import numpy as np

    from satvane import IntervalRange

# One partition's result: its pass columns and its error rows, with catalogue-wide satellite indices.
Part = tuple[dict[str, "np.ndarray"], list[batch.ErrorRow]]


def _require_dask() -> None:
    try:
        import dask.distributed  # noqa: F401
    except ImportError:
        raise ImportError("satvane.distributed needs Dask: install it with pip install 'satvane[dask]'") from None


def transits(client: Any, predictors: Iterable[Predictor], observers: Iterable[GeodeticPoint],
             interval: IntervalRange, min_elevation_deg: float, *, partitions: int | None = None,
             dataframe: bool = False, **options: Any) -> batch.Passes:
    """`satvane.batch.transits` with the catalogue partitioned over the workers of `client`.

    `partitions` defaults to four per worker thread. Each worker runs its partitions on as many
    threads as Dask gives it. With `dataframe=True` the pass table is a Dask DataFrame left on the
    cluster (partitioned like the catalogue); the error table is always gathered.
    """
    _require_dask()
    predictors = tuple(predictors)
    observers = tuple(observers)
    # Bad input fails here, before anything travels, with the batch search's own messages: the
    # first satellite is screened locally (milliseconds).
    batch.transits(predictors[:1], observers, interval, min_elevation_deg, threads=1, **options)
    interval = Interval(interval.start, interval.end)  # picklable, whatever the caller passed
    slots = sum(client.nthreads().values()) or 1
    count = max(1, min(len(predictors), partitions or 4 * slots))
    bounds = [len(predictors) * k // count for k in range(count + 1)]
    # Observers travel with each partition: they are few and small.
    futures = [client.submit(_partition, predictors[a:b], a, observers, interval, min_elevation_deg,
                             options, pure=False)
               for a, b in zip(bounds, bounds[1:]) if b > a]
    if dataframe:
        import dask.dataframe as dd
        errors = client.gather([client.submit(_errors_of, f, pure=False) for f in futures])
        frames = [client.submit(_frame_of, f, pure=False) for f in futures]
        passes = dd.from_delayed(frames, meta=batch.Table(_empty_columns()).to_pandas(), verify_meta=False)
        return batch.Passes(passes, batch.error_table([row for part in errors for row in part]))
    parts = client.gather(futures)
    np = batch._numpy()
    columns = {name: np.concatenate([part[0][name] for part in parts]) for name in batch.PASS_COLUMNS}
    return batch.Passes(batch.Table(columns), batch.error_table([row for part in parts for row in part[1]]))


def _partition(predictors: Sequence[Predictor], offset: int, observers: Sequence[GeodeticPoint], interval: Interval,
               min_elevation_deg: float, options: dict[str, Any]) -> Part:
    """One partition's pass columns and error rows, with catalogue-wide satellite indices."""
    from dask.distributed import get_worker
    threads = get_worker().state.nthreads
    found = batch.transits(predictors, observers, interval, min_elevation_deg, threads=threads, **options)
    columns = dict(found.passes.columns)
    columns["satellite"] = columns["satellite"] + offset
    errors = [(int(s) + offset, None if o < 0 else int(o), int(t), str(text))
              for s, o, t, text in zip(found.errors.satellite, found.errors.observer,
                                       found.errors.time.view("int64"), found.errors.text)]
    return columns, errors


def _errors_of(part: Part) -> list[batch.ErrorRow]:
    return part[1]


def _frame_of(part: Part) -> Any:  # a pandas DataFrame
    return batch.Table(part[0]).to_pandas()


def _empty_columns() -> dict[str, np.ndarray]:
    np = batch._numpy()
    return {name: np.empty(0, dtype=dtype) for name, dtype in zip(batch.PASS_COLUMNS, batch._DTYPES)}
