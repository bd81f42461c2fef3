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
