// Every search algorithm, the textbook ones and those of today (branchless, eytzinger, btree with
// each of its kernels, interpolation, exponential, learned), on runs of list entries and of plain
// keys of 32 and 64 bits: the same results as binary1 on every target of every list up to 300
// entries and on samples of long ones, the same counts on the same key values whatever the entry
// type (btree's whatever the entry type of the same key width), the lockstep forms' results and
// counts those of the single searches, and the counts and bounds their headers promise.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "search/algorithms.hpp"
#include "search/btree.hpp"
#include "search/eytzinger.hpp"
#include "search/learned.hpp"
#include "search/modern.hpp"

namespace {

namespace algorithms = velk_sr::algorithms;
using algorithms::counted_search;
using algorithms::entries;
using algorithms::key_type_of;
using velk_sr::key_type;
using velk_sr::list_entry;

constexpr key_type greatest = std::numeric_limits<key_type>::max();

// The run of entries with these keys; a list entry's info holds its index.
template <class Entry>
std::vector<Entry> run_of(const std::vector<key_type_of<Entry>>& keys) {
  std::vector<Entry> run(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if constexpr (std::is_same_v<Entry, list_entry>) {
      run[i] = list_entry{keys[i], static_cast<std::int32_t>(i)};
    } else {
      run[i] = keys[i];
    }
  }
  return run;
}

// Each key, the values next to it, and the extremes: every gap's targets, below and above all.
template <class Key>
std::vector<Key> targets_around(const std::vector<Key>& keys) {
  constexpr Key least = std::numeric_limits<Key>::min();
  constexpr Key most = std::numeric_limits<Key>::max();
  std::vector<Key> targets{least, most, 0};
  for (const Key k : keys) {
    targets.push_back(k);
    if (k > least) {
      targets.push_back(k - 1);
    }
    if (k < most) {
      targets.push_back(k + 1);
    }
  }
  return targets;
}

// The list in a failure message, an empty one included.
template <class Key>
std::string described(const std::vector<Key>& keys) {
  std::ostringstream text;
  text << keys.size() << " keys of " << sizeof(Key) << " bytes";
  if (!keys.empty()) {
    text << " from " << keys.front() << " to " << keys.back();
  }
  return text.str();
}

// What a method gives besides a count within its bound, set against binary1's result.
enum class promise {
  same_as_binary1,  // the same result and count: binary1's recursive form
  lowest_or_size,   // found at the lowest position; not found, the size (the last examined)
  lowest_or_zero,   // found at the lowest position; not found, 0
  any_match,        // found at some position that holds the target (binary2 stops at the first)
};

// The errors the learned models are tried with: the least, small, the lab's default, wide.
constexpr std::array<std::int64_t, 4> epsilons{1, 4, 32, 256};

// The layouts that the methods search, built from the run: the breadth-first order, the tree,
// and a learned model at each epsilon.
template <class Entry>
struct layouts {
  explicit layouts(std::span<const Entry> run)
      : eytzinger(run),
        btree(run),
        learned{{{run, epsilons[0]}, {run, epsilons[1]}, {run, epsilons[2]}, {run, epsilons[3]}}} {}
  algorithms::eytzinger_layout<key_type_of<Entry>> eytzinger;
  algorithms::btree_layout<key_type_of<Entry>> btree;
  std::array<algorithms::learned_index<Entry>, epsilons.size()> learned;
};

template <class Entry>
using search_function = std::function<counted_search(std::span<const Entry>, key_type_of<Entry>,
                                                     const layouts<Entry>&)>;

template <class Entry>
struct method_case {
  std::string name;
  search_function<Entry> search;
  std::int32_t (*bound)(std::int32_t n) = nullptr;
  promise keeps = promise::lowest_or_zero;
  bool always_its_bound = false;  // counts its bound for every target
  // Counts differently at 32 and at 64 bits; a learned model's segments follow the values'
  // spacing and the width's greatest value, so its counts may differ at every entry type.
  bool counts_by_key_width = false;
};

// Each btree kernel that this processor supports, for the key type.
template <class Key>
std::vector<algorithms::btree_kernel<Key>> supported_btree_kernels() {
  std::vector<algorithms::btree_kernel<Key>> kernels;
  for (const auto& kernel : algorithms::btree_layout<Key>::kernels()) {
    if (algorithms::supported(kernel)) {
      kernels.push_back(kernel);
    }
  }
  return kernels;
}

// The learned model of the e-th epsilon.
template <class Entry, std::size_t e>
method_case<Entry> learned_case() {
  return {"learned, epsilon " + std::to_string(epsilons[e]),
          [](std::span<const Entry>, key_type_of<Entry> t, const layouts<Entry>& l) {
            return algorithms::learned(l.learned[e], t);
          },
          [](std::int32_t n) { return algorithms::learned_bound(n, epsilons[e]); },
          promise::lowest_or_zero,
          false,
          true};
}

template <class Entry>
const std::vector<method_case<Entry>>& every_method() {
  using run = std::span<const Entry>;
  using key = key_type_of<Entry>;
  using layout = layouts<Entry>;
  static const std::vector<method_case<Entry>> methods = [] {
    std::vector<method_case<Entry>> all{
        {"sequential", [](run r, key t, const layout&) { return algorithms::sequential(r, t); },
         algorithms::sequential_bound, promise::lowest_or_size},
        {"binary1", [](run r, key t, const layout&) { return algorithms::binary1(r, t); },
         algorithms::binary1_bound, promise::same_as_binary1},
        {"recbinary1",
         [](run r, key t, const layout&) {
           return algorithms::recbinary1(r, t, 1, static_cast<std::int32_t>(r.size()));
         },
         algorithms::binary1_bound, promise::same_as_binary1},
        {"binary2", [](run r, key t, const layout&) { return algorithms::binary2(r, t); },
         algorithms::binary2_bound, promise::any_match},
        {"recbinary2",
         [](run r, key t, const layout&) {
           return algorithms::recbinary2(r, t, 1, static_cast<std::int32_t>(r.size()));
         },
         algorithms::binary2_bound, promise::any_match},
        {"branchless", [](run r, key t, const layout&) { return algorithms::branchless(r, t); },
         algorithms::branchless_bound, promise::lowest_or_zero, true},
        {"eytzinger",
         [](run, key t, const layout& l) { return algorithms::eytzinger(l.eytzinger, t); },
         algorithms::eytzinger_bound, promise::lowest_or_zero},
        {"interpolation",
         [](run r, key t, const layout&) { return algorithms::interpolation(r, t); },
         algorithms::interpolation_bound, promise::lowest_or_zero},
        {"exponential", [](run r, key t, const layout&) { return algorithms::exponential(r, t); },
         algorithms::exponential_bound, promise::lowest_or_zero},
        {"btree", [](run, key t, const layout& l) { return algorithms::btree(l.btree, t); },
         algorithms::btree_bound<key>, promise::lowest_or_zero, false, true},
        learned_case<Entry, 0>(),
        learned_case<Entry, 1>(),
        learned_case<Entry, 2>(),
        learned_case<Entry, 3>(),
    };
    // Each kernel, counting and not: the search that counts nothing counts 0.
    for (const auto& kernel : supported_btree_kernels<key>()) {
      all.push_back({"btree " + std::string(kernel.name),
                     [kernel](run, key t, const layout& l) { return kernel.search(l.btree, t); },
                     algorithms::btree_bound<key>, promise::lowest_or_zero, false, true});
      all.push_back({"btree find " + std::string(kernel.name),
                     [kernel](run, key t, const layout& l) { return kernel.find(l.btree, t); },
                     [](std::int32_t) { return 0; }, promise::lowest_or_zero, false, true});
    }
    return all;
  }();
  return methods;
}

// A lockstep form and the single search whose results it gives.
template <class Entry>
struct batch_case {
  std::string name;
  std::function<void(std::span<const Entry>, const layouts<Entry>&,
                     std::span<const key_type_of<Entry>>, std::span<counted_search>)>
      search;
  search_function<Entry> one;
};

template <class Entry>
const std::vector<batch_case<Entry>>& every_batch() {
  using run = std::span<const Entry>;
  using key = key_type_of<Entry>;
  using layout = layouts<Entry>;
  using targets = std::span<const key>;
  using results = std::span<counted_search>;
  static const std::vector<batch_case<Entry>> batches = [] {
    std::vector<batch_case<Entry>> all{
        {"branchless",
         [](run r, const layout&, targets t, results out) { algorithms::branchless(r, t, out); },
         [](run r, key t, const layout&) { return algorithms::branchless(r, t); }},
        {"eytzinger",
         [](run, const layout& l, targets t, results out) {
           algorithms::eytzinger(l.eytzinger, t, out);
         },
         [](run, key t, const layout& l) { return algorithms::eytzinger(l.eytzinger, t); }},
    };
    for (const auto& kernel : supported_btree_kernels<key>()) {
      all.push_back({"btree " + std::string(kernel.name),
                     [kernel](run, const layout& l, targets t, results out) {
                       kernel.search_together(l.btree, t, out);
                     },
                     [kernel](run, key t, const layout& l) { return kernel.search(l.btree, t); }});
    }
    return all;
  }();
  return batches;
}

// Each lockstep form given the targets in groups of K, the last group short unless K divides
// their number, and all of them at once when there are more than a group's 256: the results and
// counts of the single searches, in order.
template <class Entry>
void check_every_batch(std::span<const Entry> run, const layouts<Entry>& layout,
                       const std::vector<key_type_of<Entry>>& targets) {
  for (const batch_case<Entry>& b : every_batch<Entry>()) {
    std::vector<counted_search> single(targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i) {
      single[i] = b.one(run, targets[i], layout);
    }
    std::vector<std::size_t> groups{1, 3, 16, 256};
    if (targets.size() > 256) {
      groups.push_back(targets.size());
    }
    for (const std::size_t k : groups) {
      std::vector<counted_search> together(targets.size());
      for (std::size_t from = 0; from < targets.size(); from += k) {
        const std::size_t count = std::min(k, targets.size() - from);
        b.search(run, layout, std::span(targets).subspan(from, count),
                 std::span(together).subspan(from, count));
      }
      if (together != single) {
        const auto wrong = std::mismatch(together.begin(), together.end(), single.begin());
        const auto at = wrong.first - together.begin();
        ADD_FAILURE() << b.name << " in groups of " << k << " on " << run.size()
                      << " entries, target " << targets[static_cast<std::size_t>(at)] << ": found "
                      << wrong.first->found << " at " << wrong.first->location << " counting "
                      << wrong.first->comparisons << "; alone " << wrong.second->found << " at "
                      << wrong.second->location << " counting " << wrong.second->comparisons;
        return;
      }
    }
  }
}

template <class Entry>
bool keeps_its_promise(const method_case<Entry>& m, std::span<const Entry> run,
                       key_type_of<Entry> target, const counted_search& r,
                       const counted_search& binary1) {
  const auto n = static_cast<std::int32_t>(run.size());
  if (r.found != binary1.found || r.comparisons < 0 || r.comparisons > m.bound(n) ||
      (m.always_its_bound && r.comparisons != m.bound(n))) {
    return false;
  }
  switch (m.keeps) {
    case promise::same_as_binary1:
      return r == binary1;
    case promise::lowest_or_size:
      return r.location == (r.found ? binary1.location : n);
    case promise::lowest_or_zero:
      return r.location == (r.found ? binary1.location : 0);
    case promise::any_match:
      return !r.found ||
             (r.location >= 1 && r.location <= n &&
              algorithms::key_of(run[static_cast<std::size_t>(r.location - 1)]) == target);
  }
  return false;
}

// Every method on one list, each against binary1 on each target and within the count its header
// promises; gives every result, target by target and method by method, with no count for a method
// that counts by key width. Stops at the
// first disagreement, so that a broken method says so once. Sequential search is left out of the
// long lists, where examining every entry for thousands of targets would take minutes.
template <class Entry>
std::vector<counted_search> check_every_method(const std::vector<key_type_of<Entry>>& keys,
                                               const std::vector<key_type_of<Entry>>& targets) {
  const std::vector<Entry> list = run_of<Entry>(keys);
  const std::span<const Entry> run(list);
  const layouts<Entry> layout(run);
  EXPECT_EQ(layout.eytzinger.size(), static_cast<std::int32_t>(keys.size()));
  EXPECT_EQ(layout.btree.size(), static_cast<std::int32_t>(keys.size()));
  std::vector<counted_search> results;
  for (const key_type_of<Entry> target : targets) {
    const counted_search expected = algorithms::binary1(run, target);
    for (const method_case<Entry>& m : every_method<Entry>()) {
      if (m.keeps == promise::lowest_or_size && keys.size() > 10000) {
        continue;
      }
      const counted_search r = m.search(run, target, layout);
      if (!keeps_its_promise(m, run, target, r, expected)) {
        ADD_FAILURE() << m.name << " on " << described(keys) << ", target " << target << ": found "
                      << r.found << " at " << r.location << " counting " << r.comparisons
                      << "; binary1 found " << expected.found << " at " << expected.location
                      << "; bound " << m.bound(static_cast<std::int32_t>(keys.size()));
        return results;
      }
      results.push_back({r.found, r.location, m.counts_by_key_width ? 0 : r.comparisons});
    }
  }
  return results;
}

// The same keys or targets at another entry type, moved or stretched in a way that keeps their
// order and every probe of every algorithm: as signed keys, less 2^31 (0 becomes the least);
// as 64-bit ones, the same, raised to the top of the range (2^32 - 1 becomes the greatest), or
// times 2^32 + 1 (over the whole range, where a probe's product takes more than 64 bits).
template <class Key, class Map>
std::vector<Key> mapped(const std::vector<std::uint32_t>& values, Map map) {
  std::vector<Key> keys;
  keys.reserve(values.size());
  for (const std::uint32_t v : values) {
    keys.push_back(map(v));
  }
  return keys;
}
template <class Entry>
using view = key_type_of<Entry> (*)(std::uint32_t);
constexpr view<list_entry> less_2_to_31 = [](std::uint32_t v) {
  return static_cast<key_type>(v ^ 0x80000000U);
};
constexpr view<std::uint64_t> the_same = [](std::uint32_t v) { return std::uint64_t{v}; };
constexpr view<std::uint64_t> at_the_top = [](std::uint32_t v) {
  return std::uint64_t{v} + (std::numeric_limits<std::uint64_t>::max() - 0xFFFFFFFFU);
};
constexpr view<std::uint64_t> stretched = [](std::uint32_t v) {
  return std::uint64_t{v} * 0x100000001U;
};

// Checks every method on the keys at 32 bits and at each other entry type they map to, and that
// every type gives the same results and counts.
void check_at_every_entry_type(const std::vector<std::uint32_t>& keys,
                               const std::vector<std::uint32_t>& targets,
                               std::initializer_list<view<std::uint64_t>> views_at_64_bits = {
                                   the_same, at_the_top, stretched}) {
  const std::vector<counted_search> at_32_bits = check_every_method<std::uint32_t>(keys, targets);
  ASSERT_EQ(check_every_method<list_entry>(mapped<key_type>(keys, less_2_to_31),
                                           mapped<key_type>(targets, less_2_to_31)),
            at_32_bits)
      << "signed " << described(keys);
  for (const auto& to_64_bits : views_at_64_bits) {
    ASSERT_EQ(check_every_method<std::uint64_t>(mapped<std::uint64_t>(keys, to_64_bits),
                                                mapped<std::uint64_t>(targets, to_64_bits)),
              at_32_bits)
        << "64-bit " << described(keys);
  }
}

// The shapes of list that each size is tried with, over the whole range of 32-bit keys: as the
// views above take them, each holds the least or the greatest key of each type, or both.
std::vector<std::vector<std::uint32_t>> lists_of_size(std::uint32_t n) {
  constexpr std::uint32_t most = std::numeric_limits<std::uint32_t>::max();
  std::vector<std::vector<std::uint32_t>> shapes(7);
  for (std::uint32_t i = 0; i < n; ++i) {
    shapes[0].push_back(2 * i + 1);
    shapes[1].push_back(i / 3 * 5);                              // runs of equal keys
    shapes[2].push_back(i + 1 < n ? most / (n - 1) * i : most);  // the least to the greatest
    shapes[3].push_back(i + 1 < n ? i : most);                   // no gap, one far outlier
    shapes[4].push_back(i < 32 ? (1U << i) - 1 : most);          // doubling
    shapes[5].push_back(most - (n - 1 - i));                     // no gap, to the greatest
    shapes[6].push_back(2 * i < n ? 0 : most);                   // the least, the greatest
  }
  for (const std::uint32_t every : {0U, 7U, most}) {
    shapes.emplace_back(n, every);
  }
  return shapes;
}

// Every size up to 300 in every shape, at each entry type.
TEST(ModernSearches, AgreeWithBinary1OnEveryTargetOfEveryShortList) {
  for (std::uint32_t n = 0; n <= 300; ++n) {
    SCOPED_TRACE(n);
    for (const std::vector<std::uint32_t>& keys : lists_of_size(n)) {
      check_at_every_entry_type(keys, targets_around(keys));
    }
    if (::testing::Test::HasFailure()) {
      return;
    }
  }
}

// The lockstep forms on every shape of list at sizes about the edges of a tree's nodes and of a
// group, at 32 and 64 bits (over the whole range), and on a long list with a sample of targets.
TEST(ModernSearches, LockstepFormsGiveTheSingleSearchesResultsAndCounts) {
  const auto check = [](const std::vector<std::uint32_t>& keys,
                        const std::vector<std::uint32_t>& targets) {
    const std::span<const std::uint32_t> run(keys);
    check_every_batch<std::uint32_t>(run, layouts<std::uint32_t>(run), targets);
    const std::vector<std::uint64_t> wide = mapped<std::uint64_t>(keys, stretched);
    const std::span<const std::uint64_t> wide_run(wide);
    check_every_batch<std::uint64_t>(wide_run, layouts<std::uint64_t>(wide_run),
                                     mapped<std::uint64_t>(targets, stretched));
  };
  for (const std::uint32_t n : {0U, 1U, 7U, 8U, 9U, 16U, 17U, 100U, 136U, 137U, 255U, 256U, 300U}) {
    SCOPED_TRACE(n);
    for (const std::vector<std::uint32_t>& keys : lists_of_size(n)) {
      check(keys, targets_around(keys));
    }
  }
  std::vector<std::uint32_t> odd(1000000);
  for (std::uint32_t i = 0; i < odd.size(); ++i) {
    odd[i] = 2 * i + 1;
  }
  std::vector<std::uint32_t> sample;
  for (std::uint32_t i = 0; i < 3000; ++i) {
    sample.push_back(i * 1237 % 2000003);
  }
  check(odd, sample);
}

// The odd keys 1, 3, ..., 2n - 1 of the list's routines, as they are at every entry type: the
// same counts for every target 0..2n.
TEST(ModernSearches, OddKeysCountTheSameAtEveryEntryType) {
  for (const std::uint32_t n : {1U, 2U, 10U, 100U, 1000U, 10000U}) {
    std::vector<std::uint32_t> odd;
    std::vector<std::uint32_t> targets;
    for (std::uint32_t k = 0; k <= 2 * n; ++k) {
      if (k % 2 == 1) {
        odd.push_back(k);
      }
      targets.push_back(k);
    }
    const std::vector<counted_search> at_32_bits = check_every_method<std::uint32_t>(odd, targets);
    const auto as_signed = [](std::uint32_t v) { return static_cast<key_type>(v); };
    ASSERT_EQ(check_every_method<list_entry>(mapped<key_type>(odd, as_signed),
                                             mapped<key_type>(targets, as_signed)),
              at_32_bits);
    ASSERT_EQ(check_every_method<std::uint64_t>(mapped<std::uint64_t>(odd, the_same),
                                                mapped<std::uint64_t>(targets, the_same)),
              at_32_bits);
  }
}

// Keys that climb by random steps, a quarter of them 0 (duplicates), from near the least value
// most of the way to the greatest; and the odd keys. Targets from around a sample of the keys. At
// 64 bits, only stretched over the whole range.
TEST(ModernSearches, AgreeWithBinary1OnSamplesOfLongLists) {
  std::mt19937 draw(20240607);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same lists every run
  for (const std::uint32_t n : {10000U, 100000U, 1000000U, 10000000U}) {
    SCOPED_TRACE(n);
    const std::uint32_t spread = std::numeric_limits<std::uint32_t>::max() / n;
    std::uniform_int_distribution<std::uint32_t> step(0, 2 * spread);
    std::vector<std::uint32_t> random_steps(n);
    std::uint64_t key = 5;
    for (std::uint32_t& k : random_steps) {
      k = static_cast<std::uint32_t>(key);
      const std::uint32_t s = step(draw);
      key = std::min<std::uint64_t>(key + (s < spread / 2 ? 0 : s), 0xFFFFFFFFU - 5);
    }
    std::vector<std::uint32_t> odd(n);
    for (std::uint32_t i = 0; i < n; ++i) {
      odd[i] = 2 * i + 1;
    }
    for (const std::vector<std::uint32_t>* keys : {&random_steps, &odd}) {
      std::uniform_int_distribution<std::size_t> at(0, keys->size() - 1);
      std::vector<std::uint32_t> sample{keys->front(), keys->back()};
      for (int i = 0; i < 2000; ++i) {
        sample.push_back((*keys)[at(draw)]);
      }
      check_at_every_entry_type(*keys, targets_around(sample), {stretched});
    }
  }
}

// Each bound as its search's header states it, at sizes around powers of two and the largest a
// run may have.
TEST(ModernSearches, BoundsFollowTheirFormulas) {
  struct bound_case {
    const char* name;
    std::int32_t (*bound)(std::int32_t n);
    std::int32_t at[8];  // n = 0, 1, 2, 3, 1000, 1024, 1025, 2^30 - 1
  };
  constexpr std::int32_t sizes[] = {0, 1, 2, 3, 1000, 1024, 1025, (1 << 30) - 1};
  const bound_case cases[] = {
      {"sequential: n", algorithms::sequential_bound, {0, 1, 2, 3, 1000, 1024, 1025, 1073741823}},
      {"binary1: ceil(log2 n) + 1", algorithms::binary1_bound, {0, 1, 2, 3, 11, 11, 12, 31}},
      {"binary2: 2 (floor(log2 n) + 1)", algorithms::binary2_bound, {0, 2, 4, 4, 20, 22, 22, 60}},
      {"branchless: ceil(log2 n) + 1", algorithms::branchless_bound, {0, 1, 2, 3, 11, 11, 12, 31}},
      {"eytzinger: floor(log2 n) + 2", algorithms::eytzinger_bound, {0, 2, 3, 3, 11, 12, 12, 31}},
      {"interpolation: 3 floor(log2 n) + 4",
       algorithms::interpolation_bound,
       {0, 4, 7, 7, 31, 34, 34, 91}},
      {"exponential: 2 ceil(log2 n) + 1",
       algorithms::exponential_bound,
       {0, 1, 3, 5, 21, 21, 23, 61}},
      // The leaves' 16 (or 8) keys and the final test, then each level above: up to 16 (8)
      // separators, fewer at a root of few children. 2^30 - 1 keys: 8 levels (10 at 64 bits).
      {"btree at 32 bits", algorithms::btree_bound<std::uint32_t>, {0, 2, 3, 4, 36, 36, 36, 115}},
      {"btree at 64 bits", algorithms::btree_bound<std::uint64_t>, {0, 2, 3, 4, 26, 26, 26, 76}},
      {"learned at epsilon 32: ceil(log2(n + 1)) + ceil(log2 min(66, n)) + 1",
       [](std::int32_t n) { return algorithms::learned_bound(n, 32); },
       {0, 2, 4, 5, 18, 19, 19, 38}},
  };
  for (const bound_case& c : cases) {
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
      EXPECT_EQ(c.bound(sizes[i]), c.at[i]) << c.name << " at " << sizes[i];
    }
  }
}

