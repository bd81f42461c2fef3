"""A short run of the demo, asserting what a user relies on: nearpoly and
the network beat the linear baseline, refinement improves the network, the
lookup table stays close to the network it was built from, the linearisation
is near the plant's Jacobian, and the figure is written."""

import numpy as np

from localmodels import demo


def test_the_demo_identifies_the_plant(tmp_path):
    figure = tmp_path / "demo.png"
    r = demo.identify(n_train=600, figure=str(figure), quiet=True)
    one = dict(zip(r["names"], r["one_step"]))
    run = dict(zip(r["names"], r["free_run"]))
    assert one["nearpoly"] < one["linear ARX"] and run["nearpoly"] < run["linear ARX"]
    assert one["network, refined"] < one["network"]
    assert run["network, refined"] < run["network"] < run["linear ARX"]
    assert r["sse"]["network, refined"] < r["sse"]["network"]
    assert run["lookup table"] < 2 * run["network, refined"]
    # The slopes of a blend of local planes: near the plant's, the input's closest.
    assert np.abs(r["jacobian_network"] - r["jacobian_plant"]).max() < 0.7
    assert np.abs(r["jacobian_network"][:, 2] - r["jacobian_plant"][:, 2]).max() < 0.05
    assert figure.stat().st_size > 10000


def test_the_command_line(tmp_path, capsys):
    figure = tmp_path / "small.png"
    assert demo.main(["--figure", str(figure), "--n-train", "200", "--n-val", "50",
                      "--lm-iterations", "2", "--grid", "5", "5", "3"]) == 0
    assert "Figure written to" in capsys.readouterr().out
    assert figure.stat().st_size > 10000
