import collections.abc
import datetime
import typing

import satvane

@typing.final
class Classification:
    """Satellite classification type (CLASSIFICATION_TYPE field in OMM)."""

    Unclassified: typing.ClassVar[Classification]
    """Unclassified (U)"""
    Classified: typing.ClassVar[Classification]
    """Classified (C)"""
    Secret: typing.ClassVar[Classification]
    """Secret (S)"""

    def __int__(self) -> int: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    def __hash__(self) -> int: ...

@typing.final
class Elements:
    """Orbital elements for a satellite.

    Holds the data needed to initialise an SGP4 propagator.  Can be constructed
    field-by-field or parsed directly from an OMM JSON string.

    From the JSON response of an element-set service::

        import json, urllib.request
        from satvane import Elements, Predictor

        with urllib.request.urlopen(url) as response:
            data = json.load(response)
        elements = Elements.from_dict(data[0])
        predictor = Predictor(elements)

    Field by field (angles in degrees, mean motion in rev/day)::

        from datetime import datetime, timezone
        from satvane import Classification, Elements, Predictor

        elements = Elements(
            norad_id=25544,
            object_name="ISS (ZARYA)",
            classification=Classification.Unclassified,
            epoch=datetime(2020, 7, 12, 1, 19, 7, tzinfo=timezone.utc),
            mean_motion=15.49560532,
            eccentricity=0.0001771,
            inclination=51.6435,
            right_ascension=225.4004,
            argument_of_perigee=44.9625,
            mean_anomaly=5.1087,
            mean_motion_dot=0.00289036,
            drag_term=0.0049645,
            revolution_number=23587,
        )
        predictor = Predictor(elements)
    """

    def __new__(
        cls,
        *,
        norad_id: int,
        epoch: datetime.datetime,
        mean_motion: float,
        eccentricity: float,
        inclination: float,
        right_ascension: float,
        argument_of_perigee: float,
        mean_anomaly: float,
        mean_motion_dot: float,
        mean_motion_ddot: float = 0.0,
        drag_term: float = 0.0,
        revolution_number: int = 0,
        object_name: str | None = None,
        classification: Classification = ...,
        international_designator: str | None = None,
        element_set_number: int = 0,
        ephemeris_type: int = 0,
    ) -> Elements:
        """Construct orbital elements from individual fields.

        `epoch` must be a timezone-aware `datetime` (UTC).
        All angle fields (`inclination`, `right_ascension`, `argument_of_perigee`,
        `mean_anomaly`) are in **degrees**.
        `mean_motion` is in **rev/day**.
        """

    @staticmethod
    def from_dict(data: typing.Any) -> Elements:
        """Parse an OMM dict into orbital elements.

        `data` is one record of a CelesTrak or Space-Track JSON response, as a dict.
        Raises `ValueError` if the record is malformed.
        """

    @staticmethod
    def from_json(json: str) -> Elements:
        """Parse an OMM JSON string into orbital elements.

        Raises `ValueError` if the JSON is malformed or the record is incomplete.
        """

    @property
    def object_name(self) -> str | None:
        """Satellite name (OBJECT_NAME), if present."""
    @property
    def international_designator(self) -> str | None:
        """International designator (OBJECT_ID), if present."""
    @property
    def norad_id(self) -> int:
        """NORAD catalog number (NORAD_CAT_ID)."""
    @property
    def classification(self) -> Classification:
        """Classification type (CLASSIFICATION_TYPE)."""
    @property
    def epoch(self) -> datetime.datetime:
        """Element set epoch in UTC (EPOCH)."""
    @property
    def mean_motion_dot(self) -> float:
        """First derivative of mean motion / 2 (MEAN_MOTION_DOT), rev/day²."""
    @property
    def mean_motion_ddot(self) -> float:
        """Second derivative of mean motion / 6 (MEAN_MOTION_DDOT), rev/day³."""
    @property
    def drag_term(self) -> float:
        """BSTAR drag term (BSTAR), 1/earth-radii."""
    @property
    def element_set_number(self) -> int:
        """Element set number (ELEMENT_SET_NO)."""
    @property
    def inclination(self) -> float:
        """Inclination (INCLINATION), degrees."""
    @property
    def right_ascension(self) -> float:
        """Right ascension of ascending node (RA_OF_ASC_NODE), degrees."""
    @property
    def eccentricity(self) -> float:
        """Eccentricity (ECCENTRICITY)."""
    @property
    def argument_of_perigee(self) -> float:
        """Argument of perigee (ARG_OF_PERICENTER), degrees."""
    @property
    def mean_anomaly(self) -> float:
        """Mean anomaly (MEAN_ANOMALY), degrees."""
    @property
    def mean_motion(self) -> float:
        """Mean motion (MEAN_MOTION), rev/day."""
    @property
    def revolution_number(self) -> int:
        """Revolution number at epoch (REV_AT_EPOCH)."""
    @property
    def ephemeris_type(self) -> int:
        """Ephemeris type (EPHEMERIS_TYPE). Normally 0."""

