#include "btree.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <type_traits>

#include "kernels.hpp"
#include "lockstep.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace velk_sr::algorithms {

namespace {

// SSE2 and AVX2 compare only signed numbers, so the tree holds every key as a signed number of
// its width that orders as the key does: an unsigned key with its top bit flipped, a signed one
// as it is. Every kernel compares these, and equality is kept.
template <run_key Key>
constexpr std::make_signed_t<Key> lane_of(Key key) {
  if constexpr (std::is_signed_v<Key>) {
    return key;
  } else {
    constexpr Key top_bit = Key{1} << (8 * sizeof(Key) - 1);
    return static_cast<std::make_signed_t<Key>>(key ^ top_bit);
  }
}

// The node searches: how many of the keys of one node (64 bytes, on a 64-byte line) are smaller
// than the target. Padding is the greatest value, never smaller, so it never adds to the number.

struct scalar_node {
  template <class Lane>
  static std::uint32_t smaller(const Lane* node, Lane target) {
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < memory::line_bytes / sizeof(Lane); ++i) {
      count += node[i] < target ? 1 : 0;
    }
    return count;
  }
};

#if defined(__x86_64__)

template <class Vector, class Lane>
const Vector* vectors(const Lane* node) {
  return static_cast<const Vector*>(static_cast<const void*>(node));
}

// Four 128-bit compares a node. Each 32-bit lane of a compare is -1 where the key is smaller;
// their sum, added across, is the number negated. SSE2 has no popcount instruction to count a
// mask with; the sums are written with the compiler's vector arithmetic.
struct sse2_node {
  using lanes = std::int32_t __attribute__((vector_size(16)));

  static std::uint32_t smaller(const std::int32_t* node, std::int32_t target) {
    const __m128i wanted = _mm_set1_epi32(target);
    const auto* v = vectors<__m128i>(node);
    const auto below = [&](int i) {
      return std::bit_cast<lanes>(_mm_cmpgt_epi32(wanted, _mm_load_si128(v + i)));
    };
    return negated_total(below(0) + below(1) + below(2) + below(3));
  }

  // SSE2 compares 32-bit lanes only. A 64-bit key is smaller where its high half is smaller, or
  // equal with a smaller low half; the low halves are compared as unsigned numbers, by flipping
  // their top bits. The outcome is spread to both halves of the key's lane, so the sum holds each
  // smaller key twice.
  static std::uint32_t smaller(const std::int64_t* node, std::int64_t target) {
    const __m128i low_top_bits = _mm_set_epi32(0, INT32_MIN, 0, INT32_MIN);
    const __m128i wanted = _mm_xor_si128(_mm_set1_epi64x(target), low_top_bits);
    const auto* v = vectors<__m128i>(node);
    const auto below = [&](int i) {
      const __m128i keys = _mm_xor_si128(_mm_load_si128(v + i), low_top_bits);
      const __m128i greater = _mm_cmpgt_epi32(wanted, keys);
      const __m128i equal = _mm_cmpeq_epi32(wanted, keys);
      constexpr int high = _MM_SHUFFLE(3, 3, 1, 1);
      constexpr int low = _MM_SHUFFLE(2, 2, 0, 0);
      return std::bit_cast<lanes>(_mm_or_si128(
          _mm_shuffle_epi32(greater, high),
          _mm_and_si128(_mm_shuffle_epi32(equal, high), _mm_shuffle_epi32(greater, low))));
    };
    return negated_total(below(0) + below(1) + below(2) + below(3)) / 2;
  }

 private:
  static std::uint32_t negated_total(lanes sum) {
    return static_cast<std::uint32_t>(-(sum[0] + sum[1] + sum[2] + sum[3]));
  }
};

// Two 256-bit compares a node, their sign bits gathered into one mask and counted.
struct avx2_node {
  [[gnu::target("avx2")]] static std::uint32_t smaller(const std::int32_t* node,
                                                       std::int32_t target) {
    const __m256i wanted = _mm256_set1_epi32(target);
    const auto* v = vectors<__m256i>(node);
    const auto low = static_cast<unsigned>(
        _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(wanted, _mm256_load_si256(v)))));
    const auto high = static_cast<unsigned>(_mm256_movemask_ps(
        _mm256_castsi256_ps(_mm256_cmpgt_epi32(wanted, _mm256_load_si256(v + 1)))));
    return static_cast<std::uint32_t>(std::popcount(low | high << 8U));
  }
  [[gnu::target("avx2")]] static std::uint32_t smaller(const std::int64_t* node,
                                                       std::int64_t target) {
    const __m256i wanted = _mm256_set1_epi64x(target);
    const auto* v = vectors<__m256i>(node);
    const auto low = static_cast<unsigned>(
        _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpgt_epi64(wanted, _mm256_load_si256(v)))));
    const auto high = static_cast<unsigned>(_mm256_movemask_pd(
        _mm256_castsi256_pd(_mm256_cmpgt_epi64(wanted, _mm256_load_si256(v + 1)))));
    return static_cast<std::uint32_t>(std::popcount(low | high << 4U));
  }
};

