#include "runner.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <ctime>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "lab/errors.hpp"
#include "lab/measure/statistics.hpp"
#include "random/random_int.hpp"

namespace velk_lab {

namespace {

// The calibration times runs of growing length until two take this share of the minimum time,
// and sizes the repetitions from them.
constexpr double calibration_share = 0.1;
// Before each repetition, untimed, this share of its searches brings the method's code, data
// and branch history back after the other methods' repetitions.
constexpr std::int64_t warm_up_divisor = 20;
// No run is longer than this, whatever the clock says.
constexpr std::int64_t most_searches = std::int64_t{1} << 40;

constexpr double nanoseconds_per_second = 1e9;

struct timing {
  double wall = 0.0;  // seconds
  double cpu = 0.0;
};

double thread_cpu_seconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) +
         static_cast<double>(now.tv_nsec) / nanoseconds_per_second;
}

// The run failure for memory that could not be had: how much, and what it was for.
[[noreturn]] void cannot_allocate(std::size_t bytes, std::string_view what) {
  constexpr double mebibyte = 1024.0 * 1024.0;
  throw run_failure(fmt::format("cannot allocate {:.1f} MiB for {}",
                                static_cast<double>(bytes) / mebibyte, what));
}

// A vector of `count` value-initialised elements, or the run failure that says what it was for.
template <class element>
std::vector<element> allocate(std::size_t count, std::string_view what) {
  try {
    return std::vector<element>(count);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  cannot_allocate(count * sizeof(element), what);
}

// The list of n entries with the keys 1, 3, ..., 2n - 1.
std::vector<list_entry> odd_keys(std::int32_t n) {
  auto list =
      allocate<list_entry>(static_cast<std::size_t>(n), fmt::format("a list of {} entries", n));
  for (std::int32_t i = 0; i < n; ++i) {
    list[static_cast<std::size_t>(i)].key = 2 * i + 1;
  }
  return list;
}

// The targets of one size: each half's searches first, then the rest of its timing stream.
struct size_targets {
  std::vector<key_type> successful;
  std::vector<key_type> unsuccessful;
};

size_targets draw_targets(std::int32_t n, std::int64_t searches, std::optional<std::int32_t> seed) {
  const auto length = static_cast<std::size_t>(std::max(searches, least_stream));
  const std::string what = fmt::format("{} targets", length);
  size_targets drawn{allocate<key_type>(length, what), allocate<key_type>(length, what)};
  const random_int::range ri_range(n);
  random_int::generator g = ri_range.make_generator();
  if (seed.has_value()) {
    ri_range.reset(g, *seed);
  }
  const auto draw = [&](half which, std::vector<key_type>& into, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      const std::int32_t r = ri_range.random(g);
      into[i] = which == half::successful ? 2 * r - 1 : 2 * r;
    }
  };
  const auto counted = static_cast<std::size_t>(searches);
  draw(half::successful, drawn.successful, 0, counted);
  draw(half::unsuccessful, drawn.unsuccessful, 0, counted);
  draw(half::successful, drawn.successful, counted, length);
  draw(half::unsuccessful, drawn.unsuccessful, counted, length);
  return drawn;
}

// What a search of `target` must give, as the tally keeps it: key 2r - 1 is found at r; an
// even key is not found (-1).
std::int64_t known_answer(half which, key_type target) {
  return which == half::successful ? (std::int64_t{target} + 1) / 2 : -1;
}

// One half of one size, as every method of the plan searches it.
struct half_job {
  entries run;
  std::span<const searched_run> searched;  // what each method of the plan searches
  half which;
  std::span<const key_type> targets;  // the stream; its first `searches` are the half's searches
  std::span<std::int64_t> tally;      // one per target
  std::int64_t searches;
  std::string stage;  // for the progress line
};

[[noreturn]] void wrong_result(const half_job& job, const method& m, key_type target) {
  const std::string where =
      fmt::format("{} gave a wrong result at size {}", m.name, job.run.size());
  if (job.which == half::successful) {
    throw run_failure(fmt::format("{}: key {} is at position {}", where, target,
                                  known_answer(job.which, target)));
  }
  throw run_failure(fmt::format("{}: key {} is not in the list", where, target));
}

// The untimed pass: the half's searches once each, checked, their comparisons added up. A
// search that counts more than the method's bound is as wrong as a wrong result.
std::int64_t count_comparisons(const half_job& job, const method& m, const searched_run& in,
                               progress& shown) {
  const std::int32_t bound = m.bound(static_cast<std::int32_t>(job.run.size()));
  std::int64_t total = 0;
  for (std::int64_t i = 0; i < job.searches; ++i) {
    if (shown.due()) {
      shown.show(
          fmt::format("{}: counting {}, {} of {} searches", job.stage, m.name, i, job.searches));
    }
    const key_type target = job.targets[static_cast<std::size_t>(i)];
    const counted_search result = m.search(in, target);
    if ((result.found ? result.location : -1) != known_answer(job.which, target)) {
      wrong_result(job, m, target);
    }
    if (result.comparisons < 0 || result.comparisons > bound) {
      throw run_failure(
          fmt::format("{} counted {} comparisons for key {} at size {}, beyond its bound of {}",
                      m.name, result.comparisons, target, job.run.size(), bound));
    }
    total += result.comparisons;
  }
  return total;
}

