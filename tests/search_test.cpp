// The search routines and what they count, and the counter and stopwatch that measure them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "failure_test_support.hpp"
#include "search/algorithms.hpp"
#include "search/velk_sr.hpp"

namespace {

using velk_sr::key_type;
using velk_sr::search_result;
using velk_sr::searchmethod;

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override { velk_sr::reset_counts(); }

  // The list 1, 3, ..., 2n - 1.
  void odd_keys(std::int32_t n) {
    for (std::int32_t i = 1; i <= n; ++i) {
      l.data[i].key = 2 * i - 1;
    }
    l.count = n;
  }
  void keys(const std::vector<key_type>& ks) {
    std::int32_t i = 0;
    for (const key_type k : ks) {
      l.data[++i].key = k;
    }
    l.count = i;
  }
  // Searches `target` and gives back the result and what the search added to the counter.
  std::pair<search_result, std::int32_t> search(searchmethod method, key_type target,
                                                std::int32_t location = 1) {
    const std::int32_t before = velk_sr::cc;
    const search_result r = method(l, target, false, location);
    return {r, velk_sr::cc - before};
  }

  std::unique_ptr<velk_sr::list> owner = std::make_unique<velk_sr::list>();
  velk_sr::list& l = *owner;
};

struct count_case {
  key_type target;
  bool found;
  std::int32_t location;
  std::int32_t added;
};

TEST_F(SearchTest, SequentialCountsOneForEachKeyExamined) {
  odd_keys(10);
  for (const count_case& c :
       {count_case{1, true, 1, 1}, count_case{7, true, 4, 4}, count_case{19, true, 10, 10},
        count_case{8, false, 10, 10}, count_case{-5, false, 10, 10}}) {
    const auto [r, added] = search(velk_sr::sequentialsearch, c.target);
    EXPECT_EQ(r.found, c.found) << c.target;
    EXPECT_EQ(r.location, c.location) << c.target;
    EXPECT_EQ(added, c.added) << c.target;
  }
}

TEST_F(SearchTest, Binary1CountsSmallerProbesAndTheFinalTest) {
  odd_keys(10);
  for (const count_case& c :
       {count_case{1, true, 1, 1}, count_case{19, true, 10, 4}, count_case{20, false, 7, 4},
        count_case{0, false, 7, 1}, count_case{9, true, 5, 3}}) {
    for (const searchmethod method : {velk_sr::binary1search, velk_sr::recbinary1search}) {
      const auto [r, added] = search(method, c.target, 7);
      EXPECT_EQ(r.found, c.found) << c.target;
      EXPECT_EQ(r.location, c.location) << c.target;
      EXPECT_EQ(added, c.added) << c.target;
    }
  }
}

TEST_F(SearchTest, TotalsOverOddAndEvenTargets) {
  odd_keys(10);
  struct total_case {
    searchmethod method;
    key_type first_even;
    std::int32_t odd_total;
    std::int32_t even_total;
  };
  for (const total_case& c : {total_case{velk_sr::sequentialsearch, 2, 55, 100},
                              total_case{velk_sr::binary1search, 0, 25, 29},
                              total_case{velk_sr::recbinary1search, 0, 25, 29}}) {
    velk_sr::reset_counts();
    for (key_type k = 1; k <= 19; k += 2) {
      EXPECT_TRUE(c.method(l, k, false, 1).found) << k;
    }
    EXPECT_EQ(velk_sr::get_counts().comparisons, c.odd_total);
    velk_sr::reset_counts();
    for (key_type k = c.first_even; k <= 20; k += 2) {
      EXPECT_FALSE(c.method(l, k, false, 1).found) << k;
    }
    EXPECT_EQ(velk_sr::get_counts().comparisons, c.even_total);
  }
}

TEST_F(SearchTest, DuplicatesAreFoundAtTheLowestPosition) {
  keys({1, 4, 4, 4, 4, 9, 9});
  for (const searchmethod method :
       {velk_sr::sequentialsearch, velk_sr::binary1search, velk_sr::recbinary1search}) {
    EXPECT_EQ(method(l, 4, false, 1).location, 2);
    EXPECT_EQ(method(l, 9, false, 1).location, 6);
  }
}