@typing.final
class Tle:
    """A satellite TLE (Two-Line Element set) identified by a name and two TLE lines."""

    def __new__(cls, satellite_name: str, line_1: str, line_2: str) -> Tle: ...
    @property
    def satellite_name(self) -> str: ...
    @property
    def line_1(self) -> str: ...
    @property
    def line_2(self) -> str: ...
    def to_elements(self) -> Elements:
        """Parse this TLE into orbital elements.

        Raises `ValueError` if the TLE is malformed.
        """
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    def __hash__(self) -> int: ...

@typing.final
class Vec3:
    """A 3-component vector (x, y, z).  Used for position (metres) and velocity (m/s)."""

    def __new__(cls, x: float, y: float, z: float) -> Vec3: ...
    @property
    def x(self) -> float: ...
    @property
    def y(self) -> float: ...
    @property
    def z(self) -> float: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    __hash__: typing.ClassVar[None]  # type: ignore[assignment]

@typing.final
class StateVectorTeme:
    """State vector in the True Equator Mean Equinox (TEME) frame — the native SGP4 output frame.

    Positions in metres, velocities in m/s.
    """

    @property
    def position(self) -> Vec3:
        """Position in the TEME frame (metres)."""
    @property
    def velocity(self) -> Vec3:
        """Velocity in the TEME frame (m/s)."""
    def to_ecef(self, t: datetime.datetime) -> StateVectorEcef:
        """Convert to the Earth-Centred Earth-Fixed (ECEF) frame at the given UTC time."""
    def to_lvlh(self, target: StateVectorTeme) -> StateVectorLvlh:
        """Express `target` relative to this satellite, in the satellite's LVLH frame.

        The receiver is the origin here — the mirror of `to_enu`, where the
        receiver is the satellite and the argument supplies the origin.
        """
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    __hash__: typing.ClassVar[None]  # type: ignore[assignment]

@typing.final
class StateVectorEcef:
    """State vector in the Earth-Centred Earth-Fixed (ECEF) frame.

    Positions in metres, velocities in m/s.
    """

    @property
    def position(self) -> Vec3:
        """Position in the ECEF frame (metres)."""
    @property
    def velocity(self) -> Vec3:
        """Velocity in the ECEF frame (m/s)."""
    def to_enu(self, observer: GeodeticPoint) -> StateVectorEnu:
        """Convert to the East-North-Up (ENU) frame relative to the given observer."""
    def to_teme(self, t: datetime.datetime) -> StateVectorTeme:
        """Convert back to the TEME frame, the inverse of `StateVectorTeme.to_ecef`."""
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    __hash__: typing.ClassVar[None]  # type: ignore[assignment]

@typing.final
class StateVectorEnu:
    """State vector in the East-North-Up (ENU) frame relative to a ground observer.

    Positions in metres, velocities in m/s.
    """

    @property
    def position(self) -> Vec3:
        """Position in the ENU frame (metres)."""
    @property
    def velocity(self) -> Vec3:
        """Velocity in the ENU frame (m/s)."""
    def to_observation(self) -> Observation:
        """Convert to a ground observation (azimuth, elevation, range, range_rate)."""
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    __hash__: typing.ClassVar[None]  # type: ignore[assignment]

@typing.final
class StateVectorLvlh:
    """State vector in the satellite's LVLH frame: Z along nadir, Y along the
    negative orbit normal, X completing the right-handed triad along-track.
    Positions in metres, velocities in m/s.

    The velocity is the inertial relative velocity resolved on the LVLH axes,
    not the derivative of the LVLH position, so `range_rate` is Doppler-correct.
    """

    @property
    def position(self) -> Vec3:
        """Position in the LVLH frame (metres)."""
    @property
    def velocity(self) -> Vec3:
        """Velocity in the LVLH frame (m/s)."""
    def to_pointing(self) -> Pointing:
        """Reduce to the direction, range and range rate of the target."""
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    __hash__: typing.ClassVar[None]  # type: ignore[assignment]

