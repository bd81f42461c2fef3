#!/bin/sh
# Writes OUTDIR/localmodels-<version>.tar.gz, an Octave package that
# `pkg install` builds from the same sources as CMake.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build}
version=$(sed -n 's/^project(localmodels VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name=localmodels-$version
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
pkg=$stage/$name
mkdir -p "$pkg/inst" "$pkg/src/mex" "$pkg/src/help" "$out"
sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$(date -u +%Y-%m-%d)/" \
    "$root/tools/octave_package/DESCRIPTION.in" > "$pkg/DESCRIPTION"
cp "$root/tools/octave_package/INDEX" "$pkg/INDEX"
cp "$root/LICENSE" "$pkg/COPYING"
cp "$root"/mex/*.m "$pkg/src/help/"
# The identification functions are plain M-files: inst/, helpers in inst/private/.
mkdir -p "$pkg/inst/private"
cp "$root"/sysid/*.m "$pkg/inst/"
cp "$root"/sysid/private/*.m "$pkg/inst/private/"
cp "$root/tools/octave_package/Makefile.src" "$pkg/src/Makefile"
cp "$root"/mex/*.cpp "$root"/mex/*.h "$root/mex/sources.txt" "$pkg/src/mex/"
(cd "$root" && find core -name '*.cpp' -o -name '*.h') | while read -r f; do
  mkdir -p "$pkg/src/$(dirname "$f")"
  cp "$root/$f" "$pkg/src/$f"
done
tar -C "$stage" -czf "$out/$name.tar.gz" "$name"
echo "$out/$name.tar.gz"
