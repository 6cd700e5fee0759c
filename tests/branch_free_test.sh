#!/usr/bin/env bash
# binary1 must compile to a probe loop without a branch on the comparison, at -O2 and -O3: the
# loop that holds its conditional moves is one straight run of instructions closed by a single
# conditional jump back (on the number of probes left), with no other jump inside it.
#
#   branch_free_test.sh COMPILER SOURCE_ROOT
set -euo pipefail
compiler=$1
root=$2

for level in -O2 -O3; do
  "$compiler" -std=c++20 "$level" -I"$root" -S -o - "$root/search/algorithms.cpp" |
    awk -v level="$level" '
      /^_ZN7velk_sr10algorithms7binary1E[^:]*:/ { inside = 1; next }
      inside && /^\t\.cfi_endproc/ { inside = 0 }
      !inside { next }
      /^\.L[0-9A-Za-z_]+:/ { label = $0; sub(/:.*/, "", label); defined[label] = n; next }
      /^\t[a-z]/ {
        split($0, parts, /[ \t]+/); op = parts[2]; target = parts[3]
        ops[++n] = op; targets[n] = target
        if (op ~ /^cmov/ && first_cmov == 0) first_cmov = n
      }
      END {
        if (first_cmov == 0) { print level ": binary1 has no conditional move"; exit 1 }
        for (i = first_cmov; i <= n; i++) {
          if (ops[i] ~ /^j/ && ops[i] != "jmp" && (targets[i] in defined) && defined[targets[i]] < first_cmov) {
            back = i; start = defined[targets[i]] + 1; break
          }
        }
        if (back == 0) { print level ": no loop closes around the conditional moves of binary1"; exit 1 }
        for (i = start; i < back; i++) {
          if (ops[i] ~ /^j/) { print level ": a jump (" ops[i] " " targets[i] ") inside the probe loop of binary1"; exit 1 }
        }
        print level ": the probe loop of binary1 is " (back - start + 1) " instructions without a jump but the one back"
      }'
done
