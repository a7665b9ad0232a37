"""Refinement, the root finder's configuration, as Python sees it."""

import pytest

from satvane import Refinement


def notes(error):
    return getattr(error.value, "__notes__", [])


def test_refinement_defaults_and_equality():
    assert Refinement() == Refinement(time_tolerance=0.001, max_iter=100)
    assert Refinement(max_iter=None).max_iter == 100
    assert Refinement(time_tolerance=None).time_tolerance == 0.001
    assert Refinement(time_tolerance=-1.0).time_tolerance == -1.0
    assert Refinement(max_iter=0).max_iter == 0
    assert Refinement(time_tolerance=float("nan")) != Refinement(time_tolerance=float("nan"))
    assert Refinement(max_iter=7) != Refinement()
    assert Refinement().__eq__((0.001, 100)) is NotImplemented
    assert Refinement(time_tolerance=1) == Refinement(time_tolerance=1.0)
    with pytest.raises(TypeError):
        hash(Refinement())
    with pytest.raises(TypeError):
        Refinement() < Refinement()  # noqa: B015


def test_refinement_is_keyword_only_and_mutable():
    with pytest.raises(TypeError):
        Refinement(0.5)
    r = Refinement()
    r.time_tolerance = 5
    r.max_iter = 3
    assert (r.time_tolerance, r.max_iter) == (5.0, 3)
    assert type(r.time_tolerance) is float and type(r.max_iter) is int
    # None converts as in the constructor: back to the default, not a silent no-op.
    r.time_tolerance = None
    r.max_iter = None
    assert r == Refinement()


@pytest.mark.parametrize(
    "assign, error_type",
    [
        (lambda r: setattr(r, "time_tolerance", "fast"), TypeError),
        (lambda r: setattr(r, "max_iter", 2.5), TypeError),
        (lambda r: setattr(r, "max_iter", -1), OverflowError),
        (lambda r: setattr(r, "max_iter", 2**64), OverflowError),
    ],
)
def test_refinement_assignment_failures_name_v(assign, error_type):
    r = Refinement()
    with pytest.raises(error_type) as error:
        assign(r)
    if error_type is TypeError:
        assert notes(error) == ["while processing 'v'"]
    assert r == Refinement()


def test_refinement_constructor_failures():
    with pytest.raises(TypeError) as error:
        Refinement(time_tolerance="x")
    assert notes(error) == ["while processing 'time_tolerance'"]
    with pytest.raises(OverflowError):
        Refinement(max_iter=-1)
    with pytest.raises(TypeError):
        del Refinement().max_iter