// A layout holds one key more than its run (index 0 is unused), of the key's own size.
TEST(ModernSearches, EytzingerLayoutsAllocateOneKeyMoreThanTheRun) {
  EXPECT_EQ(algorithms::eytzinger_layout<key_type>::bytes_for(0), 4U);
  EXPECT_EQ(algorithms::eytzinger_layout<key_type>::bytes_for(1000), 4004U);
  EXPECT_EQ(algorithms::eytzinger_layout<std::uint32_t>::bytes_for(10), 44U);
  EXPECT_EQ(algorithms::eytzinger_layout<std::uint64_t>::bytes_for(0), 8U);
  EXPECT_EQ(algorithms::eytzinger_layout<std::uint64_t>::bytes_for(1000), 8008U);
}

TEST(ModernSearches, EmptyRunsFindNothingAndCountNothing) {
  const layouts<list_entry> layout{entries()};
  const algorithms::learned_index model(entries(), 32);
  EXPECT_EQ(model.segments(), 0);
  EXPECT_EQ(model.bytes(), 0U);
  for (const counted_search& r :
       {algorithms::branchless(entries(), 5), algorithms::eytzinger(layout.eytzinger, 5),
        algorithms::btree(layout.btree, 5), algorithms::interpolation(entries(), 5),
        algorithms::exponential(entries(), 5), algorithms::learned(model, 5)}) {
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.location, 0);
    EXPECT_EQ(r.comparisons, 0);
  }
}

