#include "timing.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>
#include <vector>

#include "lab/measure/crew.hpp"

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
  const search_stream<Key> stream{job.targets, job.tally, job.batch, job.chained};
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
  constexpr std::size_t long_runs_wanted = 2;
  std::vector<double> long_runs;  // seconds per search
  std::int64_t count = 1;
  for (;;) {
    const timing t = timed_run(job, method, cursor, count);
    if (t.wall >= goal || count >= most_searches) {
      long_runs.push_back(std::max(t.wall, goal) / static_cast<double>(count));
      if (long_runs.size() == long_runs_wanted || count >= most_searches) {
        return searches_for(min_time, long_runs);
      }
      continue;
    }
    const double factor = t.wall > 0.0 ? std::clamp(1.5 * goal / t.wall, 1.5, 10.0) : 10.0;
    count = std::max(
        count + 1,
        std::min(most_searches, static_cast<std::int64_t>(static_cast<double>(count) * factor)));
  }
}

std::int64_t searches_for(double min_time, std::span<const double> seconds_per_search) {
  const double fastest = *std::min_element(seconds_per_search.begin(), seconds_per_search.end());
  const double needed = std::ceil(min_time / fastest);
  return std::clamp(static_cast<std::int64_t>(needed), std::int64_t{1}, most_searches);
}

template <lab_key Key>
repetition timed_repetition(const timed_half<Key>& job, const prepared<Key>& method,
                            std::span<std::size_t> cursors, std::int64_t count,
                            std::int64_t warm_up, counter_set* counters, bool with_counters) {
  const auto lanes = static_cast<int>(cursors.size());
  const std::size_t length = job.targets.size();
  struct lane_result {
    timing t;
    counter_values counters{};
  };
  std::vector<lane_result> results(cursors.size());
  // Lane k's part of the tallies, and its own counters.
  const auto lane_job = [&](int lane) {
    timed_half<Key> own = job;
    own.tally = job.tally.subspan(static_cast<std::size_t>(lane) * length, length);
    return own;
  };
  const auto timed = [&](int lane, counter_set* read) {
    const timed_half<Key> own = lane_job(lane);
    std::size_t& cursor = cursors[static_cast<std::size_t>(lane)];
    if (read != nullptr) {
      read->start();
    }
    results[static_cast<std::size_t>(lane)].t = timed_run(own, method, cursor, count);
    if (read != nullptr) {
      read->stop();
      results[static_cast<std::size_t>(lane)].counters = read->per_search(count);
    }
  };
  if (lanes == 1) {
    timed_run(lane_job(0), method, cursors[0], warm_up);
    timed(0, counters);
  } else {
    std::vector<std::unique_ptr<counter_set>> own_counters(cursors.size());
    run_together(
        lanes,
        [&](int lane) {
          if (with_counters) {
            own_counters[static_cast<std::size_t>(lane)] =
                std::make_unique<counter_set>(perf_event_source());
          }
          timed_run(lane_job(lane), method, cursors[static_cast<std::size_t>(lane)], warm_up);
        },
        [&](int lane) { timed(lane, own_counters[static_cast<std::size_t>(lane)].get()); });
  }
  repetition r;
  const auto searches = static_cast<double>(count);
  for (const lane_result& lane : results) {
    r.wall_ns += lane.t.wall * nanoseconds_per_second / searches / lanes;
    r.cpu_ns += lane.t.cpu * nanoseconds_per_second / searches / lanes;
    r.longest = std::max(r.longest, lane.t.wall);
    for (std::size_t c = 0; c < counter_count; ++c) {
      if (lane.counters[c].has_value()) {
        r.counters[c] = r.counters[c].value_or(0.0) + *lane.counters[c] / lanes;
      }
    }
  }
  // A counter that one thread could not read is no mean over the threads.
  for (std::size_t c = 0; c < counter_count; ++c) {
    if (std::any_of(results.begin(), results.end(),
                    [c](const lane_result& lane) { return !lane.counters[c].has_value(); })) {
      r.counters[c].reset();
    }
  }
  r.searches_per_second = r.longest > 0.0 ? searches * lanes / r.longest : 0.0;
  return r;
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
template repetition timed_repetition(const timed_half<std::uint32_t>&,
                                     const prepared<std::uint32_t>&, std::span<std::size_t>,
                                     std::int64_t, std::int64_t, counter_set*, bool);
template repetition timed_repetition(const timed_half<std::uint64_t>&,
                                     const prepared<std::uint64_t>&, std::span<std::size_t>,
                                     std::int64_t, std::int64_t, counter_set*, bool);
template std::int64_t calibrate(const timed_half<std::uint32_t>&, const prepared<std::uint32_t>&,
                                std::size_t&, double);
template std::int64_t calibrate(const timed_half<std::uint64_t>&, const prepared<std::uint64_t>&,
                                std::size_t&, double);

}  // namespace velk_lab
