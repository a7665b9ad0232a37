import json
import math
from datetime import datetime, timedelta, timezone

import pytest

from satvane import Classification, Elements, Predictor
from test_tle import as_python_function, error_text

UTC = timezone.utc
ISS_EPOCH = datetime(2020, 7, 12, 1, 19, 7, tzinfo=UTC)
ISS_KWARGS = dict(
    norad_id=25544, epoch=ISS_EPOCH, mean_motion=15.49560532, eccentricity=0.0001771,
    inclination=51.6435, right_ascension=225.4004, argument_of_perigee=44.9625,
    mean_anomaly=5.1087, mean_motion_dot=0.00289036, drag_term=0.0049645,
    revolution_number=23587, object_name="ISS (ZARYA)",
)
SIGNATURE = (
    "*, norad_id, epoch, mean_motion, eccentricity, inclination, right_ascension, argument_of_perigee, "
    "mean_anomaly, mean_motion_dot, mean_motion_ddot=0.0, drag_term=0.0, revolution_number=0, "
    "object_name=None, classification=..., international_designator=None, element_set_number=0, "
    "ephemeris_type=0"
)
OMM = {
    "OBJECT_NAME": "ISS (ZARYA)", "OBJECT_ID": "1998-067A", "EPOCH": "2020-07-12T01:19:07.402656",
    "MEAN_MOTION": 15.49560532, "ECCENTRICITY": 0.0001771, "INCLINATION": 51.6435,
    "RA_OF_ASC_NODE": 225.4004, "ARG_OF_PERICENTER": 44.9625, "MEAN_ANOMALY": 5.1087,
    "EPHEMERIS_TYPE": 0, "CLASSIFICATION_TYPE": "U", "NORAD_CAT_ID": 25544, "ELEMENT_SET_NO": 999,
    "REV_AT_EPOCH": 23587, "BSTAR": 0.0049645, "MEAN_MOTION_DOT": 0.00289036, "MEAN_MOTION_DDOT": 0,
}
PROPERTIES = {
    "object_name": "OBJECT_NAME", "international_designator": "OBJECT_ID", "norad_id": "NORAD_CAT_ID",
    "mean_motion_dot": "MEAN_MOTION_DOT", "mean_motion_ddot": "MEAN_MOTION_DDOT", "drag_term": "BSTAR",
    "element_set_number": "ELEMENT_SET_NO", "inclination": "INCLINATION", "right_ascension": "RA_OF_ASC_NODE",
    "eccentricity": "ECCENTRICITY", "argument_of_perigee": "ARG_OF_PERICENTER", "mean_anomaly": "MEAN_ANOMALY",
    "mean_motion": "MEAN_MOTION", "revolution_number": "REV_AT_EPOCH", "ephemeris_type": "EPHEMERIS_TYPE",
}


def omm_error(text):
    with pytest.raises(ValueError) as info:
        Elements.from_json(text)
    return str(info.value)


# --- keyword constructor ---------------------------------------------------------------------


def test_keyword_construction_fills_defaults_and_reprs():
    e = Elements(**ISS_KWARGS)
    assert repr(e) == 'Elements(norad_id=25544, object_name="ISS (ZARYA)", epoch=2020-07-12 01:19:07 UTC)'
    assert e.classification is Classification.Unclassified
    assert (e.mean_motion_ddot, e.element_set_number, e.ephemeris_type) == (0, 0, 0)
    assert e.international_designator is None
    assert e.epoch == ISS_EPOCH and e.epoch.tzinfo is UTC
    assert e.inclination == 51.6435 and e.eccentricity == 0.0001771


@pytest.mark.parametrize(
    "epoch, shown",
    [
        (ISS_EPOCH.replace(microsecond=402656), "2020-07-12 01:19:07.402656 UTC"),
        (ISS_EPOCH.replace(microsecond=500000), "2020-07-12 01:19:07.500 UTC"),
        (ISS_EPOCH.replace(microsecond=1), "2020-07-12 01:19:07.000001 UTC"),
        (datetime(1, 1, 1, tzinfo=UTC), "0001-01-01 00:00:00 UTC"),
    ],
)
def test_repr_shows_the_fewest_fraction_digits(epoch, shown):
    e = Elements(**{**ISS_KWARGS, "epoch": epoch, "object_name": None})
    assert repr(e) == f"Elements(norad_id=25544, object_name=None, epoch={shown})"
    assert e.epoch == epoch


