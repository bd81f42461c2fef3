"""The main example: a nonlinear plant identified with the five functions.

Simulates the benchmark plant

    y(k+1) = y(k) y(k-1) (y(k) + 2.5) / (1 + y(k)^2 + y(k-1)^2) + u(k),

identifies it from 1000 samples driven by a uniform input in [-2, 2], and
validates on 250 steps of u(k) = sin(2 pi k / 25):

- baselines: a linear ARX model and a 5-nearest-neighbour average;
- `nearpoly`: local polynomial prediction from the stored samples;
- a local-model network (`netsim`): k-means centres, norm matrices from the
  clusters' spread, least-squares consequents, then refined by
  Levenberg-Marquardt with Jacobian rows from `dmat_params`, and linearised
  with `dmat_inputs` at two operating points;
- a lookup table of the network's one-step map, simulated with `gridval`.

It prints a table of one-step and free-run errors and writes a figure::

    python3 -m localmodels.demo                  # writes identify_system.png
    python3 -m localmodels.demo --figure out.png --noise 0.05
"""

import argparse
import sys
import time

import numpy as np

from . import dmat_inputs, dmat_params, gridval, nearpoly, netsim

DEFAULTS = dict(n_train=1000, n_val=250, noise=0.0, clusters=10, overlap=1.0, lm_iterations=12,
                grid=(41, 41, 21), seed=1, figure="identify_system.png", quiet=False)


# --- The plant and its data ------------------------------------------------

def plant_step(x):
    """The plant's next output for each row [y(k), y(k-1), u(k)] of x, and its gradient.

    Returns
    -------
    y_next : ndarray, shape (N,)
    jacobian : ndarray, shape (N, 3)
        Row t is [df/dy(k), df/dy(k-1), df/du(k)] at row t of x.
    """
    x = np.atleast_2d(x)
    a, b, u = x[:, 0], x[:, 1], x[:, 2]
    den = 1 + a**2 + b**2
    num = a * b * (a + 2.5)
    d_a = (b * (2 * a + 2.5) * den - num * 2 * a) / den**2
    d_b = (a * (a + 2.5) * den - num * 2 * b) / den**2
    return num / den + u, np.stack([d_a, d_b, np.ones_like(u)], axis=1)


def simulate_plant(u, noise, rng):
    """Runs the plant from rest; returns regressors [y(k), y(k-1), u(k)] and targets y(k+1)."""
    K = len(u)
    y = np.zeros(K + 1)
    for k in range(1, K):
        y[k + 1] = plant_step([y[k], y[k - 1], u[k]])[0][0]
    y = y + noise * rng.normal(size=y.shape)
    return np.stack([y[1:K], y[0:K - 1], u[1:K]], axis=1), y[2:K + 1]


def free_run(step, u, y0):
    """Simulates a one-step model on its own predictions from y0 = [y(0), y(1)]."""
    K = len(u)
    y = np.zeros(K + 1)
    y[:2] = y0
    for k in range(1, K):
        y[k + 1] = step(np.array([[y[k], y[k - 1], u[k]]]))[0]
    return y[2:]


def knn_average(X, t, Q, k):
    """The mean of the targets of the k examples nearest to each query (Euclidean)."""
    out = np.empty(len(Q))
    for i, q in enumerate(Q):
        out[i] = t[np.argsort(((X - q) ** 2).sum(axis=1), kind="stable")[:k]].mean()
    return out


# --- The local-model network ---------------------------------------------

def fit_consequents(centres, norms, X, y):
    """Least squares for the local models, linear in the consequents given the validities."""
    N, n = X.shape
    c = len(centres)
    unit = np.zeros((c, c, n + 1))  # local model i outputs 1 in output i
    unit[np.arange(c), np.arange(c), n] = 1.0
    phi = netsim(X, centres, norms, unit)  # (N, c) normalised validities
    regressors = np.c_[X, np.ones(N)]
    Psi = (phi[:, :, None] * regressors[:, None, :]).reshape(N, c * (n + 1))
    theta = np.linalg.solve(Psi.T @ Psi + 1e-8 * np.eye(c * (n + 1)), Psi.T @ y)
    return theta.reshape(c, 1, n + 1)