// The index where a breadth-first descent last turned left, up to the deepest descent the largest
// layout allows: a target above all of 2^30 - 1 keys turns right 30 times and ends at 2^31 - 1.
TEST(ModernSearches, EytzingerFindsItsLastLeftTurnAtEveryDepth) {
  struct turn_case {
    std::uint32_t ended_at;
    std::uint32_t turned_left_at;
  };
  for (const turn_case& c : {turn_case{2, 1}, turn_case{3, 0}, turn_case{5, 1}, turn_case{183, 11},
                             turn_case{0x7FFFFFFEU, 0x3FFFFFFFU}, turn_case{0x7FFFFFFFU, 0},
                             turn_case{0x5FFFFFFFU, 1}}) {
    EXPECT_EQ(algorithms::last_left_turn(c.ended_at), c.turned_left_at) << c.ended_at;
  }
}

struct count_case {
  key_type target;
  std::int32_t location;  // 0: not found
  std::int32_t comparisons;
};

// On the keys 1, 3, ..., 19: what each probe tests, as the headers describe it.
TEST(ModernSearches, CountsOnTenOddKeys) {
  std::vector<key_type> keys;
  for (key_type k = 1; k <= 19; k += 2) {
    keys.push_back(k);
  }
  const std::vector<list_entry> list = run_of<list_entry>(keys);
  const layouts<list_entry> layout{entries(list)};
  struct method_cases {
    const char* name;
    counted_search (*search)(entries, key_type, const layouts<list_entry>&);
    std::vector<count_case> cases;
  };
  const method_cases methods[] = {
      // Four halvings (10, 5, 3, 2, 1 entries), then the final test.
      {"branchless",
       [](entries run, key_type t, const layouts<list_entry>&) {
         return algorithms::branchless(run, t);
       },
       {{1, 1, 5}, {19, 10, 5}, {0, 0, 5}, {20, 0, 5}}},
      // The tree of 10 keys has 4 levels, the last with 3 nodes: 1 goes left four times and is
      // tested; 19 goes right three times and is tested; 20 goes right three times, then leaves
      // the tree above every key untested.
      {"eytzinger",
       [](entries, key_type t, const layouts<list_entry>& l) {
         return algorithms::eytzinger(l.eytzinger, t);
       },
       {{1, 1, 5}, {19, 10, 4}, {20, 0, 3}, {0, 0, 5}, {9, 5, 5}}},
      // One leaf of 16 slots holds the 10 keys: all 10 are compared, then the final test unless
      // every key is smaller.
      {"btree",
       [](entries, key_type t, const layouts<list_entry>& l) {
         return algorithms::btree(l.btree, t);
       },
       {{1, 1, 11}, {19, 10, 11}, {20, 0, 10}, {0, 0, 11}}},
      // 9 is placed exactly (not smaller), then 7 (smaller): two probes and the final test. 20
      // lies above the last key: one probe, no final test. 0 lies below the first: one probe and
      // the final test.
      {"interpolation",
       [](entries run, key_type t, const layouts<list_entry>&) {
         return algorithms::interpolation(run, t);
       },
       {{9, 5, 3}, {1, 1, 2}, {20, 0, 1}, {0, 0, 2}, {10, 0, 3}}},
      // 1: one galloping test, the final test. 19: positions 1, 2, 4, 8 smaller, the bracket
      // 9..10 halved once, the final test.
      {"exponential",
       [](entries run, key_type t, const layouts<list_entry>&) {
         return algorithms::exponential(run, t);
       },
       {{1, 1, 2}, {19, 10, 6}, {3, 2, 3}, {7, 4, 5}, {20, 0, 6}}},
  };
  for (const method_cases& m : methods) {
    for (const count_case& c : m.cases) {
      const counted_search r = m.search(list, c.target, layout);
      EXPECT_EQ(r.found, c.location != 0) << m.name << ' ' << c.target;
      EXPECT_EQ(r.location, c.location) << m.name << ' ' << c.target;
      EXPECT_EQ(r.comparisons, c.comparisons) << m.name << ' ' << c.target;
    }
  }
}

