"""Tle.to_elements and Elements.from_dict on damaged input: an Elements or the documented
exception, never anything else."""

import re

from hypothesis import given, settings
from hypothesis import strategies as st

from satvane import Elements, Tle
from test_elements import OMM
from test_omm_fuzz import json_values
from test_tle import LINE_1, LINE_2

TLE_ERROR = re.compile(
    r"TLE parse error: [A-Z][^\n]* (on TLE line [12]|\(TLE lines mismatch\)) between characters (\d+) and (\d+)"
)


@st.composite
def damaged_line(draw, line):
    chars = list(line)
    for _ in range(draw(st.integers(0, 3))):
        at = draw(st.integers(0, len(chars)))
        piece = draw(st.text(alphabet="0123456789 +-.UCSXAé\t", max_size=2))
        if draw(st.booleans()):
            chars[at : at + len(piece)] = piece
        else:
            chars[at:at] = piece
    return "".join(chars)


@settings(max_examples=300, deadline=None)
@given(damaged_line(LINE_1), damaged_line(LINE_2))
def test_damaged_tle_lines(line_1, line_2):
    try:
        elements = Tle("X", line_1, line_2).to_elements()
    except ValueError as error:
        match = TLE_ERROR.fullmatch(str(error))
        assert match, str(error)
        start, end = int(match.group(2)), int(match.group(3))
        assert start <= end <= max(len(line_1.encode()), len(line_2.encode()))
    else:
        assert len(line_1.encode()) == len(line_2.encode()) == 69
        assert elements.object_name == "X"


@settings(max_examples=200, deadline=None)
@given(st.dictionaries(st.sampled_from(sorted(OMM) + ["OTHER"]), json_values | st.floats()), st.booleans())
def test_arbitrary_dicts(changes, start_from_record):
    data = {**OMM, **changes} if start_from_record else changes
    try:
        Elements.from_dict(data)
    except ValueError as error:  # json.dumps accepts all of these, so no TypeError either
        assert re.search(r" at line 1 column \d+$", str(error)), str(error)
