"""The examples in the package's docstrings run and print what they show."""

import doctest

import localmodels
from localmodels import _api, _errors, demo


def test_docstring_examples():
    finder = doctest.DocTestFinder()
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    seen = set()
    for module in (localmodels, _api, _errors, demo):
        for test in finder.find(module):
            if test.examples and test.name not in seen:
                seen.add(test.name)
                runner.run(test)
    # Every public function and the error type has an example.
    names = {name.rsplit(".", 1)[-1] for name in seen}
    assert {"nearpoly", "netsim", "dmat_inputs", "dmat_params", "gridval", "Error"} <= names
    assert runner.failures == 0
