#include "modern.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "kernels.hpp"
#include "lockstep.hpp"

namespace velk_sr::algorithms {

namespace {

// The cache that a core has to itself, when the system does not say: the size of the processors
// this was measured on.
constexpr std::int64_t assumed_cache_bytes = std::int64_t{1} << 20;

// The bytes of the level-2 cache that a core has to itself. The system is asked once.
std::size_t level2_bytes() {
  static const std::size_t bytes = [] {
    const std::int64_t reported = ::sysconf(_SC_LEVEL2_CACHE_SIZE);
    return static_cast<std::size_t>(reported > 0 ? reported : assumed_cache_bytes);
  }();
  return bytes;
}

// Above this many entries a run is larger than the core's own level-2 cache, and a probe may wait
// for the shared cache or for memory: prefetching the next probes then pays for the two
// instructions it adds to every step. Measured on a 1 MiB level-2 cache: inside it the prefetches
// cost a quarter more per search; about its size they break even; beyond it a search is 1.2 to 2
// times as fast with them.
template <run_entry Entry>
std::size_t prefetch_from() {
  return level2_bytes() / sizeof(Entry);
}

// Where halving `length` entries from index `first` ends, and the steps it took.
struct halved {
  std::size_t at;
  std::int32_t steps;
};

// One step: the range of `length` entries from `first` keeps its upper part, `length - half`
// entries from first + half, when the key just below that part is smaller than the target.
template <run_entry Entry>
std::size_t kept(std::span<const Entry> run, std::size_t first, std::size_t half,
                 key_type_of<Entry> target) {
  const std::size_t upper = first + half;
  return kernels::kept_part(key_of(run[upper - 1]), target, first, upper);
}

// Each step keeps the upper part when the key just below it is smaller than the target, so the
// entry left at the end is the first whose key is not smaller, or the last of the range when
// every key is. The select compiles to a conditional move. With `prefetching`, each step down to
// three entries fetches both possible next probes ahead; below that the probes left lie next to
// the one being read.
template <bool prefetching, run_entry Entry>
halved halve(std::span<const Entry> run, std::size_t first, std::size_t length,
             key_type_of<Entry> target) {
  std::int32_t steps = 0;
  if constexpr (prefetching) {
    while (length > 2) {
      const std::size_t half = length / 2;
      length -= half;
      __builtin_prefetch(&run[first + length / 2 - 1]);
      __builtin_prefetch(&run[first + half + length / 2 - 1]);
      first = kept(run, first, half, target);
      ++steps;
    }
  }
  while (length > 1) {
    const std::size_t half = length / 2;
    first = kept(run, first, half, target);
    length -= half;
    ++steps;
  }
  return {first, steps};
}

template <run_entry Entry>
halved narrow(std::span<const Entry> run, std::size_t first, std::size_t length,
              key_type_of<Entry> target) {
  return length > prefetch_from<Entry>() ? halve<true>(run, first, length, target)
                                         : halve<false>(run, first, length, target);
}

// The result at 0-based index `at`, after `tests` ordering tests and one equality test there.
template <run_entry Entry>
counted_search tested_at(std::span<const Entry> run, std::size_t at, key_type_of<Entry> target,
                         std::int32_t tests) {
  const bool found = key_of(run[at]) == target;
  return {found, found ? static_cast<std::int32_t>(at) + 1 : 0, tests + 1};
}

// Unsigned and wide enough for the product of a difference of two keys and a range's length
// (below 2^30): 64 bits for keys of 32, 128 for keys of 64.
__extension__ using unsigned_128 = unsigned __int128;
template <class Key>
using product_type = std::conditional_t<sizeof(Key) == 8, unsigned_128, std::uint64_t>;

// The probe that interpolates the target's value between the keys at `low` and `high` (1-based,
// low < high), clamped to low..high. A target not above the low key places it at `low`; so does
// any other offset below 0, and one above the range's length places it at `high`. Above the low
// key, the differences from it are positive and taken in unsigned arithmetic, where they are
// exact whatever the signedness of the keys: nothing wraps, and the product is exact in the wide
// type. Equal keys at the ends (or a high key below the low one) divide by 1 instead of 0, which
// places the probe at the end the target lies towards.
template <run_entry Entry>
std::int32_t interpolated(std::span<const Entry> run, std::int32_t low, std::int32_t high,
                          key_type_of<Entry> target) {
  using product = product_type<key_type_of<Entry>>;
  const key_type_of<Entry> low_key = key_of(run[static_cast<std::size_t>(low - 1)]);
  const key_type_of<Entry> high_key = key_of(run[static_cast<std::size_t>(high - 1)]);
  if (!(low_key < target)) {
    return low;
  }
  const auto span = static_cast<product>(high - low);
  const product above_low = static_cast<product>(target) - static_cast<product>(low_key);
  const product width =
      low_key < high_key ? static_cast<product>(high_key) - static_cast<product>(low_key) : 1;
  return low + static_cast<std::int32_t>(std::min(above_low * span / width, span));
}

}  // namespace

template <run_entry Entry>
counted_search branchless(std::span<const Entry> run, key_type_of<Entry> target) {
  if (run.empty()) {
    return {};
  }
  const halved end = narrow(run, 0, run.size(), target);
  return tested_at(run, end.at, target, end.steps);
}

namespace {

// Every search of the group halves the same lengths. Once a step has taken a search's range, the
// entry it probes next is known, and is prefetched; the rest of the group runs before the search
// reads it.
template <run_entry Entry>
void branchless_group(std::span<const Entry> run, std::span<const key_type_of<Entry>> targets,
                      std::span<counted_search> results) {
  if (run.empty()) {
    std::fill(results.begin(), results.end(), counted_search{});
    return;
  }
  const std::size_t count = targets.size();
  // Set before it is read: clearing the greatest group for every group would cost a step.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
  std::array<std::size_t, most_in_lockstep> first;
  std::fill_n(first.begin(), count, 0);
  std::int32_t steps = 0;
  for (std::size_t length = run.size(); length > 1; ++steps) {
    const std::size_t half = length / 2;
    length -= half;
    const std::size_t next_probe = length / 2 - (length > 1 ? 1 : 0);
    for (std::size_t i = 0; i < count; ++i) {
      first[i] = kept(run, first[i], half, targets[i]);
      __builtin_prefetch(&run[first[i] + next_probe]);
    }
  }
  for (std::size_t i = 0; i < count; ++i) {
    results[i] = tested_at(run, first[i], targets[i], steps);
  }
}

}  // namespace

template <run_entry Entry>
void branchless(std::span<const Entry> run, std::span<const key_type_of<Entry>> targets,
                std::span<counted_search> results) {
  in_groups(targets, results,
            [run](std::span<const key_type_of<Entry>> some, std::span<counted_search> theirs) {
              branchless_group(run, some, theirs);
            });
}

// The lowest position whose key is not smaller than the target lies in low..high + 1: every key
// below `low` is smaller, every key above `high` is not. A probe moves one of the two past
// itself, so the range loses at least the probe at every test.
template <run_entry Entry>
counted_search interpolation(std::span<const Entry> run, key_type_of<Entry> target) {
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
    if (key_of(run[static_cast<std::size_t>(probe - 1)]) < target) {
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
template <run_entry Entry>
counted_search exponential(std::span<const Entry> run, key_type_of<Entry> target) {
  if (run.empty()) {
    return {};
  }
  std::int32_t tests = 0;
  std::size_t bound = 1;
  while (bound < run.size()) {
    ++tests;
    if (!(key_of(run[bound - 1]) < target)) {
      break;
    }
    bound *= 2;
  }
  const std::size_t first = bound / 2;
  const halved end = narrow(run, first, std::min(bound, run.size()) - first, target);
  return tested_at(run, end.at, target, tests + end.steps);
}

template counted_search branchless(std::span<const list_entry>, key_type);
template counted_search branchless(std::span<const std::uint32_t>, std::uint32_t);
template counted_search branchless(std::span<const std::uint64_t>, std::uint64_t);
template void branchless(std::span<const list_entry>, std::span<const key_type>,
                         std::span<counted_search>);
template void branchless(std::span<const std::uint32_t>, std::span<const std::uint32_t>,
                         std::span<counted_search>);
template void branchless(std::span<const std::uint64_t>, std::span<const std::uint64_t>,
                         std::span<counted_search>);
template counted_search interpolation(std::span<const list_entry>, key_type);
template counted_search interpolation(std::span<const std::uint32_t>, std::uint32_t);
template counted_search interpolation(std::span<const std::uint64_t>, std::uint64_t);
template counted_search exponential(std::span<const list_entry>, key_type);
template counted_search exponential(std::span<const std::uint32_t>, std::uint32_t);
template counted_search exponential(std::span<const std::uint64_t>, std::uint64_t);

}  // namespace velk_sr::algorithms
