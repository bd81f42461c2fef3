#!/bin/sh
# The core cross-built for aarch64 and run under qemu gives the same bits as
# the native build: hash_outputs prints a hash of every output per plug-in,
# and the lines of the two runs are compared one by one.
#
#   cross_check.sh NATIVE_HASH_OUTPUTS SOURCE_DIR WORK_DIR AARCH64_CXX QEMU
#
# Three comparisons, each line by line:
#   1. with --portable-libm (exp and pow of plain arithmetic): every line,
#      so all of the core's own arithmetic, strictly;
#   2. with the system's exp and pow: every line, except that where the
#      `libm` line itself differs (the two C libraries round some exp or pow
#      differently) the lines of the Gaussian and fuzzy validities (+libm)
#      and the total are reported as libm-dependent, with the calls that
#      differ, instead of failing;
#   3. natively, the widest vector level against LOCALMODELS_SIMD=scalar.
# On a difference, the first differing output is shown with its inputs.
set -eu
native=$1 src=$2 work=$3 cxx=$4 qemu=$5
host=$(uname -m)
mkdir -p "$work"
cd "$work"
# Our own make below, not the job server of a make that runs ctest.
unset MAKEFLAGS MFLAGS MAKELEVEL
unset LOCALMODELS_SIMD LOCALMODELS_THREADS

# --- The cross build: the core's sources as mex/sources.txt lists them -------
start=$(date +%s)
core=$(sed -n 's/^core //p' "$src/mex/sources.txt")
if [ -z "$core" ]; then
    echo "cross_check: no 'core' line in $src/mex/sources.txt"
    exit 1
fi
objects=""
for f in $core tests/portable/hash_outputs.cpp; do objects="$objects obj/${f%.cpp}.o"; done
{
    echo "CXX = $cxx"
    # As make_plugins.m builds the plug-ins: -O2, no contraction (aarch64
    # fuses multiply-adds by default), omp simd only.
    echo "CXXFLAGS = -std=c++17 -O2 -DNDEBUG -ffp-contract=off -fopenmp-simd -pthread" \
         "-Wall -Wextra -I$src -MMD -MP"
    echo "objects =$objects"
    echo 'hash_outputs: $(objects)'
    printf '\t@echo "  link $@"\n'
    printf '\t@$(CXX) -static -pthread -Wl,--wrap=exp,--wrap=pow -o $@ $(objects)\n'
    echo "obj/%.o: $src/%.cpp Makefile"
    printf '\t@echo "  aarch64 $*.cpp"\n\t@mkdir -p $(@D)\n\t@$(CXX) $(CXXFLAGS) -c $< -o $@\n'
    echo '-include $(objects:.o=.d)'
} > Makefile.new
# Rewritten only when it changes, so that a rerun rebuilds only what changed.
if cmp -s Makefile.new Makefile; then rm Makefile.new; else mv Makefile.new Makefile; fi
make -j2 --no-print-directory hash_outputs
built=$(date +%s)
echo "cross build: $((built - start)) s"

# --- The runs ------------------------------------------------------------------
here() { "$native" "$@"; }
here_scalar() { LOCALMODELS_SIMD=scalar "$native" "$@"; }
arm() { "$qemu" ./hash_outputs "$@"; }

status=0
libm_note=no
run() {  # run NAME FUNCTION ARGS...: the lines in NAME.txt
    name=$1
    shift
    if ! "$@" > "$name.txt"; then
        echo "FAIL: $name: hash_outputs failed:"
        cat "$name.txt"
        status=1
    fi
}
run "$host.portable" here --portable-libm
run aarch64.portable arm --portable-libm
run "$host" here
run aarch64 arm
run "$host.scalar" here_scalar
echo "runs: $(($(date +%s) - built)) s"
[ "$status" -eq 0 ] || exit 1

# The names of the lines that differ between two runs.
differing() {
    paste -d ' ' "$1" "$2" | awk '$1 != $5 || $2 != $6 || $3 != $7 { print $1 }'
}

table() {  # table A B: the two runs side by side
    printf '%-17s %-16s %-16s\n' line "$3" "$4"
    paste -d ' ' "$1" "$2" |
        awk '{ printf "%-17s %s %s %s\n", $1, $2, $6, ($2 == $6 && $3 == $7) ? "same" : "DIFFERENT" }'
}

