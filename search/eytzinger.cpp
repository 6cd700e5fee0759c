#include "eytzinger.hpp"

#include <bit>
#include <cstddef>
#include <new>

namespace velk_sr::algorithms {

namespace {

constexpr std::size_t line_bytes = 64;
// The descendants four levels below index k are 16k..16k + 15: one line of keys.
constexpr std::uint32_t prefetch_ahead = 16;

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
void fill_in_order(key_type* keys, std::uint32_t k, std::uint32_t n, entries::iterator& next) {
  if (k > n) {
    return;
  }
  fill_in_order(keys, 2 * k, n, next);
  keys[k] = next->key;
  ++next;
  fill_in_order(keys, 2 * k + 1, n, next);
}

}  // namespace

void eytzinger_layout::release::operator()(key_type* keys) const {
  ::operator delete[](keys, std::align_val_t{line_bytes});
}

eytzinger_layout::eytzinger_layout(entries run)
    : size_(static_cast<std::int32_t>(run.size())),
      keys_(static_cast<key_type*>(
          ::operator new[](bytes_for(run.size()), std::align_val_t{line_bytes}))) {
  keys_[0] = 0;
  auto next = run.begin();
  fill_in_order(keys_.get(), 1, static_cast<std::uint32_t>(size_), next);
}

// The descent appends one bit per level to k: 1 for a right turn, 0 for a left one. Leaving the
// tree after the last left turn at node j, k is j followed by a 0 and then only 1s, so taking off
// the trailing 1s and the 0 gives j back; without a left turn nothing is left (0). The levels
// descended are the bits appended: the bit length of k less one.
counted_search eytzinger(const eytzinger_layout& layout, key_type target) {
  const key_type* const keys = layout.keys_.get();
  const auto n = static_cast<std::uint32_t>(layout.size_);
  std::uint32_t k = 1;
  // The line prefetched lies inside the array while 16k + 15 <= n; below that the lines come
  // from earlier prefetches.
  const std::uint32_t prefetching_below = n / prefetch_ahead;
  while (k < prefetching_below) {
    __builtin_prefetch(&keys[std::size_t{prefetch_ahead} * k]);
    k = 2 * k + static_cast<std::uint32_t>(keys[k] < target);
  }
  while (k <= n) {
    k = 2 * k + static_cast<std::uint32_t>(keys[k] < target);
  }
  const auto levels = static_cast<std::int32_t>(std::bit_width(k)) - 1;
  const std::uint32_t lowest_not_smaller = last_left_turn(k);
  if (lowest_not_smaller == 0) {
    return {false, 0, levels};
  }
  const bool found = keys[lowest_not_smaller] == target;
  const auto position = static_cast<std::int32_t>(ascending_position(lowest_not_smaller, n));
  return {found, found ? position : 0, levels + 1};
}

}  // namespace velk_sr::algorithms