def fit_network(X, y, c, overlap, rng):
    """k-means centres, norm matrices inv(cov) / (2 overlap^2), least-squares consequents."""
    N, n = X.shape
    centres = X[rng.permutation(N)[:c]].copy()
    for _ in range(50):
        member = ((X[:, None, :] - centres[None, :, :]) ** 2).sum(axis=2).argmin(axis=1)
        for i in range(c):
            if (member == i).any():
                centres[i] = X[member == i].mean(axis=0)
    spread = 0.05 * np.diag(X.var(axis=0, ddof=1))  # keeps small clusters' matrices bounded
    norms = np.empty((c, n, n))
    for i in range(c):
        Xi = X[member == i]
        S = spread + (np.cov(Xi, rowvar=False) if len(Xi) > n else 0)
        Ai = np.linalg.inv(S) / (2 * overlap**2)
        norms[i] = (Ai + Ai.T) / 2
    return dict(C=centres, A=norms, T=fit_consequents(centres, norms, X, y))


def _pairs(n):
    """The (r, s) entries with r >= s of an n-by-n matrix, in column-major order."""
    return [(r, s) for s in range(n) for r in range(s, n)]


def _pack(net):
    pairs = _pairs(net["C"].shape[1])
    lower = np.array([[A[r, s] for r, s in pairs] for A in net["A"]])
    return np.concatenate([net["C"].ravel(), lower.ravel(), net["T"].ravel()])


def _unpack(p, n, c):
    pairs = _pairs(n)
    m = len(pairs)
    A = np.zeros((c, n, n))
    lower = p[n * c:n * c + m * c].reshape(c, m)
    for k, (r, s) in enumerate(pairs):
        A[:, r, s] = A[:, s, r] = lower[:, k]
    return dict(C=p[:n * c].reshape(c, n).copy(), A=A, T=p[n * c + m * c:].reshape(c, 1, n + 1))


def _jacobian(net, X):
    """One row per example: dmat_params' columns for the centres and consequents, and for
    each norm-matrix entry below the diagonal the sum of its column and its mirror's (the
    pair moves together to keep the matrix symmetric)."""
    N, n = X.shape
    c = len(net["C"])
    pairs = _pairs(n)
    own = np.array([r + s * n for r, s in pairs])
    mirror = np.array([s + r * n for r, s in pairs])
    off = np.array([r != s for r, s in pairs], dtype=float)
    D = dmat_params(X, net["C"], net["A"], net["T"], 1, 1, 2, 15, batch=True)[0][:, 0]
    norms = D[:, n * c:n * c + n * n * c].reshape(N, c, n * n)  # entry (r, s) at r + s n
    paired = norms[:, :, own] + off * norms[:, :, mirror]
    return np.concatenate([D[:, :n * c], paired.reshape(N, -1), D[:, n * c + n * n * c:]],
                          axis=1)


def _positive_definite(A):
    try:
        for Ai in A:
            np.linalg.cholesky(Ai)
    except np.linalg.LinAlgError:
        return False
    return True


def refine_network(net, X, y, iterations):
    """Levenberg-Marquardt on the centres, the norm matrices' lower triangles and the
    consequents; a step that does not lower the error, or makes a norm matrix
    indefinite, is refused and the damping raised. Returns the network and the error
    sum after each iteration."""
    n, c = X.shape[1], len(net["C"])
    lam = 1e-2

    def sse(m):
        return float(((y - netsim(X, m["C"], m["A"], m["T"])[:, 0]) ** 2).sum())

    err = sse(net)
    history = []
    for _ in range(iterations):
        J = _jacobian(net, X)
        r = y - netsim(X, net["C"], net["A"], net["T"])[:, 0]
        H = J.T @ J
        g = J.T @ r
        p = _pack(net)
        for _ in range(10):
            step = np.linalg.solve(H + lam * np.diag(np.diag(H) + 1e-12), g)
            trial = _unpack(p + step, n, c)
            trial_err = sse(trial)
            if trial_err < err and _positive_definite(trial["A"]):
                net, err = trial, trial_err
                lam = max(lam / 3, 1e-7)
                break
            lam *= 4
        history.append(err)
    return net, np.array(history)