@pytest.mark.parametrize(
    "name, shown",
    [('a"b', r'"a\"b"'), ("a\\b", r'"a\\b"'), ("a\nb\tc\x00\x1b", r'"a\nb\tc\0\u{1b}"'), ("é'", "\"é'\"")],
)
def test_repr_escapes_the_name(name, shown):
    assert f"object_name={shown}," in repr(Elements(**{**ISS_KWARGS, "object_name": name}))


def test_values_are_stored_without_range_checks():
    e = Elements(**{**ISS_KWARGS, "eccentricity": 1.5, "inclination": -720, "mean_motion": float("nan")})
    assert e.eccentricity == 1.5 and e.inclination == -720.0 and math.isnan(e.mean_motion)
    e = Elements(**{**ISS_KWARGS, "norad_id": 2**64 - 1, "ephemeris_type": 255, "classification": Classification.Secret})
    assert e.norad_id == 2**64 - 1 and e.ephemeris_type == 255 and e.classification is Classification.Secret


@pytest.mark.parametrize(
    "param, value, exc, message",
    [
        ("norad_id", None, TypeError, "'NoneType' object cannot be interpreted as an integer"),
        ("norad_id", 1.0, TypeError, "'float' object cannot be interpreted as an integer"),
        ("norad_id", -1, OverflowError, None),
        ("revolution_number", 2**64, OverflowError, None),
        ("ephemeris_type", 256, OverflowError, None),
        ("mean_motion", None, TypeError, None),
        ("drag_term", "0.1", TypeError, None),
        ("object_name", 5, TypeError, "'int' object is not an instance of 'str'"),
        ("classification", None, TypeError, "'None' is not an instance of 'Classification'"),
        ("classification", 0, TypeError, "'int' object is not an instance of 'Classification'"),
        ("epoch", None, TypeError, "'None' is not an instance of 'datetime'"),
        ("epoch", "2020-07-12", TypeError, "'str' object is not an instance of 'datetime'"),
        ("epoch", datetime(2020, 1, 1), TypeError, "expected a datetime with non-None tzinfo"),
        ("epoch", datetime(2020, 1, 1, tzinfo=timezone(timedelta(hours=2))), ValueError, "expected datetime.timezone.utc"),
    ],
)
def test_bad_arguments_raise_with_a_note_naming_them(param, value, exc, message):
    with pytest.raises(exc) as info:
        Elements(**{**ISS_KWARGS, param: value})
    if message is not None:
        assert str(info.value) == message
    assert info.value.__notes__ == [f"while processing '{param}'"]


def test_any_zero_offset_timezone_is_utc_and_the_first_bad_argument_is_reported():
    e = Elements(**{**ISS_KWARGS, "epoch": ISS_EPOCH.replace(tzinfo=timezone(timedelta(0)))})
    assert e.epoch.tzinfo is UTC and e.epoch == ISS_EPOCH
    with pytest.raises(TypeError) as info:
        Elements(**{**ISS_KWARGS, "ephemeris_type": "x", "norad_id": "y"})
    assert info.value.__notes__ == ["while processing 'norad_id'"]


@pytest.mark.parametrize(
    "args, kwargs",
    [((), {}), ((1,), ISS_KWARGS), ((), {**ISS_KWARGS, "bogus": 1}), ((), {k: v for k, v in ISS_KWARGS.items() if k not in ("epoch", "norad_id")})],
)
def test_argument_errors_read_like_the_interpreter(args, kwargs):
    reference = as_python_function("Elements", SIGNATURE.replace("...", "None"))
    assert error_text(lambda: Elements(*args, **kwargs)) == error_text(lambda: reference(*args, **kwargs))


def test_properties_are_read_only_and_documented():
    e = Elements(**ISS_KWARGS)
    for name in PROPERTIES:
        with pytest.raises(AttributeError):
            setattr(e, name, getattr(e, name))
        assert f"({PROPERTIES[name]})" in getattr(Elements, name).__doc__
    assert Elements.epoch.__doc__ == "Element set epoch in UTC (EPOCH)."
    assert Elements.mean_motion_dot.__doc__ == "First derivative of mean motion / 2 (MEAN_MOTION_DOT), rev/day²."