TEST_F(SearchTest, EmptyListFindsNothingCountsNothingAndKeepsTheLocation) {
  l.data[1].key = 5;  // a slot outside the list must not be looked at
  l.count = 0;
  for (const searchmethod method :
       {velk_sr::sequentialsearch, velk_sr::binary1search, velk_sr::recbinary1search}) {
    const auto [r, added] = search(method, 5, 42);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.location, 42);
    EXPECT_EQ(added, 0);
  }
}

TEST_F(SearchTest, EveryRoutineGivesItsOwnOutcomeWhateverTheCallerPassed) {
  odd_keys(10);
  for (const searchmethod method :
       {velk_sr::sequentialsearch, velk_sr::binary1search, velk_sr::recbinary1search,
        velk_sr::binary2search, velk_sr::recbinary2search}) {
    for (const bool passed : {false, true}) {
      EXPECT_FALSE(method(l, 8, passed, 3).found) << passed;
      EXPECT_FALSE(method(l, 20, passed, 3).found) << passed;
      const search_result hit = method(l, 9, passed, 3);
      EXPECT_TRUE(hit.found) << passed;
      EXPECT_EQ(hit.location, 5) << passed;
    }
  }
  EXPECT_FALSE(velk_sr::recbinary2(l, 8, 1, 10, true, 3).found);
  EXPECT_FALSE(velk_sr::recbinary2(l, 8, 6, 5, true, 3).found);
}

TEST_F(SearchTest, RecursiveWorkersOnAnEmptyRangeKeepTheLocationAndCountNothing) {
  odd_keys(10);
  const std::int32_t before = velk_sr::cc;
  const search_result r1 = velk_sr::recbinary1(l, 9, 6, 3, 42);
  EXPECT_FALSE(r1.found);
  EXPECT_EQ(r1.location, 42);
  const search_result r2 = velk_sr::recbinary2(l, 9, 6, 5, false, 42);
  EXPECT_FALSE(r2.found);
  EXPECT_EQ(r2.location, 42);
  EXPECT_EQ(velk_sr::cc, before);
}

TEST_F(SearchTest, OneEntryCountsExactlyOneComparison) {
  odd_keys(1);
  for (const searchmethod method :
       {velk_sr::sequentialsearch, velk_sr::binary1search, velk_sr::recbinary1search}) {
    const auto [hit, hit_added] = search(method, 1);
    EXPECT_TRUE(hit.found);
    EXPECT_EQ(hit.location, 1);
    EXPECT_EQ(hit_added, 1);
    const auto [miss, miss_added] = search(method, 2);
    EXPECT_FALSE(miss.found);
    EXPECT_EQ(miss_added, 1);
  }
}

TEST_F(SearchTest, FullListUnsuccessfulSequentialExaminesEveryEntry) {
  odd_keys(10000);
  const auto [r, added] = search(velk_sr::sequentialsearch, 20000);
  EXPECT_FALSE(r.found);
  EXPECT_EQ(r.location, 10000);
  EXPECT_EQ(added, 10000);
  const auto [last, last_added] = search(velk_sr::binary1search, 19999);
  EXPECT_EQ(last.location, 10000);
  EXPECT_EQ(last_added, 14);
}

TEST_F(SearchTest, IterativeAndRecursiveBinary1AgreeEverywhere) {
  for (std::int32_t n = 0; n <= 12; ++n) {
    odd_keys(n);
    for (key_type target = -1; target <= 21; ++target) {
      const auto [iterative, iterative_added] = search(velk_sr::binary1search, target, 3);
      const auto [recursive, recursive_added] = search(velk_sr::recbinary1search, target, 3);
      const auto [sequential, sequential_added] = search(velk_sr::sequentialsearch, target, 3);
      EXPECT_EQ(iterative.found, recursive.found) << n << ' ' << target;
      EXPECT_EQ(iterative.location, recursive.location) << n << ' ' << target;
      EXPECT_EQ(iterative_added, recursive_added) << n << ' ' << target;
      EXPECT_EQ(iterative.found, sequential.found) << n << ' ' << target;
      if (iterative.found) {
        EXPECT_EQ(iterative.location, sequential.location) << n << ' ' << target;
      }
    }
  }
}