# --- The example -----------------------------------------------------------

def identify(**options):
    """Runs the example; returns a dict of results (see the module's help).

    Options (keywords) override `DEFAULTS`: n_train, n_val, noise, clusters, overlap,
    lm_iterations, grid, seed, figure (None draws nothing), quiet.
    """
    o = dict(DEFAULTS, **options)
    say = (lambda *a: None) if o["quiet"] else print
    rng = np.random.default_rng(o["seed"])
    u_train = rng.uniform(-2, 2, o["n_train"] + 1)
    X, y = simulate_plant(u_train, o["noise"], rng)
    u_val = np.sin(2 * np.pi * np.arange(o["n_val"] + 1) / 25)
    Xv, yv = simulate_plant(u_val, 0.0, rng)
    y0 = [0.0, 0.0]
    say(f"Training samples: {len(X)}, validation steps: {len(Xv)}, noise: {o['noise']:g}\n")

    models = []

    def add(name, step):
        start = time.perf_counter()
        run = free_run(step, u_val, y0)
        models.append((name, step(Xv), run, time.perf_counter() - start))

    theta = np.linalg.lstsq(np.c_[X, np.ones(len(X))], y, rcond=None)[0]
    add("linear ARX", lambda x: np.c_[x, np.ones(len(x))] @ theta)
    add("5-NN average", lambda x: knn_average(X, y, x, 5))
    add("nearpoly", lambda x: nearpoly(X, y, x, [1, 1, 1]))

    net0 = fit_network(X, y, o["clusters"], o["overlap"], rng)
    start = time.perf_counter()
    net, history = refine_network(net0, X, y, o["lm_iterations"])
    t_refine = time.perf_counter() - start
    add("network, unrefined", lambda x: netsim(x, net0["C"], net0["A"], net0["T"])[:, 0])
    add("network, refined", lambda x: netsim(x, net["C"], net["A"], net["T"])[:, 0])

    # A lookup table of the refined network's one-step map.
    lo, hi = X.min(axis=0), X.max(axis=0)
    b = [np.linspace(lo[k], hi[k], o["grid"][k]) for k in range(3)]
    nodes = np.stack([g.ravel() for g in np.meshgrid(*b, indexing="ij")], axis=1)
    table = netsim(nodes, net["C"], net["A"], net["T"])[:, 0].reshape(tuple(o["grid"]))
    add("lookup table", lambda x: gridval(x, table, *b))

    # Linearisation at two operating points, against the plant's Jacobian.
    points = np.array([[0.5, 0.5, 0.0], [1.5, 1.0, 0.5]])
    J_plant = plant_step(points)[1]
    J_net = dmat_inputs(points, net["C"], net["A"], net["T"], batch=True)[0][:, 0]

    # Speed of a deployed evaluation: many points at once.
    Q = lo + (hi - lo) * rng.random((20000, 3))
    start = time.perf_counter()
    netsim(Q, net["C"], net["A"], net["T"])
    t_net = time.perf_counter() - start
    start = time.perf_counter()
    gridval(Q, table, *b)
    t_lut = time.perf_counter() - start

    results = _report(models, yv, say)
    results.update(history=history, jacobian_network=J_net, jacobian_plant=J_plant,
                   points=points, table_speedup=t_net / t_lut, network=net)
    before = ((y - netsim(X, net0["C"], net0["A"], net0["T"])[:, 0]) ** 2).sum()
    after = history[-1] if len(history) else before
    say(f"\nNetwork: {o['clusters']} clusters, refined in {t_refine:.2f} s "
        f"({o['lm_iterations']} steps; error sum {before:.4g} -> {after:.4g}).")
    say("Linearisation (dy(k+1)/d[y(k) y(k-1) u(k)]):")
    for p, jn, jp in zip(points, J_net, J_plant):
        say(f"  at [{p[0]:4.1f} {p[1]:4.1f} {p[2]:4.1f}]  network [{jn[0]:6.3f} {jn[1]:6.3f} "
            f"{jn[2]:6.3f}]  plant [{jp[0]:6.3f} {jp[1]:6.3f} {jp[2]:6.3f}]")
    say(f"Lookup table: {'x'.join(map(str, o['grid']))} nodes; 20000 points in {t_lut:.4f} s "
        f"against {t_net:.4f} s for netsim ({t_net / t_lut:.1f}x).")
    results["figure"] = o["figure"]
    if o["figure"]:
        draw_report(o["figure"], u_val, yv, models, net, points, J_net, J_plant, results)
        say(f"\nFigure written to {o['figure']}")
    return results