// One 512-bit compare a node, straight into a mask.
struct avx512_node {
  [[gnu::target("avx512f")]] static std::uint32_t smaller(const std::int32_t* node,
                                                          std::int32_t target) {
    return static_cast<std::uint32_t>(std::popcount(static_cast<unsigned>(
        _mm512_cmplt_epi32_mask(_mm512_load_si512(node), _mm512_set1_epi32(target)))));
  }
  [[gnu::target("avx512f")]] static std::uint32_t smaller(const std::int64_t* node,
                                                          std::int64_t target) {
    return static_cast<std::uint32_t>(std::popcount(static_cast<unsigned>(
        _mm512_cmplt_epi64_mask(_mm512_load_si512(node), _mm512_set1_epi64(target)))));
  }
};

#endif

}  // namespace

// One descent, written once over the node search, and the lockstep form beside it; each kernel
// is the two with its node search inlined, compiled for its instruction set.
template <run_key Key>
struct btree_layout<Key>::searching {
  static constexpr std::uint32_t per_node = keys_per_node;

  static const lane* node(const btree_layout& tree, const level& at, std::uint32_t j) {
    return tree.nodes_.data() + (at.first + j) * per_node;
  }

  // The keys of node j of `at` smaller than the target. Where `counting`, the node's keys are
  // counted, in arithmetic rather than a select, which compilers turn into a jump.
  template <class Node, bool counting = true>
  static std::uint32_t smaller(const btree_layout& tree, const level& at, std::uint32_t j,
                               lane target, std::uint32_t& counted) {
    if constexpr (counting) {
      counted += per_node - static_cast<std::uint32_t>(j == at.last_node) * at.padding;
    }
    return Node::smaller(node(tree, at, j), target);
  }

  // Where `smaller` keys of inner node j are smaller than the target, the child that holds the
  // lowest key not smaller, or the one before when that key is the first of its subtree.
  static std::uint32_t child(std::uint32_t j, std::uint32_t smaller) {
    return j * (per_node + 1) + smaller;
  }

  // Where `smaller` keys of leaf j are smaller than the target, the index of the lowest key not
  // smaller (the first of the next leaf when every key of this one is smaller) is tested, unless
  // it lies past the last key. In arithmetic: whether the target is found is a coin toss where
  // the targets are, and a jump on it would be mispredicted.
  static counted_search finished(const btree_layout& tree, std::uint32_t j, std::uint32_t smaller,
                                 lane target, std::uint32_t counted) {
    const std::size_t at = std::size_t{j} * per_node + smaller;
    const auto inside = static_cast<std::uint32_t>(at < static_cast<std::size_t>(tree.size_));
    const lane* leaves = node(tree, tree.levels_[static_cast<std::size_t>(tree.height_ - 1)], 0);
    const std::uint32_t found =
        inside & static_cast<std::uint32_t>(leaves[at - 1 + inside] == target);
    return {found != 0, static_cast<std::int32_t>(found * (at + 1)),
            static_cast<std::int32_t>(counted + inside)};
  }

  // Without `counting`, the count is left at 0 and the final test is not counted either.
  template <class Node, bool counting>
  static counted_search one(const btree_layout& tree, Key key) {
    if (tree.height_ == 0) {
      return {};
    }
    const lane target = lane_of(key);
    const auto leaves = static_cast<std::size_t>(tree.height_ - 1);
    std::uint32_t counted = 0;
    std::uint32_t j = 0;
    for (std::size_t l = 0; l < leaves; ++l) {
      j = child(j, smaller<Node, counting>(tree, tree.levels_[l], j, target, counted));
    }
    const std::uint32_t in_leaf =
        smaller<Node, counting>(tree, tree.levels_[leaves], j, target, counted);
    const counted_search result = finished(tree, j, in_leaf, target, counted);
    return counting ? result : counted_search{result.found, result.location, 0};
  }

