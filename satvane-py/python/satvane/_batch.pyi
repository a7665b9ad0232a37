# The extension module satvane._batch, used through satvane.batch and satvane._pickle.
import datetime
from typing import Any, Callable, Sequence

from satvane._satvane import GeodeticPoint, Interval, Predictor

def propagate(predictors: Sequence[Predictor], times_ns: Any, ecef: bool, position_m: Any, velocity_m_s: Any,
              failed: Any, threads: int) -> list[tuple[int, int, str]]: ...
def observe(predictor: Predictor, observers: Sequence[GeodeticPoint], times_ns: Any, azimuth_deg: Any,
            elevation_deg: Any, range_m: Any, range_rate_m_s: Any, failed: Any,
            threads: int) -> list[tuple[int, str]]: ...
def pickle_state(obj: object) -> tuple[Any, ...]: ...
def from_pickle_state(class_name: str, state: tuple[Any, ...]) -> Any: ...
def mask_passes(predictor: Predictor, observer: GeodeticPoint, interval: Any,
                points: Sequence[tuple[float, float]], *, min_step: datetime.timedelta | None = None,
                max_step: datetime.timedelta | None = None, walk_step: datetime.timedelta | None = None,
                max_transit_duration: datetime.timedelta | None = None, skip_leading_partial: bool | None = None,
                clamp_to_interval: bool | None = None) -> list[Interval]: ...
def transits(predictors: Sequence[Predictor], observers: Sequence[GeodeticPoint], interval: Any,
             min_elevation_deg: float, threads: int, progress: Callable[[int, int], object] | None, *,
             min_step: datetime.timedelta | None = None, max_step: datetime.timedelta | None = None,
             walk_step: datetime.timedelta | None = None, max_transit_duration: datetime.timedelta | None = None,
             skip_leading_partial: bool | None = None, clamp_to_interval: bool | None = None,
             ) -> tuple[tuple[Any, ...], list[tuple[int, int | None, int, str]]]: ...
