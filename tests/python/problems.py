"""Random problems of every plug-in, each as a Python call and as the MEX call.

The MEX arguments are formed here from the documented correspondence, not
from the package: points as rows are the MEX's points as columns (x.T),
``norm_matrices[i, r, s]`` is ``A(r, s, i)``, ``consequents[i, j, k]`` is
``T(j, k, i)``, vectors are columns (breakpoints rows), options are 1-by-1
doubles and the selection a uint8 scalar. The problems include refusals,
NaN and infinite values, ties, edge options and empty sizes.

The package refuses network arrays of another shape than their numpy shapes
before the core sees them, with its own identifier: such a problem names it
in ``python_refusal`` (the MEX refuses it too, for its own reason).
"""

import numpy as np

PLUGINS = ["nearpoly", "netsim", "dmat_inputs", "dmat_params", "gridval"]


class Problem:
    def __init__(self, plugin, args, kwargs, mex_args, nargout, python_refusal=None):
        self.plugin = plugin
        self.python_refusal = python_refusal  # "<plugin>:<reason>" of a shape refusal
        self.args = args
        self.kwargs = kwargs
        self.mex_args = mex_args  # [(class, array)], class "double" or "uint8"
        self.nargout = nargout


def column(a):
    a = np.asarray(a, dtype=float)
    return a.reshape(1, 1) if a.ndim == 0 else a.reshape(-1, 1) if a.ndim == 1 else a


def row(a):
    a = np.asarray(a, dtype=float)
    return a.reshape(1, 1) if a.ndim == 0 else a.reshape(1, -1) if a.ndim == 1 else a


def d(a):
    return ("double", a)


def mex_outputs(plugin, result):
    """The package's results as the MEX's outputs: arrays of the MEX's shape."""
    if plugin == "nearpoly":
        if isinstance(result, tuple):
            return [result[0].reshape(-1, 1), result[1].T]
        return [result.reshape(-1, 1)]
    if plugin == "netsim":
        return [result.T]
    if plugin in ("dmat_inputs", "dmat_params"):  # the MEX's is the transposed Jacobian
        return [result[0].T, result[1].reshape(-1, 1)]
    return [result.reshape(1, -1)]


def shuffled_layout(rng, a):
    """The same values as a, in a memory layout the core does not read."""
    a = np.asarray(a, dtype=float)
    if a.ndim < 1 or a.size == 0:
        return a
    kind = rng.integers(4)
    if kind == 0:
        return np.asfortranarray(a)
    if kind == 1:  # a strided view into a larger array
        big = np.full(tuple(2 * s for s in a.shape), -7.0)
        big[tuple(slice(None, None, 2) for _ in a.shape)] = a
        return big[tuple(slice(None, None, 2) for _ in a.shape)]
    if kind == 2:  # negative strides
        flipped = np.ascontiguousarray(a[(slice(None, None, -1),) * a.ndim])
        return flipped[(slice(None, None, -1),) * a.ndim]
    return a


# ---------------------------------------------------------------------------
# nearpoly

