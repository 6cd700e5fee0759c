// The test procedure: what it searches, what it counts, and the lines it writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/velk_ts.hpp"
#include "failure_test_support.hpp"

namespace {

using velk_sr::key_type;
using velk_sr::position;
using velk_sr::search_result;

// Every search the spies below see: its target, and the counter once it is done.
struct seen_search {
  key_type target;
  std::int32_t counter_after;
};
std::vector<seen_search> seen;

template <velk_sr::searchmethod real>
search_result spy(const velk_sr::list& l, key_type target, bool found, position location) {
  const search_result result = real(l, target, found, location);
  seen.push_back({target, velk_sr::cc});
  return result;
}

// Wrong on purpose: each counts one comparison and gives a fixed answer.
search_result never_finds(const velk_sr::list& /*unused*/, key_type target, bool /*unused*/,
                          position location) {
  velk_sr::cc = velk_sr::cc + 1;
  seen.push_back({target, velk_sr::cc});
  return {false, location};
}
search_result always_finds(const velk_sr::list& /*unused*/, key_type target, bool /*unused*/,
                           position /*unused*/) {
  velk_sr::cc = velk_sr::cc + 1;
  seen.push_back({target, velk_sr::cc});
  return {true, 1};
}

class TestsearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (std::int32_t i = 1; i <= velk_sr::key_cl::max_size; ++i) {
      l.data[i].key = 2 * i - 1;
    }
    seen.clear();
  }

  // Runs testsearch on the first n entries and gives back its lines, with the elapsed times
  // replaced by "T".
  std::vector<std::string> run(std::int32_t n, velk_sr::searchmethod look) {
    l.count = n;
    ::testing::internal::CaptureStdout();
    velk_ts::testsearch(l, look);
    std::vector<std::string> lines;
    std::string line;
    for (const char c : ::testing::internal::GetCapturedStdout()) {
      if (c != '\n') {
        line += c;
        continue;
      }
      const std::string::size_type is = line.find(" searches is ");
      if (is != std::string::npos) {
        line.resize(is + 13);
        line += "T";
      }
      lines.push_back(line);
      line.clear();
    }
    EXPECT_EQ(line, "") << "an unfinished line";
    return lines;
  }

  std::unique_ptr<velk_sr::list> owner = std::make_unique<velk_sr::list>();
  velk_sr::list& l = *owner;
};

TEST_F(TestsearchTest, ComparisonTotalsOfTheSchedule) {
  struct totals_case {
    velk_sr::searchmethod method;
    std::int32_t n;
    std::int32_t successful;
    std::int32_t unsuccessful;
  };
  const totals_case cases[] = {
      {spy<velk_sr::sequentialsearch>, 10, 44, 100},
      {spy<velk_sr::sequentialsearch>, 100, 4854, 10000},
      {spy<velk_sr::sequentialsearch>, 1000, 509984, 1000000},
      {spy<velk_sr::sequentialsearch>, 10000, 50106558, 100000000},
      {spy<velk_sr::binary1search>, 10, 23, 33},
      {spy<velk_sr::binary1search>, 100, 424, 423},
      {spy<velk_sr::binary1search>, 1000, 5923, 5917},
      {spy<velk_sr::binary1search>, 10000, 74415, 74621},
  };
  for (const totals_case& c : cases) {
    SCOPED_TRACE(c.n);
    seen.clear();
    const std::vector<std::string> lines = run(c.n, c.method);
    ASSERT_EQ(seen.size(), 2 * static_cast<std::size_t>(c.n));
    EXPECT_EQ(seen[static_cast<std::size_t>(c.n) - 1].counter_after, c.successful);
    EXPECT_EQ(seen.back().counter_after, c.unsuccessful);
    EXPECT_EQ(lines.size(), 4U);  // no error line
  }
}

