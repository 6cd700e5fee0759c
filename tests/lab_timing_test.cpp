// How the lab takes its times: by the wall clock beside the thread's CPU time, repetitions sized
// from the faster calibration run and never shorter than the minimum time, the layout's building
// time as the median of its builds, and every target a timed run reaches checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <thread>
#include <vector>

#include "lab/lab.hpp"
#include "lab/measure/runner.hpp"
#include "lab/measure/timing.hpp"
#include "lab/methods/registry.hpp"

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// std::lower_bound, the answer every method below gives.
template <class Key>
velk_lab::answer lower_bound_in(std::span<const Key> keys, Key target) {
  const auto at = std::lower_bound(keys.begin(), keys.end(), target);
  return {at != keys.end() && *at == target, at - keys.begin() + 1};
}

// Sleeps through each search: the wall clock sees it, the thread's CPU time does not.
template <class Key>
class sleeps {
 public:
  explicit sleeps(std::span<const Key> keys) : keys_(keys) {}
  [[nodiscard]] velk_lab::answer search(Key target) const {
    std::this_thread::sleep_for(microseconds(200));
    return lower_bound_in(keys_, target);
  }

 private:
  std::span<const Key> keys_;
};

// Its first build takes 50 ms, every later one next to nothing.
std::atomic<int> builds{0};
template <class Key>
class slow_first_build {
 public:
  explicit slow_first_build(std::span<const Key> keys) : keys_(keys) {
    if (builds++ == 0) {
      std::this_thread::sleep_for(milliseconds(50));
    }
  }
  [[nodiscard]] velk_lab::answer search(Key target) const { return lower_bound_in(keys_, target); }
  [[nodiscard]] std::size_t bytes() const { return 1; }

 private:
  std::span<const Key> keys_;
};

// Slow through the calibration (a busy microsecond a search), then fast: the repetitions sized
// at the slow pace fall short of the minimum time.
std::atomic<std::int64_t> searched{0};
template <class Key>
class speeds_up {
 public:
  explicit speeds_up(std::span<const Key> keys) : keys_(keys) {}
  [[nodiscard]] velk_lab::answer search(Key target) const {
    if (searched++ < 20000) {
      const auto until = std::chrono::steady_clock::now() + microseconds(1);
      while (std::chrono::steady_clock::now() < until) {
      }
    }
    return lower_bound_in(keys_, target);
  }

 private:
  std::span<const Key> keys_;
};

std::vector<velk_lab::row> measured(const velk_lab::method_record& m, int repetitions,
                                    double min_time) {
  velk_lab::plan p;
  p.methods = {&m};
  velk_lab::key_set odd;
  odd.name = "odd";
  odd.kind = &velk_lab::key_kinds().front();
  odd.sizes = {100};
  p.key_sets = {odd};
  p.repetitions = repetitions;
  p.min_time = min_time;
  velk_lab::progress silent(false);
  return velk_lab::measure(p, silent).rows;
}

TEST(LabTiming, WallTimeIsTheWallClocksAndCpuTimeTheThreads) {
  const velk_lab::method_record m = velk_lab::record_of<sleeps>("sleeps", "");
  const velk_lab::row r = measured(m, 2, 0.01).front();
  EXPECT_GE(r.wall.median, 200e3);             // ns: the sleep at least
  EXPECT_LT(r.cpu.median, r.wall.median / 2);  // sleeping costs no CPU
}

TEST(LabTiming, ARepetitionIsNeverShorterThanTheMinimumTime) {
  const velk_lab::method_record m = velk_lab::record_of<speeds_up>("speeds-up", "");
  const double min_time = 0.005;
  for (const velk_lab::row& r : measured(m, 3, min_time)) {
    ASSERT_EQ(r.wall_ns.size(), 3U);
    for (std::size_t k = 0; k < r.wall_ns.size(); ++k) {
      EXPECT_GE(r.wall_ns[k] * static_cast<double>(r.repetition_searches[k]), min_time * 1e9);
    }
  }
}

TEST(LabTiming, TheLayoutsBuildingTimeIsTheMedianBuild) {
  const velk_lab::method_record m = velk_lab::record_of<slow_first_build>("slow-first", "");
  const velk_lab::row r = measured(m, 5, 0.2).front();
  ASSERT_TRUE(r.layout_ns.has_value());
  EXPECT_LT(*r.layout_ns, 5e6);  // ns: not the 50 ms build, nor a mean that holds it
}

TEST(LabTiming, RepetitionsAreSizedAtTheFasterCalibrationRun) {
  const std::vector<double> runs{0x1p-19, 0x1p-20};  // seconds per search: about 2 and 1 us
  EXPECT_EQ(velk_lab::searches_for(0.5, runs), 1 << 19);
}

TEST(LabTiming, ATimedRunReachesAndChecksEveryTargetItSearches) {
  struct reach_case {
    std::size_t start;
    std::int64_t count;
    std::vector<std::int64_t> visits;  // per index of a stream of 5 targets
  };
  const reach_case cases[] = {
      {0, 3, {1, 1, 1, 0, 0}},  {3, 4, {1, 1, 0, 1, 1}},
      {4, 5, {1, 1, 1, 1, 1}},  {2, 8, {1, 1, 2, 2, 2}},  // once round and three more
      {1, 12, {2, 3, 3, 2, 2}},                           // twice round and two more
  };
  for (const reach_case& c : cases) {
    std::vector<std::int64_t> visits(5, 0);
    velk_lab::for_each_reached(c.start, c.count, 5,
                               [&](std::size_t at, std::int64_t times) { visits[at] += times; });
    EXPECT_EQ(visits, c.visits) << c.start << " " << c.count;
  }
}

}  // namespace