def nearpoly_problem(rng):
    n = int(rng.integers(1, 4))
    N = int(rng.choice([0, 2, 8, 20, 40, 60, 60, 90]))
    M = int(rng.choice([0, 1, 2, 5, 9]))
    if rng.random() < 0.3:  # ties: whole-number coordinates
        data_x = rng.integers(-3, 4, (N, n)).astype(float)
    else:
        data_x = rng.normal(size=(N, n)) * rng.choice([1.0, 10.0, 1e-3])
    data_y = np.sin(data_x.sum(axis=1)) + 0.1 * rng.normal(size=N)
    query_x = rng.normal(size=(M, n))
    if M and N and rng.random() < 0.3:
        query_x[0] = data_x[rng.integers(N)]  # a query at an example
    if M and rng.random() < 0.25:
        query_x[rng.integers(M), rng.integers(n)] = rng.choice([np.nan, np.inf, -np.inf])

    shape = rng.choice(["factor", "factor", "range", "window"])
    if shape == "factor":
        id_par = rng.choice([1.0, 0.0, 0.5, 2.0, 1.3], size=3)
        if rng.random() < 0.1:
            id_par[rng.integers(3)] = np.nan
    elif shape == "range":
        lo = rng.integers(-1, 8, 3)
        id_par = np.stack([lo, lo + rng.integers(-1, 30, 3)], axis=1).astype(float)
        if rng.random() < 0.1:
            id_par[rng.integers(3), 1] = 1e12
    else:
        lo = rng.integers(0, 6, 3)
        id_par = np.stack([lo, lo + rng.integers(0, 25, 3),
                           rng.choice([0, 1, 2, 4, 9], 3)], axis=1).astype(float)
    kwargs = {"return_coefs": bool(rng.random() < 0.5)}
    options = [None, None, None]
    r = rng.random()
    if r < 0.5:
        options[0] = [None, 1.0, 2.0, 3.0, 0.0, np.nan, 1e15, -2.7, [1.0, 2.0, 0.0],
                      [0.0, 0.0, 0.0], [2.0, 1.0, 3.0], [1.0, 2.0],
                      np.zeros(0)][rng.integers(13)]
    if r < 0.3:
        options[1] = [None, 1e6, 1.0, 0.0, -1.0, 1e-3, np.zeros(0)][rng.integers(7)]
    if r < 0.15:
        options[2] = [None, rng.random(n), np.zeros(0), np.r_[rng.random(n - 1), 0.0],
                      -rng.random(n), np.full(n, np.nan), rng.random(max(n - 1, 0)),
                      rng.random(n + 2)][rng.integers(8)]

    bad = rng.random()
    if bad < 0.03:
        data_y = data_y[:-1] if N else np.zeros(1)
    elif bad < 0.06:
        query_x = rng.normal(size=(M, n + 1))
    elif bad < 0.09:
        id_par = rng.random(int(rng.choice([2, 4])))
    elif bad < 0.11:
        id_par = np.ones((3, 4))
    elif bad < 0.14 and N:
        data_x[rng.integers(N), rng.integers(n)] = rng.choice([np.nan, np.inf])
    elif bad < 0.17 and N:
        data_y[rng.integers(N)] = np.nan

    py_args = [data_x, data_y, query_x, id_par]
    if rng.random() < 0.3:
        py_args = [shuffled_layout(rng, a) for a in py_args]
    if n == 1 and rng.random() < 0.5:  # vectors of examples and queries of one input
        py_args[0] = py_args[0].reshape(-1) if py_args[0].shape[1:] == (1,) else py_args[0]
        py_args[2] = py_args[2].reshape(-1) if py_args[2].shape[1:] == (1,) else py_args[2]
    for k, name in enumerate(["comb_par", "cov_init", "weights"]):
        if options[k] is not None:
            kwargs[name] = options[k]

    mex = [d(column(data_x)), d(column(data_y)), d(column(query_x)), d(column(id_par))]
    last = max([k for k in range(3) if options[k] is not None], default=-1)
    for k in range(last + 1):
        if options[k] is None:
            mex.append(d(np.ones((1, 1)) if k == 0 else np.zeros((0, 0))))
        else:
            mex.append(d(column(options[k])))
    nargout = 2 if kwargs["return_coefs"] else 1
    return Problem("nearpoly", py_args, kwargs, mex, nargout)


# ---------------------------------------------------------------------------
# The network plug-ins

NORMALIZE = [1, 0, 1, 2.7, -0.5, 0.9, -1, np.nan, np.inf, 2.0**31, -2.0**31,
             2.0**31 - 0.5, -2.0**31 - 0.5, -2.0**31 - 1, None]
VALIDITY = [1, 1, 2, 2, 3, 0, -1, 1.9, 2.5, -0.99, np.nan, -np.inf, 1e10, None]
FUZZINESS = [2.0, 2.0, 1.5, 3.0, 1.0, 0.5, -1.0, np.nan, np.inf, None]


def network(rng):
    n = int(rng.integers(1, 4))
    c = int(rng.integers(1, 5))
    p = int(rng.integers(1, 3))
    centres = rng.normal(size=(c, n))
    L = rng.normal(size=(c, n, n))
    norms = np.einsum("irk,isk->irs", L, L) + 0.1 * np.eye(n)
    if rng.random() < 0.2:
        norms = rng.normal(size=(c, n, n))  # not symmetric: the lower triangle is read
    consequents = rng.normal(size=(c, p, n + 1))
    return n, c, p, centres, norms, consequents


def options(rng):
    out = [NORMALIZE[rng.integers(len(NORMALIZE))], VALIDITY[rng.integers(len(VALIDITY))],
           FUZZINESS[rng.integers(len(FUZZINESS))]]
    if rng.random() < 0.4:  # mostly valid options
        out[0] = 1
    if rng.random() < 0.3:
        out[1] = int(rng.integers(1, 3))
    return out


