#!/bin/sh
# Installs the build tree into a temporary prefix, then builds and runs a
# small C++ consumer against it with find_package, and checks that the
# plug-ins and their help files landed where the README says.
set -eu
build=$1
source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
for f in nearpoly.mex gridval.mex netsim.mex dmat_inputs.mex dmat_params.mex \
         lmn_train.mex nearpoly.m lmn_train.m Contents.m lm_fit.m private/model_step.m; do
  test -f "$prefix/share/localmodels/octave/$f" || { echo "missing $f"; exit 1; }
done
cmake -S "$source/tests/install/consumer" -B "$prefix/consumer" \
      -DCMAKE_PREFIX_PATH="$prefix" > /dev/null
cmake --build "$prefix/consumer" > /dev/null
"$prefix/consumer/consumer"
