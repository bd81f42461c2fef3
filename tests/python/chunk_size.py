"""A fixed chunk size for the package's calls into its compiled module.

A call computes its rows in chunks, with a check for Ctrl-C between two,
each chunk sized from the time the last one took. The tests fix the size,
down to one row, to put chunk boundaries everywhere: the compiled module
takes it as an optional argument that the package never passes. Installed,
a Hook stands in for the compiled module in the package's modules and
passes its size to every call that takes one.
"""

from localmodels import _api, _core, _narx, _nearpoly

# The compiled module's functions that take a chunk size (and NearPolyIndex's
# predict, wrapped below).
_CHUNKED = frozenset(["nearpoly", "netsim", "dmat_inputs", "dmat_params", "gridval",
                      "narx_simulate"])


class _Index:
    """A NearPolyIndex whose predictions take the hook's chunk size."""

    __slots__ = ("_hook", "_index")

    def __init__(self, hook, index):
        self._hook = hook
        self._index = index

    def predict(self, *args, **kwargs):
        return self._index.predict(*args, chunk=self._hook.size, **kwargs)

    def __getattr__(self, name):
        return getattr(self._index, name)


class Hook:
    """The compiled module as the package sees it, with a chunk size
    (0, as the package's own calls: sized by time)."""

    def __init__(self):
        self.size = 0

    def __getattr__(self, name):
        f = getattr(_core, name)
        if name == "NearPolyIndex":
            return lambda *args, **kwargs: _Index(self, f(*args, **kwargs))
        if name in _CHUNKED:
            return lambda *args, **kwargs: f(*args, chunk=self.size, **kwargs)
        return f


def install(monkeypatch):
    """A Hook in place of the compiled module for the rest of the test."""
    hook = Hook()
    for module in (_api, _narx, _nearpoly):
        monkeypatch.setattr(module, "_core", hook)
    return hook
