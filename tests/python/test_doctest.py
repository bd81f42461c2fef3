"""The examples in the package's docstrings run and print what they show."""

import doctest
import os
import re

import localmodels
from localmodels import _api, _errors, _narx, _nearpoly, _train, demo
from localmodels import dask as on_dask


def test_docstring_examples():
    finder = doctest.DocTestFinder()
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    seen = set()
    for module in (localmodels, _api, _errors, _narx, _nearpoly, _train, demo, on_dask):
        for test in finder.find(module):
            if test.examples and test.name not in seen:
                seen.add(test.name)
                runner.run(test)
    # Every public function and the error type has an example.
    names = {name.rsplit(".", 1)[-1] for name in seen}
    assert {"nearpoly", "NearPoly", "netsim", "dmat_inputs", "dmat_params", "gridval",
            "narx_simulate", "lmn_train", "Error"} <= names
    assert runner.failures == 0


ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def test_the_readme_python_examples_run():
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        blocks = re.findall(r"```python\n(.*?)```", f.read(), re.S)
    assert blocks
    for block in blocks:
        exec(compile(block, "README.md", "exec"), {})


def test_one_version_everywhere():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        cmake = re.search(r"project\(localmodels VERSION ([0-9.]+)", f.read()).group(1)
    with open(os.path.join(ROOT, "pyproject.toml")) as f:
        pyproject = re.search(r'^version = "([0-9.]+)"', f.read(), re.M).group(1)
    assert localmodels.__version__ == cmake == pyproject
