"""Identification on real records: fit on the estimation records, choose
every setting on a validation tail of them, simulate the test records freely,
and print one table beside the published figures.

    python3 bench/sysid_benchmark.py [DATA_DIR] [--quick]

DATA_DIR defaults to ../shared/data; a data set that is not there is skipped.
No setting is ever chosen on a test record.
"""

import argparse
import itertools
import os
import sys
import time

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "build", "python"))

from localmodels import sysid  # noqa: E402


def silverbox(folder):
    """The official split: multisine [40650:127400], its first 75 % for
    estimation, the rest and the arrow [100:40575] for test; RMSE over y[50:]
    in mV."""
    d = np.genfromtxt(os.path.join(folder, "silverbox", "SNLS80mV.csv"), delimiter=",",
                      skip_header=1, usecols=(0, 1))
    d = d[~np.isnan(d).any(axis=1)]
    u, y = d[:, 0], d[:, 1]
    ms_u, ms_y = u[40650:127400], y[40650:127400]
    n = int(0.75 * len(ms_u))
    arrow_u, arrow_y = u[100:40575], y[100:40575]
    tests = {"multisine": (ms_u[n:], ms_y[n:]),
             "arrow (no extrap.)": (arrow_u[:32000], arrow_y[:32000]),
             "arrow (full)": (arrow_u, arrow_y)}
    published = {"multisine": {"LTI ARX": 6.95, "polynomial NARX": 0.640, "best known": 0.36},
                 "arrow (no extrap.)": {"LTI ARX": 6.59, "polynomial NARX": 0.571,
                                        "best known": 0.32},
                 "arrow (full)": {"LTI ARX": 14.2, "polynomial NARX": 2.25, "best known": 0.26}}
    return dict(name="Silverbox", u=ms_u[:n], y=ms_y[:n], tests=tests, skip=50, scale=1000.0,
                unit="mV", published=published)


def daisy(folder, sub, file, u_cols, y_col, split):
    d = np.genfromtxt(os.path.join(folder, sub, file), delimiter=",", skip_header=1)
    u, y = d[:, u_cols], d[:, y_col]
    return dict(u=u[:split], y=y[:split], tests={"last samples": (u[split:], y[split:])},
                skip=10, scale=1.0, unit="", published={})


DATASETS = {
    "silverbox": silverbox,
    "dryer": lambda f: dict(daisy(f, "daisy_dryer", "dryer.csv", [0], 1, 500), name="dryer"),
    "exchanger": lambda f: dict(daisy(f, "daisy_exchanger", "exchanger.csv", [1], 2, 3000),
                                name="heat exchanger"),
    "ph": lambda f: dict(daisy(f, "daisy_ph", "pHdata.csv", [1, 2], 3, 1500), name="pH"),
}


def rmse(model, u, y, skip):
    sim = sysid.lm_simulate(model, u, y[:max(model.orders.lag, skip)])
    e = sim[skip:].reshape(len(y) - skip, -1)[:, 0] - np.asarray(y)[skip:]
    return float(np.sqrt(np.mean(e ** 2))) if np.all(np.isfinite(e)) else np.inf


# The guard, when chosen, holds a run within the estimation outputs' range
# widened by this fraction of its span on each side: it stops a divergence
# without clipping test outputs a little beyond what estimation reached.
MARGIN = 0.1

# A later (larger, or guarded) grid point must beat the best so far by this
# factor on the validation tail: near-ties go to the simpler setting.
PARSIMONY = 0.99


def choose(kind, grid, fit, val, skip, best=(np.inf, None, None)):
    """The grid point of least free-run RMSE on the validation tail."""
    for values in itertools.product(*grid.values()):
        s = dict(zip(grid, values))
        na, nb, nk = s.pop("na"), s.pop("nb"), s.pop("nk")
        extra = {"validation": val} if kind == "network" else {}
        m = sysid.lm_fit(*fit, na, nb, nk, kind, progress=None, clamp_margin=MARGIN, **extra,
                         **s)
        e = rmse(m, *val, skip)
        if e < PARSIMONY * best[0]:
            best = (e, dict(s, na=na, nb=nb, nk=nk), m)
    return best