TEST_F(TestsearchTest, WritesTheSummaryAndElapsedTimeLinesOfEachHalf) {
  EXPECT_EQ(run(10, velk_sr::sequentialsearch),
            (std::vector<std::string>{" Successful search:  4.40000E+00 comparisons.",
                                      " The elapsed time to complete  10 searches is T",
                                      " Unsuccessful search:  1.00000E+01 comparisons.",
                                      " The elapsed time to complete  10 searches is T"}));
}

TEST_F(TestsearchTest, AMethodThatNeverFindsGivesAMissingKeyLineForEverySuccessfulSearch) {
  const std::vector<std::string> lines = run(10, never_finds);
  ASSERT_EQ(lines.size(), 14U);
  // The first draws over 1..10 are 9, 3, 2, 10, 8, 4, 3, 2, 1, 2.
  const char* expected_targets[] = {"17", "5", "3", "19", "15", "7", "5", "3", "1", "3"};
  for (std::size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(lines[i], std::string("Error: Key  ") + expected_targets[i] + " not found.");
  }
  EXPECT_EQ(lines[10], " Successful search:  1.00000E+00 comparisons.");
  EXPECT_EQ(lines[12], " Unsuccessful search:  1.00000E+00 comparisons.");
}

TEST_F(TestsearchTest, AMethodThatAlwaysFindsGivesAFalseHitLineForEveryUnsuccessfulSearch) {
  const std::vector<std::string> lines = run(10, always_finds);
  ASSERT_EQ(lines.size(), 14U);
  EXPECT_EQ(lines[0], " Successful search:  1.00000E+00 comparisons.");
  EXPECT_EQ(lines[1], " The elapsed time to complete  10 searches is T");
  // Draws 11 to 20 over 1..10 are 4, 4, 10, 9, 10, 2, 4, 4, 10, 8.
  const char* expected_targets[] = {"8", "8", "20", "18", "20", "4", "8", "8", "20", "16"};
  for (std::size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(lines[2 + i],
              std::string("Error: Key  ") + expected_targets[i] + " found improperly.");
  }
  EXPECT_EQ(lines[12], " Unsuccessful search:  1.00000E+00 comparisons.");
}

TEST_F(TestsearchTest, SameSizeGivesTheSameTargetsWhateverTheMethod) {
  const std::vector<std::string> first = run(100, spy<velk_sr::binary1search>);
  const std::vector<seen_search> first_seen = seen;
  seen.clear();
  EXPECT_EQ(run(100, spy<velk_sr::binary1search>), first);
  seen.clear();
  run(100, spy<velk_sr::sequentialsearch>);
  ASSERT_EQ(seen.size(), first_seen.size());
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].target, first_seen[i].target) << i;
  }
}

TEST_F(TestsearchTest, AOneEntryListSearchesOneThenTwo) {
  const std::vector<std::string> lines = run(1, spy<velk_sr::binary1search>);
  ASSERT_EQ(seen.size(), 2U);
  EXPECT_EQ(seen[0].target, 1);
  EXPECT_EQ(seen[1].target, 2);
  EXPECT_EQ(lines[0], " Successful search:  1.00000E+00 comparisons.");
  EXPECT_EQ(lines[1], " The elapsed time to complete  1 searches is T");
}

TEST_F(TestsearchTest, AnEmptyListSearchesNothingAndShowsZeroAverages) {
  EXPECT_EQ(run(0, spy<velk_sr::sequentialsearch>),
            (std::vector<std::string>{" Successful search:  0.00000E+00 comparisons.",
                                      " The elapsed time to complete  0 searches is T",
                                      " Unsuccessful search:  0.00000E+00 comparisons.",
                                      " The elapsed time to complete  0 searches is T"}));
  EXPECT_TRUE(seen.empty());
  EXPECT_NO_FAILURE(run(0, nullptr));
}

TEST_F(TestsearchTest, ANullMethodFailsAtTheFirstSearch) {
  l.count = 10;
  EXPECT_FAILURE(constraint_error, velk_ts::testsearch(l, nullptr));
}

}  // namespace