def _report(models, yv, say):
    """Prints the table of errors and returns them by model."""
    say(f"{'model':<20} {'one-step RMSE':>14} {'free-run RMSE':>14} {'free NRMSE':>10} "
        f"{'time [s]':>10}")
    out = dict(names=[], one_step=[], free_run=[], seconds=[])
    for name, one_step, run, seconds in models:
        one = float(np.sqrt(np.mean((one_step - yv) ** 2)))
        free = float(np.sqrt(np.mean((run - yv) ** 2)))
        say(f"{name:<20} {one:14.4f} {free:14.4f} {free / np.std(yv, ddof=1):10.3f} "
            f"{seconds:10.3f}")
        for key, value in zip(("names", "one_step", "free_run", "seconds"),
                              (name, one, free, seconds)):
            out[key].append(value)
    return out


def draw_report(file, u, y, models, net, points, J_net, J_plant, results):
    """The figure, as a PNG: the free-run simulations, a slice of the one-step map with
    the network's tangents, the linearisation against the plant's, the table of errors."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig = plt.figure(figsize=(13.3, 9.6), dpi=90)
    top = fig.add_axes([0.06, 0.57, 0.72, 0.38])
    k = np.arange(1, min(100, len(y)) + 1)  # the first four periods
    top.plot(k, y[:len(k)], "k-", linewidth=2.5, label="plant")
    for index, style in zip([0, 2, 4, 5], ["-", "-", "--", ":"]):
        top.plot(k, models[index][2][:len(k)], style, linewidth=1.5, label=models[index][0])
    top.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0))
    top.set_xlabel("step k")
    top.set_ylabel("y(k)")
    top.set_title("Validation, u(k) = sin(2πk/25): free-run simulation of each model")
    top.grid(True)

    # y(k+1) along y(k) through each operating point, with the network's tangent.
    left = fig.add_axes([0.05, 0.07, 0.27, 0.38])
    a = np.linspace(-1, 3, 200)
    for i, p in enumerate(points):
        x = np.tile(p, (len(a), 1))
        x[:, 0] = a
        left.plot(a, plant_step(x)[0], "-", color=(0.55, 0.55, 0.55), linewidth=3.5,
                  label="plant" if i == 0 else None)
        left.plot(a, netsim(x, net["C"], net["A"], net["T"])[:, 0], "b--", linewidth=2,
                  label="network" if i == 0 else None)
        y_op = netsim(p[None], net["C"], net["A"], net["T"])[0, 0]
        near = np.abs(a - p[0]) < 0.6
        left.plot(a[near], y_op + J_net[i, 0] * (a[near] - p[0]), "r-", linewidth=2,
                  label="tangents" if i == 0 else None)
        left.plot(p[0], y_op, "ro", markersize=8)
        label = f"point {i + 1}: y(k-1) = {p[1]:g}, u(k) = {p[2]:g}"
        if i == 0:
            left.text(p[0] + 0.15, y_op - 0.3, label, ha="left", fontsize=9)
        else:
            left.text(p[0], y_op + 0.35, label, ha="center", fontsize=9)
    left.set_ylim(-0.6, 2.7)
    left.legend(loc="lower right")
    left.set_xlabel("y(k)")
    left.set_ylabel("y(k+1)")
    left.set_title("One-step map along y(k) at the operating points")
    left.grid(True)

    # The linearisation: plant and network at each operating point.
    middle = fig.add_axes([0.39, 0.07, 0.27, 0.38])
    colours = [(0.05, 0.25, 0.6), (0.45, 0.65, 0.95), (0.6, 0.15, 0.05), (0.95, 0.6, 0.4)]
    width = 0.8 / (2 * len(points))
    bars = []
    for i in range(len(points)):
        bars += [(J_plant[i], f"plant, point {i + 1}"), (J_net[i], f"network, point {i + 1}")]
    for j, (values, name) in enumerate(bars):
        middle.bar(np.arange(3) + (j - (len(bars) - 1) / 2) * width, values, width,
                   color=colours[j % len(colours)], label=name)
    middle.set_xticks(range(3), ["d/dy(k)", "d/dy(k-1)", "d/du(k)"])
    middle.set_ylim(0, 1.7)
    middle.legend(loc="upper left")
    middle.set_ylabel("derivative of y(k+1)")
    middle.set_title("Linearisation: plant (analytic) and network")
    middle.grid(True)

    # The table of errors and simulation times.
    right = fig.add_axes([0.70, 0.07, 0.28, 0.38])
    right.axis("off")
    columns = [0.0, 0.62, 0.82, 1.0]
    header = ["model", "one-step", "free-run", "time [s]"]
    for c, text in enumerate(header):
        right.text(columns[c], 0.86, text, fontweight="bold", ha="left" if c == 0 else "right")
    for i, name in enumerate(results["names"]):
        row = [name, f"{results['one_step'][i]:.4f}", f"{results['free_run'][i]:.4f}",
               f"{results['seconds'][i]:.3f}"]
        for c, text in enumerate(row):
            right.text(columns[c], 0.86 - 0.1 * (i + 1), text, ha="left" if c == 0 else "right")
    right.text(0, 0.86 - 0.1 * (len(results["names"]) + 1.8),
               f"RMSE over the {len(y)} validation steps;\ntime [s] of the free run")
    right.set_title("Errors and simulation time of each model")
    fig.savefig(file, dpi=90)
    plt.close(fig)


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m localmodels.demo",
                                     description="Identify a nonlinear plant with localmodels.")
    parser.add_argument("--figure", default=DEFAULTS["figure"],
                        help="PNG file to write (default: %(default)s)")
    parser.add_argument("--n-train", type=int, default=DEFAULTS["n_train"])
    parser.add_argument("--n-val", type=int, default=DEFAULTS["n_val"])
    parser.add_argument("--noise", type=float, default=DEFAULTS["noise"],
                        help="output noise std in the training data")
    parser.add_argument("--clusters", type=int, default=DEFAULTS["clusters"])
    parser.add_argument("--overlap", type=float, default=DEFAULTS["overlap"])
    parser.add_argument("--lm-iterations", type=int, default=DEFAULTS["lm_iterations"])
    parser.add_argument("--grid", type=int, nargs=3, default=DEFAULTS["grid"])
    parser.add_argument("--seed", type=int, default=DEFAULTS["seed"])
    parser.add_argument("--quiet", action="store_true")
    args = parser.parse_args(argv)
    identify(**vars(args))
    return 0


if __name__ == "__main__":
    sys.exit(main())
