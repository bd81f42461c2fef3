"""Writes, or compares with a file written before, the results of the
problems of problems.py: every output's bits and every refusal. Run by
pip_install.sh with an installed package and with the build tree's, which
must agree to the last bit.

    python3 same_results.py write FILE
    python3 same_results.py compare FILE
"""

import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import localmodels  # noqa: E402
from problems import all_problems  # noqa: E402


def results():
    chunks = []
    for pr in all_problems(count=60):
        try:
            out = getattr(localmodels, pr.plugin)(*pr.args, **pr.kwargs)
        except localmodels.Error as e:
            chunks.append(f"{e.identifier}|{e}".encode())
            continue
        for a in out if isinstance(out, tuple) else (out,):
            chunks.append(repr(a.shape).encode() + np.ascontiguousarray(a).tobytes())
    return b"\0".join(chunks)


def main(mode, path):
    data = results()
    if mode == "write":
        with open(path, "wb") as f:
            f.write(data)
        return 0
    with open(path, "rb") as f:
        same = f.read() == data
    print(f"{localmodels.__file__}: {'the same bits' if same else 'DIFFERENT results'}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
