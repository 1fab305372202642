from concurrent.futures import ProcessPoolExecutor

import numpy as np
import pytest

import corvel
from conftest import FAULT_IN_PROCESS, HANG_AT_NOTE_100, MDA

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


def test_jobs_that_hang_or_run_out_of_time_fail_alone():
    hung = {"plugin": HANG_AT_NOTE_100, "vst2": True, "midi": [(0.0, b"\x90\x64\x64")], "seconds": 1.0}
    slow = {"plugin": MDA, "seconds": 5.0, "timeout": 1e-9}
    results = corvel.render_many([hung, slow, JOBS[0]], progress=False)
    assert [getattr(result, "kind", None) for result in results] == ["hung", "timeout", None]
    assert "[corvel]" in results[0].report  # the host's last lines