def final_fit(kind, setting, est, m):
    """The chosen setting fitted on all the estimation records."""
    s = dict(setting)
    na, nb, nk = s.pop("na"), s.pop("nb"), s.pop("nk")
    if kind == "network":  # as many local models as the validation chose
        s.update(max_models=m.network.n_clusters, patience=10 ** 6)
    t = time.perf_counter()
    model = sysid.lm_fit(*est, na, nb, nk, kind, progress=None, clamp_margin=MARGIN, **s)
    return model, time.perf_counter() - t


def grids(quick):
    part = [[0], list(range(2))]
    if quick:
        return {"arx": {"na": [2, 4], "nb": [2, 4], "nk": [0, 1]},
                "network": {"na": [3, 5], "nb": [3, 5], "nk": [0], "max_models": [20],
                            "partition_inputs": part, "clamp": [False, True]},
                "nearpoly": {"na": [3], "nb": [3], "nk": [0], "id_par": [(1, 1, 1)],
                             "clamp": [False, True]}}
    return {"arx": {"na": [2, 3, 4, 6, 8, 10], "nb": [2, 3, 4, 6, 8, 10], "nk": [0, 1]},
            "network": {"na": [3, 5, 8], "nb": [3, 5, 8], "nk": [0, 1], "max_models": [20, 40],
                        "partition_inputs": part, "clamp": [False, True]},
            "nearpoly": {"na": [3, 5], "nb": [3, 5], "nk": [0, 1],
                         "id_par": [(1, 1, 1), (2, 2, 2)], "clamp": [False, True]}}


def same_orders(grid):
    """Orders tried as na = nb (a square grid is too large to fit)."""
    g = dict(grid)
    orders = g.pop("na")
    g.pop("nb")
    return orders, g


def run(data, quick, kinds):
    est = (data["u"], data["y"])
    cut = int(0.8 * len(data["y"]))
    fit = (data["u"][:cut], data["y"][:cut])
    val = (data["u"][cut:], data["y"][cut:])
    rows, delay = [], None
    for kind in kinds:
        orders, g = same_orders(grids(quick)[kind])
        if delay is not None:  # the delay the linear model found, for the others
            g["nk"] = [delay]
        best = (np.inf, None, None)
        for o in orders:
            best = choose(kind, dict({"na": [o], "nb": [o]}, **g), fit, val, data["skip"], best)
        if best[1] is None:
            continue
        if kind == "arx":
            delay = best[1]["nk"]
        model, fit_time = final_fit(kind, best[1], est, best[2])
        for test, (u, y) in data["tests"].items():
            t = time.perf_counter()
            e = rmse(model, u, y, data["skip"]) * data["scale"]
            sim_time = time.perf_counter() - t
            rows.append((data["name"], test, kind, best[1], e, fit_time, sim_time))
        print(f"  {data['name']}: {kind} chosen {best[1]} "
              f"(validation {best[0] * data['scale']:.3f} {data['unit']})", flush=True)
    return rows


def describe(s):
    keep = {k: v for k, v in s.items() if k not in ("na", "nb", "nk")}
    text = f"na={s['na']} nb={s['nb']} nk={s['nk']}"
    return text + "".join(f" {k}={v}" for k, v in keep.items())


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("data", nargs="?", default=os.path.join(HERE, "..", "..", "shared", "data"))
    ap.add_argument("--quick", action="store_true", help="a small grid")
    ap.add_argument("--sets", default="silverbox,dryer,exchanger,ph")
    ap.add_argument("--kinds", default="arx,network,nearpoly")
    args = ap.parse_args()
    rows, published = [], {}
    for key in args.sets.split(","):
        try:
            data = DATASETS[key](args.data)
        except OSError:
            print(f"{key}: not in {args.data}; skipped")
            continue
        published[data["name"]] = data["published"]
        rows += run(data, args.quick, args.kinds.split(","))
    print(f"\n| data | test record | model | settings (chosen on validation) | free-run RMSE "
          f"| fit s | simulation s | published (same record) |")
    print("|---|---|---|---|---|---|---|---|")
    for name, test, kind, s, e, ft, st in rows:
        pub = published.get(name, {}).get(test, {})
        ref = ", ".join(f"{k} {v}" for k, v in pub.items())
        print(f"| {name} | {test} | {kind} | {describe(s)} | {e:.4g} | {ft:.2f} | {st:.2f} "
              f"| {ref} |")


if __name__ == "__main__":
    main()
