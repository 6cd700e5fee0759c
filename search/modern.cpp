#include "modern.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace velk_sr::algorithms {

namespace {

// The cache that a core has to itself, when the system does not say: the size of the processors
// this was measured on.
constexpr std::int64_t assumed_cache_bytes = std::int64_t{1} << 20;

// Above this many entries a run is larger than the core's own level-2 cache, and a probe may wait
// for the shared cache or for memory: prefetching the next probes then pays for the two
// instructions it adds to every step. Measured on a 1 MiB level-2 cache: inside it the prefetches
// cost a quarter more per search; about its size they break even; beyond it a search is 1.2 to 2
// times as fast with them. The system is asked once.
std::size_t prefetch_from() {
  static const std::size_t entries = [] {
    const std::int64_t bytes = ::sysconf(_SC_LEVEL2_CACHE_SIZE);
    return static_cast<std::size_t>(bytes > 0 ? bytes : assumed_cache_bytes) / sizeof(list_entry);
  }();
  return entries;
}

// Where halving `length` entries from index `first` ends, and the steps it took.
struct halved {
  std::size_t at;
  std::int32_t steps;
};

// Each step keeps the upper part when the key just below it is smaller than the target, so the
// entry left at the end is the first whose key is not smaller, or the last of the range when
// every key is. The select compiles to a conditional move. With `prefetching`, each step down to
// three entries fetches both possible next probes ahead; below that the probes left lie next to
// the one being read.
template <bool prefetching>
halved halve(entries run, std::size_t first, std::size_t length, key_type target) {
  std::int32_t steps = 0;
  if constexpr (prefetching) {
    while (length > 2) {
      const std::size_t half = length / 2;
      length -= half;
      __builtin_prefetch(&run[first + length / 2 - 1]);
      __builtin_prefetch(&run[first + half + length / 2 - 1]);
      first += run[first + half - 1].key < target ? half : 0;
      ++steps;
    }
  }
  while (length > 1) {
    const std::size_t half = length / 2;
    first += run[first + half - 1].key < target ? half : 0;
    length -= half;
    ++steps;
  }
  return {first, steps};
}

halved narrow(entries run, std::size_t first, std::size_t length, key_type target) {
  return length > prefetch_from() ? halve<true>(run, first, length, target)
                                  : halve<false>(run, first, length, target);
}

// The result at 0-based index `at`, after `tests` ordering tests and one equality test there.
counted_search tested_at(entries run, std::size_t at, key_type target, std::int32_t tests) {
  const bool found = run[at].key == target;
  return {found, found ? static_cast<std::int32_t>(at) + 1 : 0, tests + 1};
}

// The probe that interpolates the target's value between the keys at `low` and `high` (1-based,
// low < high), clamped to low..high. The offset's numerator is below 2^32 times 2^30 in size, so
// 64 bits hold it; equal keys at the ends divide by 1 instead of 0, which places the probe at the
// end the target lies towards.
std::int32_t interpolated(entries run, std::int32_t low, std::int32_t high, key_type target) {
  const std::int64_t low_key = run[static_cast<std::size_t>(low - 1)].key;
  const std::int64_t high_key = run[static_cast<std::size_t>(high - 1)].key;
  const std::int64_t span = high - low;
  const std::int64_t offset =
      (std::int64_t{target} - low_key) * span / std::max<std::int64_t>(high_key - low_key, 1);
  return low + static_cast<std::int32_t>(std::clamp<std::int64_t>(offset, 0, span));
}

}  // namespace

counted_search branchless(entries run, key_type target) {
  if (run.empty()) {
    return {};
  }
  const halved end = narrow(run, 0, run.size(), target);
  return tested_at(run, end.at, target, end.steps);
}

// The lowest position whose key is not smaller than the target lies in low..high + 1: every key
// below `low` is smaller, every key above `high` is not. A probe moves one of the two past
// itself, so the range loses at least the probe at every test.
counted_search interpolation(entries run, key_type target) {
  const auto size = static_cast<std::int32_t>(run.size());
  std::int32_t low = 1;
  std::int32_t high = size;
  std::int32_t tests = 0;
  int weak_in_a_row = 0;
  while (low <= high) {
    const std::int32_t before = high - low + 1;
    const std::int32_t probe =
        weak_in_a_row == 2 ? low + (before - 1) / 2 : interpolated(run, low, high, target);
    ++tests;
    if (run[static_cast<std::size_t>(probe - 1)].key < target) {
      low = probe + 1;
    } else {
      high = probe - 1;
    }
    const std::int32_t after = high - low + 1;
    weak_in_a_row = 2 * after <= before ? 0 : weak_in_a_row + 1;
  }
  if (low > size) {
    return {false, 0, tests};
  }
  return tested_at(run, static_cast<std::size_t>(low - 1), target, tests);
}

// Galloping ends at a position `bound` whose key is not smaller than the target, or at the first
// power of two not below the size; the key at bound / 2 was smaller (or bound is 1), so the lowest
// position whose key is not smaller lies after bound / 2 and at or before bound, or beyond the run.
counted_search exponential(entries run, key_type target) {
  if (run.empty()) {
    return {};
  }
  std::int32_t tests = 0;
  std::size_t bound = 1;
  while (bound < run.size()) {
    ++tests;
    if (!(run[bound - 1].key < target)) {
      break;
    }
    bound *= 2;
  }
  const std::size_t first = bound / 2;
  const halved end = narrow(run, first, std::min(bound, run.size()) - first, target);
  return tested_at(run, end.at, target, tests + end.steps);
}

}  // namespace velk_sr::algorithms
