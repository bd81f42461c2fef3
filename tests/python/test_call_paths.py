"""The cheap tests that let a float64 array in the core's layout, or a Python
number, skip numpy's conversion must change no result and no refusal: every
other kind of input gives, bit for bit, what the same values converted by
``np.asarray(x, dtype=float)`` and laid out afresh give."""

import numpy as np
import pytest

import localmodels as lm
from conftest import same_bits



def unaligned(a, order):
    """a's values in float64 at an odd address, contiguous in `order`."""
    a = np.asarray(a, dtype=float)
    buffer = np.zeros(a.size * 8 + 1, dtype=np.uint8)
    v = np.frombuffer(buffer.data, dtype=np.float64, count=a.size, offset=1)
    v = v.reshape(a.shape, order=order)
    v[...] = a
    assert not v.flags.aligned and (v.flags.f_contiguous if order == "F" else v.flags.c_contiguous)
    return v


def read_only(a):
    a = np.array(a, dtype=float)
    a.flags.writeable = False
    return a


def forms(a):
    """The same values in the forms a caller may hold them."""
    a = np.asarray(a, dtype=float)
    yield a.tolist()
    yield np.asfortranarray(a)
    yield a.astype(">f8")
    yield read_only(a)
    if a.ndim:
        yield unaligned(a, "C")
        yield unaligned(a, "F")
        yield np.repeat(a, 2, axis=-1)[..., ::2]
    if np.all(a == np.round(a)) and np.all(np.abs(a) < 2 ** 31):
        yield a.astype(np.int32)
        yield a.astype(np.int64).tolist()


def network(rng, n=3, p=2, c=4):
    centres = rng.normal(size=(c, n))
    norms = np.stack([np.eye(n) * (1 + rng.random()) for _ in range(c)])
    consequents = rng.normal(size=(c, p, n + 1))
    return centres, norms, consequents


@pytest.mark.parametrize("which", range(4))
def test_every_form_of_each_network_array_gives_the_same_bits(which):
    rng = np.random.default_rng(which)
    net = list(network(rng))
    x = rng.normal(size=3)
    net_int = [np.round(a * 3) for a in net]
    for arrays in (net, net_int):
        plain = [np.asarray(a, dtype=float) for a in arrays]
        args = [x] + plain
        want = (lm.netsim(x[None, :], *plain), lm.dmat_inputs(*args), lm.dmat_params(*args))
        slot = which  # 0: x, 1-3: centres, norm matrices, consequents
        for form in forms(args[slot]):
            changed = list(args)
            changed[slot] = form
            points = [np.asarray(changed[0], dtype=float)[None, :]] if slot == 0 else [x[None, :]]
            got = (lm.netsim(*(points + changed[1:])), lm.dmat_inputs(*changed),
                   lm.dmat_params(*changed))
            assert all(map(same_bits, got, want)), type(form)


def test_options_as_numbers_of_every_type_give_the_same_bits():
    rng = np.random.default_rng(9)
    centres, norms, consequents = network(rng)
    x = rng.normal(size=(5, 3))
    for normalize, validity, fuzziness in ((1, 1, 2), (0, 2, 3), (1, 2, 1.5), (2.7, 1.9, 2)):
        want = lm.netsim(x, centres, norms, consequents, np.array(float(normalize)),
                         np.array(float(validity)), np.array(float(fuzziness)))
        for cast in (int, float, np.float64, np.int32, lambda v: [v], lambda v: [[v]],
                     lambda v: np.array([v], dtype=np.float32)):
            if cast is int and not float(normalize).is_integer():
                continue
            try:
                n_, v_, f_ = cast(normalize), cast(validity), cast(fuzziness)
            except (ValueError, TypeError):
                continue
            if cast is int:
                n_, v_, f_ = int(normalize), int(validity), int(fuzziness)
            got = lm.netsim(x, centres, norms, consequents, n_, v_, f_)
            want_here = lm.netsim(x, centres, norms, consequents,
                                  *(np.asarray(v, dtype=float) for v in (n_, v_, f_)))
            assert same_bits(got, want_here)
            if cast in (float, np.float64):
                assert same_bits(got, want)
    with pytest.raises(OverflowError):
        lm.netsim(x, centres, norms, consequents, 1, 1, 10 ** 400)


def test_complex_input_is_refused_in_every_form():
    rng = np.random.default_rng(10)
    centres, norms, consequents = network(rng)
    x = rng.normal(size=3)
    for bad in (x + 0j, (x + 1j).tolist(), np.complex64(1j), 1j, [1j, 0, 0]):
        with pytest.raises(lm.Error) as e:
            lm.dmat_inputs(bad, centres, norms, consequents)
        assert e.value.identifier == "dmat_inputs:complexInput"
    with pytest.raises(lm.Error) as e:
        lm.netsim(x[None, :], centres, norms, consequents, 1, 1j)
    assert e.value.identifier == "netsim:complexInput"
    with pytest.raises(lm.Error) as e:
        lm.gridval([[0.5]], [1.0, 2.0 + 1j], [0.0, 1.0])
    assert e.value.identifier == "gridval:complexInput"


def test_gridval_and_nearpoly_in_every_form():
    rng = np.random.default_rng(11)
    table = np.round(rng.normal(size=(4, 5)) * 4)
    b1, b2 = np.arange(4.0), np.arange(5.0) / 2
    points = np.round(rng.random((6, 2)) * 8) / 2
    want = lm.gridval(points, table, b1, b2)
    for slot, value in enumerate((points, table, b1, b2)):
        for form in forms(value):
            args = [points, table, b1, b2]
            args[slot] = form
            assert same_bits(lm.gridval(*args), want), (slot, type(form))
    x = np.round(rng.normal(size=(40, 2)) * 4)
    y = x[:, 0] - x[:, 1] ** 2
    q = np.round(rng.normal(size=(3, 2)) * 4)
    want = lm.nearpoly(x, y, q, [1, 1, 1], None, None, [1.0, 0.5], return_coefs=True)
    model = lm.NearPoly(x, y, [1, 1, 1], weights=[1.0, 0.5])
    for slot, value in enumerate((x, y, q, [1.0, 1.0, 1.0])):
        for form in forms(value):
            args = [x, y, q, [1.0, 1.0, 1.0]]
            args[slot] = form
            got = lm.nearpoly(*args, None, None, [1.0, 0.5], return_coefs=True)
            assert same_bits(got, want), (slot, type(form))
            if slot == 2:
                assert same_bits(model.predict(form, return_coefs=True), want)
            else:
                rest = [args[0], args[1], args[3]]
                other = lm.NearPoly(*rest, weights=[1.0, 0.5])
                assert same_bits(other.predict(q, return_coefs=True), want)


def test_a_caller_s_array_is_never_written():
    rng = np.random.default_rng(12)
    centres, norms, consequents = network(rng)
    arrays = [read_only(a) for a in (rng.normal(size=(7, 3)), centres, norms, consequents)]
    before = [a.copy() for a in arrays]
    lm.netsim(*arrays)
    lm.dmat_inputs(arrays[0], *arrays[1:], batch=True)
    lm.dmat_params(arrays[0][0], *arrays[1:])
    assert all(same_bits(a, b) for a, b in zip(arrays, before))
