#!/bin/sh
# Fails when the machine code of a static library holds a fused multiply-add
# (x86: vfmadd, vfmsub, vfnmadd, vfnmsub and their addsub forms, FMA3, FMA4
# and AVX-512; aarch64: fmadd, fmsub, fnmadd, fnmsub, fmla, fmls): every
# result must be the written order's separate multiply and add, whatever
# the compiler, its flags or the vector level.
#
# One exception, by symbol name: functions in namespace localmodels::math
# (the sources in core/math/), whose correctly rounded functions may fuse on
# purpose. Only code inside those functions is passed over; a fused
# instruction of theirs inlined into another function still fails.
#
#   no_fused_multiply_add.sh OBJDUMP LIBRARY
set -eu
objdump=$1
library=$2
listing=$(mktemp)
trap 'rm -f "$listing"' EXIT
"$objdump" -d -C --no-show-raw-insn "$library" > "$listing"

awk '
  /^[0-9a-f]+ <.*>:$/ {
    functions++
    name = $0
    exempt = index($0, "<localmodels::math::") > 0
    next
  }
  /^ *[0-9a-f]+:/ { instructions++ }
  !exempt && tolower($0) ~ /[ \t](v?fn?m(add|sub)[a-z0-9]*|fml[as][a-z0-9]*)[ \t.]/ {
    print "fused multiply-add in " name
    print "  " $0
    found++
  }
  END {
    if (functions == 0 || instructions == 0) {
      print "no code disassembled"
      exit 2
    }
    printf "%d functions, %d instructions, %d fused multiply-adds\n", functions, instructions, found
    exit found > 0
  }
' "$listing"
