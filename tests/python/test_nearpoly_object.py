"""localmodels.NearPoly against localmodels.nearpoly, bit for bit: random
problems of every id_par form, weighted or not, with NaN queries, on any
thread count and chunk size, through the search index from the first query
on; its refusals, pickles, Ctrl-C, and its independence from the caller's
arrays."""

import gc
import pickle
import threading

import numpy as np
import pytest

import localmodels as lm
from conftest import same_bits, seconds_to_interrupt
from problems import nearpoly_problem



def same_results(a, b):
    if isinstance(a, tuple):
        return isinstance(b, tuple) and len(a) == len(b) and all(map(same_bits, a, b))
    return same_bits(a, b)


def settings(kwargs):
    return {k: kwargs[k] for k in ("comb_par", "cov_init", "weights") if k in kwargs}


def refusal(f, *args, **kwargs):
    try:
        f(*args, **kwargs)
    except lm.Error as e:
        return e.identifier, str(e)
    return None


def test_the_random_problems_of_nearpoly_give_the_same_bits_or_the_same_refusal():
    rng = np.random.default_rng(18)
    answered = refused = 0
    for _ in range(600):
        pr = nearpoly_problem(rng)
        data_x, data_y, query_x, id_par = pr.args
        coefs = pr.kwargs["return_coefs"]
        n = 1 if np.ndim(data_x) < 2 else np.shape(data_x)[1]
        # The examples and settings are checked as nearpoly checks them with
        # queries of their width.
        examples = refusal(lm.nearpoly, data_x, data_y, np.zeros((0, n)), id_par,
                           **settings(pr.kwargs))
        if examples:
            refused += 1
            got = refusal(lm.NearPoly, data_x, data_y, id_par, **settings(pr.kwargs))
            assert got == examples
            continue
        model = lm.NearPoly(data_x, data_y, id_par, **settings(pr.kwargs))
        try:
            want = lm.nearpoly(*pr.args, **pr.kwargs)
        except lm.Error as e:
            # Only the queries' width is left to refuse, in the object's words.
            refused += 1
            assert e.identifier == "nearpoly:queryXColumns"
            with pytest.raises(lm.Error, match=r"^query_x must have shape \(M, n\)") as got:
                model.predict(query_x, return_coefs=coefs)
            assert got.value.identifier == "nearpoly:queryXShape"
            continue
        answered += 1
        assert same_results(model.predict(query_x, return_coefs=coefs), want)
        # A second call on the same object, and one per query.
        assert same_results(model.predict(query_x, return_coefs=coefs), want)
        q = np.asarray(query_x, dtype=float).reshape(len(want[0] if coefs else want), n)
        for k in range(q.shape[0]):
            one = model.predict(q[k:k + 1], return_coefs=coefs)
            if coefs:
                assert same_bits(one[0], want[0][k:k + 1]) and same_bits(one[1], want[1][k:k + 1])
            else:
                assert same_bits(one, want[k:k + 1])
    assert answered > 250 and refused > 30


def large_problem(rng, N, n, weighted, form):
    if rng.random() < 0.3:
        x = rng.integers(-6, 7, (N, n)).astype(float)  # exact ties in the distances
    else:
        x = rng.normal(size=(N, n))
    y = np.sin(x).sum(axis=1) + 0.01 * rng.normal(size=N)
    id_par = {"factor": [1.0, 1.0, 1.0], "off": [0.5, 1.0, 0.0],
              "range": [[2, 12], [5, 30], [0, 0]],
              "window": [[3, 15, 4], [6, 40, 0], [12, 60, 9]]}[form]
    kwargs = {"weights": np.r_[rng.random(n - 1) + 0.5, 0.0] if weighted else None}
    if form == "range":
        kwargs["comb_par"] = [2, 3, 1]
    if form == "window":
        kwargs["comb_par"] = 4
        kwargs["cov_init"] = 1e4
    return x, y, id_par, {k: v for k, v in kwargs.items() if v is not None}


