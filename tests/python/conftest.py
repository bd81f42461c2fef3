"""Shared settings of the package's tests.

LOCALMODELS_OCTAVE_PLUGINS names the folder of the built .mex files (CTest
sets it); without it the comparison with the MEX is skipped, unless
LOCALMODELS_REQUIRE_OCTAVE is set, when it fails.
"""

import os

import pytest

OCTAVE = os.environ.get("LOCALMODELS_OCTAVE", "octave-cli")
OCTAVE_PLUGINS = os.environ.get("LOCALMODELS_OCTAVE_PLUGINS", "")
OCTAVE_FLAGS = ["--no-gui", "--norc", "--quiet", "--no-window-system", "--no-history"]


def need_octave():
    if OCTAVE_PLUGINS:
        return
    if os.environ.get("LOCALMODELS_REQUIRE_OCTAVE"):
        pytest.fail("LOCALMODELS_OCTAVE_PLUGINS is not set")
    pytest.skip("LOCALMODELS_OCTAVE_PLUGINS is not set")


@pytest.fixture
def chunk(monkeypatch):
    """Sets the chunk size of the package's calls made in the test (and by the
    NearPoly objects it creates); 0 sizes them by time, as outside the tests."""
    import chunk_size

    hook = chunk_size.install(monkeypatch)
    return lambda size: setattr(hook, "size", size)


def seconds_to_interrupt(call, after=0.5):
    """Runs call() with a SIGINT sent after `after` seconds (Python's own
    handler, also where the runner was started with SIGINT ignored); it
    must end in KeyboardInterrupt. Returns the seconds from start to end."""
    import signal
    import threading
    import time
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    try:
        timer = threading.Timer(after, os.kill, (os.getpid(), signal.SIGINT))
        started = time.perf_counter()
        timer.start()
        with pytest.raises(KeyboardInterrupt):
            call()
        timer.join()
        return time.perf_counter() - started
    finally:
        signal.signal(signal.SIGINT, previous)


def same_bits(a, b):
    """Whether a and b (arrays, or tuples of them) hold the same doubles,
    bit for bit, in the same shapes."""
    import numpy as np
    if isinstance(a, tuple):
        return isinstance(b, tuple) and len(a) == len(b) and all(map(same_bits, a, b))
    a = np.ascontiguousarray(a, dtype=np.float64)
    b = np.ascontiguousarray(b, dtype=np.float64)
    return a.shape == b.shape and np.array_equal(a.view(np.uint64), b.view(np.uint64))
