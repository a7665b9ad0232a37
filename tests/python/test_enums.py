"""Every enumeration of the module: singleton members equal to their ints hash like them."""

import pytest

from satvane import _satvane

ENUMS = {
    "Classification": ["Unclassified", "Classified", "Secret"],
    "FillRule": ["NonZero", "EvenOdd"],
    "Coverage": ["Any", "Full"],
    "IlluminationState": ["Sunlit", "Eclipse"],
    "ApsisEvent": ["Apogee", "Perigee"],
}
MEMBERS = [(name, value, member) for name, members in ENUMS.items() if hasattr(_satvane, name) for value, member in enumerate(members)]


@pytest.mark.parametrize("enum_name, value, member_name", MEMBERS)
def test_member_equals_its_int_and_hashes_like_it(enum_name, value, member_name):
    cls = getattr(_satvane, enum_name)
    member = getattr(cls, member_name)
    assert member is getattr(cls, member_name) and int(member) == value
    assert member == value and hash(member) == hash(value)
    assert len({member, value}) == 1 and {value: member_name}[member] == member_name
    assert repr(member) == f"{enum_name}.{member_name}"
    with pytest.raises(TypeError):
        member < value
    with pytest.raises(TypeError):
        cls()