@typing.final
class Interval:
    """A concrete `[start, end)` interval."""

    def __new__(cls, start: datetime.datetime, end: datetime.datetime) -> Interval: ...
    @property
    def start(self) -> datetime.datetime:
        """Inclusive start of the interval."""
    @property
    def end(self) -> datetime.datetime:
        """Exclusive end of the interval."""
    @property
    def duration(self) -> datetime.timedelta:
        """Length of the interval."""
    @property
    def mid_point(self) -> datetime.datetime:
        """The instant halfway between `start` and `end`."""
    def intersection(self, other: satvane.IntervalRange) -> Interval | None:
        """The overlap with `other`, or None if the two do not overlap."""
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self) -> int: ...

@typing.final
class Observation:
    """A point observation of a satellite from a ground location.

    Use `azimuth_deg` and `elevation_deg` for angular values.
    Range is in metres, range rate in m/s (positive = receding).
    """

    @property
    def azimuth_deg(self) -> float:
        """Azimuth in degrees from north, measured clockwise, in `(-180, 180]`."""
    @property
    def elevation_deg(self) -> float:
        """Elevation above the horizon in degrees."""
    @property
    def range(self) -> float: ...
    @property
    def range_rate(self) -> float: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    __hash__: typing.ClassVar[None]  # type: ignore[assignment]

@typing.final
class Pointing:
    """The satellite's view of a target on the ground.

    `direction` is a unit vector in the spacecraft's LVLH frame — Z along nadir,
    Y along the negative orbit normal, X along-track — which composes directly
    with an antenna or instrument mounting rotation. Range is in metres, range
    rate in m/s (positive = receding).
    """

    @property
    def direction(self) -> Vec3:
        """Unit vector from the satellite to the target, in the LVLH frame.

        Zero — not a unit vector — for a target at the satellite's own
        position, where there is no direction to report and `range` is zero
        too. Check `range` before composing this with a mounting rotation.
        """
    @property
    def off_nadir_deg(self) -> float:
        """Angle between `direction` and nadir, in degrees.

        Nadir is geocentric, the same convention as the `max_off_nadir` field of
        regard, so the two compare directly.

        Reports `0.0` for the degenerate zero-range state, which is
        indistinguishable from a target exactly at nadir — check `range` to
        tell them apart.
        """
    @property
    def range(self) -> float: ...
    @property
    def range_rate(self) -> float: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    __hash__: typing.ClassVar[None]  # type: ignore[assignment]

@typing.final
class Transit:
    """A satellite pass — the window during which the satellite is above the minimum elevation."""

    @property
    def start(self) -> datetime.datetime:
        """Acquisition of Signal: when the satellite rises above `min_elevation`."""
    @property
    def end(self) -> datetime.datetime:
        """Loss of Signal: when the satellite drops below `min_elevation`."""
    @property
    def duration(self) -> datetime.timedelta:
        """Length of the interval."""
    @property
    def mid_point(self) -> datetime.datetime:
        """The instant halfway between `start` and `end`."""
    @property
    def duration_seconds(self) -> float:
        """Duration of the transit in seconds.

        Deprecated: use `duration`, which is a `timedelta`.
        """
    def intersection(self, other: satvane.IntervalRange) -> Interval | None:
        """The overlap with `other`, or None if the two do not overlap."""
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self) -> int: ...

@typing.final
class ApsisEvent:
    """Whether an apsis event is apogee or perigee."""

    Apogee: typing.ClassVar[ApsisEvent]
    """Point of greatest distance from Earth (maximum altitude)."""
    Perigee: typing.ClassVar[ApsisEvent]
    """Point of closest approach to Earth (minimum altitude)."""

    def __int__(self) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self) -> int: ...

@typing.final
class Apsis:
    """A detected apsis event with refined time and altitude."""

    @property
    def time(self) -> datetime.datetime:
        """Time of the apsis event (UTC)."""
    @property
    def event(self) -> ApsisEvent:
        """Whether this is an apogee or perigee."""
    @property
    def altitude(self) -> float:
        """Altitude above the WGS-84 equatorial radius in metres."""
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    __hash__: typing.ClassVar[None]  # type: ignore[assignment]

@typing.final
class IlluminationState:
    """Whether the satellite is sunlit or in Earth's shadow."""

    Sunlit: typing.ClassVar[IlluminationState]
    """The satellite is illuminated by the Sun."""
    Eclipse: typing.ClassVar[IlluminationState]
    """The satellite is in Earth's shadow (cylindrical umbra model)."""

    def __int__(self) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self) -> int: ...

