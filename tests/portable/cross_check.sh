#!/bin/sh
# The core cross-built for other platforms, each with its own C library,
# gives the native build's bits: hash_outputs prints a hash of every output
# per plug-in (and of exp and pow themselves), and the lines of every run
# are compared with the native run's one by one.
#
#   cross_check.sh NATIVE_HASH_OUTPUTS SOURCE_DIR WORK_DIR
#
# The legs, each skipped with a line saying what is missing:
#   aarch64   aarch64-linux-gnu-g++, run under qemu-aarch64
#   windows   x86_64-w64-mingw32-g++-posix (MinGW-w64, posix threads), under wine
#   i386      i686-linux-gnu-g++ (g++-i686-linux-gnu) or g++ -m32 (g++-multilib)
#             with -msse2 -mfpmath=sse, run natively; and the same compiler
#             with -mfpmath=387 must refuse to build the core
# and natively the widest vector level against LOCALMODELS_SIMD=scalar.
# On a difference, the first differing output is shown with its inputs.
set -eu
native=$1 src=$2 work=$3
mkdir -p "$work"
cd "$work"
# Our own make below, not the job server of a make that runs ctest.
unset MAKEFLAGS MFLAGS MAKELEVEL
unset LOCALMODELS_SIMD LOCALMODELS_THREADS
start=$(date +%s)
core=$(sed -n 's/^core //p' "$src/mex/sources.txt")
if [ -z "$core" ]; then
    echo "cross_check: no 'core' line in $src/mex/sources.txt"
    exit 1
fi
have() { command -v "$1" > /dev/null 2>&1; }

# build LEG CXX FLAGS LINK_FLAGS OUTPUT: the core's sources as
# mex/sources.txt lists them and hash_outputs, in LEG/, as make_plugins.m
# builds the plug-ins: -O2, no contraction (aarch64 fuses multiply-adds by
# default), omp simd only.
build() {
    leg=$1 cxx=$2 flags=$3 link=$4 out=$5
    mkdir -p "$leg"
    objects=""
    for f in $core tests/portable/hash_outputs.cpp; do objects="$objects obj/${f%.cpp}.o"; done
    {
        echo "CXX = $cxx"
        echo "CXXFLAGS = -std=c++17 -O2 -DNDEBUG -ffp-contract=off -fopenmp-simd -pthread $flags" \
             "-Wall -Wextra -I$src -MMD -MP"
        echo "objects =$objects"
        echo "$out: \$(objects)"
        printf '\t@echo "  link %s/$@"\n' "$leg"
        printf '\t@$(CXX) -static -pthread %s -o $@ $(objects)\n' "$link"
        echo "obj/%.o: $src/%.cpp Makefile"
        printf '\t@echo "  %s $*.cpp"\n\t@mkdir -p $(@D)\n\t@$(CXX) $(CXXFLAGS) -c $< -o $@\n' "$leg"
        echo '-include $(objects:.o=.d)'
    } > "$leg/Makefile.new"
    # Rewritten only when it changes, so that a rerun rebuilds only what changed.
    if cmp -s "$leg/Makefile.new" "$leg/Makefile"; then
        rm "$leg/Makefile.new"
    else
        mv "$leg/Makefile.new" "$leg/Makefile"
    fi
    make -C "$leg" -j2 --no-print-directory "$out"
}

status=0
run() {  # run NAME FUNCTION ARGS...: the lines in NAME.txt
    name=$1
    shift
    if ! "$@" > "$name.txt"; then
        echo "FAIL: $name: hash_outputs failed:"
        cat "$name.txt"
        status=1
        return 1
    fi
}

here() { "$native" "$@"; }
here_scalar() { LOCALMODELS_SIMD=scalar "$native" "$@"; }
arm() { qemu-aarch64 aarch64/hash_outputs "$@"; }
# Wine writes \r\n and keeps its state in a prefix of our own.
windows() {
    WINEPREFIX="$work/wine-prefix" WINEDEBUG=-all wine windows/hash_outputs.exe "$@" 2> /dev/null |
        tr -d '\r'
}
i386() { i386/hash_outputs "$@"; }

table() {  # table A B LABEL_A LABEL_B: the two runs side by side
    printf '%-20s %-16s %-16s\n' line "$3" "$4"
    paste -d ' ' "$1" "$2" |
        awk '{ printf "%-20s %s %s %s\n", $1, $2, $6, ($2 == $6 && $3 == $7) ? "same" : "DIFFERENT" }'
}

