"""Hostile calls: wrong dtypes, object arrays, views of every layout, empty
and huge shapes, NaN and infinity. Each either answers like the plain call
or raises an exception; none may crash the interpreter."""

import numpy as np
import pytest

import localmodels as lm
from localmodels import _core

C, A, T = [[0.0], [1.0]], [[[1.0]], [[1.0]]], [[[1.0, 0.0]], [[0.0, 5.0]]]
X = np.arange(12.0)
Y = np.sin(X)
ID = [1, 1, 1]


def calls_with(arg):
    """Every function with arg in each of its array positions."""
    yield lambda: lm.nearpoly(arg, Y, [2.0], ID)
    yield lambda: lm.nearpoly(X, arg, [2.0], ID)
    yield lambda: lm.nearpoly(X, Y, arg, ID)
    yield lambda: lm.nearpoly(X, Y, [2.0], arg)
    yield lambda: lm.nearpoly(X, Y, [2.0], ID, arg)
    yield lambda: lm.nearpoly(X, Y, [2.0], ID, 1, arg)
    yield lambda: lm.nearpoly(X, Y, [2.0], ID, 1, None, arg, return_coefs=True)
    for f in (lm.netsim, lm.dmat_inputs, lm.dmat_params):
        base = [[[0.5]] if f is lm.netsim else [0.5], C, A, T, 1, 1, 2.0]
        for k in range(7):
            yield lambda f=f, k=k, base=base: f(*base[:k], arg, *base[k + 1:])
    yield lambda: lm.gridval(arg, [1.0, 2.0], [0.0, 1.0])
    yield lambda: lm.gridval([[0.5]], arg, [0.0, 1.0])
    yield lambda: lm.gridval([[0.5]], [1.0, 2.0], arg)
    yield lambda: lm.gridval([[0.5, 0.5]], np.ones((2, 2)), [0.0, 1.0], arg)


class Odd:
    def __float__(self):
        raise RuntimeError("no number")


HOSTILE = {
    "int8": np.arange(3, dtype=np.int8),
    "uint64 huge": np.array([2**64 - 1], dtype=np.uint64),
    "bool": np.array([True, False]),
    "float16": np.array([0.5, 1.5], dtype=np.float16),
    "float32": np.ones((2, 2), dtype=np.float32),
    "longdouble": np.array([1.0], dtype=np.longdouble),
    "big-endian": np.arange(4.0).astype(">f8"),
    "complex": np.array([1 + 2j]),
    "complex scalar": 1j,
    "object numbers": np.array([1, 2.5, None], dtype=object),
    "object complex": np.array([1j], dtype=object),
    "object junk": np.array([{}, []], dtype=object),
    "object raising": np.array([Odd()], dtype=object),
    "string": "abc",
    "string array": np.array(["1.5", "x"]),
    "bytes": b"\x00\x01",
    "ragged": [[1.0], [1.0, 2.0]],
    "nested lists": [[[1.0]]],
    "None": None,
    "dict": {"a": 1},
    "scalar": 3.0,
    "0-d array": np.array(2.0),
    "empty": np.zeros(0),
    "empty 2-D": np.zeros((0, 3)),
    "empty 3-D": np.zeros((2, 0, 4)),
    "empty huge": np.empty((0, 2**40)),
    "empty huge trailing": np.empty((3, 2**35, 0)),
    "broadcast huge": np.broadcast_to(1.0, (2**31 + 1,)),
    "broadcast huge 2-D": np.broadcast_to(1.0, (2**16, 2**16)),
    "broadcast huge int": np.broadcast_to(np.int32(1), (3, 2**31)),
    "broadcast small": np.broadcast_to(0.5, (3, 2)),
    "negative strides": np.arange(6.0).reshape(2, 3)[::-1, ::-1],
    "strided": np.arange(24.0).reshape(4, 6)[::2, ::3],
    "Fortran": np.asfortranarray(np.arange(6.0).reshape(2, 3)),
    "read-only": np.frombuffer(np.arange(3.0).tobytes()),
    "unaligned": np.frombuffer(b"\x00" + np.arange(3.0).tobytes(), dtype=np.float64,
                               offset=1),
    "NaN": np.full((2, 2), np.nan),
    "inf": np.array([np.inf, -np.inf]),
    "huge values": np.array([1e308, -1e308, 5e-324]),
    "masked": np.ma.masked_array([1.0, 2.0], mask=[False, True]),
    "4-D": np.ones((1, 2, 1, 2)),
    "big int": 10**400,
}