@typing.final
class Illumination:
    """A contiguous window of constant illumination state."""

    @property
    def start(self) -> datetime.datetime:
        """Start of the illumination window (UTC)."""
    @property
    def end(self) -> datetime.datetime:
        """End of the illumination window (UTC)."""
    @property
    def state(self) -> IlluminationState:
        """Illumination state (Sunlit or Eclipse)."""
    @property
    def duration(self) -> datetime.timedelta:
        """Length of the interval."""
    @property
    def mid_point(self) -> datetime.datetime:
        """The instant halfway between `start` and `end`."""
    @property
    def duration_seconds(self) -> float:
        """Duration of the window in seconds.

        Deprecated: use `duration`, which is a `timedelta`.
        """
    def intersection(self, other: satvane.IntervalRange) -> Interval | None:
        """The overlap with `other`, or None if the two do not overlap."""
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self) -> int: ...

@typing.final
class AoiWindow:
    """The window during which an area is within the payload's reach."""

    @property
    def start(self) -> datetime.datetime:
        """When the area comes within reach."""
    @property
    def end(self) -> datetime.datetime:
        """When it passes back out of reach."""
    @property
    def duration(self) -> datetime.timedelta:
        """Length of the interval."""
    @property
    def mid_point(self) -> datetime.datetime:
        """The instant halfway between `start` and `end`."""
    @property
    def duration_seconds(self) -> float:
        """Duration of the window in seconds.

        Deprecated: use `duration`, which is a `timedelta`.
        """
    def intersection(self, other: satvane.IntervalRange) -> Interval | None:
        """The overlap with `other`, or None if the two do not overlap."""
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self) -> int: ...

@typing.final
class LatLon:
    """A point on Earth's surface, in degrees.

    Anywhere a `LatLon` is accepted, a plain `(latitude_deg, longitude_deg)` tuple
    works too.
    """

    def __new__(cls, latitude_deg: float, longitude_deg: float) -> LatLon: ...
    @property
    def latitude_deg(self) -> float:
        """Geodetic latitude in degrees (positive north)."""
    @property
    def longitude_deg(self) -> float:
        """Geodetic longitude in degrees (positive east)."""
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    __hash__: typing.ClassVar[None]  # type: ignore[assignment]

@typing.final
class GeodeticPoint:
    """A geodetic position on or above the WGS-84 ellipsoid.

    Latitude and longitude in degrees, altitude in metres.
    """

    def __new__(cls, latitude_deg: float, longitude_deg: float, altitude: float) -> GeodeticPoint: ...
    @property
    def latitude_deg(self) -> float:
        """Geodetic latitude in degrees (positive north)."""
    @property
    def longitude_deg(self) -> float:
        """Geodetic longitude in degrees (positive east)."""
    @property
    def altitude(self) -> float:
        """Height above the WGS-84 ellipsoid in metres."""
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    __hash__: typing.ClassVar[None]  # type: ignore[assignment]

@typing.final
class FillRule:
    """How the interior of a self-intersecting `Polygon` is determined."""

    NonZero: typing.ClassVar[FillRule]
    """Inside wherever the winding number is non-zero: a ring that crosses itself stays filled."""
    EvenOdd: typing.ClassVar[FillRule]
    """Inside wherever the winding number is odd: a ring that doubles back leaves a hole."""

    def __int__(self) -> int: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    def __hash__(self) -> int: ...

