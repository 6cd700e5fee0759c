// Search in the breadth-first (Eytzinger) layout: the keys of an ascending run arranged as the
// levels of a balanced search tree, root first, so that the first probes of every search share a
// few cache lines and each line holds a node's descendants some levels down.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "algorithms.hpp"

namespace velk_sr::algorithms {

// The keys of an ascending run of n entries in breadth-first order: index 1 holds the root, the
// children of index k are 2k and 2k + 1, and reading the tree in order (left subtree, node, right
// subtree) gives the keys in the run's order. Owns its array of n + 1 keys (4 bytes each, index 0
// unused), which starts on a 64-byte line so that the 16 descendants four levels below any index
// share one line. Building it reads the run once and does not keep it.
class eytzinger_layout {
 public:
  // Arranges the keys of `run` (ascending, fewer than 2^30 entries). Allocates the array; throws
  // std::bad_alloc when there is no memory for it.
  explicit eytzinger_layout(entries run);

  // The entries of the run it was built from.
  [[nodiscard]] std::int32_t size() const { return size_; }

  // The bytes of the array that a layout of `entries` entries allocates.
  static constexpr std::size_t bytes_for(std::size_t entries) {
    return (entries + 1) * sizeof(key_type);
  }

 private:
  friend counted_search eytzinger(const eytzinger_layout& layout, key_type target);

  struct release {
    void operator()(key_type* keys) const;
  };

  std::int32_t size_;
  std::unique_ptr<key_type[], release> keys_;
};

// Descends from the root without a branch on the outcome, to the left child when the node's key
// is not smaller than the target and to the right child when it is, prefetching the line of the
// descendants four levels down, until it leaves the tree. The last node where it went left holds
// the lowest key not smaller than the target; its position in the ascending run is computed from
// its index, and its key is tested for equality. With duplicates, that is the lowest position of
// the key.
//
// Counts one for each level descended (an ordering test) and one for the final equality test,
// which is made unless every key is smaller than the target: floor(log2 size) or
// floor(log2 size) + 1 ordering tests, so at most floor(log2 size) + 2 in all; none for an empty
// run. Not found: `location` is 0.
counted_search eytzinger(const eytzinger_layout& layout, key_type target);

// Where a descent that ended at index `k` made its last left turn: `k` with its trailing 1s and
// the 0 before them taken off, or 0 when it never turned left. `k` may be as large as 2^31 - 1
// (a tree of 2^30 - 1 keys, every turn a right one), so the shift is made in 64 bits.
constexpr std::uint32_t last_left_turn(std::uint32_t k) {
  return static_cast<std::uint32_t>(std::uint64_t{k} >> (std::countr_one(k) + 1));
}

}  // namespace velk_sr::algorithms