// The iterative binary1 makes the probes that every search makes in a loop of fixed length and
// the last one apart; its recursive form states the probes plainly. They must agree on every
// result and count, whatever the keys: ascending with repeats, or in no order at all.
TEST(Binary1, AgreesWithItsRecursiveFormOnAnyKeys) {
  using velk_sr::algorithms::counted_search;
  auto expect_agreement = [](std::span<const velk_sr::list_entry> run, key_type target) {
    const counted_search iterative = velk_sr::algorithms::binary1(run, target);
    const counted_search recursive =
        velk_sr::algorithms::recbinary1(run, target, 1, static_cast<std::int32_t>(run.size()));
    ASSERT_EQ(iterative.found, recursive.found) << run.size() << ' ' << target;
    ASSERT_EQ(iterative.location, recursive.location) << run.size() << ' ' << target;
    ASSERT_EQ(iterative.comparisons, recursive.comparisons) << run.size() << ' ' << target;
  };
  std::vector<velk_sr::list_entry> repeats(300);
  std::vector<velk_sr::list_entry> scrambled(300);
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < repeats.size(); ++i) {
    repeats[i].key = static_cast<key_type>(i / 3);
    state = state * 1103515245U + 12345U;
    scrambled[i].key = static_cast<key_type>(state >> 24U);
  }
  for (std::size_t n = 0; n <= repeats.size(); ++n) {
    for (key_type target = -1; target <= 256; ++target) {
      expect_agreement(std::span(repeats).first(n), target);
      expect_agreement(std::span(scrambled).first(n), target);
    }
  }
  // Keys and targets over the whole 32-bit range, negative ones and the extremes included,
  // ascending and scrambled.
  std::vector<velk_sr::list_entry> wide(64);
  std::vector<key_type> wide_targets = {std::numeric_limits<key_type>::min(),
                                        std::numeric_limits<key_type>::max(), 0, -1, 1};
  for (velk_sr::list_entry& e : wide) {
    state = state * 1103515245U + 12345U;
    e.key = static_cast<key_type>(state);
    wide_targets.push_back(e.key);
    wide_targets.push_back(e.key == std::numeric_limits<key_type>::min() ? e.key : e.key - 1);
  }
  wide.front().key = std::numeric_limits<key_type>::min();
  wide.back().key = std::numeric_limits<key_type>::max();
  for (int order = 0; order < 2; ++order) {
    for (std::size_t n = 0; n <= wide.size(); ++n) {
      for (const key_type target : wide_targets) {
        expect_agreement(std::span(wide).first(n), target);
      }
    }
    std::sort(
        wide.begin(), wide.end(),
        [](const velk_sr::list_entry& a, const velk_sr::list_entry& b) { return a.key < b.key; });
  }
  // Long runs, whose ranges are halved many times, around powers of two and not.
  std::vector<velk_sr::list_entry> odd(std::size_t{1} << 20U);
  for (std::size_t i = 0; i < odd.size(); ++i) {
    odd[i].key = static_cast<key_type>(2 * i + 1);
  }
  for (const std::size_t n :
       {odd.size(), odd.size() - 1, (odd.size() >> 1U) + 1, std::size_t{1000003}}) {
    for (key_type target = 0; target <= 2 * static_cast<key_type>(n) + 1; target += 997) {
      expect_agreement(std::span(odd).first(n), target);
    }
  }
}

TEST_F(SearchTest, ProbesOutsideTheArrayFail) {
  odd_keys(10);
  EXPECT_FAILURE(constraint_error, velk_sr::recbinary1(l, 5, 0, 0));
  EXPECT_FAILURE(constraint_error, velk_sr::recbinary1(l, 5, 0, 1));
  EXPECT_FAILURE(constraint_error, velk_sr::recbinary1(l, 5, 10001, 10001));
  // Beyond the count but inside the array, slots are read as they stand.
  l.data[11].key = 21;
  EXPECT_TRUE(velk_sr::recbinary1(l, 21, 1, 11).found);
  // A sum that passes 2147483647 wraps to a negative probe, which the index check refuses.
  EXPECT_FAILURE(constraint_error,
                 velk_sr::recbinary1(l, 5, std::numeric_limits<std::int32_t>::max() - 1,
                                     std::numeric_limits<std::int32_t>::max()));
}

