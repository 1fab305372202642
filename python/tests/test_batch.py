from concurrent.futures import ProcessPoolExecutor

import numpy as np
import pytest

import corvel
from conftest import FAULT_IN_PROCESS, MDA

FAULTY = 7  # the job whose plug-in faults at its note-on


def job(index):
    if index == FAULTY:
        return {"plugin": FAULT_IN_PROCESS, "vst2": True, "midi": [(0.0, b"\x90\x3c\x64")], "seconds": 0.5}
    return {"plugin": MDA, "midi": [(0.0, bytes([0x90, 40 + index, 100]))], "seconds": 0.5}


JOBS = [job(index) for index in range(20)]


def dask_client():
    distributed = pytest.importorskip("distributed")
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None)
    return distributed.Client(cluster)


@pytest.mark.parametrize("pool", ["threads", "processes", "dask"])
def test_twenty_jobs_one_faulting(pool):
    if pool == "threads":
        results = corvel.render_many(JOBS, workers=2)
    elif pool == "processes":
        with ProcessPoolExecutor(2) as executor:
            results = corvel.render_many(JOBS, executor=executor)
    else:
        with dask_client() as client:
            results = corvel.render_many(JOBS, executor=client)
    failure = results[FAULTY]
    assert isinstance(failure, corvel.RenderFailure) and failure.kind == "crashed"
    assert "[corvel] fatal signal" in failure.report
    arrays = [result for result in results if isinstance(result, np.ndarray)]
    assert len(arrays) == 19 and all(array.shape == (2, 24000) for array in arrays)


def test_a_job_over_its_time_fails_alone():
    slow = {"plugin": MDA, "seconds": 5.0, "timeout": 1e-9}
    results = corvel.render_many([slow, JOBS[0]], progress=False)
    assert results[0].kind == "timeout" and isinstance(results[1], np.ndarray)
