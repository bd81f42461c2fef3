"""What the Dask tests share: local clusters on the loopback address, a
watchdog for every test, bit-for-bit comparison, and chunk functions that
the workers import (this folder is on their PYTHONPATH).
"""

import faulthandler
import os

import numpy as np
import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
LOOPBACK = "127.0.0.1"

# Seconds any one test may take before the run is ended with a traceback.
TEST_SECONDS = float(os.environ.get("LOCALMODELS_TEST_SECONDS", "120"))
# Seconds a computation on a cluster may take.
COMPUTE_SECONDS = 60


@pytest.fixture(autouse=True)
def watchdog():
    """Ends the whole run, with every thread's traceback, if a test hangs."""
    faulthandler.dump_traceback_later(TEST_SECONDS, exit=True)
    yield
    faulthandler.cancel_dump_traceback_later()


def worker_env():
    """The workers' environment: one core thread per task, this folder importable."""
    import localmodels

    package = os.path.dirname(os.path.dirname(os.path.abspath(localmodels.__file__)))
    path = [HERE, package] + [p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p]
    return {"LOCALMODELS_THREADS": "1", "PYTHONPATH": os.pathsep.join(dict.fromkeys(path))}


def local_cluster(n_workers=2):
    """Worker processes on the loopback address only, no dashboard."""
    from distributed import LocalCluster

    return LocalCluster(n_workers=n_workers, processes=True, threads_per_worker=1,
                        host=LOOPBACK, scheduler_port=0,
                        # The HTTP servers start anyway: on the loopback address too.
                        dashboard_address=f"{LOOPBACK}:0",
                        worker_dashboard_address=f"{LOOPBACK}:0",
                        protocol="tcp://", env=worker_env(), silence_logs=40)


def bits(a):
    """The array's float64 values as integers: equal bits, NaN payloads included."""
    a = np.ascontiguousarray(np.asarray(a, dtype=np.float64))
    return a.view(np.uint64)


def assert_same_bits(expected, got):
    if isinstance(expected, tuple):
        assert isinstance(got, tuple) and len(got) == len(expected)
        for e, g in zip(expected, got):
            assert_same_bits(e, g)
        return
    got = np.asarray(got)
    assert got.dtype == np.float64
    assert got.shape == expected.shape
    assert np.array_equal(bits(expected), bits(got))


def in_process(function, args, kwargs):
    """("ok", result) or ("error", identifier, message) of the in-process call."""
    import localmodels

    try:
        return ("ok", getattr(localmodels, function)(*args, **kwargs))
    except localmodels.Error as e:
        return ("error", e.identifier, str(e))


# ---------------------------------------------------------------------------
# Chunk functions for queries whose computation fails (imported by workers).

def broken_block(block, block_info=None, broken=3):
    """The block itself, except that block `broken` fails."""
    if block_info is not None and block_info[None]["chunk-location"][0] == broken:
        raise RuntimeError(f"block {broken} of the queries could not be read")
    return block


def widened_block(block, block_info=None, widened=2):
    """The block, except that block `widened` has one column more than the array
    says (a source whose metadata is wrong)."""
    if block_info is not None and block_info[None]["chunk-location"][0] == widened:
        return np.concatenate([block, np.zeros((block.shape[0], 1))], axis=1)
    return block
