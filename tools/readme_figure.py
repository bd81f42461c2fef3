"""Draws docs/identifying_a_system.png from the README's worked example:
    PYTHONPATH=build/python python3 tools/readme_figure.py
"""

import numpy as np
from localmodels import sysid

rng = np.random.default_rng(0)

def tanks(u):
    """Two tanks in cascade: u fills the first, the level of the second is measured."""
    h = np.zeros((len(u), 2))
    for t in range(1, len(u)):
        h1, h2 = np.maximum(h[t - 1], 0.0)
        h[t] = (h1 + 0.5 * (u[t - 1] - 0.5 * np.sqrt(h1)),
                h2 + 0.5 * (0.5 * np.sqrt(h1) - 0.4 * np.sqrt(h2)))
    return h[:, 1] + 0.002 * rng.normal(size=len(u))

u = np.repeat(rng.uniform(0, 1, 100), 20)        # estimation record, 2000 samples
y = tanks(u)
u_val = np.repeat(rng.uniform(0, 1, 30), 20)     # validation record
y_val = tanks(u_val)

arx = sysid.lm_fit(u, y, na=2, nb=2, kind="arx")
net = sysid.lm_fit(u, y, na=2, nb=2, kind="network", max_models=12,
                   validation=(u_val, y_val))
for name, model in [("ARX", arx), ("network", net)]:
    sim = sysid.lm_simulate(model, u_val, y_val)    # free run from y_val's first 2 samples
    print(name, sysid.lm_compare(y_val, sim)["fit"])

# A linear model at the operating point u = 0.5 (the level settles at 1.5625)
lin = sysid.lm_linearize(net, u0=0.5, y0=1.5625)
print(lin["A"], lin["B"])                           # y(t) = A [y(t-1) y(t-2)]' + B [u(t-1) u(t-2)]' + offset

table = sysid.lm_table(net, 15, records=(u, y))     # 15 breakpoints a regressor: 50625 nodes
print(table.info["max_error"])                      # its largest error on the estimation regressors
sysid.lm_save("tanks.npz", net)                     # reloads with sysid.lm_load, same bits

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt

t = np.arange(len(y_val))
fig, ax = plt.subplots(figsize=(9, 3.6), dpi=90)
ax.plot(t, y_val, "k", lw=2, label="measured (validation)")
for name, model, style in [("linear ARX", arx, "C0-"), ("local-model network", net, "C3--"),
                           ("its lookup table", table, "C2:")]:
    fit = sysid.lm_compare(y_val, sysid.lm_simulate(model, u_val, y_val))["fit"][0]
    ax.plot(t, sysid.lm_simulate(model, u_val, y_val), style, lw=1.5,
            label=f"{name}, free run (fit {fit:.1f} %)")
ax.set_xlabel("sample")
ax.set_ylabel("level of tank 2")
ax.legend(loc="upper left", fontsize=8)
ax.grid(True)
fig.tight_layout()
fig.savefig("docs/identifying_a_system.png")
