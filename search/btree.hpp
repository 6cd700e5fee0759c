// Search in a static B+ tree: the keys of an ascending run in nodes of one 64-byte line each (16
// keys of 4 bytes, or 8 of 8), so that a search reads one line a level and compares the target
// with the whole line at once, in vector registers. A tree of a million 4-byte keys has five
// levels where a binary search has twenty probes. A layout holds keys of one type (the list
// entries' signed keys, or plain unsigned ones of 32 or 64 bits).
//
// It counts more comparisons than a binary search, every key of each node it reads, and runs
// faster: a level costs one line from memory and a handful of instructions, whatever the count.
#pragma once

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

#include "aligned_array.hpp"
#include "entries.hpp"

namespace velk_sr::algorithms {

// The nodes of each level of a tree of n keys, `per_node` keys a node, from the leaves up:
// ceil(n / per_node) leaves, and above each level ceil(nodes below / (per_node + 1)) nodes, up to
// one, the root. No level for n = 0. A run of fewer than 2^30 keys has at most 10 levels.
struct btree_levels {
  static constexpr int most = 10;
  std::array<std::size_t, most> nodes{};
  int count = 0;
};

constexpr btree_levels btree_levels_of(std::size_t n, std::size_t per_node) {
  btree_levels levels;
  for (std::size_t nodes = (n + per_node - 1) / per_node; nodes != 0;
       nodes = nodes == 1 ? 0 : (nodes + per_node) / (per_node + 1)) {
    levels.nodes.at(static_cast<std::size_t>(levels.count)) = nodes;
    ++levels.count;
  }
  return levels;
}

template <run_key Key>
class btree_layout;

// One machine kernel of the tree's search (the node search of one instruction set: "avx512",
// "avx2", "sse2" or "scalar"): the search of one target, counted and not, and of many in lockstep,
// as btree() and btree_find() below describe them.
template <run_key Key>
struct btree_kernel {
  std::string_view name;
  counted_search (*search)(const btree_layout<Key>& layout, Key target) = nullptr;
  counted_search (*find)(const btree_layout<Key>& layout, Key target) = nullptr;
  void (*search_together)(const btree_layout<Key>& layout, std::span<const Key> targets,
                          std::span<counted_search> results) = nullptr;
};

// The keys of an ascending run of n entries as a B+ tree in one array. The leaves hold every key
// in order, the last leaf padded with the greatest value of the key type, so that the key at
// index i of the run is slot i mod B of leaf i / B (B keys a node). Each inner node has up to
// B + 1 children and B keys: key s is the least key of child s + 1's subtree, padded with the
// greatest value where there is no such child. The levels lie one after another from the root
// down, every node on a 64-byte line. Built in one pass over the run, which it does not keep;
// about 1/B more bytes than the keys themselves.
template <run_key Key>
class btree_layout {
 public:
  // The keys of a node: 16 of 4 bytes, or 8 of 8.
  static constexpr std::size_t keys_per_node = memory::line_bytes / sizeof(Key);

  // Arranges the keys of `run` (ascending, fewer than 2^30 entries) and chooses the widest
  // kernel that this processor supports. Throws std::bad_alloc when there is no memory for it.
  template <run_entry Entry>
  requires std::same_as<key_type_of<Entry>, Key>
  explicit btree_layout(std::span<const Entry> run);

  // The entries of the run it was built from.
  [[nodiscard]] std::int32_t size() const { return size_; }
  // The levels, leaves included; none for an empty run.
  [[nodiscard]] int height() const { return height_; }
  // The bytes of its nodes.
  [[nodiscard]] std::size_t bytes() const { return nodes_.size() * sizeof(Key); }
  // The bytes of the nodes that a layout of `entries` entries allocates.
  static constexpr std::size_t bytes_for(std::size_t entries) {
    const btree_levels levels = btree_levels_of(entries, keys_per_node);
    std::size_t nodes = 0;
    for (int l = 0; l < levels.count; ++l) {
      nodes += levels.nodes.at(static_cast<std::size_t>(l));
    }
    return nodes * memory::line_bytes;
  }
  // The kernel its searches use.
  [[nodiscard]] const btree_kernel<Key>& kernel() const { return *kernel_; }
  // Where its nodes lie, for asking whether they were given huge pages.
  [[nodiscard]] const memory::aligned_block& block() const { return nodes_.block(); }

