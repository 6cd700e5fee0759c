#!/usr/bin/env bash
# binary1 must compile to a probe loop without a branch on the comparison, at -O2 and -O3. It is
# defined in its header and compiled in place wherever it is called; here it is compiled out of
# line, on a run whose length the compiler cannot know, as the lab calls it. (Inside the list's
# binary1search the compiler knows that a list holds 10000 entries at most and may unroll the
# loop whole, branching only on the number of probes left.) The loop that holds its conditional
# moves is one straight run of instructions closed by a single
# conditional jump back (on the number of probes left), with no other jump inside it. It is checked
# for each entry type: list entries, and plain keys of 32 and 64 bits.
#
#   branch_free_test.sh COMPILER SOURCE_ROOT
set -euo pipefail
compiler=$1
root=$2

for entry in velk_sr::list_entry std::uint32_t std::uint64_t; do
for level in -O2 -O3; do
  printf '%s\n' '#include "search/algorithms.hpp"' \
    'velk_sr::algorithms::counted_search binary1_out_of_line(' \
    "    std::span<const $entry> run, velk_sr::algorithms::key_type_of<$entry> target) {" \
    '  return velk_sr::algorithms::binary1(run, target);' \
    '}' |
    "$compiler" -std=c++20 "$level" -I"$root" -x c++ -S -o - - |
    awk -v level="$level $entry" '
      /^_Z19binary1_out_of_line[^:]*:/ { inside = 1; next }
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
done
