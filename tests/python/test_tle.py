import struct

import pytest
from sgp4.api import Satrec

from satvane import Classification, Elements, Tle

NAME = "ISS (ZARYA)"
LINE_1 = "1 25544U 98067A   08264.51782528 -.00002182  00000-0 -11606-4 0  2927"
LINE_2 = "2 25544  51.6416 247.4627 0006703 130.5360 325.0288 15.72125391563537"


def as_python_function(name, source_params):
    """A plain function with the same parameters, whose call errors are the interpreter's own."""
    namespace = {}
    exec(f"def f({source_params}): pass", namespace)
    f = namespace["f"]
    f.__code__ = f.__code__.replace(co_name=name, co_qualname=name)
    f.__name__ = f.__qualname__ = name
    return f


def error_text(call):
    with pytest.raises(TypeError) as info:
        call()
    return str(info.value)


@pytest.mark.parametrize(
    "args, kwargs",
    [
        ((), {}),
        (("a",), {}),
        (("a", "b"), {}),
        (("a", "b", "c", "d"), {}),
        (("a",), {"satellite_name": "x"}),
        (("a", "b", "c"), {"line_3": "x"}),
        ((), {"line_2": "x"}),
    ],
)
def test_argument_errors_read_like_the_interpreter(args, kwargs):
    reference = as_python_function("Tle", "satellite_name, line_1, line_2")
    assert error_text(lambda: Tle(*args, **kwargs)) == error_text(lambda: reference(*args, **kwargs))
    assert error_text(lambda: Tle.__new__(Tle, *args, **kwargs)) == error_text(lambda: reference(*args, **kwargs))


def test_fields_are_stored_unchanged_and_read_only():
    tle = Tle(satellite_name=" name\t", line_1=" x ", line_2="")
    assert (tle.satellite_name, tle.line_1, tle.line_2) == (" name\t", " x ", "")
    with pytest.raises(AttributeError):
        tle.line_1 = "y"


@pytest.mark.parametrize("position", range(3))
def test_a_non_string_is_a_type_error_naming_its_parameter(position):
    args = ["a", "b", "c"]
    args[position] = 5
    with pytest.raises(TypeError, ) as info:
        Tle(*args)
    assert str(info.value) == "'int' object is not an instance of 'str'"
    name = ["satellite_name", "line_1", "line_2"][position]
    assert info.value.__notes__ == [f"while processing '{name}'"]


def test_equality_is_by_all_three_strings_and_refuses_other_types():
    a = Tle(NAME, LINE_1, LINE_2)
    assert a == Tle(NAME, LINE_1, LINE_2) and hash(a) == hash(Tle(NAME, LINE_1, LINE_2))
    assert a != Tle(NAME + " ", LINE_1, LINE_2)
    assert a != (NAME, LINE_1, LINE_2)
    assert Tle.__eq__(a, (NAME, LINE_1, LINE_2)) is NotImplemented
    with pytest.raises(TypeError):
        a < Tle(NAME, LINE_1, LINE_2)


def siphash(key: bytes, data: bytes, c_rounds: int, d_rounds: int) -> int:
    mask = (1 << 64) - 1

    def rotl(x, b):
        return ((x << b) | (x >> (64 - b))) & mask

    def round_(v):
        v[0] = (v[0] + v[1]) & mask; v[1] = rotl(v[1], 13) ^ v[0]; v[0] = rotl(v[0], 32)
        v[2] = (v[2] + v[3]) & mask; v[3] = rotl(v[3], 16) ^ v[2]
        v[0] = (v[0] + v[3]) & mask; v[3] = rotl(v[3], 21) ^ v[0]
        v[2] = (v[2] + v[1]) & mask; v[1] = rotl(v[1], 17) ^ v[2]; v[2] = rotl(v[2], 32)

    k0, k1 = struct.unpack("<QQ", key)
    v = [k0 ^ 0x736F6D6570736575, k1 ^ 0x646F72616E646F6D, k0 ^ 0x6C7967656E657261, k1 ^ 0x7465646279746573]
    tail_len = len(data) % 8
    for (m,) in struct.iter_unpack("<Q", data[: len(data) - tail_len]):
        v[3] ^= m
        for _ in range(c_rounds):
            round_(v)
        v[0] ^= m
    last = int.from_bytes(data[len(data) - tail_len :], "little") | ((len(data) & 0xFF) << 56)
    v[3] ^= last
    for _ in range(c_rounds):
        round_(v)
    v[0] ^= last
    v[2] ^= 0xFF
    for _ in range(d_rounds):
        round_(v)
    return v[0] ^ v[1] ^ v[2] ^ v[3]