@pytest.mark.parametrize("form", ["factor", "off", "range", "window"])
@pytest.mark.parametrize("weighted", [False, True])
def test_through_the_index_from_the_first_query_on(form, weighted, chunk):
    # nearpoly searches through its tree only for 50 queries or more; the
    # object always does, and must still give the plain search's bits.
    rng = np.random.default_rng([len(form), weighted])
    for N, n in ((1500, 2), (5000, 4), (5000, 1)):
        x, y, id_par, kwargs = large_problem(rng, N, n, weighted, form)
        model = lm.NearPoly(x, y, id_par, **kwargs)
        assert model._index.indexed
        queries = rng.normal(size=(120, n)) * 1.5
        queries[:5] = x[rng.integers(N, size=5)]       # on examples
        queries[7, n - 1] = np.nan
        queries[9, 0] = -np.inf
        for M in (1, 3, 49, 120):
            q = queries[:M]
            for coefs in (False, True):
                want = lm.nearpoly(x, y, q, id_par, return_coefs=coefs, **kwargs)
                for threads, size in ((None, 0), (1, 0), (2, 1), (3, 7), (-1, 0)):
                    chunk(size)
                    got = model.predict(q, return_coefs=coefs, threads=threads)
                    assert same_results(got, want), (N, n, M, coefs, threads, size)
                chunk(0)


def test_queries_in_any_layout_and_one_input_as_a_vector():
    rng = np.random.default_rng(3)
    x = rng.normal(size=(300, 3))
    y = x[:, 0] - x[:, 1] ** 2
    model = lm.NearPoly(x, y, [1, 1, 1])
    q = rng.normal(size=(10, 3))
    want = lm.nearpoly(x, y, q, [1, 1, 1])
    for layout in (q, np.asfortranarray(q), q[::-1][::-1], np.repeat(q, 2, axis=0)[::2],
                   q.tolist(), q.astype(np.float32).astype(float)):
        assert same_bits(model.predict(layout), lm.nearpoly(x, y, layout, [1, 1, 1]))
    assert same_bits(model.predict(q), want)
    t = np.linspace(0, 3, 50)
    line = lm.NearPoly(t, np.cos(t), [1, 1, 0])
    for queries in ([0.5, 1.5], np.array([[0.5], [1.5]]), 0.5, [[0.5]]):
        assert same_bits(line.predict(queries), lm.nearpoly(t, np.cos(t), queries, [1, 1, 0]))


def test_empty_queries_give_empty_results():
    x = np.arange(20.0).reshape(10, 2)
    model = lm.NearPoly(x, x[:, 0], [1, 1, 0])
    y, c = model.predict(np.zeros((0, 2)), return_coefs=True)
    assert y.shape == (0,) and c.shape == (0, 3)
    assert model.predict(np.empty((0, 2), order="F")[::-1]).shape == (0,)


@pytest.mark.parametrize("query,shape", [(np.zeros((4, 2)), "(4, 2)"), (np.zeros(3), "(3,)"),
                                         (np.zeros((2, 3, 1)), "(2, 3, 1)"),
                                         (np.zeros((5, 4)), "(5, 4)"), (1.0, "()")])
def test_queries_of_the_wrong_width_are_refused_by_name(query, shape):
    model = lm.NearPoly(np.ones((30, 3)) * np.arange(30.0)[:, None] ** [1, 2, 3],
                        np.arange(30.0), [1, 1, 0])
    with pytest.raises(lm.Error) as e:
        model.predict(query)
    assert e.value.identifier == "nearpoly:queryXShape"
    message = str(e.value)
    assert message.startswith("query_x must have shape (M, n) = (M, 3); got " + shape + ".")
    if shape == "(3,)":
        assert "query_x[None, :]" in message


def test_refused_examples_and_settings_carry_nearpoly_s_refusal():
    x = np.arange(12.0).reshape(6, 2)
    cases = [((x, np.zeros(5), [1, 1, 1]), {}),
             ((x, np.zeros(6), [1, 1]), {}),
             ((x, np.zeros(6), [0, 0, 0]), {}),
             ((x, np.zeros(6), [1, 1, 1]), {"weights": [1.0, -1.0]}),
             ((x, np.zeros(6), [1, 1, 1]), {"comb_par": [1, 2]}),
             ((np.where(x == 3, np.nan, x), np.zeros(6), [1, 1, 1]), {}),
             ((x + 1j, np.zeros(6), [1, 1, 1]), {})]
    for (dx, dy, idp), kwargs in cases:
        with pytest.raises(lm.Error) as want:
            lm.nearpoly(dx, dy, x[:1], idp, **kwargs)
        with pytest.raises(lm.Error) as got:
            lm.NearPoly(dx, dy, idp, **kwargs)
        assert (got.value.identifier, str(got.value)) == (want.value.identifier,
                                                          str(want.value))
    with pytest.raises(lm.Error) as e:
        lm.NearPoly(x, np.zeros(6), [1, 1, 1], threads=0)
    assert e.value.identifier == "nearpoly:badThreads"