TEST_F(SearchTest, CountingPastTheLimitFails) {
  odd_keys(10);
  for (const searchmethod method :
       {velk_sr::sequentialsearch, velk_sr::binary1search, velk_sr::recbinary1search}) {
    velk_sr::cc = std::numeric_limits<std::int32_t>::max();
    EXPECT_FAILURE(constraint_error, method(l, 19, false, 1));
  }
  velk_sr::cc = std::numeric_limits<std::int32_t>::max() - 1;
  EXPECT_NO_FAILURE(velk_sr::sequentialsearch(l, 1, false, 1));
  EXPECT_EQ(velk_sr::cc, std::numeric_limits<std::int32_t>::max());
}

TEST_F(SearchTest, Binary2ProbesAndCountsOneOrTwoPerProbe) {
  odd_keys(10);
  struct probe_case {
    key_type target;
    bool found;
    std::int32_t location;  // as binary2search gives it
    std::int32_t added;
  };
  // 9: probe 5 hits. 19 and 20: probes 5, 8, 9, 10. 0: probes 5, 2, 1. 10: probes 5, 8, 6.
  for (const probe_case& c :
       {probe_case{9, true, 5, 1}, probe_case{19, true, 10, 7}, probe_case{20, false, 10, 8},
        probe_case{0, false, 1, 6}, probe_case{10, false, 6, 6}, probe_case{1, true, 1, 5}}) {
    const auto [iterative, iterative_added] = search(velk_sr::binary2search, c.target, 7);
    EXPECT_EQ(iterative.found, c.found) << c.target;
    EXPECT_EQ(iterative.location, c.location) << c.target;
    EXPECT_EQ(iterative_added, c.added) << c.target;
    const auto [recursive, recursive_added] = search(velk_sr::recbinary2search, c.target, 7);
    EXPECT_EQ(recursive.found, c.found) << c.target;
    EXPECT_EQ(recursive.location, c.found ? c.location : 7) << c.target;
    EXPECT_EQ(recursive_added, c.added) << c.target;
  }
}

TEST_F(SearchTest, IterativeAndRecursiveBinary2AgreeEverywhere) {
  for (std::int32_t n = 0; n <= 12; ++n) {
    odd_keys(n);
    for (key_type target = -1; target <= 21; ++target) {
      const auto [iterative, iterative_added] = search(velk_sr::binary2search, target, 3);
      const auto [recursive, recursive_added] = search(velk_sr::recbinary2search, target, 3);
      EXPECT_EQ(iterative.found, recursive.found) << n << ' ' << target;
      EXPECT_EQ(iterative.found, target % 2 != 0 && target >= 1 && target <= 2 * n - 1)
          << n << ' ' << target;
      EXPECT_EQ(iterative_added, recursive_added) << n << ' ' << target;
      if (iterative.found) {
        EXPECT_EQ(iterative.location, recursive.location) << n << ' ' << target;
        EXPECT_EQ(iterative.location, (target + 1) / 2) << n << ' ' << target;
      } else {
        EXPECT_EQ(recursive.location, 3) << n << ' ' << target;
      }
    }
  }
}

TEST_F(SearchTest, Binary2OnEmptyAndOneEntryLists) {
  l.count = 0;
  for (const searchmethod method : {velk_sr::binary2search, velk_sr::recbinary2search}) {
    const auto [r, added] = search(method, 1, 42);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.location, 42);
    EXPECT_EQ(added, 0);
  }
  odd_keys(1);
  const auto [miss, miss_added] = search(velk_sr::binary2search, 4, 42);
  EXPECT_FALSE(miss.found);
  EXPECT_EQ(miss.location, 1);
  EXPECT_EQ(miss_added, 2);
}

