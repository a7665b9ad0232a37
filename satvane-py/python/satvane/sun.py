"""The Sun as an observer on the ground sees it: the solar model of the illumination search.

`sun_position_eci` is the core's low-precision solar ephemeris (the Astronomical Almanac's
formula, UTC as the time scale, no angle reduced), written again here operation for operation,
so it gives the very numbers the eclipse search uses. The observer's sky comes from the core's
sidereal angle (IAU 1982 GMST) and the WGS84 ellipsoid.

Accuracy: the Sun's geometric elevation is within 0.011 degrees (0.003 on average) of Skyfield's
apparent altitude from the JPL ephemeris DE421 (no refraction in either), measured every 7.3 hours
through 2026 from 78° N to 34° S; at dusk the Sun sinks at most 0.25° a minute, so a twilight edge
moves by less than 3 seconds.
"""

from __future__ import annotations

import datetime as _dt
import math

_UNIX_EPOCH = _dt.datetime(1970, 1, 1, tzinfo=_dt.timezone.utc)
_JULIAN_DATE_UNIX_EPOCH = 2440587.5
_JULIAN_DATE_J2000 = 2451545.0
_ASTRONOMICAL_UNIT_M = 149597870700.0
_DEG_TO_RAD = 0.017453292519943295
_DAY_S = 86400.0
_WGS84_A_M = 6378137.0
_WGS84_E2 = 0.0066943799901413165

#: Twilight thresholds by name: the Sun's elevation in degrees below which the sky counts as dark.
TWILIGHT_DEG = {"civil": -6.0, "nautical": -12.0, "astronomical": -18.0}


def _seconds(t: _dt.datetime) -> float:
    """Seconds since 1970 as the core counts them: whole seconds plus the fraction."""
    whole = t - _UNIX_EPOCH
    return float(whole.days * 86400 + whole.seconds) + float(whole.microseconds * 1000) * 1e-9


def _sun_position_eci_at(seconds: float) -> tuple[float, float, float]:
    days = seconds / 86400.0 + _JULIAN_DATE_UNIX_EPOCH - _JULIAN_DATE_J2000
    mean_anomaly_rad = (357.528 + 0.9856003 * days) * _DEG_TO_RAD
    mean_longitude_deg = 280.46 + 0.9856474 * days
    ecliptic_longitude_rad = (mean_longitude_deg + 1.915 * math.sin(mean_anomaly_rad)
                              + 0.02 * math.sin(2.0 * mean_anomaly_rad)) * _DEG_TO_RAD
    obliquity_rad = (23.439 - 0.0000004 * days) * _DEG_TO_RAD
    distance_m = (1.00014 - 0.01671 * math.cos(mean_anomaly_rad)
                  - 0.00014 * math.cos(2.0 * mean_anomaly_rad)) * _ASTRONOMICAL_UNIT_M
    sin_longitude = math.sin(ecliptic_longitude_rad)
    return (distance_m * math.cos(ecliptic_longitude_rad), distance_m * math.cos(obliquity_rad) * sin_longitude,
            distance_m * math.sin(obliquity_rad) * sin_longitude)


def _sidereal_angle_rad_at(seconds: float) -> float:
    T = ((seconds / 86400.0 + _JULIAN_DATE_UNIX_EPOCH) - _JULIAN_DATE_J2000) / 36525.0
    gmst_s = 3164400184.812866 * T + 67310.54841 + 0.093104 * T * T - 6.2e-06 * T * T * T
    shifted = math.fmod(gmst_s, _DAY_S) + _DAY_S
    into_day_s = 0.0 if shifted >= 2.0 * _DAY_S else (shifted - _DAY_S if shifted >= _DAY_S else shifted)
    return into_day_s * (2.0 * math.pi) / 86400.0


def sun_position_eci(t: _dt.datetime) -> tuple[float, float, float]:
    """The Sun's position in metres in the Earth-centred equatorial frame of date (used as TEME)."""
    return _sun_position_eci_at(_seconds(t))


def sidereal_angle_rad(t: _dt.datetime) -> float:
    """Greenwich mean sidereal time (IAU 1982) in radians within [0, 2π): the core's TEME-to-ECEF angle."""
    return _sidereal_angle_rad_at(_seconds(t))


def teme_to_ecef(position_m: tuple[float, float, float], t: _dt.datetime) -> tuple[float, float, float]:
    """A TEME position rotated into the Earth-fixed frame at t, as the core rotates it."""
    theta = sidereal_angle_rad(t)
    c, s = math.cos(theta), math.sin(theta)
    x, y, z = position_m
    return (c * x + s * y, -s * x + c * y, z)


class SunSky:
    """The Sun in one observer's sky; the place's own terms are worked out once."""

    __slots__ = ("_up", "_site_m")

    def __init__(self, latitude_deg: float, longitude_deg: float, altitude_m: float = 0.0):
        lat, lon = latitude_deg * _DEG_TO_RAD, longitude_deg * _DEG_TO_RAD
        sin_lat, cos_lat, sin_lon, cos_lon = math.sin(lat), math.cos(lat), math.sin(lon), math.cos(lon)
        n_m = _WGS84_A_M / math.sqrt(1.0 - _WGS84_E2 * sin_lat * sin_lat)
        self._up = (cos_lat * cos_lon, cos_lat * sin_lon, sin_lat)
        self._site_m = ((n_m + altitude_m) * cos_lat * cos_lon, (n_m + altitude_m) * cos_lat * sin_lon,
                        (n_m * (1.0 - _WGS84_E2) + altitude_m) * sin_lat)

    def elevation_deg(self, t: _dt.datetime) -> float:
        """The Sun's geometric elevation in degrees above the horizon at t."""
        seconds = _seconds(t)
        x, y, z = _sun_position_eci_at(seconds)
        theta = _sidereal_angle_rad_at(seconds)
        c, s = math.cos(theta), math.sin(theta)
        site, up = self._site_m, self._up
        dx, dy, dz = c * x + s * y - site[0], -s * x + c * y - site[1], z - site[2]
        return math.degrees(math.asin((up[0] * dx + up[1] * dy + up[2] * dz) / math.sqrt(dx * dx + dy * dy + dz * dz)))


def sun_elevation_deg(t: _dt.datetime, latitude_deg: float, longitude_deg: float, altitude_m: float = 0.0) -> float:
    """The Sun's geometric elevation in degrees above the horizon of a place on the WGS84 ellipsoid."""
    return SunSky(latitude_deg, longitude_deg, altitude_m).elevation_deg(t)


def twilight_deg(twilight: str | float) -> float:
    """A twilight threshold in degrees: 'civil', 'nautical', 'astronomical' or a number of degrees."""
    if isinstance(twilight, str):
        try:
            return TWILIGHT_DEG[twilight]
        except KeyError:
            raise ValueError(f"twilight must be 'civil', 'nautical', 'astronomical' or a number of degrees,"
                             f" not {twilight!r}") from None
    if isinstance(twilight, bool) or not isinstance(twilight, (int, float)) or not -90.0 <= twilight <= 90.0:
        raise ValueError(f"twilight must be 'civil', 'nautical', 'astronomical' or a number of degrees"
                         f" from -90 to 90, not {twilight!r}")
    return float(twilight)