def test_reference_siphash_matches_the_published_siphash_2_4_vector():
    assert siphash(bytes(range(16)), b"", 2, 4) == 0x726FDB47DD0E0E31
    assert siphash(bytes(range(16)), bytes(range(15)), 2, 4) == 0xA129CA6149BE45E5


@pytest.mark.parametrize("fields", [(NAME, LINE_1, LINE_2), ("", "", ""), ("é", "x" * 7, "y" * 70)])
def test_hash_is_siphash_1_3_with_a_zero_key_over_the_terminated_utf8_fields(fields):
    data = b"".join(field.encode() + b"\xff" for field in fields)
    expected = siphash(bytes(16), data, 1, 3)
    expected = expected - (1 << 64) if expected >= 1 << 63 else expected
    assert hash(Tle(*fields)) == (-2 if expected == -1 else expected)


def test_to_elements_matches_an_independent_parser():
    elements = Tle(NAME, LINE_1, LINE_2).to_elements()
    reference = Satrec.twoline2rv(LINE_1, LINE_2)
    assert isinstance(elements, Elements)
    assert elements.object_name == NAME
    assert elements.international_designator == "1998-067A"
    assert elements.norad_id == reference.satnum == 25544
    assert elements.classification is Classification.Unclassified
    assert elements.inclination == 51.6416 and elements.right_ascension == 247.4627
    assert elements.eccentricity == 0.0006703 and elements.mean_motion == 15.72125391
    assert elements.argument_of_perigee == 130.536 and elements.mean_anomaly == 325.0288
    assert elements.mean_motion_dot == -0.00002182 and elements.drag_term == pytest.approx(-0.11606e-4, rel=1e-12)
    assert elements.revolution_number == 56353 and elements.element_set_number == 292
    epoch_jd = reference.jdsatepoch + reference.jdsatepochF
    assert elements.epoch.timestamp() / 86400.0 + 2440587.5 == pytest.approx(epoch_jd, abs=1e-8)


@pytest.mark.parametrize(
    "line_1, line_2, message",
    [
        ("", "", "Bad line length on TLE line 1 between characters 0 and 0"),
        (LINE_1 + " ", LINE_2, "Bad line length on TLE line 1 between characters 0 and 70"),
        (LINE_1, LINE_2 + "\n", "Bad line length on TLE line 2 between characters 0 and 70"),
        ("3" + LINE_1[1:], LINE_2, "Bad first character on TLE line 1 between characters 0 and 1"),
        (LINE_1[:68] + "0", LINE_2, "Bad line checksum on TLE line 1 between characters 68 and 69"),
        (LINE_1[:8] + "x" + LINE_1[9:], LINE_2, "Found a non-space character between fields on TLE line 1 between characters 8 and 9"),
    ],
)
def test_malformed_lines_raise_the_parser_text(line_1, line_2, message):
    tle = Tle("X", line_1, line_2)
    with pytest.raises(ValueError) as info:
        tle.to_elements()
    assert str(info.value) == "TLE parse error: " + message
    assert tle.line_1 == line_1  # the Tle itself is untouched


def test_docstrings_and_text_signatures():
    assert Tle.__text_signature__ == "(satellite_name, line_1, line_2)"
    assert Tle.__doc__ == "A satellite TLE (Two-Line Element set) identified by a name and two TLE lines."
    assert Tle.to_elements.__text_signature__ == "($self)"
    assert Tle.to_elements.__doc__ == "Parse this TLE into orbital elements.\n\nRaises `ValueError` if the TLE is malformed."
