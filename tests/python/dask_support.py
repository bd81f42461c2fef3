"""What the Dask tests share: local clusters on the loopback address, a
watchdog for every test, bit-for-bit comparison, a count of the shared
arguments' arrivals in each process, and chunk functions that the workers
import (this folder is on their PYTHONPATH).
"""

import faulthandler
import os
import threading
import uuid

import numpy as np
import pytest

import localmodels.dask as lmd

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


# ---------------------------------------------------------------------------
# How many times each process unpickled the shared arguments of a call: on a
# worker, once per call. The graph of a call made under count_arrivals holds
# a CountedShared, which pickles as a call of arrived here, wherever it is
# unpickled (a worker that fetches it from a peer counts too). Only the
# latest calls are kept, so that a long-lived worker does not grow with every
# call.

ARRIVALS_KEPT = 1000
_arrivals = {}
_arrivals_lock = threading.Lock()


class CountedShared(lmd._Shared):
    """The shared arguments of one call, with a tag to count their arrivals by."""

    __slots__ = ("tag",)

    def __init__(self, args, tag=None):
        super().__init__(args)
        self.tag = uuid.uuid4().hex if tag is None else tag

    def __reduce__(self):
        return (arrived, (self.args, self.tag))


def arrived(args, tag):
    with _arrivals_lock:
        _arrivals[tag] = _arrivals.get(tag, 0) + 1
        while len(_arrivals) > ARRIVALS_KEPT:
            del _arrivals[next(iter(_arrivals))]  # the oldest call's
    return CountedShared(args, tag)


def arrivals(tag):
    """How often this process unpickled the shared arguments tagged `tag`."""
    return _arrivals.get(tag, 0)


def count_arrivals(monkeypatch):
    """The calls of localmodels.dask made from here on share CountedShared arguments."""
    monkeypatch.setattr(lmd, "_Shared", CountedShared)


def shared_tag(array):
    """The tag of the shared arguments in the graph of a call made under count_arrivals."""
    (shared,) = [v for v in dict(array.__dask_graph__()).values() if isinstance(v, CountedShared)]
    return shared.tag
