"""Fast, exact satellite pass prediction with SGP4."""

from satvane import _satvane
from satvane._satvane import *  # noqa: F401,F403

__all__ = [name for name in dir(_satvane) if not name.startswith("_")]
