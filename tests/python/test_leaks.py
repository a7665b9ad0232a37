"""Loops of a few hundred thousand calls: memory and reference counts must stay flat."""

import gc
import json
import os

import pytest

from satvane import Classification, Elements, Tle
from leak_checks import reference_counts, traced_growth_bytes
from test_elements import ISS_KWARGS, OMM
from test_tle import LINE_1, LINE_2, NAME

GOOD_JSON = json.dumps(OMM)
BAD_JSON = [GOOD_JSON[:-30], json.dumps({**OMM, "NORAD_CAT_ID": 1.5}), json.dumps({**OMM, "EPOCH": "x"}), "[1, 2]"]
UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")


def exercise(rounds):
    tle = Tle(NAME, LINE_1, LINE_2)
    bad_tle = Tle("X", LINE_1[:-1], LINE_2)
    for i in range(rounds):
        e = Elements(**ISS_KWARGS)
        e.epoch, e.object_name, e.classification, e.norad_id, e.mean_motion
        repr(e)
        Elements.from_json(GOOD_JSON).international_designator
        hash(Tle(NAME, LINE_1, LINE_2)) == hash(tle)
        tle.to_elements()
        for failing in (
            lambda: Elements.from_json(BAD_JSON[i % len(BAD_JSON)]),
            lambda: bad_tle.to_elements(),
            lambda: Elements(**{**ISS_KWARGS, "epoch": None}),
            lambda: Tle(1, 2),
        ):
            try:
                failing()
            except (ValueError, TypeError):
                pass
            else:
                raise AssertionError("expected a failure")


def rss_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.slow
def test_memory_stays_flat_over_many_calls():
    exercise(20_000)  # warm caches, freelists and the allocator
    gc.collect()
    traced_growth = traced_growth_bytes(lambda: (exercise(20_000), gc.collect()))
    assert traced_growth < 256 * 1024, traced_growth

    if UNDER_ASAN:
        return  # the sanitizer's quarantine holds freed memory, so RSS says nothing there
    before_rss = rss_bytes()
    exercise(100_000)  # 1.2 million calls
    gc.collect()
    assert rss_bytes() - before_rss < 4 * 1024 * 1024


def test_arguments_and_results_are_not_over_referenced():
    name, line_1, line_2 = (NAME + "x")[:-1], (LINE_1 + "x")[:-1], (LINE_2 + "x")[:-1]  # private objects
    member = Classification.Secret
    epoch = ISS_KWARGS["epoch"]
    watched = (name, line_1, line_2, member, epoch)
    counts = reference_counts(watched)
    for _ in range(1000):
        Tle(name, line_1, line_2).to_elements()
        Tle.__new__(Tle, name, line_1=line_1, line_2=line_2)
        Elements(**{**ISS_KWARGS, "classification": member}).classification
        try:
            Elements(**{**ISS_KWARGS, "norad_id": -1, "epoch": epoch})
        except OverflowError:
            pass
    assert reference_counts(watched) == counts