TEST_F(SearchTest, Binary2StopsAtTheFirstProbeThatMatches) {
  keys({5, 5, 5});
  for (const searchmethod method : {velk_sr::binary2search, velk_sr::recbinary2search}) {
    const auto [r, added] = search(method, 5);
    EXPECT_EQ(r.location, 2);
    EXPECT_EQ(added, 1);
  }
}

TEST_F(SearchTest, Binary2ChecksProbesAndCounts) {
  odd_keys(10);
  EXPECT_FAILURE(constraint_error, velk_sr::recbinary2(l, 5, 0, 0, false, 1));
  EXPECT_FAILURE(constraint_error, velk_sr::recbinary2(l, 5, 10001, 10001, false, 1));
  velk_sr::cc = std::numeric_limits<std::int32_t>::max() - 1;
  EXPECT_FAILURE(constraint_error, velk_sr::binary2search(l, 20, false, 1));
  velk_sr::cc = std::numeric_limits<std::int32_t>::max() - 1;
  EXPECT_FAILURE(constraint_error, velk_sr::recbinary2search(l, 20, false, 1));
}

TEST_F(SearchTest, InsertorderKeepsTheOrderAndPutsANewKeyBeforeEqualOnes) {
  l.count = 0;
  velk_sr::insertorder({5, 1}, l);
  EXPECT_EQ(l.data[1].key, 5);
  velk_sr::insertorder({3, 2}, l);
  velk_sr::insertorder({9, 3}, l);
  velk_sr::insertorder({3, 4}, l);
  EXPECT_EQ(l.count, 4);
  const std::int32_t expected_keys[] = {3, 3, 5, 9};
  const std::int32_t expected_infos[] = {4, 2, 1, 3};
  for (std::int32_t i = 1; i <= 4; ++i) {
    EXPECT_EQ(l.data[i].key, expected_keys[i - 1]) << i;
    EXPECT_EQ(l.data[i].info, expected_infos[i - 1]) << i;
  }
  velk_sr::insertorder({-7, 5}, l);
  velk_sr::insertorder({100, 6}, l);
  EXPECT_EQ(l.data[1].key, -7);
  EXPECT_EQ(l.data[6].key, 100);
  EXPECT_EQ(velk_sr::cc, 0);
}

TEST_F(SearchTest, InsertorderStoresAnEntryOfTheListAsItWasWhenPassed) {
  l.data[1] = velk_sr::list_entry{1, 10};
  l.data[2] = velk_sr::list_entry{3, 20};
  l.data[3] = velk_sr::list_entry{3, 30};
  l.count = 3;
  velk_sr::insertorder(l.data[3], l);
  const std::int32_t expected_keys[] = {1, 3, 3, 3};
  const std::int32_t expected_infos[] = {10, 30, 20, 30};
  ASSERT_EQ(l.count, 4);
  for (std::int32_t i = 1; i <= 4; ++i) {
    EXPECT_EQ(l.data[i].key, expected_keys[i - 1]) << i;
    EXPECT_EQ(l.data[i].info, expected_infos[i - 1]) << i;
  }
}

TEST_F(SearchTest, InsertorderRefusesAFullListWhateverTheKeys) {
  odd_keys(10000);
  for (const key_type key : {0, 5000, 19999, 20000, std::numeric_limits<key_type>::max()}) {
    ::testing::internal::CaptureStdout();
    EXPECT_NO_FAILURE(velk_sr::insertorder({key, 1}, l)) << key;
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Attempt to insert an entry into a full list\n");
    EXPECT_EQ(l.count, 10000);
    EXPECT_EQ(l.data[1].key, 1);
    EXPECT_EQ(l.data[10000].key, 19999);
  }
}

TEST_F(SearchTest, MixupAppliesTheGeneratorsFixedSwaps) {
  for (std::int32_t i = 1; i <= 10; ++i) {
    l.data[i] = velk_sr::list_entry{i, 100 + i};
  }
  l.count = 10;
  velk_sr::mixup(l);
  const std::int32_t expected[] = {1, 5, 7, 6, 8, 10, 3, 2, 9, 4};
  for (std::int32_t i = 1; i <= 10; ++i) {
    EXPECT_EQ(l.data[i].key, expected[i - 1]) << i;
    EXPECT_EQ(l.data[i].info, 100 + expected[i - 1]) << i;
  }
  EXPECT_EQ(l.count, 10);
  EXPECT_EQ(velk_sr::cc, 0);
}

