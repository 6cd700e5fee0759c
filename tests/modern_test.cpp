// Every search algorithm, the textbook ones and those of today (branchless, eytzinger,
// interpolation, exponential), on runs of list entries and of plain keys of 32 and 64 bits: the
// same results as binary1 on every target of every list up to 300 entries and on samples of long
// ones, the same counts on the same key values whatever the entry type, and the counts and bounds
// their headers promise.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "search/algorithms.hpp"
#include "search/eytzinger.hpp"
#include "search/modern.hpp"

namespace {

namespace algorithms = velk_sr::algorithms;
using algorithms::counted_search;
using algorithms::entries;
using algorithms::key_type_of;
using velk_sr::key_type;
using velk_sr::list_entry;

constexpr key_type least = std::numeric_limits<key_type>::min();
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
  std::vector<Key> targets{std::numeric_limits<Key>::min(), std::numeric_limits<Key>::max(), 0};
  for (const Key k : keys) {
    targets.push_back(k);
    if (k > std::numeric_limits<Key>::min()) {
      targets.push_back(k - 1);
    }
    if (k < std::numeric_limits<Key>::max()) {
      targets.push_back(k + 1);
    }
  }
  return targets;
}

// The list in a failure message, an empty one included.
template <class Key>
std::string described(const std::vector<Key>& keys) {
  std::ostringstream text;
  text << keys.size() << " keys";
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

template <class Entry>
using layout_of = algorithms::eytzinger_layout<key_type_of<Entry>>;

template <class Entry>
struct method_case {
  const char* name;
  counted_search (*search)(std::span<const Entry>, key_type_of<Entry>, const layout_of<Entry>&);
  std::int32_t (*bound)(std::int32_t n);
  promise keeps;
  bool always_its_bound;      // counts its bound for every target
  bool examines_every_entry;  // too slow for the long lists' thousands of targets
};

template <class Entry>
const std::vector<method_case<Entry>>& every_method() {
  using run = std::span<const Entry>;
  using key = key_type_of<Entry>;
  using layout = layout_of<Entry>;
  static const std::vector<method_case<Entry>> methods{
      {"sequential", [](run r, key t, const layout&) { return algorithms::sequential(r, t); },
       algorithms::sequential_bound, promise::lowest_or_size, false, true},
      {"binary1", [](run r, key t, const layout&) { return algorithms::binary1(r, t); },
       algorithms::binary1_bound, promise::same_as_binary1, false, false},
      {"recbinary1",
       [](run r, key t, const layout&) {
         return algorithms::recbinary1(r, t, 1, static_cast<std::int32_t>(r.size()));
       },
       algorithms::binary1_bound, promise::same_as_binary1, false, false},
      {"binary2", [](run r, key t, const layout&) { return algorithms::binary2(r, t); },
       algorithms::binary2_bound, promise::any_match, false, false},
      {"recbinary2",
       [](run r, key t, const layout&) {
         return algorithms::recbinary2(r, t, 1, static_cast<std::int32_t>(r.size()));
       },
       algorithms::binary2_bound, promise::any_match, false, false},
      {"branchless", [](run r, key t, const layout&) { return algorithms::branchless(r, t); },
       algorithms::branchless_bound, promise::lowest_or_zero, true, false},
      {"eytzinger", [](run, key t, const layout& l) { return algorithms::eytzinger(l, t); },
       algorithms::eytzinger_bound, promise::lowest_or_zero, false, false},
      {"interpolation", [](run r, key t, const layout&) { return algorithms::interpolation(r, t); },
       algorithms::interpolation_bound, promise::lowest_or_zero, false, false},
      {"exponential", [](run r, key t, const layout&) { return algorithms::exponential(r, t); },
       algorithms::exponential_bound, promise::lowest_or_zero, false, false},
  };
  return methods;
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
// promises; gives every result, method by method and target by target. Stops at the first
// disagreement, so that a broken method says so once.
template <class Entry>
std::vector<counted_search> check_every_method(const std::vector<key_type_of<Entry>>& keys,
                                               const std::vector<key_type_of<Entry>>& targets,
                                               bool long_list = false) {
  const std::vector<Entry> list = run_of<Entry>(keys);
  const std::span<const Entry> run(list);
  const algorithms::eytzinger_layout layout(run);
  EXPECT_EQ(layout.size(), static_cast<std::int32_t>(keys.size()));
  constexpr std::size_t key_bytes = sizeof(key_type_of<Entry>);
  std::vector<counted_search> results;
  for (const method_case<Entry>& m : every_method<Entry>()) {
    if (long_list && m.examines_every_entry) {
      continue;
    }
    for (const key_type_of<Entry> target : targets) {
      const counted_search expected = algorithms::binary1(run, target);
      const counted_search r = m.search(run, target, layout);
      if (!keeps_its_promise(m, run, target, r, expected)) {
        ADD_FAILURE() << m.name << " on " << described(keys) << " (" << key_bytes
                      << "-byte keys), target " << target << ": found " << r.found << " at "
                      << r.location << " counting " << r.comparisons << "; binary1 found "
                      << expected.found << " at " << expected.location << "; bound "
                      << m.bound(static_cast<std::int32_t>(keys.size()));
        return results;
      }
      results.push_back(r);
    }
  }
  return results;
}

// The shapes of list that each size is tried with, over the whole range of the key type.
template <class Key>
std::vector<std::vector<Key>> lists_of_size(std::int32_t n) {
  using unsigned_key = std::make_unsigned_t<Key>;
  constexpr Key low = std::numeric_limits<Key>::min();
  constexpr Key high = std::numeric_limits<Key>::max();
  const auto step = n <= 1 ? unsigned_key{0}
                           : static_cast<unsigned_key>(static_cast<unsigned_key>(high) -
                                                       static_cast<unsigned_key>(low)) /
                                 static_cast<unsigned_key>(n - 1);
  std::vector<Key> odd;
  std::vector<Key> runs_of_equal;
  std::vector<Key> whole_range;
  std::vector<Key> one_far_outlier;
  std::vector<Key> doubling;
  std::vector<Key> no_gap_from_least;
  std::vector<Key> no_gap_to_greatest;
  std::vector<Key> least_then_greatest;
  for (std::int32_t i = 0; i < n; ++i) {
    const auto at = static_cast<unsigned_key>(i);
    odd.push_back(static_cast<Key>(2 * i + 1));
    runs_of_equal.push_back(static_cast<Key>(i / 3 * 5 + (std::is_signed_v<Key> ? -40 : 0)));
    // From the least key to the greatest in equal steps.
    whole_range.push_back(
        n == 1 || i + 1 < n ? static_cast<Key>(static_cast<unsigned_key>(low) + step * at) : high);
    one_far_outlier.push_back(i + 1 < n ? static_cast<Key>(i) : high);
    doubling.push_back(i < std::numeric_limits<Key>::digits ? static_cast<Key>((Key{1} << i) - 1)
                                                            : high);
    no_gap_from_least.push_back(static_cast<Key>(low + static_cast<Key>(i)));
    no_gap_to_greatest.push_back(static_cast<Key>(high - static_cast<Key>(n - 1 - i)));
    least_then_greatest.push_back(2 * i < n ? low : high);
  }
  return {odd,
          runs_of_equal,
          whole_range,
          one_far_outlier,
          doubling,
          no_gap_from_least,
          no_gap_to_greatest,
          least_then_greatest,
          std::vector<Key>(static_cast<std::size_t>(n), 7),
          std::vector<Key>(static_cast<std::size_t>(n), low),
          std::vector<Key>(static_cast<std::size_t>(n), high)};
}

// The keys and targets of 32 bits as 64-bit ones: the same values, and the values times 2^32.
std::vector<std::uint64_t> widened(const std::vector<std::uint32_t>& keys, int shift) {
  std::vector<std::uint64_t> wide;
  wide.reserve(keys.size());
  for (const std::uint32_t k : keys) {
    wide.push_back(std::uint64_t{k} << shift);
  }
  return wide;
}

// Every size up to 300 in every shape, at each entry type. On the same key values every entry
// type counts the same: the odd keys 1, 3, ..., 2n - 1 at all three, and each list of 32-bit
// keys at 64 bits, as it is and with every key and target times 2^32 (where a probe's product
// needs more than 64 bits).
TEST(ModernSearches, AgreeWithBinary1OnEveryTargetOfEveryShortList) {
  for (std::int32_t n = 0; n <= 300; ++n) {
    SCOPED_TRACE(n);
    for (const std::vector<key_type>& keys : lists_of_size<key_type>(n)) {
      check_every_method<list_entry>(keys, targets_around(keys));
    }
    for (const std::vector<std::uint64_t>& keys : lists_of_size<std::uint64_t>(n)) {
      check_every_method<std::uint64_t>(keys, targets_around(keys));
    }
    for (const std::vector<std::uint32_t>& keys : lists_of_size<std::uint32_t>(n)) {
      const std::vector<std::uint32_t> targets = targets_around(keys);
      const std::vector<counted_search> narrow = check_every_method<std::uint32_t>(keys, targets);
      for (const int shift : {0, 32}) {
        ASSERT_EQ(check_every_method<std::uint64_t>(widened(keys, shift), widened(targets, shift)),
                  narrow)
            << described(keys) << " times 2^" << shift;
      }
    }
    std::vector<key_type> odd;
    std::vector<key_type> odd_targets;
    for (key_type k = 0; k <= 2 * n; ++k) {
      if (k % 2 == 1) {
        odd.push_back(k);
      }
      odd_targets.push_back(k);
    }
    const std::vector<counted_search> signed_counts =
        check_every_method<list_entry>(odd, odd_targets);
    const std::vector<std::uint32_t> odd32(odd.begin(), odd.end());
    const std::vector<std::uint32_t> targets32(odd_targets.begin(), odd_targets.end());
    ASSERT_EQ(check_every_method<std::uint32_t>(odd32, targets32), signed_counts);
    ASSERT_EQ(check_every_method<std::uint64_t>(widened(odd32, 0), widened(targets32, 0)),
              signed_counts);
    if (::testing::Test::HasFailure()) {
      return;
    }
  }
}

// Keys that climb by random steps, a quarter of them 0 (duplicates), from near the least value
// most of the way to the greatest; and the odd keys. Targets from around a sample of the keys.
template <class Entry>
void check_samples_of_long_lists() {
  using key = key_type_of<Entry>;
  using unsigned_key = std::make_unsigned_t<key>;
  constexpr key low = std::numeric_limits<key>::min();
  constexpr auto room = static_cast<unsigned_key>(std::numeric_limits<unsigned_key>::max() - 10);
  std::mt19937_64 draw(20240607);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same lists every run
  for (const std::int32_t n : {10000, 100000, 1000000, 10000000}) {
    SCOPED_TRACE(n);
    // Steps from low + 5 as offsets, which stop 5 below the greatest key.
    const unsigned_key spread = room / static_cast<unsigned_key>(n);
    std::uniform_int_distribution<unsigned_key> step(0, 2 * spread);
    std::vector<key> random_steps(static_cast<std::size_t>(n));
    unsigned_key offset = 5;
    for (key& k : random_steps) {
      k = static_cast<key>(static_cast<unsigned_key>(low) + offset);
      const unsigned_key s = step(draw);
      const unsigned_key taken = s < spread / 2 ? 0 : s;
      offset = room - offset < taken ? room : offset + taken;
    }
    std::vector<key> odd(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) {
      odd[static_cast<std::size_t>(i)] = static_cast<key>(i) * 2 + 1;
    }
    for (const std::vector<key>* keys : {&random_steps, &odd}) {
      std::uniform_int_distribution<std::size_t> at(0, keys->size() - 1);
      std::vector<key> sample{keys->front(), keys->back()};
      for (int i = 0; i < 2000; ++i) {
        sample.push_back((*keys)[at(draw)]);
      }
      check_every_method<Entry>(*keys, targets_around(sample), true);
    }
  }
}

TEST(ModernSearches, AgreeWithBinary1OnSamplesOfLongLists) {
  check_samples_of_long_lists<list_entry>();
  check_samples_of_long_lists<std::uint32_t>();
  check_samples_of_long_lists<std::uint64_t>();
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
      // n
      {"sequential", algorithms::sequential_bound, {0, 1, 2, 3, 1000, 1024, 1025, (1 << 30) - 1}},
      // ceil(log2 n) + 1
      {"binary1", algorithms::binary1_bound, {0, 1, 2, 3, 11, 11, 12, 31}},
      // 2 (floor(log2 n) + 1)
      {"binary2", algorithms::binary2_bound, {0, 2, 4, 4, 20, 22, 22, 60}},
      // ceil(log2 n) + 1
      {"branchless", algorithms::branchless_bound, {0, 1, 2, 3, 11, 11, 12, 31}},
      // floor(log2 n) + 2
      {"eytzinger", algorithms::eytzinger_bound, {0, 2, 3, 3, 11, 12, 12, 31}},
      // 3 floor(log2 n) + 4
      {"interpolation", algorithms::interpolation_bound, {0, 4, 7, 7, 31, 34, 34, 91}},
      // 2 ceil(log2 n) + 1
      {"exponential", algorithms::exponential_bound, {0, 1, 3, 5, 21, 21, 23, 61}},
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
  const algorithms::eytzinger_layout layout{entries()};
  for (const counted_search& r :
       {algorithms::branchless(entries(), 5), algorithms::eytzinger(layout, 5),
        algorithms::interpolation(entries(), 5), algorithms::exponential(entries(), 5)}) {
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
  const algorithms::eytzinger_layout layout{entries(list)};
  struct method_cases {
    const char* name;
    counted_search (*search)(entries, key_type, const layout_of<list_entry>&);
    std::vector<count_case> cases;
  };
  const method_cases methods[] = {
      // Four halvings (10, 5, 3, 2, 1 entries), then the final test.
      {"branchless",
       [](entries run, key_type t, const layout_of<list_entry>&) {
         return algorithms::branchless(run, t);
       },
       {{1, 1, 5}, {19, 10, 5}, {0, 0, 5}, {20, 0, 5}}},
      // The tree of 10 keys has 4 levels, the last with 3 nodes: 1 goes left four times and is
      // tested; 19 goes right three times and is tested; 20 goes right three times, then leaves
      // the tree above every key untested.
      {"eytzinger",
       [](entries, key_type t, const layout_of<list_entry>& l) {
         return algorithms::eytzinger(l, t);
       },
       {{1, 1, 5}, {19, 10, 4}, {20, 0, 3}, {0, 0, 5}, {9, 5, 5}}},
      // 9 is placed exactly (not smaller), then 7 (smaller): two probes and the final test. 20
      // lies above the last key: one probe, no final test. 0 lies below the first: one probe and
      // the final test.
      {"interpolation",
       [](entries run, key_type t, const layout_of<list_entry>&) {
         return algorithms::interpolation(run, t);
       },
       {{9, 5, 3}, {1, 1, 2}, {20, 0, 1}, {0, 0, 2}, {10, 0, 3}}},
      // 1: one galloping test, the final test. 19: positions 1, 2, 4, 8 smaller, the bracket
      // 9..10 halved once, the final test.
      {"exponential",
       [](entries run, key_type t, const layout_of<list_entry>&) {
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
