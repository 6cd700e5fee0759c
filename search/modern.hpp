// The search methods that programs use today beside the textbook ones: branch-free halving with
// prefetch, interpolation with a guard, and galloping. Each searches an ascending run as the
// algorithms of algorithms.hpp do, gives the same contract (found, and then the lowest position
// whose key equals the target) and counts by the same words: one for each ordering test of the
// target against a key, one for each equality test. Like them, each takes runs of every entry
// type and counts the same on the same key values. The breadth-first layout is in eytzinger.hpp.
#pragma once

#include <cstdint>
#include <span>

#include "entries.hpp"

namespace velk_sr::algorithms {

// Halves a length rather than moving two bounds: the range of `length` entries from `first`
// loses its lower half when the key just below its middle is smaller than the target, its upper
// half otherwise, with a conditional move and no branch on the outcome, until one entry is left;
// that entry is tested for equality. Once the run is larger than the processor's level-2 cache,
// each step prefetches the entries of both possible next probes, so that the memory works on the
// next step while this one waits.
//
// Counts one for each halving step (an ordering test) and one for the final equality test:
// ceil(log2 size) + 1 for every target, none when the run is empty. Not found: `location` is 0.
template <run_entry Entry>
counted_search branchless(std::span<const Entry> run, key_type_of<Entry> target);

// The same search for each target, written to the result at the same index (`results` is at least
// as long as `targets`), in lockstep in groups of up to 256: every search halves the same lengths,
// so each step halves the range of every search of the group once and prefetches the entry that
// the search probes next, so that the waits for memory of the group's searches overlap. Each
// result and count is that of the search above.
template <run_entry Entry>
void branchless(std::span<const Entry> run, std::span<const key_type_of<Entry>> targets,
                std::span<counted_search> results);

// What branchless counts on a run of n entries, whatever the target.
constexpr std::int32_t branchless_bound(std::int32_t n) { return n == 0 ? 0 : ceil_log2(n) + 1; }

// Interpolation search for the lowest position whose key is not smaller than the target, then
// one equality test there. Each probe is placed where the target's value lies between the keys
// at the two ends of the range, computed exactly for keys of any width (equal keys at the ends
// place it at the end the target lies towards), and the probe's ordering test drops one
// side of it. Whenever two interpolated probes in a row each leave more than half of the range,
// the next probe halves it, so no input takes more than 3 floor(log2 size) + 3 probes.
//
// Counts one for each probe (an ordering test) and one for the final equality test, which is
// made unless every key is smaller than the target: at most 3 floor(log2 size) + 4. Reading the
// keys at the range's ends to place a probe tests nothing and counts nothing. Not found:
// `location` is 0.
template <run_entry Entry>
counted_search interpolation(std::span<const Entry> run, key_type_of<Entry> target);

// The most that interpolation counts on a run of n entries (none when it is empty).
constexpr std::int32_t interpolation_bound(std::int32_t n) {
  return n == 0 ? 0 : 3 * floor_log2(n) + 4;
}

// Exponential (galloping) search from the front: tests the keys at positions 1, 2, 4, 8, ...
// until one is not smaller than the target or the next would be the run's last position or lie
// beyond it, then narrows the bracket between the last two positions as branchless does, and
// tests the position it ends on for equality.
//
// Counts one for each galloping test and each halving step (ordering tests) and one for the
// final equality test: at most 2 ceil(log2 size) + 1, fewer the nearer the front the target
// lies; none when the run is empty. Not found: `location` is 0.
template <run_entry Entry>
counted_search exponential(std::span<const Entry> run, key_type_of<Entry> target);

// The most that exponential counts on a run of n entries (none when it is empty).
constexpr std::int32_t exponential_bound(std::int32_t n) {
  return n == 0 ? 0 : 2 * ceil_log2(n) + 1;
}

}  // namespace velk_sr::algorithms