@typing.final
class Polygon:
    """A closed polygon on Earth's surface whose edges are great-circle arcs.

    The ring closes implicitly (there is no need to repeat the first vertex) and
    vertex order does not matter. Vertices may be `LatLon` objects, `GeodeticPoint`
    objects (altitude ignored) or `(latitude_deg, longitude_deg)` tuples.

    Edges are great-circle arcs, so vertices at the same latitude are not joined
    along the parallel but by an arc that bows toward the nearer pole, growing with
    the square of the edge's longitude span. A 7° edge at 60°N bulges about 0.05°;
    vertices a quarter of the globe apart reach roughly 68°N. For "these latitudes
    by these longitudes", use `Rectangle`.

    `fill_rule` (a `FillRule`, `FillRule.NonZero` when omitted) decides the interior
    of a ring that crosses itself.

    Raises `ValueError` if fewer than three distinct vertices remain, a latitude is
    outside [-90, 90], a coordinate is `nan` or infinite, consecutive vertices are
    antipodal, or the polygon does not fit inside a hemisphere.
    """

    def __new__(
        cls, vertices: collections.abc.Iterable[satvane.LatLonLike], fill_rule: FillRule = ...
    ) -> Polygon: ...
    @property
    def vertices(self) -> list[LatLon]:
        """The polygon's vertices in ring order, after deduplication."""
    @property
    def fill_rule(self) -> FillRule:
        """How the interior of a self-intersecting ring is determined."""
    def signed_angular_offset_deg(self, point: satvane.LatLonLike) -> float:
        """Signed angular offset of a point from the boundary, in degrees:
        positive inside, negative outside, zero on the boundary.

        Raises `ValueError` if the point's latitude is outside [-90, 90] or a
        coordinate is `nan` or infinite.
        """
    def max_angular_distance_deg(self, point: satvane.LatLonLike) -> float:
        """Angular distance from a point to the farthest point of the area, in
        degrees. `Coverage.Full` is measured against this distance: the whole area
        is within reach when it is.

        Raises `ValueError` if the point's latitude is outside [-90, 90] or a
        coordinate is `nan` or infinite.
        """

@typing.final
class Rectangle:
    """A latitude/longitude box, whose north and south edges follow their parallels
    exactly.

    The box runs **eastward** from the south-west corner to the north-east corner,
    so a north-east corner at a smaller longitude wraps across the antimeridian:
    `Rectangle((10, 170), (20, -170))` is 20° wide. Each corner may be a `LatLon`,
    a `GeodeticPoint` (altitude ignored) or a `(latitude_deg, longitude_deg)` tuple.

    Raises `ValueError` if a latitude is outside [-90, 90], a coordinate is `nan`
    or infinite, or the box has no extent. -180 and 180 are the same meridian, so
    use `Rectangle.latitude_band` to span every longitude.
    """

    def __new__(cls, south_west: satvane.LatLonLike, north_east: satvane.LatLonLike) -> Rectangle: ...
    @staticmethod
    def latitude_band(south_deg: float, north_deg: float) -> Rectangle:
        """A box spanning every longitude between two latitudes — a band, or a polar
        cap when one latitude is a pole.

        Raises `ValueError` if a latitude is outside [-90, 90] or `south_deg` is not
        below `north_deg`.
        """
    @property
    def latitudes_deg(self) -> tuple[float, float]:
        """The southern and northern latitude bounds, in degrees."""
    @property
    def longitudes_deg(self) -> tuple[float, float]:
        """The western bound and the extent eastward from it, in degrees. The extent is
        360 for a box built by `latitude_band`.
        """
    def signed_angular_offset_deg(self, point: satvane.LatLonLike) -> float:
        """Signed angular offset of a point from the boundary, in degrees:
        positive inside, negative outside, zero on the boundary.

        Raises `ValueError` if the point's latitude is outside [-90, 90] or a
        coordinate is `nan` or infinite.
        """
    def max_angular_distance_deg(self, point: satvane.LatLonLike) -> float:
        """Angular distance from a point to the farthest point of the area, in
        degrees. `Coverage.Full` is measured against this distance: the whole area
        is within reach when it is.

        Raises `ValueError` if the point's latitude is outside [-90, 90] or a
        coordinate is `nan` or infinite.
        """

@typing.final
class Circle:
    """A circular area on Earth's surface — a spherical cap.

    The radius is angular, in degrees of arc: a degree of arc is about 111.2 km on
    the ground. `centre` may be a `LatLon`, a `GeodeticPoint` (altitude ignored) or
    a `(latitude_deg, longitude_deg)` tuple.

    Raises `ValueError` for a radius outside (0, 90), a centre latitude outside
    [-90, 90], or a `nan` or infinite argument.
    """

    def __new__(cls, centre: satvane.LatLonLike, radius_deg: float) -> Circle: ...
    @property
    def centre(self) -> LatLon:
        """The circle's centre."""
    @property
    def radius_deg(self) -> float:
        """The circle's angular radius, in degrees of arc."""
    def signed_angular_offset_deg(self, point: satvane.LatLonLike) -> float:
        """Signed angular offset of a point from the boundary, in degrees:
        positive inside, negative outside, zero on the boundary.

        Raises `ValueError` if the point's latitude is outside [-90, 90] or a
        coordinate is `nan` or infinite.
        """
    def max_angular_distance_deg(self, point: satvane.LatLonLike) -> float:
        """Angular distance from a point to the farthest point of the area, in
        degrees. `Coverage.Full` is measured against this distance: the whole area
        is within reach when it is.

        Raises `ValueError` if the point's latitude is outside [-90, 90] or a
        coordinate is `nan` or infinite.
        """

