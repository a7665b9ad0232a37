"""A small mixed catalogue shared by the catalogue, pickling and batch tests."""

from satvane import Elements, Tle
from satvane import _batch

# (name, line 1, line 2): near earth, sun-synchronous, 12 h Molniya, geostationary, GPS, and a
# sub-orbital rocket body whose orbit has decayed (perigee below the surface).
TLES = [
    ("ISS (ZARYA)", "1 25544U 98067A   20194.05494676  .00000943  00000-0  24953-4 0  9990",
     "2 25544  51.6435 225.4004 0001771  44.9625   5.1087 15.49560532235875"),
    ("CBERS 2", "1 28057U 03049A   06177.78615833  .00000060  00000-0  35940-4 0  1836",
     "2 28057  98.4283 247.6961 0000884  88.1964 271.9322 14.35478080140550"),
    ("MOLNIYA 2-14", "1 08195U 75081A   06176.33215444  .00000099  00000-0  11873-3 0   813",
     "2 08195  64.1586 279.0717 6877146 264.7651  20.2257  2.00491383225656"),
    ("XM-3", "1 28626U 05008A   06176.46683397 -.00000205  00000-0  10000-3 0  2190",
     "2 28626   0.0019 286.9433 0000335  13.7918  55.6504  1.00270176  4891"),
    ("NAVSTAR 53", "1 28129U 03058A   06175.57071136 -.00000104  00000-0  10000-3 0   459",
     "2 28129  54.7298 324.8098 0048506 266.2640  93.1663  2.00562768 18443"),
]
DECAYED = ("MINOTAUR R/B", "1 28872U 05037B   05333.02012661  .25992681  00000-0  24476-3 0  1534",
           "2 28872  96.4736 157.9986 0303955 244.0492 110.6523 16.46015938 10708")


def elements(tle=TLES[0]):
    return Tle(*tle).to_elements()


def failing_elements(epoch):
    """Propagation fails near each perigee (negative semi-latus rectum) from 25 minutes after `epoch` on."""
    return Elements(norad_id=33333, epoch=epoch, mean_motion=4.00004038, eccentricity=0.995,
                    inclination=96.4736, right_ascension=157.9986, argument_of_perigee=244.0492,
                    mean_anomaly=110.6523, mean_motion_dot=0.25992681, drag_term=0.24476e-3, object_name="FAILING")


def omm_record(e):
    """The OMM record (all values as strings, as CSV gives them) of an element set, epoch to the nanosecond."""
    seconds, nanos = _batch.pickle_state(e)[4:6]
    from datetime import datetime, timedelta, timezone
    epoch = datetime(1970, 1, 1) + timedelta(seconds=seconds)
    return {
        "OBJECT_NAME": e.object_name, "OBJECT_ID": e.international_designator,
        "EPOCH": f"{epoch:%Y-%m-%dT%H:%M:%S}.{nanos:09d}", "MEAN_MOTION": repr(e.mean_motion),
        "ECCENTRICITY": repr(e.eccentricity), "INCLINATION": repr(e.inclination),
        "RA_OF_ASC_NODE": repr(e.right_ascension), "ARG_OF_PERICENTER": repr(e.argument_of_perigee),
        "MEAN_ANOMALY": repr(e.mean_anomaly), "EPHEMERIS_TYPE": str(e.ephemeris_type),
        "CLASSIFICATION_TYPE": "U", "NORAD_CAT_ID": str(e.norad_id), "ELEMENT_SET_NO": str(e.element_set_number),
        "REV_AT_EPOCH": str(e.revolution_number), "BSTAR": repr(e.drag_term),
        "MEAN_MOTION_DOT": repr(e.mean_motion_dot), "MEAN_MOTION_DDOT": repr(e.mean_motion_ddot),
    }