// On the keys 1, 3, ..., 79 the tree has two levels. At 32 bits: leaves of 16, 16 and 8 keys,
// and a root whose separators are 33 and 65, the first keys of the second and third leaves. At 64
// bits: five full leaves of 8 and a root of 4 separators. 33 is the first key of a leaf, which the
// search reaches from the end of the leaf before it, every key of that leaf being smaller.
template <class Key>
void expect_btree_counts(const std::vector<count_case>& cases) {
  std::vector<Key> keys;
  for (Key k = 1; k <= 79; k += 2) {
    keys.push_back(k);
  }
  const algorithms::btree_layout layout{std::span<const Key>(keys)};
  EXPECT_EQ(layout.height(), 2);
  for (const count_case& c : cases) {
    const counted_search r = algorithms::btree(layout, static_cast<Key>(c.target));
    EXPECT_EQ(r, (counted_search{c.location != 0, c.location, c.comparisons}))
        << sizeof(Key) * 8 << " bits, target " << c.target;
  }
}

TEST(ModernSearches, BtreeCountsTheKeysOfEachNodeItReads) {
  // Root 2, a full leaf 16 and the final test: 19; the last leaf holds 8 keys: 11.
  expect_btree_counts<std::uint32_t>(
      {{1, 1, 19}, {33, 17, 19}, {0, 0, 19}, {79, 40, 11}, {66, 0, 11}, {80, 0, 10}});
  // Root 4, a leaf 8 and the final test: 13 everywhere, but 12 above every key.
  expect_btree_counts<std::uint64_t>(
      {{1, 1, 13}, {33, 17, 13}, {0, 0, 13}, {79, 40, 13}, {66, 0, 13}, {80, 0, 12}});
}

