#!/bin/sh
# pip install --no-build-isolation of a copy of the source tree into a new
# virtual environment that sees the system's packages (nothing is
# downloaded), then: import it from elsewhere, run the demo's command line,
# and compare its results bit for bit with the build tree's module.
#   pip_install.sh PYTHON SOURCE_DIR BUILD_PYTHON_DIR
set -eu
python=$1
source=$2
build_python=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/src"
for f in setup.py pyproject.toml README.md LICENSE core mex python; do
  cp -R "$source/$f" "$tmp/src/"
done
rm -rf "$tmp/src/python/localmodels.egg-info"
"$python" -m venv --without-pip --system-site-packages "$tmp/venv"
venv_python="$tmp/venv/bin/python"
cd "$tmp"
"$venv_python" -m pip install --quiet --no-build-isolation --no-index \
  --disable-pip-version-check "$tmp/src" 2>&1 | grep -v "Running pip as the 'root' user" || true
"$venv_python" -c "import localmodels; print(localmodels.__file__)" | grep -q "^$tmp/venv/"
"$venv_python" -m localmodels.demo --figure "$tmp/demo.png" --n-train 200 --n-val 50 \
  --lm-iterations 2 --grid 5 5 3 --quiet
test -s "$tmp/demo.png"
PYTHONPATH="$build_python" "$python" "$source/tests/python/same_results.py" write "$tmp/built.bin"
"$venv_python" "$source/tests/python/same_results.py" compare "$tmp/built.bin"