  // The state of each search of the group is left uninitialised until it is set: clearing
  // arrays of the greatest group for every group would cost as much as a level.
  template <class Node>
  static void group(const btree_layout& tree, std::span<const Key> keys,
                    std::span<counted_search> results) {
    if (tree.height_ == 0) {
      std::fill(results.begin(), results.end(), counted_search{});
      return;
    }
    const std::size_t count = keys.size();
    // NOLINTBEGIN(cppcoreguidelines-pro-type-member-init): set below before it is read
    std::array<lane, most_in_lockstep> target;
    std::array<std::uint32_t, most_in_lockstep> j;
    std::array<std::uint32_t, most_in_lockstep> counted;
    // NOLINTEND(cppcoreguidelines-pro-type-member-init)
    for (std::size_t i = 0; i < count; ++i) {
      target[i] = lane_of(keys[i]);
      j[i] = 0;
      counted[i] = 0;
    }
    const auto leaves = static_cast<std::size_t>(tree.height_ - 1);
    for (std::size_t l = 0; l < leaves; ++l) {
      const level& at = tree.levels_[l];
      const level& below = tree.levels_[l + 1];
      for (std::size_t i = 0; i < count; ++i) {
        j[i] = child(j[i], smaller<Node>(tree, at, j[i], target[i], counted[i]));
        __builtin_prefetch(node(tree, below, j[i]));
      }
    }
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t in_leaf =
          smaller<Node>(tree, tree.levels_[leaves], j[i], target[i], counted[i]);
      results[i] = finished(tree, j[i], in_leaf, target[i], counted[i]);
    }
  }

  template <class Node>
  static void together(const btree_layout& tree, std::span<const Key> keys,
                       std::span<counted_search> results) {
    in_groups(keys, results, [&tree](std::span<const Key> some, std::span<counted_search> theirs) {
      group<Node>(tree, some, theirs);
    });
  }

  // Each kernel's searches, everything they call compiled into them for its instruction set.
  [[gnu::flatten]] static counted_search scalar_one(const btree_layout& tree, Key key) {
    return one<scalar_node, true>(tree, key);
  }
  [[gnu::flatten]] static counted_search scalar_found(const btree_layout& tree, Key key) {
    return one<scalar_node, false>(tree, key);
  }
  [[gnu::flatten]] static void scalar_together(const btree_layout& tree, std::span<const Key> keys,
                                               std::span<counted_search> results) {
    together<scalar_node>(tree, keys, results);
  }
#if defined(__x86_64__)
  [[gnu::flatten]] static counted_search sse2_one(const btree_layout& tree, Key key) {
    return one<sse2_node, true>(tree, key);
  }
  [[gnu::flatten]] static counted_search sse2_found(const btree_layout& tree, Key key) {
    return one<sse2_node, false>(tree, key);
  }
  [[gnu::flatten]] static void sse2_together(const btree_layout& tree, std::span<const Key> keys,
                                             std::span<counted_search> results) {
    together<sse2_node>(tree, keys, results);
  }
  [[gnu::target("avx2"), gnu::flatten]] static counted_search avx2_one(const btree_layout& tree,
                                                                       Key key) {
    return one<avx2_node, true>(tree, key);
  }
  [[gnu::target("avx2"), gnu::flatten]] static counted_search avx2_found(const btree_layout& tree,
                                                                         Key key) {
    return one<avx2_node, false>(tree, key);
  }
  [[gnu::target("avx2"), gnu::flatten]] static void avx2_together(
      const btree_layout& tree, std::span<const Key> keys, std::span<counted_search> results) {
    together<avx2_node>(tree, keys, results);
  }
  [[gnu::target("avx512f"), gnu::flatten]] static counted_search avx512_one(
      const btree_layout& tree, Key key) {
    return one<avx512_node, true>(tree, key);
  }
  [[gnu::target("avx512f"), gnu::flatten]] static counted_search avx512_found(
      const btree_layout& tree, Key key) {
    return one<avx512_node, false>(tree, key);
  }
  [[gnu::target("avx512f"), gnu::flatten]] static void avx512_together(
      const btree_layout& tree, std::span<const Key> keys, std::span<counted_search> results) {
    together<avx512_node>(tree, keys, results);
  }

  static constexpr std::array<btree_kernel<Key>, 4> table{{
    {"avx512", avx512_one, avx512_found, avx512_together},
    {"avx2", avx2_one, avx2_found, avx2_together},
    {"sse2", sse2_one, sse2_found, sse2_together},
    {"scalar", scalar_one, scalar_found, scalar_together},
  }};