@pytest.mark.parametrize("name", list(HOSTILE))
def test_hostile_arguments_never_crash(name):
    outcomes = set()
    for call in calls_with(HOSTILE[name]):
        try:
            result = call()
        except (lm.Error, TypeError, ValueError, OverflowError, MemoryError,
                RuntimeError) as e:
            outcomes.add(type(e).__name__)
        else:
            for r in result if isinstance(result, tuple) else (result,):
                assert isinstance(r, np.ndarray) and r.dtype == np.float64
            outcomes.add("answer")
    assert outcomes


def test_complex_is_refused_wherever_it_is():
    for call in calls_with(np.array([1.0 + 1j])):
        with pytest.raises(lm.Error) as info:
            call()
        assert info.value.identifier.endswith(":complexInput")
        assert "must be real; got a complex array." in str(info.value)


def test_views_answer_like_the_contiguous_arrays():
    rng = np.random.default_rng(9)
    x = rng.normal(size=(30, 2))
    q = rng.normal(size=(6, 2))
    y = x[:, 0] ** 2
    plain = lm.nearpoly(x, y, q, ID, return_coefs=True)
    flipped = np.ascontiguousarray(x[::-1])[::-1]
    got = lm.nearpoly(flipped, y[::-1].copy()[::-1], np.asfortranarray(q), ID,
                      return_coefs=True)
    assert all(np.array_equal(a.view(np.uint64), b.view(np.uint64)) for a, b in zip(plain, got))
    cen = rng.normal(size=(3, 2))
    norms = np.stack([np.eye(2)] * 3)
    cons = rng.normal(size=(3, 1, 3))
    pts = rng.normal(size=(8, 2))
    plain = lm.netsim(pts, cen, norms, cons)
    big = np.zeros((16, 4))
    big[::2, ::2] = pts
    got = lm.netsim(big[::2, ::2], cen[::-1].copy()[::-1], np.asfortranarray(norms),
                    np.asfortranarray(cons))
    assert np.array_equal(plain.view(np.uint64), got.view(np.uint64))


def test_empty_sizes():
    assert lm.nearpoly(X, Y, np.zeros((0, 1)), ID).shape == (0,)
    y, c = lm.nearpoly(X, Y, np.zeros((0, 1)), ID, return_coefs=True)
    assert c.shape == (0, 3)
    assert lm.netsim(np.zeros((0, 1)), C, A, T).shape == (0, 1)
    with pytest.raises(lm.Error, match=r"x must have shape \(N, n\)"):
        lm.netsim(np.zeros((0, 7)), C, A, T)  # no points, but of another width
    assert lm.gridval(np.zeros((0, 1)), [1.0, 2.0], [0.0, 1.0]).shape == (0,)
    assert lm.gridval(np.zeros((0, 5)), [1.0, 2.0], [0.0, 1.0]).shape == (0,)
    dp, y = lm.dmat_params([0.5], np.zeros((0, 1)), np.zeros((0, 1, 1)), np.zeros((0, 1, 2)))
    assert dp.shape == (1, 0) and y.shape == (1,)
    dp, y = lm.dmat_params(np.zeros((0, 1)), C, A, T, batch=True)
    assert dp.shape == (0, 1, 8) and y.shape == (0, 1)


def test_many_breakpoint_inputs():
    with pytest.raises(lm.Error, match="at most 30 dimensions"):
        lm.gridval(np.zeros((1, 200)), 1.0, *[[0.0]] * 200)


def test_the_compiled_module_refuses_what_the_wrappers_never_pass():
    with pytest.raises(TypeError):
        _core.gridval([1.0, 2.0], 0, 0)
    with pytest.raises(TypeError):  # C order where Fortran order is read
        _core.gridval([np.ones((2, 3)), np.ones((1, 1)), np.ones((1, 1))], 0, 0)
    with pytest.raises(TypeError):
        _core.netsim([np.ones((1, 1), dtype=np.float32)] * 7, 0, 0)
    with pytest.raises(TypeError):
        _core.dmat_params([np.ones((1, 1))] * 3, 15, False, 0, 0)
    with pytest.raises(TypeError):
        _core.nearpoly(None, 1, 0, 0)


def test_the_compiled_module_raises_the_class_it_was_handed():
    # The package hands its Error over at import; the module looks up no name.
    class Other(lm.Error):
        pass

    _core._set_error_class(Other)
    try:
        with pytest.raises(Other) as got:
            lm.gridval([[0.5]], [1.0, 2.0], [1.0, 0.0])
        assert got.value.identifier == "gridval:breakpointsDecrease"
    finally:
        _core._set_error_class(lm.Error)
    with pytest.raises(lm.Error) as got:
        lm.gridval([[0.5]], [1.0, 2.0], [1.0, 0.0])
    assert type(got.value) is lm.Error
    with pytest.raises(TypeError):
        _core._set_error_class(int)
