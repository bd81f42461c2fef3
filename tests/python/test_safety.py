"""Calls that must neither corrupt memory nor wait: the environment changed
while a call runs, a thread count beyond reason, Ctrl-C after a run of free
queries."""

import os
import subprocess
import sys
import threading

import numpy as np
import pytest

import localmodels as lm
from conftest import same_bits, seconds_to_interrupt



def long_calls(rng):
    """netsim, gridval and nearpoly calls of about half a second each."""
    n, c = 4, 30
    centres = rng.normal(size=(c, n))
    norms = np.stack([np.eye(n) * 0.5] * c)
    cons = rng.normal(size=(c, 2, n + 1))
    x = rng.normal(size=(1_500_000, n))
    q = rng.random((3_000_000, 3))
    table = rng.normal(size=(9, 9, 9))
    b = np.linspace(0, 1, 9)
    ex = rng.normal(size=(4000, 3))
    queries = rng.normal(size=(3000, 3))
    return [
        lambda: lm.netsim(x, centres, norms, cons),
        lambda: lm.gridval(q, table, b, b, b),
        lambda: lm.nearpoly(ex, np.sin(ex).sum(axis=1), queries, [1, 1, 1]),
    ]


def test_the_environment_changed_during_a_call_changes_nothing(monkeypatch):
    # The thread count and the vector level are fixed when a call starts;
    # chunks that read them again took more workspaces than the call had.
    monkeypatch.setenv("LOCALMODELS_THREADS", "1")
    calls = long_calls(np.random.default_rng(1))
    expected = [f() for f in calls]
    for f, want in zip(calls, expected):
        os.environ["LOCALMODELS_THREADS"] = "1"
        stop = threading.Event()

        def meddle():
            k = 0
            while not stop.wait(0.01):
                k += 1
                os.environ["LOCALMODELS_THREADS"] = "64" if k % 2 else "999999"
                os.environ["LOCALMODELS_SIMD"] = "scalar" if k % 3 else "avx2"

        t = threading.Thread(target=meddle)
        t.start()
        try:
            got = f()
        finally:
            stop.set()
            t.join()
            os.environ.pop("LOCALMODELS_SIMD", None)
        assert same_bits(got, want)


PEAK = """
import resource, sys, numpy as np, localmodels as lm
rng = np.random.default_rng(0)
x = rng.normal(size=(100000, 9))
lm.nearpoly(x, x.sum(axis=1), rng.normal(size=(256, 9)), [1, 1, 1])
print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
"""


def peak_kib(threads):
    env = dict(os.environ, LOCALMODELS_THREADS=threads)
    out = subprocess.run([sys.executable, "-c", PEAK], env=env, check=True,
                         capture_output=True, text=True).stdout
    return int(out.split()[-1])


def test_an_absurd_thread_count_takes_no_more_memory_than_the_cores():
    # 999999 once meant 1024 workspaces; now at most one per core.
    serial, absurd = peak_kib("1"), peak_kib("999999")
    cores = os.cpu_count() or 1
    assert absurd < serial * (1 + 0.1 * cores) + 20_000


@pytest.mark.skipif(threading.current_thread() is not threading.main_thread(),
                    reason="signals reach the main thread only")
def test_ctrl_c_is_answered_after_a_run_of_free_queries():
    # 200000 NaN queries cost nothing; the chunk after them must still be
    # sized for queries that cost.
    rng = np.random.default_rng(2)
    x = rng.normal(size=(5000, 3))
    queries = rng.normal(size=(400_000, 3))
    queries[:200_000, 1] = np.nan
    y = np.sin(x).sum(axis=1)
    assert seconds_to_interrupt(lambda: lm.nearpoly(x, y, queries, [1, 1, 1])) < 1.5
