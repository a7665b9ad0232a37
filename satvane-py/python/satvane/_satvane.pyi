import datetime
import typing

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