// Calls `visit` with each index of the stream that `count` searches from `start` reach, and how
// often they reach it.
template <class visitor>
void for_each_reached(std::size_t start, std::int64_t count, std::size_t length, visitor visit) {
  const auto rounds = static_cast<std::int64_t>(static_cast<std::uint64_t>(count) / length);
  const auto extra = static_cast<std::size_t>(static_cast<std::uint64_t>(count) % length);
  const std::size_t reached = rounds > 0 ? length : extra;
  std::size_t at = start;
  for (std::size_t k = 0; k < reached; ++k) {
    visit(at, rounds + (k < extra ? 1 : 0));
    at = at + 1 == length ? 0 : at + 1;
  }
}

// One timed run of `count` searches from the method's place in the stream, which it moves on.
// The tally of every target reached is cleared before and checked after, off the clock.
timing timed_run(const half_job& job, const method& m, const searched_run& in, std::size_t& cursor,
                 std::int64_t count) {
  const std::size_t length = job.targets.size();
  for_each_reached(cursor, count, length, [&](std::size_t at, std::int64_t) { job.tally[at] = 0; });
  const search_stream stream{in, job.targets, job.tally};
  const auto wall_start = std::chrono::steady_clock::now();
  const double cpu_start = thread_cpu_seconds();
  m.timed(stream, cursor, count);
  const double cpu_end = thread_cpu_seconds();
  const auto wall_end = std::chrono::steady_clock::now();
  for_each_reached(cursor, count, length, [&](std::size_t at, std::int64_t visits) {
    if (job.tally[at] != visits * known_answer(job.which, job.targets[at])) {
      wrong_result(job, m, job.targets[at]);
    }
  });
  cursor = (cursor + static_cast<std::size_t>(static_cast<std::uint64_t>(count) % length)) % length;
  return {std::chrono::duration<double>(wall_end - wall_start).count(), cpu_end - cpu_start};
}