def test_class_documentation_and_signatures():
    assert Elements.__text_signature__ == f"({SIGNATURE})"
    assert Elements.__doc__.startswith(
        "Orbital elements for a satellite.\n\nHolds the data needed to initialise an SGP4 propagator.  Can be constructed\n"
        "field-by-field or parsed directly from an OMM JSON string."
    )
    assert Elements.from_dict.__text_signature__ == "(data)"
    assert Elements.from_json.__text_signature__ == "(json)"
    assert Elements.from_dict.__doc__.startswith("Parse an OMM dict into orbital elements.")
    assert Elements.from_json.__doc__.startswith("Parse an OMM JSON string into orbital elements.")


def test_elements_compare_by_identity():
    a, b = Elements(**ISS_KWARGS), Elements(**ISS_KWARGS)
    assert a == a and a != b and hash(a) != hash(b)


# --- OMM readers -----------------------------------------------------------------------------


def test_numbers_and_strings_read_the_same_record():
    from_numbers = Elements.from_dict(OMM)
    from_strings = Elements.from_json(json.dumps({k: str(v) for k, v in OMM.items()}))
    for name in PROPERTIES:
        assert getattr(from_numbers, name) == getattr(from_strings, name), name
    assert from_numbers.epoch == ISS_EPOCH.replace(microsecond=402656)
    assert from_numbers.international_designator == "1998-067A" and from_numbers.element_set_number == 999


def test_array_form_and_ignored_keys():
    keys = ["OBJECT_NAME", "OBJECT_ID", "NORAD_CAT_ID", "CLASSIFICATION_TYPE", "EPOCH", "MEAN_MOTION_DOT",
            "MEAN_MOTION_DDOT", "BSTAR", "ELEMENT_SET_NO", "INCLINATION", "RA_OF_ASC_NODE", "ECCENTRICITY",
            "ARG_OF_PERICENTER", "MEAN_ANOMALY", "MEAN_MOTION", "REV_AT_EPOCH", "EPHEMERIS_TYPE"]
    assert Elements.from_json(json.dumps([OMM[k] for k in keys])).mean_motion == OMM["MEAN_MOTION"]
    assert omm_error(json.dumps([OMM[k] for k in keys[:5]])) == (
        "invalid length 5, expected struct Elements with 17 elements at line 1 column "
        f"{len(json.dumps([OMM[k] for k in keys[:5]])) + 1}")
    extra = {**OMM, "CENTER_NAME": "EARTH", "USER_DEFINED": {"x": [1, None, True]}, "norad_cat_id": "x"}
    assert Elements.from_dict(extra).norad_id == 25544


@pytest.mark.parametrize(
    "change, message",
    [
        ({"NORAD_CAT_ID": 25544.0}, "parsing the number as u64 failed"),
        ({"NORAD_CAT_ID": -1}, "parsing the number as u64 failed"),
        ({"NORAD_CAT_ID": "x1"}, "invalid digit found in string"),
        ({"NORAD_CAT_ID": ""}, "cannot parse integer from empty string"),
        ({"NORAD_CAT_ID": [1]}, "expected a u64 or string"),
        ({"MEAN_MOTION": True}, "expected a f64 or string"),
        ({"MEAN_MOTION": "fast"}, "invalid float literal"),
        ({"MEAN_MOTION": ""}, "cannot parse float from empty string"),
        ({"CLASSIFICATION_TYPE": "u"}, "unknown variant `u`, expected one of `U`, `C`, `S`"),
        ({"EPOCH": "0000-12-31T23:59:59"}, "input is out of range"),  # no datetime could show it
        ({"EPHEMERIS_TYPE": None}, "missing field `EPHEMERIS_TYPE`"),
        ({"NORAD_CAT_ID": None, "EPOCH": None}, "missing field `NORAD_CAT_ID`"),
    ],
)
def test_record_faults_name_the_problem_and_the_position(change, message):
    record = {k: v for k, v in {**OMM, **change}.items() if v is not None or k not in change}
    text = json.dumps(record)
    with pytest.raises(ValueError) as info:
        Elements.from_dict(record)
    assert str(info.value).startswith(message + " at line 1 column ")
    assert omm_error(text) == str(info.value)


@pytest.mark.parametrize("key, text, shown", [("BSTAR", "inf", "inf"), ("MEAN_ANOMALY", "NaN", "NaN"),
                                              ("INCLINATION", "-Infinity", "-inf"), ("MEAN_MOTION", "nan", "NaN")])
