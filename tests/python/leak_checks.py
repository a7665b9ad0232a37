"""Helpers for the tests that repeat calls many times: memory and reference counts must stay flat."""

import sys
import tracemalloc


def reference_counts(objects):
    return [sys.getrefcount(obj) for obj in objects]


def traced_growth_bytes(run):
    """Bytes still allocated once `run()` returns; warm caches and freelists before calling this."""
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    run()
    growth = tracemalloc.get_traced_memory()[0] - before
    tracemalloc.stop()
    return growth
