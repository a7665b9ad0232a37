"""Reference frames written out independently of the library, for the tests to compare against."""

import datetime as dt
import math

import numpy as np

A_M = 6378137.0
E2 = 0.0066943799901413165
OMEGA_RAD_S = 7.292115e-05
UNIX_EPOCH = dt.datetime(1970, 1, 1, tzinfo=dt.timezone.utc)


def sidereal_angle_rad(t):
    since = t - UNIX_EPOCH
    s = float(since.days * 86400 + since.seconds) + since.microseconds * 1000 * 1e-9
    centuries = ((s / 86400 + 2440587.5) - 2451545.0) / 36525
    g = 3164400184.812866 * centuries + 67310.54841 + 0.093104 * centuries * centuries \
        - 6.2e-06 * centuries * centuries * centuries
    g = math.fmod(math.fmod(g, 86400) + 86400, 86400)
    return g * 6.283185307179586 / 86400


def teme_to_ecef(r, v, t):
    theta = sidereal_angle_rad(t)
    c, s = math.cos(theta), math.sin(theta)
    rotation = np.array([[c, s, 0], [-s, c, 0], [0, 0, 1]])
    r_ecef = rotation @ r
    v_ecef = rotation @ v - np.cross([0, 0, OMEGA_RAD_S], r_ecef)
    return r_ecef, v_ecef


def ecef_to_teme(r, v, t):
    theta = sidereal_angle_rad(t)
    c, s = math.cos(theta), math.sin(theta)
    rotation = np.array([[c, -s, 0], [s, c, 0], [0, 0, 1]])
    return rotation @ r, rotation @ (v + np.cross([0, 0, OMEGA_RAD_S], r))


def geodetic_to_ecef(lat_deg, lon_deg, h_m):
    lat, lon = math.radians(lat_deg), math.radians(lon_deg)
    n = A_M / math.sqrt(1 - E2 * math.sin(lat) ** 2)
    return np.array([(n + h_m) * math.cos(lat) * math.cos(lon), (n + h_m) * math.cos(lat) * math.sin(lon),
                     (n * (1 - E2) + h_m) * math.sin(lat)])


def ecef_to_geodetic_iterative(r):
    x, y, z = r
    p = math.hypot(x, y)
    lat = math.atan2(z, p * (1 - E2))
    for _ in range(20):
        n = A_M / math.sqrt(1 - E2 * math.sin(lat) ** 2)
        h = p / math.cos(lat) - n
        lat = math.atan2(z, p * (1 - E2 * n / (n + h)))
    n = A_M / math.sqrt(1 - E2 * math.sin(lat) ** 2)
    return math.degrees(lat), math.degrees(math.atan2(y, x)), p / math.cos(lat) - n


def enu_rotation(lat_deg, lon_deg):
    lat, lon = math.radians(lat_deg), math.radians(lon_deg)
    return np.array([
        [-math.sin(lon), math.cos(lon), 0],
        [-math.sin(lat) * math.cos(lon), -math.sin(lat) * math.sin(lon), math.cos(lat)],
        [math.cos(lat) * math.cos(lon), math.cos(lat) * math.sin(lon), math.sin(lat)],
    ])