@typing.final
class Coverage:
    """Whether any part of an area, or all of it, must be within reach for a window
    to be open.
    """

    Any: typing.ClassVar[Coverage]
    """Any part of the area is within reach."""
    Full: typing.ClassVar[Coverage]
    """Every part of the area is within reach at once. Needs `max_off_nadir_deg` wider
    than the area: at the default of zero the reach is a single point and no window
    opens. Not the same as one image covering the area, which depends on the
    instantaneous field of view."""

    def __int__(self) -> int: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    def __hash__(self) -> int: ...

@typing.final
class Predictor:
    """Parsed TLE with pre-computed SGP4 constants, ready for propagation.

    Construct from a `Tle` or `Elements`; then use its methods to propagate state vectors,
    compute ground observations, detect passes, find apsides, and query illumination.
    """

    def __new__(cls, elements: Elements) -> Predictor: ...
    @staticmethod
    def from_tle(tle: Tle) -> Predictor:
        """Parse TLE string lines and initialise SGP4 constants.

        Raises `ValueError` if the TLE is malformed.
        """
    def with_refinement(self, refinement: Refinement) -> Predictor:
        """Return a new `Predictor` with the given root-finder configuration.

        The values of `refinement` are copied at the call; this predictor keeps
        its own.
        """
    @property
    def epoch(self) -> datetime.datetime:
        """The epoch of the TLE (UTC)."""
    def tle_age_seconds(self, now: datetime.datetime) -> float:
        """Age of the TLE relative to `now` in seconds (positive = TLE is in the past).

        Counted in whole milliseconds, truncated toward zero.
        """
    def propagate(self, t: datetime.datetime) -> StateVectorTeme:
        """Propagate the TLE to the given UTC time.

        Returns a state vector in the TEME frame.
        """
    def sub_point(self, t: datetime.datetime) -> GeodeticPoint:
        """The geodetic point directly beneath the satellite at time `t`.

        Altitude is the height above the WGS-84 ellipsoid, in metres.
        """
    def observe_at(self, t: datetime.datetime, observer: GeodeticPoint) -> Observation:
        """Calculate the observation from an observer at the given UTC time.

        `observer` is a `GeodeticPoint`.
        """
    def point_at(self, t: datetime.datetime, target: GeodeticPoint) -> Pointing:
        """Where `target` lies as seen from the satellite at the given UTC time.

        Returns a `Pointing`: a unit vector in the satellite's LVLH frame, plus
        slant range and range rate.
        """
    def illumination_state(self, t: datetime.datetime) -> IlluminationState:
        """Determine whether the satellite is sunlit or in eclipse at time `t`.

        The Earth's shadow is a cylinder of the equatorial radius, without penumbra.
        """
    def prediction_iter(self, interval: satvane.IntervalRange, step: datetime.timedelta) -> PredictionIter:
        """Iterate over state vectors in the TEME frame at regular intervals.

        `interval` must expose `.start` and `.end` datetime properties.
        Pass an `Interval`, `Transit`, or `Illumination` object.
        """
    def ground_track_iter(self, interval: satvane.IntervalRange, step: datetime.timedelta) -> GroundTrackIter:
        """Trace the satellite's ground track at regular intervals.

        `interval` must expose `.start` and `.end` datetime properties.
        Yields `(datetime, GeodeticPoint)` sub-satellite points.
        """
    def observation_iter(
        self, observer: GeodeticPoint, interval: satvane.IntervalRange, step: datetime.timedelta
    ) -> ObservationIter:
        """Iterate over observations from the given observer at regular intervals.

        `interval` must expose `.start` and `.end` datetime properties.
        Pass an `Interval`, `Transit`, or `Illumination` object.
        """
    def transits_iter(
        self,
        observer: GeodeticPoint,
        interval: satvane.IntervalRange,
        min_elevation_deg: float,
        *,
        min_step: datetime.timedelta | None = None,
        max_step: datetime.timedelta | None = None,
        walk_step: datetime.timedelta | None = None,
        max_transit_duration: datetime.timedelta | None = None,
        skip_leading_partial: bool | None = None,
        clamp_to_interval: bool | None = None,
    ) -> TransitIter:
        """Iterate over satellite passes visible to the observer within the interval.

        `observer` is a `GeodeticPoint`; `interval` must expose `.start` and `.end`
        datetime properties; a pass is the time above `min_elevation_deg` (degrees).

        Options (a `timedelta` for durations, a `bool` for flags; None keeps the default):

        - `min_step` (10 s) and `max_step` (10 min) bound the adaptive scan step.
          `min_step` is also the shortest pass the scan is sure to see; `max_step` is
          raised to `min_step` where it is smaller. Steps below 1 s count as 1 s.
        - `walk_step` (30 s) is the fixed step of the walk from a pass's inside to
          its ends.
        - `max_transit_duration` (1 h): a longer pass raises `RuntimeError`.
        - `skip_leading_partial` (True) drops a pass already in progress at the
          interval start; set False, the search walks backward for its true AoS.
        - `clamp_to_interval` (False) cuts a pass still in progress at an interval
          end at that end instead of walking on for its true AoS or LoS.
        """
    def detect_transit(
        self,
        t: datetime.datetime,
        observer: GeodeticPoint,
        min_elevation_deg: float,
        *,
        walk_step: datetime.timedelta | None = None,
        max_transit_duration: datetime.timedelta | None = None,
    ) -> Transit | None:
        """Detect whether a transit is in progress at time `t`.

        Returns None when the satellite is below `min_elevation_deg` at `t`.
        Otherwise searches backward and forward from `t` for the AoS and LoS, in
        steps of `walk_step` (30 s), and returns the whole pass as a `Transit`,
        which may begin before `t` and end after it. A pass longer than
        `max_transit_duration` (1 h) raises `RuntimeError`.

        Of the options of `transits_iter`, only these two apply here.
        """
    def aoi_iter(
        self,
        area: satvane.Area,
        interval: satvane.IntervalRange,
        *,
        max_off_nadir_deg: float | None = None,
        coverage: Coverage | None = None,
        min_step: datetime.timedelta | None = None,
        max_step: datetime.timedelta | None = None,
        walk_step: datetime.timedelta | None = None,
        max_window_duration: datetime.timedelta | None = None,
        skip_leading_partial: bool | None = None,
        clamp_to_interval: bool | None = None,
    ) -> AoiIter:
        """Iterate over the windows in which `area` is within the payload's reach.

        `area` is a `Polygon`, `Rectangle`, or `Circle`; `interval` must expose
        `.start` and `.end` datetime properties. Each keyword defaults to the
        library's own value when omitted or None:

        - `max_off_nadir_deg` (0) is the half-angle of the satellite's field of
          regard: the largest nadir angle the payload can be slewed to. At zero the
          search detects the sub-satellite point itself crossing into the area. It
          describes everything the payload could be pointed at, not the footprint of
          a single image.
        - `coverage` chooses whether any part of the area (`Coverage.Any`, the
          default) or all of it (`Coverage.Full`) must be within reach.
          `Coverage.Full` needs `max_off_nadir_deg` set wider than the area: at zero
          the reach is a single point and no window ever opens.
        - `min_step` (1 s) is the lower bound of the adaptive coarse-scan step and
          the shortest crossing the scan is sure to see; lower it for an area the
          ground track crosses faster than that. Floored at 1 ms.
        - `max_step` (10 min) is the upper bound, used while the ground track is far
          from the area. It is raised to `min_step` where smaller, so a `min_step`
          above it pins the scan at that step and a small area is stepped straight over.
        - `walk_step` (5 s) is the fixed step of the walks from a window's inside to
          its ends.
        - `max_window_duration` (1 h) caps a single window; a longer one raises
          `RuntimeError`, so a continental-scale area needs it raised (a low orbit
          stays inside something like `Rectangle.latitude_band(-90.0, 60.0)` for most
          of each orbit).
        - `skip_leading_partial` (True) discards a window already in progress at the
          interval start; set False, the search walks backward for its true beginning.
        - `clamp_to_interval` (False) cuts a window still in progress at the interval
          end at that end instead of walking forward for its true end.
        """
    def detect_aoi(
        self,
        t: datetime.datetime,
        area: satvane.Area,
        *,
        max_off_nadir_deg: float | None = None,
        coverage: Coverage | None = None,
        walk_step: datetime.timedelta | None = None,
        max_window_duration: datetime.timedelta | None = None,
    ) -> AoiWindow | None:
        """Detect whether `area` is within the payload's reach at time `t`.

        Returns None when it is not. Otherwise searches backward and forward from
        `t` for the entry and exit crossings and returns the whole window as an
        `AoiWindow`, which may begin before `t` and end after it. A window longer
        than `max_window_duration` (1 h) raises `RuntimeError`.

        See `aoi_iter` for the options; the others do not apply to this single-point
        detection.
        """
    def max_elevation(
        self, observer: GeodeticPoint, interval: satvane.IntervalRange, *, scan_step: datetime.timedelta | None = None
    ) -> tuple[datetime.datetime, Observation]:
        """Find the peak elevation of the satellite over an observer within the interval.

        Returns `(datetime, Observation)` at the highest point: a refined local
        maximum, or an end of the interval. `scan_step` (10 s) is the fixed step of
        the scan for zero crossings of the elevation rate.

        Raises `RuntimeError` if no peak is found in the interval.
        """
    def illumination_iter(
        self,
        interval: satvane.IntervalRange,
        *,
        step: datetime.timedelta | None = None,
        walk_step: datetime.timedelta | None = None,
        max_window_duration: datetime.timedelta | None = None,
    ) -> IlluminationIter:
        """Iterate over sunlit and eclipse windows within the interval.

        `interval` must expose `.start` and `.end` datetime properties. The windows
        tile it: the first starts at its start, each starts where the one before
        ended, Sunlit and Eclipse alternate, and the last ends at its end.

        Options (each a `timedelta`; None keeps the default, below 1 s counts as 1 s):

        - `step` (60 s) is the fixed step of the scan for shadow-boundary crossings.
        - `walk_step` (30 s) is the step used to pin down a window's true start and end.
        - `max_window_duration` (1 h): a longer eclipse window raises `RuntimeError`;
          sunlit windows are the gaps between eclipse windows and are never bounded by it.
        """
    def apsis_iter(self, interval: satvane.IntervalRange, *, step: datetime.timedelta | None = None) -> ApsisIter:
        """Iterate over apogee and perigee events within the interval.

        `interval` must expose `.start` and `.end` datetime properties. `step` (a
        `timedelta`, 60 s by default, below 1 s counts as 1 s) is the fixed step of
        the scan for sign changes of the radial velocity; an apsis between the last
        scan sample and the interval end is not reported.
        """