  // Every kernel built into this program for the key type, the widest first and the scalar one
  // last: on x86-64 all four, elsewhere only the scalar one.
  static std::span<const btree_kernel<Key>> kernels();

 private:
  // The keys as the kernels compare them: signed numbers of the key's width (see btree.cpp).
  using lane = std::make_signed_t<Key>;

  // A level of the tree: where its first node lies in the array, its last node, and the padding
  // of that node (every other node of the level is full).
  struct level {
    std::size_t first = 0;
    std::uint32_t last_node = 0;
    std::uint32_t padding = 0;
  };

  // The search, written once over the node search of each kernel.
  struct searching;

  std::int32_t size_ = 0;
  int height_ = 0;
  std::array<level, btree_levels::most> levels_{};  // from the root down
  memory::aligned_array<lane> nodes_;
  const btree_kernel<Key>* kernel_ = nullptr;
};

template <run_entry Entry>
btree_layout(std::span<const Entry>) -> btree_layout<key_type_of<Entry>>;

// Descends from the root to a leaf, at each node counting the keys smaller than the target with
// the node's vector compares and going to the child of that number; in the leaf, the number gives
// the lowest position whose key is not smaller than the target, which is tested for equality.
// With duplicates that is the lowest position of the key: a run of equal keys that spans two
// subtrees has its first key in the left one, since the separator of the right one is equal to
// the target and so not smaller. No branch depends on the keys.
//
// Counts one for each key of a node that the search compares the target with, every key of each
// node it reads but not the padding (B for every node but the last of a level), and one for the
// final equality test, which is made unless every key is smaller than the target: at most
// btree_bound(n); none for an empty run. Not found: `location` is 0.
template <run_key Key>
counted_search btree(const btree_layout<Key>& layout, std::type_identity_t<Key> target) {
  return layout.kernel().search(layout, target);
}

// The same search, counting nothing (`comparisons` is 0): what a program calls.
template <run_key Key>
counted_search btree_find(const btree_layout<Key>& layout, std::type_identity_t<Key> target) {
  return layout.kernel().find(layout, target);
}

// The same search for each target, written to the result at the same index (`results` is at least
// as long as `targets`), in lockstep in groups of up to 256: each step takes every search of the
// group down one level and prefetches the node it reads next, so that the waits for memory of
// the group's searches overlap. Each result and count is that of the search above.
template <run_key Key>
void btree(const btree_layout<Key>& layout, std::span<const std::type_identity_t<Key>> targets,
           std::span<counted_search> results) {
  layout.kernel().search_together(layout, targets, results);
}

// Whether this processor (and its operating system) can run `kernel`.
template <run_key Key>
bool supported(const btree_kernel<Key>& kernel);

// The most that btree counts on a layout of n keys of type Key: on each level, the most keys a
// node of it holds (B for the leaves, fewer when n is smaller; for an inner level, one fewer than
// the nodes below it, up to B), and the final equality test. None when n is 0.
template <run_key Key>
constexpr std::int32_t btree_bound(std::int32_t n) {
  constexpr std::size_t per_node = btree_layout<Key>::keys_per_node;
  const auto size = static_cast<std::size_t>(n);
  const btree_levels levels = btree_levels_of(size, per_node);
  if (levels.count == 0) {
    return 0;
  }
  std::size_t most = std::min(per_node, size) + 1;
  for (int l = 1; l < levels.count; ++l) {
    most += std::min(per_node, levels.nodes.at(static_cast<std::size_t>(l - 1)) - 1);
  }
  return static_cast<std::int32_t>(most);
}

}  // namespace velk_sr::algorithms