#else
  static constexpr std::array<btree_kernel<Key>, 1> table{{
      {"scalar", scalar_one, scalar_found, scalar_together},
  }};
#endif
};

namespace {

// The widest kernel for the key type that this processor supports, chosen at the first layout
// and kept.
template <run_key Key>
const btree_kernel<Key>& chosen_kernel() {
  static const btree_kernel<Key>& chosen = []() -> const btree_kernel<Key>& {
    const std::span<const btree_kernel<Key>> all = btree_layout<Key>::kernels();
    return *std::find_if(all.begin(), all.end(),
                         [](const btree_kernel<Key>& kernel) { return supported(kernel); });
  }();
  return chosen;
}

}  // namespace

template <run_key Key>
std::span<const btree_kernel<Key>> btree_layout<Key>::kernels() {
  return searching::table;
}

template <run_key Key>
bool supported(const btree_kernel<Key>& kernel) {
  return kernels::instruction_set_supported(kernel.name);
}

// The leaves are the run's keys in order; a separator is the first key of a subtree, which is
// the first key of the subtree's first leaf, read back from the leaves.
template <run_key Key>
template <run_entry Entry>
requires std::same_as<key_type_of<Entry>, Key> btree_layout<Key>::btree_layout(
    std::span<const Entry> run)
    : size_(static_cast<std::int32_t>(run.size())),
      nodes_(bytes_for(run.size()) / sizeof(lane)),
      kernel_(&chosen_kernel<Key>()) {
  constexpr std::size_t per_node = keys_per_node;
  constexpr lane padding = std::numeric_limits<lane>::max();
  const btree_levels shape = btree_levels_of(run.size(), per_node);
  height_ = shape.count;
  const auto levels = static_cast<std::size_t>(shape.count);
  // The nodes of level l, counted from the root.
  const auto nodes_at = [&shape, levels](std::size_t l) { return shape.nodes.at(levels - 1 - l); };
  std::size_t first = 0;
  for (std::size_t l = 0; l < levels; ++l) {
    const std::size_t nodes = nodes_at(l);
    // The keys of the last node: a leaf's are the run's last ones; an inner node has one fewer
    // than its children.
    const std::size_t held = l + 1 == levels ? run.size() - (nodes - 1) * per_node
                                             : nodes_at(l + 1) - (nodes - 1) * (per_node + 1) - 1;
    levels_.at(l) = {first, static_cast<std::uint32_t>(nodes - 1),
                     static_cast<std::uint32_t>(per_node - held)};
    first += nodes;
  }
  if (levels == 0) {
    return;
  }
  const std::span<lane> all = nodes_.elements();
  const std::span<lane> leaves = all.subspan(levels_.at(levels - 1).first * per_node);
  std::transform(run.begin(), run.end(), leaves.begin(),
                 [](const Entry& entry) { return lane_of(key_of(entry)); });
  std::fill(leaves.begin() + static_cast<std::ptrdiff_t>(run.size()), leaves.end(), padding);
  // From the level above the leaves up; `child_keys` is what a full node of the level below
  // holds beneath it.
  std::size_t child_keys = per_node;
  for (std::size_t l = levels - 1; l-- > 0; child_keys *= per_node + 1) {
    const level& at = levels_.at(l);
    const std::size_t children = nodes_at(l + 1);
    const std::span<lane> separators =
        all.subspan(at.first * per_node, (at.last_node + 1) * per_node);
    for (std::size_t s = 0; s < separators.size(); ++s) {
      // Slot s of node s / per_node separates child `right` from the one before it.
      const std::size_t right = s / per_node * (per_node + 1) + s % per_node + 1;
      separators[s] = right < children ? leaves[right * child_keys] : padding;
    }
  }
}

template class btree_layout<key_type>;
template class btree_layout<std::uint32_t>;
template class btree_layout<std::uint64_t>;
template btree_layout<key_type>::btree_layout(std::span<const list_entry>);
template btree_layout<std::uint32_t>::btree_layout(std::span<const std::uint32_t>);
template btree_layout<std::uint64_t>::btree_layout(std::span<const std::uint64_t>);
template bool supported(const btree_kernel<key_type>&);
template bool supported(const btree_kernel<std::uint32_t>&);
template bool supported(const btree_kernel<std::uint64_t>&);

}  // namespace velk_sr::algorithms
