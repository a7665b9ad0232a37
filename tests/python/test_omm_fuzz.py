"""Elements.from_json on arbitrary and mutated text: it returns Elements or raises ValueError /
TypeError, and it reports a syntax error only for text a strict JSON parser refuses (a record
fault met first ends the read before any later syntax fault)."""

import json
import re

import pytest

from hypothesis import HealthCheck, example, given, settings
from hypothesis import strategies as st

from satvane import Elements
from test_elements import OMM

# Texts of the JSON layer; every other text is a fault of the record inside valid JSON.
SYNTAX_MESSAGES = (
    "EOF while parsing", "expected value", "expected `,` or `}`", "expected `,` or `]`", "expected `:`",
    "key must be a string", "trailing comma", "trailing characters", "invalid number", "invalid literal",
    "invalid escape", "invalid \\u escape", "lone surrogate", "invalid UTF-8", "control character",
)
# Nesting deeper than the reader's limit is refused whether or not the text is JSON.
DEPTH_LIMIT_MESSAGE = "recursion limit exceeded"
MAX_DEPTH = 128
POSITION = re.compile(r" at line (\d+) column (\d+)$")


def refuse_constant(name):
    raise ValueError(f"{name} is not JSON")


def strict_json_accepts(text):
    try:
        json.loads(text, parse_constant=refuse_constant)
    except (ValueError, RecursionError):
        return False
    return True


def check(text):
    try:
        result = Elements.from_json(text)
    except (ValueError, TypeError) as error:
        message = str(error)
        position = POSITION.search(message)
        assert position, message
        line, column = map(int, position.groups())
        assert 1 <= line <= text.count("\n") + 1 and column >= 1, message
        if message.startswith(DEPTH_LIMIT_MESSAGE):
            assert text.count("[") + text.count("{") > MAX_DEPTH
            return
        if message.startswith(SYNTAX_MESSAGES):
            assert not strict_json_accepts(text), (message, text)
    else:
        assert isinstance(result, Elements)
        assert strict_json_accepts(text)


RECORD = json.dumps(OMM)
json_values = st.recursive(
    st.none() | st.booleans() | st.integers() | st.floats(allow_nan=False) | st.text(max_size=12),
    lambda children: st.lists(children, max_size=4) | st.dictionaries(st.text(max_size=8), children, max_size=4),
    max_leaves=12,
)


@st.composite
def mutated_text(draw):
    text = RECORD
    for _ in range(draw(st.integers(1, 3))):
        at = draw(st.integers(0, len(text)))
        kind = draw(st.sampled_from(["insert", "delete", "replace", "duplicate"]))
        piece = draw(st.text(alphabet=st.sampled_from('{}[]:,"\\ 0123456789.eE+-truefalsnU\n\x01é'), max_size=4))
        span = draw(st.integers(0, 6))
        if kind == "insert":
            text = text[:at] + piece + text[at:]
        elif kind == "delete":
            text = text[:at] + text[at + span :]
        elif kind == "replace":
            text = text[:at] + piece + text[at + len(piece) :]
        else:
            text = text[:at] + text[at : at + span] + text[at:]
    return text


@st.composite
def mutated_record(draw):
    record = dict(OMM)
    for key in draw(st.lists(st.sampled_from(sorted(OMM)), max_size=3, unique=True)):
        if draw(st.booleans()):
            del record[key]
        else:
            record[key] = draw(json_values)
    for key, value in draw(st.dictionaries(st.text(max_size=10), json_values, max_size=3)).items():
        record[key] = value
    text = json.dumps(record, indent=draw(st.none() | st.integers(0, 2)), ensure_ascii=draw(st.booleans()))
    return text


fuzz = settings(max_examples=400, deadline=None, suppress_health_check=[HealthCheck.too_slow])


@fuzz
@given(st.text(max_size=60))
@example("")
@example("  {} ")
@example('{"a": 1e400}')
@example("[" * 100 + "]" * 100)
@example("[" * 200 + "]" * 200)
@example("0" + RECORD)
@example('{"NORAD_CAT_ID": 1.5, "x": NaN}')
def test_arbitrary_text(text):
    check(text)


@fuzz
@given(mutated_text())
def test_mutated_record_text(text):
    check(text)


@fuzz
@given(mutated_record())
def test_mutated_record_values(text):
    check(text)


@fuzz
@given(json_values)
def test_any_json_value(value):
    check(json.dumps(value))


def test_unpaired_surrogate_escape_in_an_ignored_key():
    check(RECORD[:-1] + ', "NOTE": "\\ud800"}')
