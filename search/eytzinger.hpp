// Search in the breadth-first (Eytzinger) layout: the keys of an ascending run arranged as the
// levels of a balanced search tree, root first, so that the first probes of every search share a
// few cache lines and each line holds a node's descendants some levels down. A layout holds keys
// of one type (the list entries' signed keys, or plain unsigned ones of 32 or 64 bits); on the same
// key values the searches give the same results and counts whatever the type.
#pragma once

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "aligned_array.hpp"
#include "entries.hpp"

namespace velk_sr::algorithms {

// The keys of an ascending run of n entries in breadth-first order: index 1 holds the root, the
// children of index k are 2k and 2k + 1, and reading the tree in order (left subtree, node, right
// subtree) gives the keys in the run's order. Owns its array of n + 1 keys (index 0 unused),
// which starts on a 64-byte line so that the descendants of any index that fill a line share it:
// the 16 four levels below for keys of 4 bytes, the 8 three levels below for keys of 8 (from
// 2 MiB on, on huge pages where the system gives them: see aligned_array.hpp). Building
// it reads the run once and does not keep it. Built from a run of any entry type whose key is
// `Key`: `eytzinger_layout layout(run)` takes the key type from the run.
template <run_key Key>
class eytzinger_layout {
 public:
  // Arranges the keys of `run` (ascending, fewer than 2^30 entries). Allocates the array; throws
  // std::bad_alloc when there is no memory for it.
  template <run_entry Entry>
  requires std::same_as<key_type_of<Entry>, Key>
  explicit eytzinger_layout(std::span<const Entry> run);

  // The entries of the run it was built from.
  [[nodiscard]] std::int32_t size() const { return size_; }

  // The bytes of the array that a layout of `entries` entries allocates.
  static constexpr std::size_t bytes_for(std::size_t entries) {
    return (entries + 1) * sizeof(Key);
  }
  // Where its keys lie, for asking whether they were given huge pages.
  [[nodiscard]] const memory::aligned_block& block() const { return keys_.block(); }

 private:
  template <run_key Of>
  friend counted_search eytzinger(const eytzinger_layout<Of>& layout,
                                  std::type_identity_t<Of> target);
  template <run_key Of>
  friend void eytzinger(const eytzinger_layout<Of>& layout,
                        std::span<const std::type_identity_t<Of>> targets,
                        std::span<counted_search> results);

  std::int32_t size_;
  memory::aligned_array<Key> keys_;
};

template <run_entry Entry>
eytzinger_layout(std::span<const Entry>) -> eytzinger_layout<key_type_of<Entry>>;

// Descends from the root without a branch on the outcome, to the left child when the node's key
// is not smaller than the target and to the right child when it is, prefetching the line of the
// descendants that fill one (four levels down for keys of 4 bytes, three for keys of 8), until it
// leaves the tree. The last node where it went left holds
// the lowest key not smaller than the target; its position in the ascending run is computed from
// its index, and its key is tested for equality. With duplicates, that is the lowest position of
// the key.
//
// Counts one for each level descended (an ordering test) and one for the final equality test,
// which is made unless every key is smaller than the target: floor(log2 size) or
// floor(log2 size) + 1 ordering tests, so at most floor(log2 size) + 2 in all; none for an empty
// run. Not found: `location` is 0.
template <run_key Key>
counted_search eytzinger(const eytzinger_layout<Key>& layout, std::type_identity_t<Key> target);

// The same search for each target, written to the result at the same index (`results` is at least
// as long as `targets`), in lockstep in groups of up to 256: each step takes every search of the
// group down one level and prefetches the line four levels (three for keys of 8 bytes) below it,
// so that the waits for memory of the group's searches overlap. Each result and count is that of
// the search above.
template <run_key Key>
void eytzinger(const eytzinger_layout<Key>& layout,
               std::span<const std::type_identity_t<Key>> targets,
               std::span<counted_search> results);

// The most that eytzinger counts on a layout of n keys (none when it is empty).
constexpr std::int32_t eytzinger_bound(std::int32_t n) { return n == 0 ? 0 : floor_log2(n) + 2; }

// Where a descent that ended at index `k` made its last left turn: `k` with its trailing 1s and
// the 0 before them taken off, or 0 when it never turned left. `k` may be as large as 2^31 - 1
// (a tree of 2^30 - 1 keys, every turn a right one), so the shift is made in 64 bits.
constexpr std::uint32_t last_left_turn(std::uint32_t k) {
  return static_cast<std::uint32_t>(std::uint64_t{k} >> (std::countr_one(k) + 1));
}

}  // namespace velk_sr::algorithms
