// The search algorithms, each written once over an ascending run of entries of any length, with
// the comparisons it counts. The list's routines (velk_sr.hpp) run them on the entries of a list;
// the lab runs them on arrays of plain keys far larger than a list holds. Each algorithm takes
// runs of list entries and of plain unsigned keys of 32 and 64 bits (entries.hpp), and on the same
// key values gives the same results and counts for every entry type: what is said below holds for
// each of them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "entries.hpp"
#include "kernels.hpp"

namespace velk_sr::algorithms {

// Examines the entries from the first until the key matches; counts one comparison per entry
// examined. Not found: `location` is the size (the last entry examined). An empty run examines
// and counts nothing and gives `location` 0. The entries are compared many at a time by the scan
// kernel chosen for this processor and entry type; the count follows from where the first match
// lies. At most n comparisons for n entries.
template <run_entry Entry>
counted_search sequential(std::span<const Entry> run, key_type_of<Entry> target);

// The same search with the given scan kernel, which the processor must support.
template <run_entry Entry>
counted_search sequential(std::span<const Entry> run, key_type_of<Entry> target,
                          const kernels::scan_kernel<Entry>& kernel);

// The most that sequential counts on a run of n entries.
constexpr std::int32_t sequential_bound(std::int32_t n) { return n; }

// Narrows the range 1..size to one position, probing (bottom + top) / 2 and keeping the first
// position whose key is not smaller than the target, then tests that position for equality.
// Counts one for each probe whose key is smaller than the target, plus one for the final test
// when the run is not empty: at most ceil(log2 size) + 1. `location` is that final position,
// found or not (0 when empty): with duplicates, the lowest position of the key.
// Defined here, so that a caller's loop or face compiles it in place: a call and the return
// of its result would cost as much as several probes.
template <run_entry Entry>
inline counted_search binary1(std::span<const Entry> run, key_type_of<Entry> target) {
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
    kernels::narrow(key_of(run[mid]), target, mid, bottom, top, counted);
  }
  // The last probe, made only where two entries are left: it probes the first of them.
  const std::uint32_t smaller = (key_of(run[bottom]) < target ? 1U : 0U) & (bottom < top ? 1U : 0U);
  counted += smaller;
  bottom += smaller;
  // One more for the final test for equality.
  return {key_of(run[bottom]) == target, static_cast<std::int32_t>(bottom + 1),
          static_cast<std::int32_t>(counted + 1)};
}

// The most that binary1 and recbinary1 count on a run of n entries (none when it is empty).
constexpr std::int32_t binary1_bound(std::int32_t n) { return n == 0 ? 0 : ceil_log2(n) + 1; }

// The recursive form of binary1 over bottom..top: the same probes, result and count for
// bottom 1 and top size. Any other range may be given: a probe outside 1..size raises the
// constraint failure. `location` is 0 when bottom > top.
template <run_entry Entry>
counted_search recbinary1(std::span<const Entry> run, key_type_of<Entry> target,
                          std::int32_t bottom, std::int32_t top);

// Tests the middle entry of bottom..top for equality first and stops at the first probe that
// matches (with duplicates, not always the lowest position). Each probe counts one for the
// equality test and, when that fails, one more for the ordering test: at most floor(log2 size)
// + 1 probes, so 2 (floor(log2 size) + 1). `location` is the last position probed, found or not
// (0 when the run is empty).
template <run_entry Entry>
counted_search binary2(std::span<const Entry> run, key_type_of<Entry> target);

// The most that binary2 and recbinary2 count on a run of n entries (none when it is empty).
constexpr std::int32_t binary2_bound(std::int32_t n) {
  return n == 0 ? 0 : 2 * (floor_log2(n) + 1);
}

// The recursive form of binary2 over bottom..top: the same probes and count for bottom 1 and top
// size; not found, `location` is 0. A probe outside 1..size raises the constraint failure.
template <run_entry Entry>
counted_search recbinary2(std::span<const Entry> run, key_type_of<Entry> target,
                          std::int32_t bottom, std::int32_t top);

}  // namespace velk_sr::algorithms