differs() {  # the two runs differ in a line
    [ -n "$(paste -d ' ' "$1" "$2" | awk '$1 != $5 || $2 != $6 || $3 != $7 { print $1 }')" ] ||
        [ "$(wc -l < "$1")" != "$(wc -l < "$2")" ]
}

# The first differing output of two runs and the problem it comes from.
explain() {  # explain FUNCTION_A LABEL_A FUNCTION_B LABEL_B
    fa=$1 la=$2 fb=$3 lb=$4
    "$fa" --dump > "dump.$la.txt" || true
    "$fb" --dump > "dump.$lb.txt" || true
    first=$(awk 'NR == FNR { a[FNR] = $0; next } a[FNR] != $0 { print FNR; exit }' \
        "dump.$la.txt" "dump.$lb.txt")
    [ -n "$first" ] || return 0
    echo "first difference, line $first of the dumps:"
    echo "  $la: $(sed -n "${first}p" "dump.$la.txt")"
    echo "  $lb: $(sed -n "${first}p" "dump.$lb.txt")"
    set -- $(sed -n "${first}p" "dump.$la.txt")
    "$fa" --show "$1" "$2" > "show.$la.txt" || true
    "$fb" --show "$1" "$2" > "show.$lb.txt" || true
    echo "the problem on $la:"
    cat "show.$la.txt"
    echo "what differs on $lb:"
    diff "show.$la.txt" "show.$lb.txt" || true
}

compare() {  # compare FUNCTION LABEL: every line the same as the native run's
    echo
    echo "== $host and $2 (every line) =="
    table "$host.txt" "$2.txt" "$host" "$2"
    if differs "$host.txt" "$2.txt"; then
        echo "FAIL: the outputs differ between $host and $2"
        explain here "$host" "$1" "$2"
        status=1
    fi
}

host=$(uname -m)
run "$host" here
run "$host.scalar" here_scalar
compare here_scalar "$host.scalar"

if have aarch64-linux-gnu-g++ && have qemu-aarch64; then
    build aarch64 aarch64-linux-gnu-g++ "" "" hash_outputs && run aarch64 arm && compare arm aarch64
else
    echo "SKIP aarch64: needs aarch64-linux-gnu-g++ and qemu-aarch64 (g++-aarch64-linux-gnu qemu-user)"
fi

if have x86_64-w64-mingw32-g++-posix && have wine; then
    build windows x86_64-w64-mingw32-g++-posix "" "" hash_outputs.exe && run windows windows &&
        compare windows windows
else
    echo "SKIP windows: needs x86_64-w64-mingw32-g++-posix and wine (g++-mingw-w64-x86-64 wine64)"
fi

# A 32-bit x86 compiler that builds a threaded C++ program, if any.
i386_cxx=""
printf '#include <cerrno>\n#include <thread>\nint main() { return 0; }\n' > m32.cpp
if have i686-linux-gnu-g++ && i686-linux-gnu-g++ -static -pthread m32.cpp -o m32 2> /dev/null; then
    i386_cxx=i686-linux-gnu-g++
elif g++ -m32 -static -pthread m32.cpp -o m32 2> /dev/null; then
    i386_cxx="g++ -m32"
fi
if [ "$host" = x86_64 ] && [ -n "$i386_cxx" ]; then
    build i386 "$i386_cxx" "-msse2 -mfpmath=sse" "" hash_outputs && run i386 i386 && compare i386 i386
    # x87 arithmetic (excess precision) must stop the build with the way out.
    if $i386_cxx -mfpmath=387 -std=c++17 -I"$src" -fsyntax-only "$src/core/math/exp.cpp" \
        > x87.txt 2>&1; then
        echo "FAIL: the core builds with x87 arithmetic"
        status=1
    elif grep -q -- '-msse2 -mfpmath=sse' x87.txt; then
        echo "x87: refused, as it must be ($(grep -m1 -o 'error: .*' x87.txt))"
    else
        echo "FAIL: an x87 build fails without saying what to do:"
        cat x87.txt
        status=1
    fi
else
    echo "SKIP i386: needs i686-linux-gnu-g++ (g++-i686-linux-gnu) or g++ -m32 (g++-multilib)" \
         "on an x86-64 host"
fi

echo
echo "total: $(($(date +%s) - start)) s"
[ "$status" -eq 0 ] && echo "same bits on every platform that ran"
exit "$status"