def test_non_finite_strings_read_but_no_predictor_is_built_from_them(key, text, shown):
    elements = Elements.from_json(json.dumps({**OMM, key: text}))
    with pytest.raises(ValueError) as info:
        Predictor(elements)
    assert str(info.value) == f"SGP4 elements error: The element {key} ({shown}) is not finite"


def test_mean_motion_string_and_classification_letters():
    assert Elements.from_dict({**OMM, "MEAN_MOTION": "15.5"}).mean_motion == 15.5
    assert Elements.from_dict({**OMM, "CLASSIFICATION_TYPE": "C"}).classification is Classification.Classified
    assert Elements.from_dict({**OMM, "CLASSIFICATION_TYPE": "S"}).classification is Classification.Secret


def test_epoch_zone_letter_duplicates_and_line_numbers():
    with pytest.raises(ValueError, match=" at line 1 column "):
        Elements.from_dict({**OMM, "EPOCH": "2020-07-12T01:19:07Z"})
    assert Elements.from_dict({**OMM, "EPOCH": "2020-07-12T01:19:07"}).epoch == ISS_EPOCH
    text = json.dumps(OMM, indent=1)
    assert Elements.from_json(text).norad_id == 25544
    duplicate = text[:-2] + ',\n "BSTAR": 0\n}'
    assert omm_error(duplicate) == f"duplicate field `BSTAR` at line {text.count(chr(10)) + 1} column 9"


def test_from_dict_passes_json_dumps_failures_through():
    with pytest.raises(TypeError, match="not JSON serializable"):
        Elements.from_dict({**OMM, "EPOCH": ISS_EPOCH})
    with pytest.raises(ValueError, match=" at line 1 column "):
        Elements.from_dict({**OMM, "BSTAR": float("nan")})
    with pytest.raises(ValueError, match=r"^invalid type: .* at line 1 column \d+$"):
        Elements.from_dict("not a record")


@pytest.mark.parametrize(
    "text, message",
    [
        # The first problem ends the read: the NaN behind a value fault is never reached.
        ('{"NORAD_CAT_ID": 1.5, "x": NaN}', "parsing the number as u64 failed at line 1 column 21"),
        ('{"x": NaN, "NORAD_CAT_ID": 1.5}', "expected value at line 1 column 7"),
        ('{"X": 1}}', "missing field `NORAD_CAT_ID` at line 1 column 9"),
        # JSON admits unpaired surrogates; only a stored name refuses one.
        (json.dumps({**OMM, "CLASSIFICATION_TYPE": "\udc00"}), "unknown variant `\ufffd`, expected one of `U`, `C`, `S`"),
        (json.dumps({"OBJECT_NAME": "\ud800"}), "invalid unicode code point: lone surrogate in \\u escape"),
    ],
)
def test_first_problem_ends_the_read(text, message):
    assert omm_error(text).startswith(message)


@pytest.mark.parametrize("value", [b"{}", None, {"a": 1}])
def test_from_json_wants_a_str(value):
    with pytest.raises(TypeError) as info:
        Elements.from_json(value)
    assert info.value.__notes__ == ["while processing 'json'"]


# --- Classification --------------------------------------------------------------------------


@pytest.mark.parametrize("member, value", [(Classification.Unclassified, 0), (Classification.Classified, 1), (Classification.Secret, 2)])
def test_classification_members(member, value):
    name = ["Unclassified", "Classified", "Secret"][value]
    assert getattr(Classification, name) is member
    assert int(member) == value and repr(member) == f"Classification.{name}"
    assert member == value and not member != value and member != value + 1
    assert hash(member) == hash(value) and {value: "found"}[member] == "found"
    assert member != str(value) and member != float(value) + 0.5
    for other in (Classification.Unclassified, Classification.Classified, Classification.Secret):
        assert (member == other) == (other is member)


def test_classification_refuses_ordering_construction_and_change():
    with pytest.raises(TypeError):
        Classification.Secret < Classification.Classified
    with pytest.raises(TypeError):
        Classification.Secret > 1
    with pytest.raises(TypeError):
        Classification()
    with pytest.raises(TypeError):
        Classification.Secret = Classification.Unclassified
    assert Classification.Classified != "C"
    assert Classification.__doc__ == "Satellite classification type (CLASSIFICATION_TYPE field in OMM)."
