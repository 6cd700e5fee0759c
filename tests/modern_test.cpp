// The search methods of today (branchless, eytzinger, interpolation, exponential): the same
// results as binary1 on every target of every list up to 300 entries and on samples of long
// ones, and the counts their headers promise.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "search/algorithms.hpp"
#include "search/eytzinger.hpp"
#include "search/modern.hpp"

namespace {

namespace algorithms = velk_sr::algorithms;
using algorithms::counted_search;
using algorithms::entries;
using velk_sr::key_type;
using velk_sr::list_entry;

constexpr key_type least = std::numeric_limits<key_type>::min();
constexpr key_type greatest = std::numeric_limits<key_type>::max();

std::int32_t log2_down(std::int32_t n) {
  return static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(n))) - 1;
}
std::int32_t log2_up(std::int32_t n) {
  return static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(n - 1)));
}

std::vector<list_entry> list_of(const std::vector<key_type>& keys) {
  std::vector<list_entry> list(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    list[i].key = keys[i];
    list[i].info = static_cast<std::int32_t>(i);
  }
  return list;
}

// Each key, the values next to it, and the extremes: every gap's targets, below and above all.
std::vector<key_type> targets_around(const std::vector<key_type>& keys) {
  std::vector<key_type> targets{least, greatest, 0};
  for (const key_type k : keys) {
    targets.push_back(k);
    if (k > least) {
      targets.push_back(k - 1);
    }
    if (k < greatest) {
      targets.push_back(k + 1);
    }
  }
  return targets;
}

// The four methods on one list, each against binary1 on each target and within the count its
// header promises. Stops at the first disagreement, so that a broken method says so once.
void check_every_method(const std::vector<key_type>& keys, const std::vector<key_type>& targets) {
  const std::vector<list_entry> list = list_of(keys);
  const entries run(list);
  const algorithms::eytzinger_layout layout(run);
  const auto n = static_cast<std::int32_t>(keys.size());
  ASSERT_EQ(layout.size(), n);
  struct method_case {
    const char* name;
    std::int32_t bound;
  };
  const method_case cases[] = {
      {"branchless", n == 0 ? 0 : log2_up(n) + 1},
      {"eytzinger", n == 0 ? 0 : log2_down(n) + 2},
      {"interpolation", n == 0 ? 0 : 3 * log2_down(n) + 4},
      {"exponential", n == 0 ? 0 : 2 * log2_up(n) + 1},
  };
  for (const key_type target : targets) {
    const counted_search expected = algorithms::binary1(run, target);
    const counted_search results[] = {
        algorithms::branchless(run, target), algorithms::eytzinger(layout, target),
        algorithms::interpolation(run, target), algorithms::exponential(run, target)};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
      const counted_search& r = results[i];
      const bool agrees = r.found == expected.found &&
                          r.location == (expected.found ? expected.location : 0) &&
                          r.comparisons >= 0 && r.comparisons <= cases[i].bound;
      // branchless counts the same for every target.
      const bool exact =
          std::string(cases[i].name) != "branchless" || r.comparisons == cases[i].bound;
      if (!agrees || !exact) {
        ADD_FAILURE() << cases[i].name << " on " << n << " keys from " << keys.front() << " to "
                      << keys.back() << ", target " << target << ": found " << r.found << " at "
                      << r.location << " counting " << r.comparisons << "; binary1 found "
                      << expected.found << " at " << expected.location << "; bound "
                      << cases[i].bound;
        return;
      }
    }
  }
}

// The shapes of list that each size is tried with.
std::vector<std::vector<key_type>> lists_of_size(std::int32_t n) {
  std::vector<key_type> odd;
  std::vector<key_type> runs_of_equal;
  std::vector<key_type> whole_range;
  std::vector<key_type> one_far_outlier;
  std::vector<key_type> doubling;
  for (std::int32_t i = 0; i < n; ++i) {
    odd.push_back(2 * i + 1);
    runs_of_equal.push_back(i / 3 * 5 - 40);
    // From INT32_MIN to INT32_MAX in equal steps.
    whole_range.push_back(
        n == 1 ? least
               : static_cast<key_type>(least + (std::int64_t{greatest} - least) * i / (n - 1)));
    one_far_outlier.push_back(i + 1 < n ? i : greatest);
    doubling.push_back(i < 31 ? static_cast<key_type>((std::int64_t{1} << i) - 1) : greatest);
  }
  return {odd,
          runs_of_equal,
          whole_range,
          one_far_outlier,
          doubling,
          std::vector<key_type>(static_cast<std::size_t>(n), 7),
          std::vector<key_type>(static_cast<std::size_t>(n), least),
          std::vector<key_type>(static_cast<std::size_t>(n), greatest)};
}

