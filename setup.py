"""Builds the Python package localmodels: the extension localmodels._core from
the core's sources (the group `core` of mex/sources.txt, the list CMake and
make_plugins.m read too) and python/*.cpp, with the project's
floating-point flags, and the package in python/localmodels.

    pip install --no-build-isolation .

Nothing is downloaded: numpy, pybind11's headers, setuptools and wheel come
from the system (Debian: python3-numpy, pybind11-dev, python3-setuptools,
python3-wheel).
"""

import os

from setuptools import Extension, setup

HERE = os.path.dirname(os.path.abspath(__file__))


def core_sources():
    with open(os.path.join(HERE, "mex", "sources.txt")) as f:
        for line in f:
            words = line.split()
            if words and words[0] == "core":
                return words[1:]
    raise RuntimeError("mex/sources.txt lists no core sources")


def pybind11_include():
    try:
        import pybind11
    except ImportError:
        return []  # Debian's pybind11-dev puts the headers in /usr/include
    return [pybind11.get_include()]


extension = Extension(
    "localmodels._core",
    sources=core_sources() + ["python/module.cpp", "python/bind_narx.cpp",
                                "python/bind_nearpoly.cpp", "python/bind_train.cpp"],
    include_dirs=["."] + pybind11_include(),
    language="c++",
    # As the CMake Release build compiles the plug-ins: results are those of
    # the written evaluation order, so no contraction into fused
    # multiply-adds and no fast-math option.
    # -fno-fast-math after the interpreter's own flags and any CFLAGS.
    extra_compile_args=["-std=c++17", "-O3", "-DNDEBUG", "-ffp-contract=off", "-fno-fast-math",
                        "-fopenmp-simd", "-fvisibility=hidden"],
    extra_link_args=["-pthread"],
)

setup(
    ext_modules=[extension],
    package_dir={"": "python"},
    packages=["localmodels", "localmodels.sysid"],
    # Beside CMake's own files in build/, and two compiles at a time.
    options={"build": {"build_base": "build/setuptools"}, "build_ext": {"parallel": 2}},
)
