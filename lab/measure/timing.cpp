#include "timing.hpp"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace velk_lab {

namespace {

// The calibration times runs of growing length until two take this share of the minimum time.
constexpr double calibration_share = 0.1;
// A repetition that fell short is run again this much longer than the shortfall says, so that a
// second shortfall is rare.
constexpr double lengthening_margin = 1.05;
constexpr double nanoseconds_per_second = 1e9;

double thread_cpu_seconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) +
         static_cast<double>(now.tv_nsec) / nanoseconds_per_second;
}

}  // namespace

template <lab_key Key>
timing timed_run(const timed_half<Key>& job, const prepared<Key>& method, std::size_t& cursor,
                 std::int64_t count) {
  const std::size_t length = job.targets.size();
  for_each_reached(cursor, count, length, [&](std::size_t at, std::int64_t) { job.tally[at] = 0; });
  const search_stream<Key> stream{job.targets, job.tally};
  const auto wall_start = std::chrono::steady_clock::now();
  const double cpu_start = thread_cpu_seconds();
  method.timed(stream, cursor, count);
  const double cpu_end = thread_cpu_seconds();
  const auto wall_end = std::chrono::steady_clock::now();
  for_each_reached(cursor, count, length, [&](std::size_t at, std::int64_t visits) {
    job.check(at, job.tally[at], visits);
  });
  cursor = (cursor + static_cast<std::size_t>(static_cast<std::uint64_t>(count) % length)) % length;
  return {std::chrono::duration<double>(wall_end - wall_start).count(), cpu_end - cpu_start};
}

template <lab_key Key>
std::int64_t calibrate(const timed_half<Key>& job, const prepared<Key>& method, std::size_t& cursor,
                       double min_time) {
  const double goal = min_time * calibration_share;
  constexpr int long_runs_wanted = 2;
  int long_runs = 0;
  double fastest = 0.0;  // seconds per search of the faster long run
  std::int64_t count = 1;
  for (;;) {
    const timing t = timed_run(job, method, cursor, count);
    if (t.wall >= goal || count >= most_searches) {
      const double per_search = std::max(t.wall, goal) / static_cast<double>(count);
      fastest = long_runs == 0 ? per_search : std::min(fastest, per_search);
      if (++long_runs == long_runs_wanted || count >= most_searches) {
        const double needed = std::ceil(min_time / fastest);
        return std::clamp(static_cast<std::int64_t>(needed), std::int64_t{1}, most_searches);
      }
      continue;
    }
    const double factor = t.wall > 0.0 ? std::clamp(1.5 * goal / t.wall, 1.5, 10.0) : 10.0;
    count = std::max(
        count + 1,
        std::min(most_searches, static_cast<std::int64_t>(static_cast<double>(count) * factor)));
  }
}

std::int64_t lengthened(std::int64_t count, double seconds, double min_time) {
  const double factor = seconds > 0.0 ? lengthening_margin * min_time / seconds : 2.0;
  const double wanted = std::ceil(static_cast<double>(count) * std::max(factor, 1.0 + 1e-9));
  return std::clamp(std::max(count + 1, static_cast<std::int64_t>(
                                            std::min(wanted, static_cast<double>(most_searches)))),
                    std::int64_t{1}, most_searches);
}

template timing timed_run(const timed_half<std::uint32_t>&, const prepared<std::uint32_t>&,
                          std::size_t&, std::int64_t);
template timing timed_run(const timed_half<std::uint64_t>&, const prepared<std::uint64_t>&,
                          std::size_t&, std::int64_t);
template std::int64_t calibrate(const timed_half<std::uint32_t>&, const prepared<std::uint32_t>&,
                                std::size_t&, double);
template std::int64_t calibrate(const timed_half<std::uint64_t>&, const prepared<std::uint64_t>&,
                                std::size_t&, double);

}  // namespace velk_lab