TEST_F(SearchTest, MixupLeavesShortListsAloneAndTreatsSameSizesAlike) {
  l.data[1] = velk_sr::list_entry{8, 80};
  l.data[2] = velk_sr::list_entry{9, 90};
  for (const std::int32_t n : {0, 1}) {
    l.count = n;
    velk_sr::mixup(l);
    EXPECT_EQ(l.count, n);
    EXPECT_EQ(l.data[1].key, 8);
    EXPECT_EQ(l.data[2].key, 9);
  }
  auto other = std::make_unique<velk_sr::list>();
  odd_keys(1000);
  for (std::int32_t i = 1; i <= 1000; ++i) {
    other->data[i].key = 2 * i - 1;
  }
  other->count = 1000;
  velk_sr::mixup(l);
  velk_sr::mixup(*other);
  std::vector<bool> seen(1000, false);
  for (std::int32_t i = 1; i <= 1000; ++i) {
    EXPECT_EQ(l.data[i].key, other->data[i].key) << i;
    seen[static_cast<std::size_t>((l.data[i].key - 1) / 2)] = true;
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 1000);
}

TEST(Stopwatch, ReadingTwiceChangesNothing) {
  velk_sr::reset_counts();
  velk_sr::cc = 17;
  const velk_sr::counts first = velk_sr::get_counts();
  const velk_sr::counts second = velk_sr::get_counts();
  EXPECT_EQ(first.comparisons, 17);
  EXPECT_EQ(second.comparisons, 17);
  EXPECT_GE(first.interval, 0);
  EXPECT_GE(second.interval, first.interval);
  EXPECT_EQ(first.interval % 1'000'000, 0);
  EXPECT_EQ(second.interval % 1'000'000, 0);
}

TEST(Stopwatch, ResetZeroesTheCounterAndRestartsTheInterval) {
  velk_sr::cc = 5;
  velk_sr::reset_counts();
  const velk_sr::counts after = velk_sr::get_counts();
  EXPECT_EQ(after.comparisons, 0);
  EXPECT_GE(after.interval, 0);
  EXPECT_LT(after.interval, 60'000'000'000);
}

TEST(Stopwatch, TheIntervalIsTheTimeSinceTheStart) {
  // A start five seconds ago, on the stopwatch's clock.
  velk_sr::reset_counts();
  velk_sr::ct = velk_sr::time{velk_sr::ct.nanoseconds - 5'000'000'000};
  const velk_sr::duration interval = velk_sr::get_counts().interval;
  EXPECT_GE(interval, 5'000'000'000);
  EXPECT_LT(interval, 65'000'000'000);
}

TEST(Stopwatch, IntervalsAreWholeMillisecondsAndNeverNegative) {
  velk_sr::reset_counts();
  for (int i = 0; i < 2000; ++i) {
    const velk_sr::duration interval = velk_sr::get_counts().interval;
    ASSERT_GE(interval, 0);
    ASSERT_EQ(interval % 1'000'000, 0);
  }
}

TEST(Stopwatch, RunsOnTheMonotonicClockNotTheCalendar) {
  // Setting the calendar back during a batch must not shrink its interval, so the stopwatch
  // starts from a monotonic reading.
  const velk_sr::time before = frame::monotonic_clock();
  velk_sr::reset_counts();
  const velk_sr::time after = frame::monotonic_clock();
  EXPECT_GE(velk_sr::ct.nanoseconds, before.nanoseconds);
  EXPECT_LE(velk_sr::ct.nanoseconds, after.nanoseconds);
}

TEST(Stopwatch, CalendarClockGivesTimeSince1970InWholeMilliseconds) {
  const velk_sr::time now = velk_sr::clock();
  EXPECT_EQ(now.nanoseconds % 1'000'000, 0);
  EXPECT_GT(now.nanoseconds, std::int64_t{1'577'836'800} * 1'000'000'000);
}

}  // namespace