// Times runs of growing length (warming the method up on the way) until two take a tenth of
// the minimum time; gives the searches that a repetition of the minimum time needs at the
// faster of the two. A run that the system interrupts only ever looks slower, so the faster
// one is the better estimate, and one interruption cannot make every repetition short.
std::int64_t calibrate(const half_job& job, const method& m, const searched_run& in,
                       std::size_t& cursor, double min_time) {
  const double goal = min_time * calibration_share;
  constexpr int long_runs_wanted = 2;
  int long_runs = 0;
  double fastest = 0.0;  // seconds per search of the faster long run
  std::int64_t count = 1;
  for (;;) {
    const timing t = timed_run(job, m, in, cursor, count);
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

class runner {
 public:
  runner(const plan& what, progress& shown) : plan_(what), shown_(shown) {}

  std::vector<row> run() {
    if (plan_.methods.empty() || plan_.sizes.empty()) {
      return {};
    }
    const std::int32_t largest = *std::max_element(plan_.sizes.begin(), plan_.sizes.end());
    shown_.show(fmt::format("building a list of {} entries", largest));
    const std::vector<list_entry> list = odd_keys(largest);
    rows_.resize(plan_.methods.size() * plan_.sizes.size() * 2);
    for (std::size_t z = 0; z < plan_.sizes.size(); ++z) {
      measure_size(z, entries(list).first(static_cast<std::size_t>(plan_.sizes[z])));
    }
    return std::move(rows_);
  }

 private:
  row& row_of(std::size_t method_index, std::size_t size_index, half which) {
    const std::size_t h = which == half::successful ? 0 : 1;
    return rows_[(method_index * plan_.sizes.size() + size_index) * 2 + h];
  }

  // The list made ready for a method, and the time its layout takes to build on the method's
  // rows. A build is timed whole, allocation and first touch of the pages included: what a
  // program that searches the layout pays before its first search. It is built again, each time
  // in place of the last, while the builds so far took less than the minimum time, up to the
  // repetitions, and the median build is reported, so that one interruption of a short build
  // does not stand for its cost.
  std::unique_ptr<prepared_list> prepare(std::size_t method_index, std::size_t z, entries run) {
    const method& m = *plan_.methods[method_index];
    if (m.builds == layout::none) {
      return std::make_unique<prepared_list>(m, run);
    }
    shown_.show(fmt::format("size {}: building the {} layout", run.size(), m.name));
    std::unique_ptr<prepared_list> prepared;
    std::vector<double> builds;
    double spent = 0.0;
    while (builds.empty() || (std::cmp_less(builds.size(), plan_.repetitions) &&
                              spent < plan_.min_time * nanoseconds_per_second)) {
      prepared.reset();
      const auto start = std::chrono::steady_clock::now();
      try {
        prepared = std::make_unique<prepared_list>(m, run);
      } catch (const std::bad_alloc&) {
        cannot_allocate(eytzinger_layout::bytes_for(run.size()),
                        fmt::format("the {} layout of {} entries", m.name, run.size()));
      }
      const auto end = std::chrono::steady_clock::now();
      builds.push_back(std::chrono::duration<double, std::nano>(end - start).count());
      spent += builds.back();
    }
    for (const half which : {half::successful, half::unsuccessful}) {
      row_of(method_index, z, which).layout_ns = summarize(builds).median;
    }
    return prepared;
  }

  void measure_size(std::size_t z, entries run) {
    const std::int32_t n = plan_.sizes[z];
    std::vector<std::unique_ptr<prepared_list>> prepared;
    std::vector<searched_run> searched;
    for (std::size_t i = 0; i < plan_.methods.size(); ++i) {
      prepared.push_back(prepare(i, z, run));
      searched.push_back(prepared.back()->searched());
    }
    const std::int64_t searches = plan_.searches.value_or(std::min(n, default_searches_cap));
    shown_.show(fmt::format("size {}: drawing the targets", n));
    const size_targets drawn = draw_targets(n, searches, plan_.seed);
    std::vector<std::int64_t> tally =
        allocate<std::int64_t>(drawn.successful.size(), "the results");
    for (const half which : {half::successful, half::unsuccessful}) {
      const std::size_t step = z * 2 + (which == half::successful ? 1 : 2);
      half_job job{run,
                   searched,
                   which,
                   which == half::successful ? drawn.successful : drawn.unsuccessful,
                   tally,
                   searches,
                   fmt::format("[{}/{}] size {}, {} half", step, plan_.sizes.size() * 2, n,
                               half_name(which))};
      measure_half(z, job);
    }
  }

  void measure_half(std::size_t z, const half_job& job) {
    const std::size_t count = plan_.methods.size();
    std::vector<std::size_t> cursors(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
      const method& m = *plan_.methods[i];
      row& r = row_of(i, z, job.which);
      r.method = m.name;
      r.size = plan_.sizes[z];
      r.which = job.which;
      r.counted = !m.baseline();
      r.searches = job.searches;
      r.wall_ns.reserve(static_cast<std::size_t>(plan_.repetitions));
      r.cpu_ns.reserve(static_cast<std::size_t>(plan_.repetitions));
      if (!m.baseline()) {
        r.comparisons = count_comparisons(job, m, job.searched[i], shown_);
        const comparison_totals totals = m.model(r.size);
        r.expected_comparisons =
            job.which == half::successful ? totals.successful : totals.unsuccessful;
      }
    }
    for (std::size_t i = 0; i < count; ++i) {
      const method& m = *plan_.methods[i];
      shown_.show(fmt::format("{}: calibrating {}", job.stage, m.name));
      row_of(i, z, job.which).timed_searches =
          calibrate(job, m, job.searched[i], cursors[i], plan_.min_time);
    }
    for (int repetition = 1; repetition <= plan_.repetitions; ++repetition) {
      for (std::size_t i = 0; i < count; ++i) {
        const method& m = *plan_.methods[i];
        if (shown_.due()) {
          shown_.show(fmt::format("{}: timing {}, repetition {} of {}", job.stage, m.name,
                                  repetition, plan_.repetitions));
        }
        row& r = row_of(i, z, job.which);
        timed_run(job, m, job.searched[i], cursors[i],
                  std::max(std::int64_t{1}, r.timed_searches / warm_up_divisor));
        const timing t = timed_run(job, m, job.searched[i], cursors[i], r.timed_searches);
        const auto searches = static_cast<double>(r.timed_searches);
        r.wall_ns.push_back(t.wall * nanoseconds_per_second / searches);
        r.cpu_ns.push_back(t.cpu * nanoseconds_per_second / searches);
      }
    }
    for (std::size_t i = 0; i < count; ++i) {
      row& r = row_of(i, z, job.which);
      r.wall = summarize(r.wall_ns);
      r.cpu = summarize(r.cpu_ns);
    }
  }

  const plan& plan_;
  progress& shown_;
  std::vector<row> rows_;
};

}  // namespace

std::vector<row> measure(const plan& what, progress& shown) { return runner(what, shown).run(); }

}  // namespace velk_lab
