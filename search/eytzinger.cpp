#include "eytzinger.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "lockstep.hpp"

namespace velk_sr::algorithms {

namespace {

using memory::line_bytes;
// The descendants of index k that fill one line of keys: for 4-byte keys, the 16 four levels
// below, 16k..16k + 15; for 8-byte keys, the 8 three levels below, 8k..8k + 7.
template <class Key>
constexpr std::uint32_t prefetch_ahead = line_bytes / sizeof(Key);

// The position in the ascending run (1..n) of the key at breadth-first index k (1..n). Levels
// 0..h - 1 are full and level h, the last, holds its first `last_level` nodes. In the full tree of
// h + 1 levels, the node k at depth d has the position (2 (k - 2^d) + 1) 2^(h - d), and the
// nodes of level h sit at the odd positions 1, 3, 5, ...; the positions of the missing ones among
// those below it are taken off.
std::uint32_t ascending_position(std::uint32_t k, std::uint32_t n) {
  const int height = static_cast<int>(std::bit_width(n)) - 1;
  const int depth = static_cast<int>(std::bit_width(k)) - 1;
  const std::uint32_t full = (2 * (k - (1U << depth)) + 1) << (height - depth);
  const std::uint32_t last_level = n - ((1U << height) - 1);
  const std::uint32_t last_level_below = full / 2;
  return full - (last_level_below > last_level ? last_level_below - last_level : 0);
}

// Fills the subtree at index k with the next keys of the run, in order: its left subtree, k, its
// right subtree. It reads the run once from the front and writes each level of the tree from left
// to right, a stream per level that the caches follow; filling index by index instead would read
// the run in strides, four times slower on ten million keys. The depth is the tree's height.
template <run_entry Entry>
void fill_in_order(key_type_of<Entry>* keys, std::uint32_t k, std::uint32_t n,
                   typename std::span<const Entry>::iterator& next) {
  if (k > n) {
    return;
  }
  fill_in_order<Entry>(keys, 2 * k, n, next);
  keys[k] = key_of(*next);
  ++next;
  fill_in_order<Entry>(keys, 2 * k + 1, n, next);
}

}  // namespace

template <run_key Key>
template <run_entry Entry>
requires std::same_as<key_type_of<Entry>, Key> eytzinger_layout<Key>::eytzinger_layout(
    std::span<const Entry> run)
    : size_(static_cast<std::int32_t>(run.size())), keys_(run.size() + 1) {
  keys_.data()[0] = 0;
  auto next = run.begin();
  fill_in_order<Entry>(keys_.data(), 1, static_cast<std::uint32_t>(size_), next);
}

namespace {

// One level down from index k: to the left child when its key is not smaller than the target,
// to the right one when it is.
template <run_key Key>
std::uint32_t below(const Key* keys, std::uint32_t k, Key target) {
  return 2 * k + static_cast<std::uint32_t>(keys[k] < target);
}

// The descent appends one bit per level to k: 1 for a right turn, 0 for a left one. Leaving the
// tree after the last left turn at node j, k is j followed by a 0 and then only 1s, so taking off
// the trailing 1s and the 0 gives j back; without a left turn nothing is left (0). The levels
// descended are the bits appended: the bit length of k less one.
template <run_key Key>
counted_search left_at(const Key* keys, std::uint32_t n, std::uint32_t k, Key target) {
  const auto levels = static_cast<std::int32_t>(std::bit_width(k)) - 1;
  const std::uint32_t lowest_not_smaller = last_left_turn(k);
  if (lowest_not_smaller == 0) {
    return {false, 0, levels};
  }
  const bool found = keys[lowest_not_smaller] == target;
  const auto position = static_cast<std::int32_t>(ascending_position(lowest_not_smaller, n));
  return {found, found ? position : 0, levels + 1};
}

// The levels above the last one are full, so every search of a group leaves the tree at the same
// level or the one below it: all go down the full levels together, and those still inside the
// tree take one step more. Each step prefetches the line below as a single search does; that
// line lies inside the array or, clamped to its last key, is one that the search will read.
template <run_key Key>
void group(const eytzinger_layout<Key>& layout, const Key* keys, std::span<const Key> targets,
           std::span<counted_search> results) {
  const auto n = static_cast<std::uint32_t>(layout.size());
  const std::size_t count = targets.size();
  constexpr std::uint32_t ahead = prefetch_ahead<Key>;
  // Set before it is read: clearing the greatest group for every group would cost a level.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
  std::array<std::uint32_t, most_in_lockstep> k;
  std::fill_n(k.begin(), count, 1);
  const int full_levels = std::bit_width(n) - 1;
  for (int level = 0; level < full_levels; ++level) {
    for (std::size_t i = 0; i < count; ++i) {
      __builtin_prefetch(&keys[std::min(std::size_t{ahead} * k[i], std::size_t{n})]);
      k[i] = below(keys, k[i], targets[i]);
    }
  }
  // Inside the tree or not is a coin toss for some layouts: in arithmetic rather than a select,
  // which compilers turn into a jump.
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t at = k[i];
    const auto inside = static_cast<std::uint32_t>(at <= n);
    k[i] = at + inside * (below(keys, std::min(at, n), targets[i]) - at);
    results[i] = left_at(keys, n, k[i], targets[i]);
  }
}

}  // namespace

template <run_key Key>
counted_search eytzinger(const eytzinger_layout<Key>& layout, std::type_identity_t<Key> target) {
  const Key* const keys = layout.keys_.data();
  const auto n = static_cast<std::uint32_t>(layout.size_);
  std::uint32_t k = 1;
  // The line prefetched lies inside the array while 16k + 15 <= n (8k + 7 <= n for 8-byte keys);
  // below that the lines come from earlier prefetches.
  constexpr std::uint32_t ahead = prefetch_ahead<Key>;
  const std::uint32_t prefetching_below = n / ahead;
  while (k < prefetching_below) {
    __builtin_prefetch(&keys[std::size_t{ahead} * k]);
    k = below(keys, k, target);
  }
  while (k <= n) {
    k = below(keys, k, target);
  }
  return left_at(keys, n, k, target);
}

template <run_key Key>
void eytzinger(const eytzinger_layout<Key>& layout,
               std::span<const std::type_identity_t<Key>> targets,
               std::span<counted_search> results) {
  const Key* const keys = layout.keys_.data();
  in_groups(targets, results, [&](std::span<const Key> some, std::span<counted_search> theirs) {
    group(layout, keys, some, theirs);
  });
}

template class eytzinger_layout<key_type>;
template class eytzinger_layout<std::uint32_t>;
template class eytzinger_layout<std::uint64_t>;
template eytzinger_layout<key_type>::eytzinger_layout(std::span<const list_entry>);
template eytzinger_layout<std::uint32_t>::eytzinger_layout(std::span<const std::uint32_t>);
template eytzinger_layout<std::uint64_t>::eytzinger_layout(std::span<const std::uint64_t>);
template counted_search eytzinger(const eytzinger_layout<key_type>&, key_type);
template counted_search eytzinger(const eytzinger_layout<std::uint32_t>&, std::uint32_t);
template counted_search eytzinger(const eytzinger_layout<std::uint64_t>&, std::uint64_t);
template void eytzinger(const eytzinger_layout<key_type>&, std::span<const key_type>,
                        std::span<counted_search>);
template void eytzinger(const eytzinger_layout<std::uint32_t>&, std::span<const std::uint32_t>,
                        std::span<counted_search>);
template void eytzinger(const eytzinger_layout<std::uint64_t>&, std::span<const std::uint64_t>,
                        std::span<counted_search>);

}  // namespace velk_sr::algorithms
