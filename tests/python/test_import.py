import satvane
from satvane import _satvane


def test_module_is_documented_empty_and_has_no_functions():
    assert _satvane.__doc__ == ""
    assert not [name for name in dir(_satvane) if callable(getattr(_satvane, name)) and not isinstance(getattr(_satvane, name), type)]
    assert satvane.__all__ == [name for name in dir(_satvane) if not name.startswith("_")]