# The first differing output of two runs and the problem it comes from.
explain() {  # explain FUNCTION_A LABEL_A FUNCTION_B LABEL_B ARGS...
    fa=$1 la=$2 fb=$3 lb=$4
    shift 4
    "$fa" --dump "$@" > "dump.$la.txt" || true
    "$fb" --dump "$@" > "dump.$lb.txt" || true
    first=$(awk 'NR == FNR { a[FNR] = $0; next } a[FNR] != $0 { print FNR; exit }' \
        "dump.$la.txt" "dump.$lb.txt")
    [ -n "$first" ] || return 0
    echo "first difference, line $first of the dumps:"
    echo "  $la:      $(sed -n "${first}p" "dump.$la.txt")"
    echo "  $lb: $(sed -n "${first}p" "dump.$lb.txt")"
    set -- $(sed -n "${first}p" "dump.$la.txt")
    if [ "$1" != libm ]; then
        "$fa" --show "$1" "$2" > "show.$la.txt" || true
        "$fb" --show "$1" "$2" > "show.$lb.txt" || true
        echo "the problem on $la:"
        cat "show.$la.txt"
        echo "what differs on $lb:"
        diff "show.$la.txt" "show.$lb.txt" || true
    fi
}

# exp and pow calls with the same arguments and different results.
libm_evidence() {  # libm_evidence LABEL_A LABEL_B
    grep '^libm ' "dump.$1.txt" > "libm.$1.txt" || true
    grep '^libm ' "dump.$2.txt" > "libm.$2.txt" || true
    awk -v la="$1" -v lb="$2" 'NR == FNR { r[$2] = $0; next }
        ($2 in r) { split(r[$2], a, " ")
                    if (a[3] != $3) { ++n; if (n <= 10) {
                        print "  " $2 " (" $4 (NF == 6 ? ", " $5 : "") ")"
                        print "      " la ": " a[3] " = " a[NF]
                        print "      " lb ": " $3 " = " $NF } } }
        END { print "  " n + 0 " calls with the same arguments round differently" }' \
        "libm.$1.txt" "libm.$2.txt"
}

echo
echo "== 1. $host and aarch64, exp and pow of plain arithmetic (strict) =="
table "$host.portable.txt" aarch64.portable.txt "$host" aarch64
if [ -n "$(differing "$host.portable.txt" aarch64.portable.txt)" ]; then
    echo "FAIL: the core's own arithmetic differs between $host and aarch64"
    explain here "$host" arm aarch64 --portable-libm
    status=1
fi

echo
echo "== 2. $host and aarch64, the system's exp and pow =="
table "$host.txt" aarch64.txt "$host" aarch64
diffs=$(differing "$host.txt" aarch64.txt)
if [ -n "$diffs" ]; then
    libm_only=yes
    echo "$diffs" | grep -qx libm || libm_only=no
    for l in $diffs; do
        case $l in libm | total | *+libm) ;; *) libm_only=no ;; esac
    done
    if [ "$libm_only" = yes ]; then
        libm_note=yes
        echo "NOTE: the system libm differs: these exp and pow calls give other bits on" \
             "$host and on aarch64:"
        explain here "$host" arm aarch64
        libm_evidence "$host" aarch64
        echo "NOTE: so the lines marked +libm (Gaussian and fuzzy validities) and the total" \
             "differ with the system libm; they are reported, not compared. Every other" \
             "line is the same, and with exp and pow of plain arithmetic (1.) every line is."
    else
        echo "FAIL: outputs differ between $host and aarch64 beyond what libm explains"
        explain here "$host" arm aarch64
        status=1
    fi
fi

echo
echo "== 3. $host, the widest vector level and scalar (strict) =="
table "$host.txt" "$host.scalar.txt" "$host" scalar
if [ -n "$(differing "$host.txt" "$host.scalar.txt")" ]; then
    echo "FAIL: the vector paths differ from the scalar ones"
    explain here "$host" here_scalar scalar
    status=1
fi

echo
echo "total: $(($(date +%s) - start)) s"
if [ "$status" -eq 0 ]; then
    if [ "$libm_note" = yes ]; then
        echo "same bits on $host and aarch64 for the core's own arithmetic; the system libm" \
             "differs (see NOTE), so the +libm lines differ with it"
    else
        echo "same bits on $host and aarch64"
    fi
fi
exit "$status"
