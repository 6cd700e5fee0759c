// The search algorithms, each written once over an ascending run of entries of any length, with
// the comparisons it counts. The list's routines (velk_sr.hpp) run them on the entries of a list;
// the lab runs them on arrays far larger than a list holds.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "kernels.hpp"
#include "velk_sr.hpp"

namespace velk_sr::algorithms {

// The entries searched: position 1 is the first entry of the run. Runs are shorter than 2^30
// entries, so that the sum of two positions never leaves 32 bits.
using entries = std::span<const list_entry>;

// What one search of a run finds. `location` is a position in the run (1..size), or 0 when the
// algorithm has none to give; what it holds after an unsuccessful search is stated for each
// algorithm. `comparisons` is what the search counted under the algorithm's rule.
struct counted_search {
  bool found = false;
  std::int32_t location = 0;
  std::int32_t comparisons = 0;
};

// Examines the entries from the first until the key matches; counts one comparison per entry
// examined. Not found: `location` is the size (the last entry examined). An empty run examines
// and counts nothing and gives `location` 0. The entries are compared many at a time by the scan
// kernel chosen for this processor; the count follows from where the first match lies.
counted_search sequential(entries run, key_type target);

// The same search with the given scan kernel, which the processor must support.
counted_search sequential(entries run, key_type target, const kernels::scan_kernel& kernel);

// Narrows the range 1..size to one position, probing (bottom + top) / 2 and keeping the first
// position whose key is not smaller than the target, then tests that position for equality.
// Counts one for each probe whose key is smaller than the target, plus one for the final test
// when the run is not empty. `location` is that final position, found or not (0 when empty):
// with duplicates, the lowest position of the key.
// Defined here, so that a caller's loop or face compiles it in place: a call and the return
// of its result would cost as much as several probes.
inline counted_search binary1(entries run, key_type target) {
  if (run.empty()) {
    return {};
  }
  // A probe keeps the lower half of bottom..top with the probe itself, ceil(length / 2)
  // entries, or the upper half, floor(length / 2); so after d probes every search has
  // floor(size / 2^d) entries left or one more, and the first bit_width(size - 1) - 1 probes are
  // made by every search. Those run in a loop whose length depends on the size alone, so that
  // the processor never waits on a comparison to learn whether another probe follows, and the
  // comparison sets the new range by conditional moves, not a jump.
  // Positions count from 0 here: the probe (bottom + top) / 2 of positions from 1 is the same
  // entry as (bottom + top) / 2 of positions from 0.
  std::size_t bottom = 0;
  std::size_t top = run.size() - 1;
  std::uint32_t counted = 0;
  for (int probes = static_cast<int>(std::bit_width(run.size() - 1)) - 1; probes > 0; --probes) {
    const std::size_t mid = (bottom + top) / 2;
    kernels::narrow(run[mid].key, target, mid, bottom, top, counted);
  }
  // The last probe, made only where two entries are left: it probes the first of them.
  const std::uint32_t smaller = (run[bottom].key < target ? 1U : 0U) & (bottom < top ? 1U : 0U);
  counted += smaller;
  bottom += smaller;
  // One more for the final test for equality.
  return {run[bottom].key == target, static_cast<std::int32_t>(bottom + 1),
          static_cast<std::int32_t>(counted + 1)};
}

// The recursive form of binary1 over bottom..top: the same probes, result and count for
// bottom 1 and top size. Any other range may be given: a probe outside 1..size raises the
// constraint failure. `location` is 0 when bottom > top.
counted_search recbinary1(entries run, key_type target, std::int32_t bottom, std::int32_t top);

// Tests the middle entry of bottom..top for equality first and stops at the first probe that
// matches (with duplicates, not always the lowest position). Each probe counts one for the
// equality test and, when that fails, one more for the ordering test. `location` is the last
// position probed, found or not (0 when the run is empty).
counted_search binary2(entries run, key_type target);

// The recursive form of binary2 over bottom..top: the same probes and count for bottom 1 and top
// size; not found, `location` is 0. A probe outside 1..size raises the constraint failure.
counted_search recbinary2(entries run, key_type target, std::int32_t bottom, std::int32_t top);

}  // namespace velk_sr::algorithms
