"""The main example: a nonlinear plant identified with localmodels.sysid.

Simulates the benchmark plant

    y(k+1) = y(k) y(k-1) (y(k) + 2.5) / (1 + y(k)^2 + y(k-1)^2) + u(k),

identifies it from 1000 samples driven by a uniform input in [-2, 2], and
validates on 250 steps of u(k) = sin(2 pi k / 25), each model in free run:

- a linear ARX model (`lm_fit(..., 'arx')`), the baseline;
- `nearpoly` on the stored samples (`lm_fit(..., 'nearpoly')`);
- a local linear model network grown by `lmn_train` (`lm_fit(..., 'network')`),
  then refined by Levenberg-Marquardt, and linearised (`lm_linearize`) at two
  operating points against the plant's Jacobian;
- a lookup table of the refined network (`lm_table`), simulated by `gridval`.

It prints a table of one-step and free-run errors and writes a figure::

    python3 -m localmodels.demo                  # writes identify_system.png
    python3 -m localmodels.demo --figure out.png --noise 0.05
"""

import argparse
import sys
import time

import numpy as np

from . import netsim, sysid

DEFAULTS = dict(n_train=1000, n_val=250, noise=0.0, clusters=20, lm_iterations=20,
                grid=(41, 41, 21), seed=1, figure="identify_system.png", quiet=False)

# y(t) from y(t-1), y(t-2) and u(t-1): the plant's own regressor [y(k), y(k-1), u(k)].
ORDERS = dict(na=2, nb=1, nk=1)


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


def run_plant(u, noise, rng):
    """The plant's outputs from rest under the inputs u, with measurement noise."""
    y = np.zeros(len(u))
    for k in range(1, len(u) - 1):
        y[k + 1] = plant_step([y[k], y[k - 1], u[k]])[0][0]
    return y + noise * rng.normal(size=y.shape)


def identify(**options):
    """Runs the example; returns a dict of results (see the module's help).

    Options (keywords) override `DEFAULTS`: n_train, n_val, noise, clusters,
    lm_iterations, grid, seed, figure (None draws nothing), quiet.
    """
    o = dict(DEFAULTS, **options)
    say = (lambda *a: None) if o["quiet"] else print
    rng = np.random.default_rng(o["seed"])
    u, y = rng.uniform(-2, 2, o["n_train"] + 2), None
    y = run_plant(u, o["noise"], rng)
    u_val = np.sin(2 * np.pi * np.arange(o["n_val"] + 2) / 25)
    y_val = run_plant(u_val, 0.0, rng)
    say(f"Training samples: {len(u)}, validation steps: {len(u_val) - 2}, "
        f"noise: {o['noise']:g}\n")

    fits = {}
    start = time.perf_counter()
    fits["linear ARX"] = sysid.lm_fit(u, y, kind="arx", **ORDERS)
    fits["nearpoly"] = sysid.lm_fit(u, y, kind="nearpoly", id_par=(1, 1, 1), **ORDERS)
    fits["network"] = sysid.lm_fit(u, y, kind="network", max_models=o["clusters"],
                                   patience=o["clusters"], progress=None, **ORDERS)
    fits["network, refined"] = sysid.lm_fit(u, y, kind="network", max_models=o["clusters"],
                                            patience=o["clusters"],
                                            lm_iterations=o["lm_iterations"], progress=None,
                                            **ORDERS)
    t_fit = time.perf_counter() - start
    net = fits["network, refined"]
    fits["lookup table"] = sysid.lm_table(net, list(o["grid"]))

    models = []
    for name, m in fits.items():
        begin = time.perf_counter()
        run = sysid.lm_simulate(m, u_val, y_val[:2])[2:, 0]
        seconds = time.perf_counter() - begin
        models.append((name, sysid.lm_predict(m, u_val, y_val)[2:, 0], run, seconds))

    # Linearisation at two operating points, against the plant's Jacobian.
    points = np.array([[0.5, 0.5, 0.0], [1.5, 1.0, 0.5]])
    J_plant = plant_step(points)[1]
    J_net = np.array([sysid.lm_linearize(net, regressor=p)["gradient"][0] for p in points])

    results = _report(models, y_val[2:], say)
    results.update(jacobian_network=J_net, jacobian_plant=J_plant, points=points,
                   network=net.network, models=fits,
                   sse={k: fits[k].info["sse"] for k in ("network", "network, refined")},
                   max_table_error=float(fits["lookup table"].info["max_error"] is None
                                         and np.nan or np.max(fits["lookup table"].info[
                                             "max_error"])))
    say(f"\nFits in {t_fit:.2f} s. Network: {net.network.n_clusters} local models; "
        f"refined, error sum {results['sse']['network']:.4g} -> "
        f"{results['sse']['network, refined']:.4g}.")
    say("Linearisation (dy(k+1)/d[y(k) y(k-1) u(k)]):")
    for p, jn, jp in zip(points, J_net, J_plant):
        say(f"  at [{p[0]:4.1f} {p[1]:4.1f} {p[2]:4.1f}]  network [{jn[0]:6.3f} {jn[1]:6.3f} "
            f"{jn[2]:6.3f}]  plant [{jp[0]:6.3f} {jp[1]:6.3f} {jp[2]:6.3f}]")
    say(f"Lookup table: {'x'.join(map(str, o['grid']))} nodes.")
    results["figure"] = o["figure"]
    if o["figure"]:
        draw_report(o["figure"], u_val[2:], y_val[2:], models, net.network, points, J_net,
                    J_plant, results)
        say(f"\nFigure written to {o['figure']}")
    return results


def _report(models, yv, say):
    """Prints the table of errors and returns them by model."""
    say(f"{'model':<20} {'one-step RMSE':>14} {'free-run RMSE':>14} {'free NRMSE':>10} "
        f"{'time [s]':>10}")
    out = dict(names=[], one_step=[], free_run=[], seconds=[])
    for name, one_step, run, seconds in models:
        one = float(sysid.lm_compare(yv, one_step)["rmse"][0])
        free = float(sysid.lm_compare(yv, run)["rmse"][0])
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
    for index, style in zip([0, 1, 3, 4], ["-", "-", "--", ":"]):
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
        left.plot(a, netsim(x, net)[:, 0], "b--", linewidth=2,
                  label="network" if i == 0 else None)
        y_op = netsim(p[None], net)[0, 0]
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
    parser.add_argument("--clusters", type=int, default=DEFAULTS["clusters"],
                        help="most local models of the network")
    parser.add_argument("--lm-iterations", type=int, default=DEFAULTS["lm_iterations"])
    parser.add_argument("--grid", type=int, nargs=3, default=DEFAULTS["grid"])
    parser.add_argument("--seed", type=int, default=DEFAULTS["seed"])
    parser.add_argument("--quiet", action="store_true")
    args = parser.parse_args(argv)
    identify(**vars(args))
    return 0


if __name__ == "__main__":
    sys.exit(main())