// A node is one 64-byte line; above the leaves, about one node in B + 1 more.
TEST(ModernSearches, BtreeLayoutsTakeOneLineANode) {
  EXPECT_EQ(algorithms::btree_layout<std::uint32_t>::bytes_for(0), 0U);
  EXPECT_EQ(algorithms::btree_layout<std::uint32_t>::bytes_for(16), 64U);
  EXPECT_EQ(algorithms::btree_layout<std::uint32_t>::bytes_for(40), 4 * 64U);
  EXPECT_EQ(algorithms::btree_layout<std::uint64_t>::bytes_for(40), 6 * 64U);
  // 62500 leaves, then 3677, 217, 13 and 1 nodes.
  EXPECT_EQ(algorithms::btree_layout<std::uint32_t>::bytes_for(1000000), 66408 * 64U);
  const std::vector<std::uint64_t> keys(1000, 7);
  const algorithms::btree_layout layout{std::span<const std::uint64_t>(keys)};
  EXPECT_EQ(layout.bytes(), algorithms::btree_layout<std::uint64_t>::bytes_for(1000));
}

// Dense keys 0..n - 2 and INT32_MAX last: every interpolated probe lands at the front of the
// range, and without the halving a search would take about n probes.
TEST(ModernSearches, InterpolationHalvesWhenItsProbesDoNotShrinkTheRange) {
  constexpr std::int32_t n = 100000;
  std::vector<key_type> keys(n);
  for (std::int32_t i = 0; i + 1 < n; ++i) {
    keys[static_cast<std::size_t>(i)] = i;
  }
  keys.back() = greatest;
  const std::vector<list_entry> list = run_of<list_entry>(keys);
  std::int32_t most = 0;
  for (const key_type target : {n / 2, n - 3, 1, greatest - 1}) {
    const counted_search r = algorithms::interpolation(entries(list), target);
    EXPECT_EQ(r.found, target != greatest - 1) << target;
    most = std::max(most, r.comparisons);
  }
  EXPECT_LE(most, algorithms::interpolation_bound(n));
  EXPECT_GT(most, algorithms::floor_log2(n));  // the halving did the work, not a lucky probe
}

}  // namespace

