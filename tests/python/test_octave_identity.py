"""The package against the built .mex files in one Octave run: a few hundred
random problems of every plug-in, every output compared bit for bit (NaN
positions and payloads included), every refusal by message and identifier;
the network arrays the package refuses by their shapes, refused by the MEX
as well.
"""

import os
import subprocess

import numpy as np
import pytest

import localmodels
from conftest import OCTAVE, OCTAVE_FLAGS, OCTAVE_PLUGINS, need_octave
from problems import PLUGINS, all_problems, mex_outputs, read_results, write_problems

HERE = os.path.dirname(os.path.abspath(__file__))
PER_PLUGIN = 300


def run_python(pr):
    try:
        result = getattr(localmodels, pr.plugin)(*pr.args, **pr.kwargs)
    except localmodels.Error as e:
        return ("error", e.identifier, str(e))
    return ("ok", mex_outputs(pr.plugin, result))


@pytest.fixture(scope="module")
def runs(tmp_path_factory):
    need_octave()
    problems = all_problems(count=PER_PLUGIN)
    folder = tmp_path_factory.mktemp("octave")
    infile, outfile = str(folder / "problems.bin"), str(folder / "results.bin")
    write_problems(infile, problems)
    script = (f"addpath('{OCTAVE_PLUGINS}'); addpath('{HERE}'); "
              f"run_problems('{infile}', '{outfile}');")
    subprocess.run([OCTAVE] + OCTAVE_FLAGS + ["--eval", script], check=True, timeout=600)
    mex = read_results(outfile, problems)
    return problems, mex, [run_python(pr) for pr in problems]


def bits(a):
    return np.ascontiguousarray(np.asarray(a, dtype=float).ravel(order="F")).view(np.uint64)


def differences(pr, m, p):
    """What differs between the MEX's answer m and the package's p."""
    if pr.python_refusal:
        if p[0] != "error" or p[1] != pr.python_refusal:
            return f"Python {p}, not the shape refusal {pr.python_refusal}"
        return None if m[0] == "error" else f"the MEX answers what Python refuses: {p}"
    if m[0] != p[0]:
        return f"MEX {m[0]} {m[1:] if m[0] == 'error' else ''}, Python {p[0]} " \
               f"{p[1:] if p[0] == 'error' else ''}"
    if m[0] == "error":
        # Octave shows the plug-in's message after its name.
        if m[1] != p[1] or m[2] != f"{pr.plugin}: {p[2]}":
            return f"refusals differ: MEX {m[1:]}, Python {p[1:]}"
        return None
    for k, (a, b) in enumerate(zip(m[1], p[1])):
        if a.shape != b.shape:
            return f"output {k + 1}: shape {a.shape} in the MEX, {b.shape} in Python"
        if not np.array_equal(bits(a), bits(b)):
            return f"output {k + 1}: bits differ\nMEX {a!r}\nPython {b!r}"
    return None


@pytest.mark.parametrize("plugin", PLUGINS)
def test_same_bits_and_refusals_as_the_mex(runs, plugin):
    problems, mex, py = runs
    answered, with_nan, refused, failures = 0, 0, set(), []
    for i, (pr, m, p) in enumerate(zip(problems, mex, py)):
        if pr.plugin != plugin:
            continue
        diff = differences(pr, m, p)
        if diff:
            failures.append(f"problem {i}: {diff}")
        elif m[0] == "ok":
            answered += 1
            with_nan += any(np.isnan(a).any() for a in m[1])
        else:
            refused.add(m[1])
    assert not failures, "\n".join(failures[:10])
    # Both kinds of answer are exercised, and several causes of refusal.
    assert answered >= PER_PLUGIN // 2
    assert len(refused) >= 2, refused
    if plugin in ("nearpoly", "netsim", "gridval"):
        assert with_nan >= 5