def mex_network(centres, norms, consequents):
    return [d(np.asarray(centres).T), d(np.transpose(norms, (1, 2, 0))),
            d(np.transpose(consequents, (1, 2, 0)))]


def mex_options(opts):
    return [d(np.zeros((0, 0)) if o is None else np.full((1, 1), float(o))) for o in opts]


def broken_network(rng, n, c, p, centres, norms, consequents):
    """Now and then a network whose arrays are too small, and the reason the
    package gives."""
    r = rng.random()
    if r < 0.03:
        return centres, (norms[:, :, : n - 1] if n > 1 else norms[:0]), consequents, \
            "normMatricesShape"
    if r < 0.06:
        return centres, norms, consequents[:, :, :n], "consequentsShape"
    if r < 0.08:  # an empty trailing dimension
        return centres.reshape(1, c, n)[:0], norms, consequents, "centresShape"
    return centres, norms, consequents, None


def netsim_problem(rng):
    n, c, p, centres, norms, consequents = network(rng)
    N = int(rng.choice([0, 1, 2, 7, 20]))
    x = rng.normal(size=(N, n)) * 1.5
    if N and rng.random() < 0.3:
        x[0] = centres[rng.integers(c)]  # at a centre
    if N and rng.random() < 0.2:
        x[rng.integers(N), rng.integers(n)] = rng.choice([np.nan, np.inf, 1e200])
    wide = rng.random() < 0.04
    if wide:
        x = rng.normal(size=(max(N, 1), n + 1))  # a column too many
    centres, norms, consequents, broken = broken_network(rng, n, c, p, centres, norms,
                                                         consequents)
    refusal = broken or ("xShape" if wide else None)
    opts = options(rng)
    py_x = shuffled_layout(rng, x) if rng.random() < 0.3 else x
    if n == 1 and x.shape[1:] == (1,) and rng.random() < 0.3:
        py_x = x.reshape(-1)
    args = [py_x, shuffled_layout(rng, centres), shuffled_layout(rng, norms),
            shuffled_layout(rng, consequents)]
    mex = [d(x.T)] + mex_network(centres, norms, consequents) + mex_options(opts)
    return Problem("netsim", args + opts, {}, mex, 1, refusal and "netsim:" + refusal)


def point(rng, n, centres):
    """The MEX's point, the package's (of shape (n,): the MEX reads the first n
    values) and whether the package refuses it by its shape."""
    x = rng.normal(size=n) * 1.5
    r = rng.random()
    if r < 0.2:
        x = np.array(centres[rng.integers(len(centres))], dtype=float).reshape(-1)[:n]
    elif r < 0.3:
        x[rng.integers(n)] = rng.choice([np.nan, np.inf])
    elif r < 0.35:
        return np.r_[x, rng.normal(size=2)], x, False  # values after the first n unread
    elif r < 0.38:
        x = x[: n - 1]
        return x, x, True
    return x, x, False


def dmat_inputs_problem(rng):
    n, c, p, centres, norms, consequents = network(rng)
    x, py_x, short = point(rng, n, centres)
    centres, norms, consequents, broken = broken_network(rng, n, c, p, centres, norms,
                                                         consequents)
    refusal = broken or ("xShape" if short else None)
    opts = options(rng)
    mex = [d(column(x))] + mex_network(centres, norms, consequents) + mex_options(opts)
    return Problem("dmat_inputs", [py_x, centres, norms, consequents] + opts, {}, mex, 2,
                   refusal and "dmat_inputs:" + refusal)


def dmat_params_problem(rng, selection):
    n, c, p, centres, norms, consequents = network(rng)
    x, py_x, short = point(rng, n, centres)
    centres, norms, consequents, broken = broken_network(rng, n, c, p, centres, norms,
                                                         consequents)
    refusal = broken or ("xShape" if short else None)
    opts = options(rng)
    mex = [d(column(x))] + mex_network(centres, norms, consequents) + mex_options(opts)
    if selection is not None:
        mex.append(("uint8", np.full((1, 1), float(selection))))
    args = [py_x, centres, norms, consequents] + opts + [selection]
    return Problem("dmat_params", args, {}, mex, 2, refusal and "dmat_params:" + refusal)


# ---------------------------------------------------------------------------
# gridval