namespace {

// The index of the lowest key not smaller than the target, as the model must predict it.
template <class Key>
std::int64_t lowest_not_smaller(const std::vector<Key>& keys, Key target) {
  return std::lower_bound(keys.begin(), keys.end(), target) - keys.begin();
}

// Checks the model of `keys` at every epsilon: within epsilon of the true index at each key, and
// for each key, the values next to it and the width's extremes, the true index no further from
// the prediction than the model states, which is within epsilon below and epsilon + 1 above.
template <class Key>
void check_learned_error(const char* name, const std::vector<Key>& keys) {
  SCOPED_TRACE(name);
  ASSERT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  for (const std::int64_t epsilon : epsilons) {
    SCOPED_TRACE(epsilon);
    const algorithms::learned_index<Key> model(std::span<const Key>(keys), epsilon);
    EXPECT_LE(model.below(), epsilon);
    EXPECT_LE(model.above(), epsilon + 1);
    EXPECT_LE(model.segments(), model.size() + 1);
    std::int64_t at_keys = 0;
    for (const Key k : keys) {
      at_keys = std::max(at_keys, std::abs(model.predicted(k) - lowest_not_smaller(keys, k)));
    }
    EXPECT_LE(at_keys, epsilon);
    std::int64_t below = 0;
    std::int64_t above = 0;
    for (const Key target : targets_around(keys)) {
      const std::int64_t error = model.predicted(target) - lowest_not_smaller(keys, target);
      below = std::max(below, error);
      above = std::max(above, -error);
    }
    EXPECT_LE(below, model.below());
    EXPECT_LE(above, model.above());
  }
}

// Sorted keys exp(sigma z) times `scale` for normal draws z, the greatest value of the width
// where that is beyond it.
template <class Key>
std::vector<Key> lognormal_keys(std::size_t n, double sigma, double scale) {
  std::mt19937_64 draw(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same keys every run
  std::normal_distribution<double> z;
  std::vector<Key> keys(n);
  constexpr auto greatest = static_cast<double>(std::numeric_limits<Key>::max());
  for (Key& k : keys) {
    const double v = std::exp(sigma * z(draw)) * scale;
    k = v >= greatest ? std::numeric_limits<Key>::max() : static_cast<Key>(v);
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

}  // namespace

// Skewed keys: log-normal ones spread over eight orders of magnitude at 64 bits, and at 32 bits
// with long runs of equal small keys; keys growing as i^3; keys n / (n - i), equal in long runs
// at the front and far apart at the back; each with the least and the greatest value of its
// width.
TEST(LearnedModels, PredictWithinEpsilonOnSkewedKeys) {
  constexpr std::size_t n = 100000;
  std::vector<std::uint64_t> wide = lognormal_keys<std::uint64_t>(n, 2.0, 1e12);
  std::vector<std::uint32_t> narrow = lognormal_keys<std::uint32_t>(n, 1.5, 64.0);
  std::vector<std::uint64_t> cubic(n);
  std::vector<std::uint32_t> runs(n);
  for (std::size_t i = 0; i < n; ++i) {
    cubic[i] = static_cast<std::uint64_t>(i) * i * i * 8192;
    runs[i] = static_cast<std::uint32_t>(n / (n - i));
  }
  for (auto* keys : {&wide, &cubic}) {
    keys->front() = 0;
    keys->back() = std::numeric_limits<std::uint64_t>::max();
  }
  for (auto* keys : {&narrow, &runs}) {
    keys->front() = 0;
    keys->back() = std::numeric_limits<std::uint32_t>::max();
  }
  check_learned_error("log-normal, 64 bits", wide);
  check_learned_error("cubic, 64 bits", cubic);
  check_learned_error("log-normal, 32 bits", narrow);
  check_learned_error("runs, 32 bits", runs);
}

// Evenly spread keys lie on one line, which even at epsilon 1 misses no key: a search tests at
// most two keys, and the model's bytes do not grow with the keys.
TEST(LearnedModels, OddKeysTakeOneSegment) {
  constexpr std::uint64_t n = 1000000;
  std::vector<std::uint64_t> odd(n);
  for (std::uint64_t i = 0; i < n; ++i) {
    odd[i] = 2 * i + 1;
  }
  const algorithms::learned_index<std::uint64_t> model(std::span<const std::uint64_t>(odd), 1);
  EXPECT_EQ(model.segments(), 1);
  EXPECT_EQ(model.below(), 0);
  // The segment's first value, slope, and indices where it starts and ends; the least table, two
  // buckets for each of the 65 positions a leading one may have, and the end.
  EXPECT_EQ(model.bytes(), 8U + 8U + 2U * 4U + (65U * 2U + 1U) * 4U);
  for (const std::uint64_t target : {0UL, 1UL, 2UL, 999UL, 1000UL, 2 * n - 1, 2 * n}) {
    const counted_search r = algorithms::learned(model, target);
    EXPECT_EQ(r.found, target % 2 == 1) << target;
    EXPECT_EQ(r.location, r.found ? static_cast<std::int32_t>(target / 2 + 1) : 0) << target;
    EXPECT_LE(r.comparisons, 2) << target;
  }
}

// A log-normal key set as the lab's goals take it: at epsilon 32 the segments come to well under
// 1% of the keys' bytes.
TEST(LearnedModels, LogNormalKeysTakeFewSegments) {
  const std::vector<std::uint64_t> keys = lognormal_keys<std::uint64_t>(1000000, 2.0, 1e9);
  const algorithms::learned_index<std::uint64_t> model(std::span<const std::uint64_t>(keys), 32);
  EXPECT_LT(model.bytes() * 100, keys.size() * sizeof(std::uint64_t));
}

TEST(LearnedModels, RefuseAnEpsilonOutOfRange) {
  const std::vector<std::uint32_t> keys{1, 2, 3};
  for (const std::int64_t epsilon :
       {std::int64_t{0}, std::int64_t{-1}, (std::int64_t{1} << 30) + 1}) {
    EXPECT_THROW(algorithms::learned_index(std::span<const std::uint32_t>(keys), epsilon),
                 std::invalid_argument)
        << epsilon;
  }
}