@typing.final
class PredictionIter:
    """Lazy iterator yielding `(datetime, StateVectorTeme)` at regular intervals."""

    def __iter__(self) -> PredictionIter: ...
    def __next__(self) -> tuple[datetime.datetime, StateVectorTeme]: ...

@typing.final
class ApsisIter:
    """Lazy iterator yielding apogee and perigee events within a time interval."""

    def __iter__(self) -> ApsisIter: ...
    def __next__(self) -> Apsis: ...

@typing.final
class IlluminationIter:
    """Lazy iterator yielding sunlit and eclipse windows within a time interval."""

    def __iter__(self) -> IlluminationIter: ...
    def __next__(self) -> Illumination: ...

@typing.final
class TransitIter:
    """Lazy iterator yielding satellite passes visible to an observer."""

    def __iter__(self) -> TransitIter: ...
    def __next__(self) -> Transit: ...

@typing.final
class ObservationIter:
    """Lazy iterator yielding time-stamped observations at regular intervals."""

    def __iter__(self) -> ObservationIter: ...
    def __next__(self) -> tuple[datetime.datetime, Observation]: ...

@typing.final
class GroundTrackIter:
    """Lazy iterator yielding `(datetime, GeodeticPoint)` sub-satellite points at regular intervals."""

    def __iter__(self) -> GroundTrackIter: ...
    def __next__(self) -> tuple[datetime.datetime, GeodeticPoint]: ...

@typing.final
class AoiIter:
    """Lazy iterator yielding the windows during which an area is within the payload's reach."""

    def __iter__(self) -> AoiIter: ...
    def __next__(self) -> AoiWindow: ...

@typing.final
class Refinement:
    """Root-finder configuration used to refine detected event times.

    A bracketed hybrid solver: each iteration takes a Newton-Raphson step
    when a derivative is available and a secant/bisection step otherwise,
    converging once the crossing is pinned down to `time_tolerance` seconds.
    """

    def __new__(cls, *, time_tolerance: float | None = None, max_iter: int | None = None) -> Refinement: ...
    @property
    def time_tolerance(self) -> float:
        """Convergence threshold on the crossing time, in seconds."""
    @time_tolerance.setter
    def time_tolerance(self, v: float | None) -> None: ...
    @property
    def max_iter(self) -> int:
        """Maximum number of solver iterations."""
    @max_iter.setter
    def max_iter(self, v: int | None) -> None: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    __hash__: typing.ClassVar[None]  # type: ignore[assignment]