TEST(ModernSearches, AgreeWithBinary1OnEveryTargetOfEveryShortList) {
  for (std::int32_t n = 0; n <= 300; ++n) {
    for (const std::vector<key_type>& keys : lists_of_size(n)) {
      check_every_method(
          keys, keys.empty() ? std::vector<key_type>{least, 0, greatest} : targets_around(keys));
      if (::testing::Test::HasFailure()) {
        return;
      }
    }
  }
}

// Keys that climb by random steps, a quarter of them 0 (duplicates), from near the least value
// most of the way to the greatest; and the odd keys. Targets from around a sample of the keys.
TEST(ModernSearches, AgreeWithBinary1OnSamplesOfLongLists) {
  std::mt19937 draw(20240607);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same lists every run
  for (const std::int32_t n : {10000, 100000, 1000000, 10000000}) {
    SCOPED_TRACE(n);
    const std::int64_t spread = (std::int64_t{1} << 32) / n;
    std::uniform_int_distribution<std::int64_t> step(0, 2 * spread);
    std::vector<key_type> random_steps(static_cast<std::size_t>(n));
    std::int64_t key = least + 5;
    for (key_type& k : random_steps) {
      k = static_cast<key_type>(key);
      const std::int64_t s = step(draw);
      key = std::min<std::int64_t>(key + (s < spread / 2 ? 0 : s), greatest - 5);
    }
    std::vector<key_type> odd(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) {
      odd[static_cast<std::size_t>(i)] = 2 * i + 1;
    }
    for (const std::vector<key_type>* keys : {&random_steps, &odd}) {
      std::uniform_int_distribution<std::size_t> at(0, keys->size() - 1);
      std::vector<key_type> sample{keys->front(), keys->back()};
      for (int i = 0; i < 2000; ++i) {
        sample.push_back((*keys)[at(draw)]);
      }
      check_every_method(*keys, targets_around(sample));
    }
  }
}

TEST(ModernSearches, EmptyRunsFindNothingAndCountNothing) {
  const algorithms::eytzinger_layout layout{entries()};
  for (const counted_search& r :
       {algorithms::branchless({}, 5), algorithms::eytzinger(layout, 5),
        algorithms::interpolation({}, 5), algorithms::exponential({}, 5)}) {
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
  const std::vector<list_entry> list = list_of(keys);
  const algorithms::eytzinger_layout layout{entries(list)};
  struct method_cases {
    const char* name;
    counted_search (*search)(entries, key_type, const algorithms::eytzinger_layout&);
    std::vector<count_case> cases;
  };
  const method_cases methods[] = {
      // Four halvings (10, 5, 3, 2, 1 entries), then the final test.
      {"branchless",
       [](entries run, key_type t, const algorithms::eytzinger_layout&) {
         return algorithms::branchless(run, t);
       },
       {{1, 1, 5}, {19, 10, 5}, {0, 0, 5}, {20, 0, 5}}},
      // The tree of 10 keys has 4 levels, the last with 3 nodes: 1 goes left four times and is
      // tested; 19 goes right three times and is tested; 20 goes right three times, then leaves
      // the tree above every key untested.
      {"eytzinger",
       [](entries, key_type t, const algorithms::eytzinger_layout& l) {
         return algorithms::eytzinger(l, t);
       },
       {{1, 1, 5}, {19, 10, 4}, {20, 0, 3}, {0, 0, 5}, {9, 5, 5}}},
      // 9 is placed exactly (not smaller), then 7 (smaller): two probes and the final test. 20
      // lies above the last key: one probe, no final test. 0 lies below the first: one probe and
      // the final test.
      {"interpolation",
       [](entries run, key_type t, const algorithms::eytzinger_layout&) {
         return algorithms::interpolation(run, t);
       },
       {{9, 5, 3}, {1, 1, 2}, {20, 0, 1}, {0, 0, 2}, {10, 0, 3}}},
      // 1: one galloping test, the final test. 19: positions 1, 2, 4, 8 smaller, the bracket
      // 9..10 halved once, the final test.
      {"exponential",
       [](entries run, key_type t, const algorithms::eytzinger_layout&) {
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
  const std::vector<list_entry> list = list_of(keys);
  std::int32_t most = 0;
  for (const key_type target : {n / 2, n - 3, 1, greatest - 1}) {
    const counted_search r = algorithms::interpolation(list, target);
    EXPECT_EQ(r.found, target != greatest - 1) << target;
    most = std::max(most, r.comparisons);
  }
  EXPECT_LE(most, 3 * log2_down(n) + 4);
  EXPECT_GT(most, log2_down(n));  // the halving did the work, not a lucky probe
}

}  // namespace
