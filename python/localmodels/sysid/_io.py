"""Models to and from plain .npz files: arrays and a JSON header, no pickle."""

import json

import numpy as np

from .._network import Network
from ._model import Model
from ._orders import Orders

__all__ = ["lm_save", "lm_load"]

FORMAT = "localmodels.sysid.Model/1"


def lm_save(path, model):
    """Write a model to an .npz file that `lm_load` reads back exactly."""
    o = model.orders
    head = {"format": FORMAT, "kind": model.kind, "na": o.na, "nb": o.nb, "nk": o.nk,
            "clamp": model.clamp, "clamp_margin": model.clamp_margin,
            "info": _plain(model.info)}
    arrays = {"output_range": model.output_range, "regressor_range": model.regressor_range}
    if model.network is not None:
        net = model.network
        head["network"] = {"normalize": net.normalize, "validity": net.validity,
                           "fuzziness": net.fuzziness}
        arrays.update(centres=net.centres, norm_matrices=net.norm_matrices,
                      consequents=net.consequents)
    if model.examples is not None:
        e = model.examples
        head["examples"] = {k: getattr(e, k) is not None
                            for k in ("comb_par", "cov_init", "weights")}
        arrays.update(data_x=e.data_x, data_y=e.data_y, id_par=e.id_par)
        for k, present in head["examples"].items():
            if present:
                arrays[k] = np.asarray(getattr(e, k), dtype=float)
    if model.table is not None:
        head["breakpoints"] = len(model.table.breakpoints)
        arrays["tables"] = model.table.tables
        for k, b in enumerate(model.table.breakpoints):
            arrays[f"breakpoint_{k}"] = b
    np.savez(path, header=np.array(json.dumps(head)), **arrays)


def lm_load(path):
    """Read a model written by `lm_save`."""
    from .._narx import NearPolyModel, TableModel
    with np.load(path, allow_pickle=False) as f:
        head = json.loads(str(f["header"]))
        if head.get("format") != FORMAT:
            raise ValueError(f"{path} is not a model saved by lm_save.")
        a = {k: f[k] for k in f.files if k != "header"}
    m = Model(head["kind"], Orders(tuple(head["na"]), tuple(head["nb"]), tuple(head["nk"])),
              a["output_range"], a["regressor_range"], head["clamp"],
              head.get("clamp_margin", 0.0), info=head["info"])
    if "network" in head:
        m.network = Network(a["centres"], a["norm_matrices"], a["consequents"], **head["network"])
    if "examples" in head:
        extra = {k: (a[k] if present else None) for k, present in head["examples"].items()}
        m.examples = NearPolyModel(a["data_x"], a["data_y"], id_par=a["id_par"], **extra)
    if "breakpoints" in head:
        m.table = TableModel(a["tables"], [a[f"breakpoint_{k}"]
                                           for k in range(head["breakpoints"])])
    return m


def _plain(v):
    """info as JSON: arrays become lists."""
    if isinstance(v, dict):
        return {str(k): _plain(x) for k, x in v.items()}
    if isinstance(v, (list, tuple)):
        return [_plain(x) for x in v]
    if isinstance(v, np.ndarray):
        return v.tolist()
    if isinstance(v, np.generic):
        return v.item()
    return v
