"""The batch pass search over a real Dask cluster of worker processes equals the local one."""

import datetime as dt

import pytest

pytest.importorskip("dask.distributed")
from dask.distributed import Client, LocalCluster  # noqa: E402

from satvane import batch, distributed  # noqa: E402
from test_screening import INTERVAL, OBSERVERS, PREDICTORS  # noqa: E402


@pytest.fixture(scope="module")
def client():
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        yield client


def test_cluster_equals_one_process(client):
    options = dict(skip_leading_partial=False, clamp_to_interval=True, max_transit_duration=dt.timedelta(days=3))
    local = batch.transits(PREDICTORS, OBSERVERS, INTERVAL, 5.0, **options)
    spread = distributed.transits(client, PREDICTORS, OBSERVERS, INTERVAL, 5.0, partitions=5, **options)
    assert spread.passes == local.passes and spread.errors == local.errors and len(local.errors) == 2
    frame = distributed.transits(client, PREDICTORS, OBSERVERS, INTERVAL, 5.0, dataframe=True, **options)
    assert frame.passes.compute().reset_index(drop=True).equals(local.passes.to_pandas())


def test_bad_input_fails_before_work(client):
    with pytest.raises(ValueError, match="interval must not be empty"):
        distributed.transits(client, PREDICTORS, OBSERVERS, type(INTERVAL)(INTERVAL.start, INTERVAL.start), 5.0)