def test_the_caller_s_arrays_may_change_or_go():
    rng = np.random.default_rng(4)
    x = np.asfortranarray(rng.normal(size=(2000, 2)))
    y = np.sin(x[:, 0]) * x[:, 1]
    w = np.array([1.0, 0.5])
    q = rng.normal(size=(60, 2))
    want = lm.nearpoly(x, y, q, [1, 1, 1], None, None, w, return_coefs=True)
    model = lm.NearPoly(x, y, np.array([1.0, 1.0, 1.0]), weights=w)
    x[:] = 0.0
    y[:] = 7.0
    w[:] = 3.0
    del x, y, w
    gc.collect()
    garbage = [np.full((2000, 2), 1e300) for _ in range(20)]
    assert same_results(model.predict(q, return_coefs=True), want)
    del garbage


def test_pickles_without_the_index_and_predicts_the_same_after_loading():
    rng = np.random.default_rng(5)
    x = rng.normal(size=(20000, 3))
    y = x.sum(axis=1) ** 2
    model = lm.NearPoly(x, y, [[3, 20], [8, 40], [0, 0]], [2, 2, 0], 1e5, [1.0, 2.0, 0.5])
    q = rng.normal(size=(30, 3))
    want = model.predict(q, return_coefs=True)
    data = pickle.dumps(model)
    # The examples and settings, and no index (which holds the examples'
    # coordinates again, and more).
    assert len(data) < x.nbytes + y.nbytes + 4096
    loaded = pickle.loads(data)
    assert loaded._index.indexed and (loaded.n_examples, loaded.n_inputs) == (20000, 3)
    assert same_results(loaded.predict(q, return_coefs=True), want)
    again = pickle.loads(pickle.dumps(loaded, protocol=2))
    assert same_results(again.predict(q, return_coefs=True), want)
    small = lm.NearPoly([0.0, 1.0, 2.0], [1.0, 0.0, 1.0], [1, 0, 0])
    assert same_bits(pickle.loads(pickle.dumps(small)).predict([0.4]), small.predict([0.4]))


def test_several_threads_may_predict_at_once():
    rng = np.random.default_rng(6)
    x = rng.normal(size=(4000, 3))
    model = lm.NearPoly(x, np.cos(x).sum(axis=1), [1, 1, 1])
    queries = [rng.normal(size=(int(rng.integers(1, 300)), 3)) for _ in range(8)]
    want = [lm.nearpoly(x, np.cos(x).sum(axis=1), q, [1, 1, 1]) for q in queries]
    got = [None] * len(queries)

    def work(k):
        got[k] = model.predict(queries[k], threads=2)

    runners = [threading.Thread(target=work, args=(k,)) for k in range(len(queries))]
    for t in runners:
        t.start()
    for t in runners:
        t.join()
    assert all(same_bits(g, w) for g, w in zip(got, want))


@pytest.mark.skipif(threading.current_thread() is not threading.main_thread(),
                    reason="signals reach the main thread only")
def test_ctrl_c_is_answered_between_chunks():
    # 200000 NaN queries cost nothing; the chunk after them must still be
    # sized for queries that cost.
    rng = np.random.default_rng(7)
    x = rng.normal(size=(5000, 3))
    model = lm.NearPoly(x, np.sin(x).sum(axis=1), [1, 1, 1])
    queries = rng.normal(size=(400_000, 3))
    queries[:200_000, 1] = np.nan
    assert seconds_to_interrupt(lambda: model.predict(queries)) < 1.5
    # and the object still answers
    q = queries[-3:]
    assert same_bits(model.predict(q), lm.nearpoly(x, np.sin(x).sum(axis=1), q, [1, 1, 1]))