def gridval_problem(rng):
    dims = int(rng.choice([1, 1, 2, 2, 3, 4]))
    counts = [int(rng.integers(1, 6)) for _ in range(dims)]
    breakpoints = []
    for m in counts:
        b = np.cumsum(rng.choice([0.0, 0.5, 1.0, 2.0], size=m)) - 1.0  # repeats too
        breakpoints.append(b)
    table = rng.normal(size=counts)
    N = int(rng.choice([0, 1, 3, 10, 25]))
    points = rng.uniform(-2.5, 4.5, size=(N, dims))
    if N and rng.random() < 0.4:
        points[0] = [b[rng.integers(len(b))] for b in breakpoints]  # on a node
    if N and rng.random() < 0.2:
        points[rng.integers(N), rng.integers(dims)] = rng.choice([np.nan, np.inf, -np.inf])

    py_breakpoints = list(breakpoints)
    mex_breakpoints = [row(b) for b in breakpoints]
    bad = rng.random()
    k = int(rng.integers(dims))
    if bad < 0.03 and counts[k] > 1:
        py_breakpoints[k] = breakpoints[k][::-1].copy()
        mex_breakpoints[k] = row(py_breakpoints[k])
    elif bad < 0.05:
        py_breakpoints[k] = breakpoints[k].copy()
        py_breakpoints[k][-1] = np.nan
        mex_breakpoints[k] = row(py_breakpoints[k])
    elif bad < 0.07:
        py_breakpoints[k] = breakpoints[k].reshape(-1, 1)  # a column, as the MEX sees it
        mex_breakpoints[k] = py_breakpoints[k]
    elif bad < 0.08:
        py_breakpoints[k] = np.zeros(0)
        mex_breakpoints[k] = row(py_breakpoints[k])
    elif bad < 0.10:
        table = table.reshape(-1)[:-1] if table.size > 1 else np.zeros(2)
    elif bad < 0.12:
        py_breakpoints = py_breakpoints[:-1]
        mex_breakpoints = mex_breakpoints[:-1]
    elif bad < 0.14:
        points = rng.normal(size=(max(N, 1), dims + 1))

    py_points = shuffled_layout(rng, points) if rng.random() < 0.3 else points
    if dims == 1 and points.shape[1:] == (1,) and rng.random() < 0.3:
        py_points = points.reshape(-1)
    py_table = shuffled_layout(rng, table) if rng.random() < 0.3 else table
    args = [py_points, py_table] + py_breakpoints
    mex = [d(points.T), d(column(table))] + [d(b) for b in mex_breakpoints]
    return Problem("gridval", args, {}, mex, 1)


def all_problems(seed=20240611, count=300):
    """count problems of each plug-in; dmat_params covers every selection byte."""
    rng = np.random.default_rng(seed)
    problems = []
    problems += [nearpoly_problem(rng) for _ in range(count)]
    problems += [netsim_problem(rng) for _ in range(count)]
    problems += [dmat_inputs_problem(rng) for _ in range(count)]
    selections = list(range(256)) + [None] * 4
    selections += [int(rng.integers(256)) for _ in range(count - len(selections))]
    problems += [dmat_params_problem(rng, s) for s in selections]
    problems += [gridval_problem(rng) for _ in range(count)]
    return problems


def write_problems(path, problems):
    stream = [float(len(problems))]
    for pr in problems:
        stream += [PLUGINS.index(pr.plugin) + 1, pr.nargout, len(pr.mex_args)]
        for cls, a in pr.mex_args:
            a = np.asarray(a, dtype=float)
            if a.ndim < 2:
                a = a.reshape(a.shape + (1,) * (2 - a.ndim))
            stream += [0.0 if cls == "double" else 1.0, a.ndim] + list(a.shape)
            stream += list(a.ravel(order="F"))
    np.asarray(stream, dtype="<f8").tofile(path)


def read_results(path, problems):
    """Per problem ("ok", [arrays of the MEX's shape]) or ("error", identifier, message)."""
    v = np.fromfile(path, dtype="<f8")
    at = 0

    def text():
        nonlocal at
        k = int(v[at])
        s = "".join(map(chr, v[at + 1:at + 1 + k].astype(int)))
        at += 1 + k
        return s

    results = []
    for pr in problems:
        status = v[at]
        at += 1
        if status == 1:
            ident = text()
            results.append(("error", ident, text()))
            continue
        outputs = []
        for _ in range(pr.nargout):
            nd = int(v[at])
            dims = tuple(int(x) for x in v[at + 1:at + 1 + nd])
            at += 1 + nd
            m = int(np.prod(dims))
            outputs.append(v[at:at + m].reshape(dims, order="F"))
            at += m
        results.append(("ok", outputs))
    assert at == v.size, "trailing data in the Octave results"
    return results
