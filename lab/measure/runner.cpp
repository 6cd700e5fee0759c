#include "runner.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "lab/errors.hpp"
#include "lab/measure/expected.hpp"
#include "lab/measure/key_files.hpp"
#include "lab/measure/statistics.hpp"
#include "lab/measure/timing.hpp"
#include "lab/measure/workload.hpp"

namespace velk_lab {

namespace {

// Before each repetition, untimed, this share of its searches brings the method's code, data
// and branch history back after the other methods' repetitions.
constexpr std::int64_t warm_up_divisor = 20;

constexpr double nanoseconds_per_second = 1e9;

std::string answer_text(std::int64_t answer) {
  return answer == not_found ? "not found" : fmt::format("position {}", answer);
}

// Runs `work`, turning anything the method throws into the run failure that names it. The lab's
// own failures and a lack of memory go through as they are.
template <class Work>
auto guarded(const method_record& m, std::int32_t n, Work work) {
  try {
    return work();
  } catch (const run_failure&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& thrown) {
    throw run_failure(
        fmt::format("{} threw an exception at size {}: {}", m.name, n, thrown.what()));
  } catch (...) {
    throw run_failure(
        fmt::format("{} threw something other than an exception at size {}", m.name, n));
  }
}

// Where each row stands: the methods in turn, each with the rows of every key set, each of
// those with every drive, size and half.
struct row_places {
  std::size_t per_method = 0;
  std::size_t drives = 0;
  std::vector<std::size_t> key_set_offsets;
  std::vector<std::size_t> key_set_sizes;

  explicit row_places(const plan& p) : drives(p.drives().size()) {
    for (const key_set& set : p.key_sets) {
      key_set_offsets.push_back(per_method);
      key_set_sizes.push_back(set.sizes.size());
      per_method += drives * set.sizes.size() * 2;
    }
  }
  [[nodiscard]] std::size_t at(std::size_t method, std::size_t set, std::size_t drive,
                               std::size_t size, half which) const {
    return method * per_method + key_set_offsets[set] + (drive * key_set_sizes[set] + size) * 2 +
           (which == half::successful ? 0 : 1);
  }
};

// The measurement of one key set, whose keys are of type Key.
// The points of a cumulative distribution that the page draws.
constexpr std::size_t cumulative_points = 257;

template <lab_key Key>
std::vector<std::pair<double, double>> cumulative_of(std::span<const Key> keys) {
  std::vector<std::pair<double, double>> points;
  const std::size_t last = keys.size() - 1;
  const auto low = static_cast<double>(keys.front());
  const double range = static_cast<double>(keys.back()) - low;
  const std::size_t count = std::min(keys.size(), cumulative_points);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = count == 1 ? 0 : i * last / (count - 1);
    points.emplace_back(range > 0.0 ? (static_cast<double>(keys[at]) - low) / range : 0.5,
                        last > 0 ? static_cast<double>(at) / static_cast<double>(last) : 0.5);
  }
  return points;
}

template <lab_key Key>
class runner {
 public:
  runner(const plan& what, std::size_t set_index, const row_places& places, measurement& out,
         progress& shown)
      : plan_(what),
        set_index_(set_index),
        set_(what.key_sets[set_index]),
        places_(places),
        out_(out),
        shown_(shown) {}

  void run() {
    for (std::size_t z = 0; z < set_.sizes.size(); ++z) {
      measure_size(z);
    }
  }

 private:
  row& row_of(std::size_t method_index, std::size_t drive_index, std::size_t size_index,
              half which) {
    return out_.rows[places_.at(method_index, set_index_, drive_index, size_index, which)];
  }

  // Whether `given` is a right result for the target at `index` of a half whose answer is
  // `answer`: the answer itself, or for a method that may give any position of the key, a
  // position that holds it.
  [[nodiscard]] bool right(const method_record& m, std::span<const Key> keys, Key target,
                           std::int64_t answer, std::int64_t given) const {
    return given == answer || (m.any_occurrence && answer != not_found && given >= 1 &&
                               std::cmp_less_equal(given, keys.size()) &&
                               keys[static_cast<std::size_t>(given - 1)] == target);
  }

  [[noreturn]] void wrong_answer(const method_record& m, std::size_t n, Key target,
                                 std::int64_t answer, std::int64_t given) const {
    throw run_failure(fmt::format(
        "{} gave a wrong answer on the {} keys at size {} for key {}: expected {}, given {}",
        m.name, set_.name, n, target, answer_text(answer), answer_text(given)));
  }

  // The method made ready for the size, and the time its layout takes to build on the method's
  // rows. A build is timed whole, allocation and first touch of the pages included: what a
  // program that searches the layout pays before its first search. It is built again, each time
  // in place of the last, while the builds so far took less than the minimum time, up to the
  // repetitions, and the median build is reported, so that one interruption of a short build
  // does not stand for its cost.
  std::unique_ptr<prepared<Key>> prepare(std::size_t method_index, std::size_t z,
                                         std::span<const Key> keys) {
    const method_record& m = *plan_.methods[method_index];
    const std::int32_t n = set_.sizes[z];
    const prepare_function<Key> make = m.template prepare<Key>();
    const auto build = [&] {
      try {
        return guarded(m, n, [&] { return make(keys, plan_.settings); });
      } catch (const std::bad_alloc&) {
        const std::string what = fmt::format("the {} layout of {} keys", m.name, n);
        const std::optional<std::size_t> bytes =
            m.layout_bytes(static_cast<int>(8 * sizeof(Key)), n);
        if (!bytes.has_value()) {
          throw run_failure("cannot allocate the memory for " + what);
        }
        cannot_allocate(*bytes, what);
      }
    };
    layout_ns_[&m] = std::nullopt;
    if (!m.builds) {
      return build();
    }
    shown_.show(fmt::format("size {}: building the {} layout", n, m.name));
    std::unique_ptr<prepared<Key>> prepared;
    std::vector<double> builds;
    double spent = 0.0;
    while (builds.empty() || (std::cmp_less(builds.size(), plan_.repetitions) &&
                              spent < plan_.min_time * nanoseconds_per_second)) {
      prepared.reset();
      const auto start = std::chrono::steady_clock::now();
      prepared = build();
      const auto end = std::chrono::steady_clock::now();
      builds.push_back(std::chrono::duration<double, std::nano>(end - start).count());
      spent += builds.back();
    }
    layout_ns_[&m] = summarize(builds).median;
    return prepared;
  }

  // Asks the system whether the keys, once written, lie in huge pages, where they are large
  // enough to have asked for them; one list given them is enough to say they were given.
  void note_huge_pages(std::span<const Key> keys) {
    namespace memory = velk_sr::memory;
    if (keys.size_bytes() < memory::huge_page_bytes) {
      return;
    }
    const memory::huge_pages now = memory::huge_pages_of(keys.data(), keys.size_bytes());
    const std::optional<memory::huge_pages> before = out_.huge_pages;
    if (!before.has_value() || now == memory::huge_pages::given ||
        (now == memory::huge_pages::unknown && *before == memory::huge_pages::not_given)) {
      out_.huge_pages = now;
    }
  }

  void measure_size(std::size_t z) {
    const std::int32_t n = set_.sizes[z];
    const std::int64_t searches = searches_at(plan_, n);
    shown_.show(
        fmt::format("{} keys, size {}: making the keys and drawing the targets", set_.name, n));
    const workload<Key> w =
        make_workload<Key>(set_, n, target_plan{searches, plan_.seed, plan_.skew});
    if (n == *std::max_element(set_.sizes.begin(), set_.sizes.end())) {
      if (plan_.save_keys) {
        out_.saved_keys = key_file_bytes(w.keys);
      }
      out_.cumulative[set_index_] = cumulative_of(w.keys);
    }
    note_huge_pages(w.keys);
    std::vector<std::unique_ptr<prepared<Key>>> prepared;
    for (std::size_t i = 0; i < plan_.methods.size(); ++i) {
      prepared.push_back(prepare(i, z, w.keys));
    }
    std::vector<std::int64_t> tallies = allocate<std::int64_t>(
        w.halves[0].targets.size() * static_cast<std::size_t>(plan_.most_threads()), "the results");
    for (const half which : {half::successful, half::unsuccessful}) {
      const std::size_t step = z * 2 + (which == half::successful ? 1 : 2);
      const std::string stage = fmt::format("[{}/{}] {} keys, size {}, {} half", step,
                                            set_.sizes.size() * 2, set_.name, n, half_name(which));
      measure_half(z, which, w, searches, prepared, tallies, stage);
    }
  }

  // Throws the run failure when `result` is not a right answer to `target`, or counts more than
  // the method's bound or less than nothing.
  void check_search(const method_record& m, std::span<const Key> keys, Key target,
                    std::int64_t answer, const counted_answer& result) const {
    const std::int64_t given = result.found ? result.position : not_found;
    if (!right(m, keys, target, answer, given)) {
      wrong_answer(m, keys.size(), target, answer, given);
    }
    const std::int64_t bound =
        m.bound == nullptr ? -1 : m.bound(static_cast<std::int64_t>(keys.size()));
    if (result.comparisons < 0) {
      throw run_failure(
          fmt::format("{} counted {} comparisons on the {} keys at size {} for key {}", m.name,
                      result.comparisons, set_.name, keys.size(), target));
    }
    if (bound >= 0 && result.comparisons > bound) {
      throw run_failure(
          fmt::format("{} counted {} comparisons on the {} keys at size {} for key {}, beyond "
                      "its bound of {}",
                      m.name, result.comparisons, set_.name, keys.size(), target, bound));
    }
  }

  // The untimed pass: the half's searches once each, checked, their comparisons added up. A
  // search that counts more than the method's bound is as wrong as a wrong result.
  std::int64_t count_comparisons(const method_record& m, const prepared<Key>& searched,
                                 const workload<Key>& w, half which, std::int64_t searches,
                                 const std::string& stage) {
    const half_targets<Key>& h = w.of(which);
    std::int64_t total = 0;
    for (std::int64_t i = 0; i < searches; ++i) {
      if (shown_.due()) {
        shown_.show(fmt::format("{}: counting {}, {} of {} searches", stage, m.name, i, searches));
      }
      const auto at = static_cast<std::size_t>(i);
      const counted_answer result = searched.search(h.targets[at]);
      check_search(m, w.keys, h.targets[at], h.answers[at], result);
      total += result.comparisons;
    }
    return total;
  }

  // Checks the tally of the target at `index` after `visits` searches of it.
  void check_tally(const method_record& m, const workload<Key>& w, const half_targets<Key>& h,
                   std::size_t index, std::int64_t tally, std::int64_t visits) const {
    const std::int64_t answer = h.answers[index];
    if (tally == visits * answer) {
      return;
    }
    const std::int64_t given = tally % visits == 0 ? tally / visits : not_found;
    if (tally % visits != 0 || !right(m, w.keys, h.targets[index], answer, given)) {
      wrong_answer(m, w.keys.size(), h.targets[index], answer, given);
    }
  }

  // The rows of the half for every drive: its searches counted once per method and the same on
  // every drive's row, then its times for each method and drive, the repetitions interleaved.
  void measure_half(std::size_t z, half which, const workload<Key>& w, std::int64_t searches,
                    const std::vector<std::unique_ptr<prepared<Key>>>& prepared,
                    std::span<std::int64_t> tallies, const std::string& stage) {
    const std::int32_t n = set_.sizes[z];
    const half_targets<Key>& h = w.of(which);
    const std::vector<drive> drives = plan_.drives();
    struct timed_job {
      std::size_t method = 0;
      std::size_t drive = 0;
      timed_half<Key> half;
      std::vector<std::size_t> cursors;  // one per thread, spread over the stream
    };
    std::vector<timed_job> jobs;
    for (std::size_t i = 0; i < plan_.methods.size(); ++i) {
      const method_record& m = *plan_.methods[i];
      const row counted = counted_row(m, *prepared[i], w, which, searches, stage);
      for (std::size_t d = 0; d < drives.size(); ++d) {
        row& r = row_of(i, d, z, which);
        r = counted;
        r.mode = drives[d].mode;
        r.threads = drives[d].threads;
        const auto lanes = static_cast<std::size_t>(drives[d].threads);
        timed_job job{i,
                      d,
                      timed_half<Key>{h.targets, tallies.first(lanes * h.targets.size()),
                                      plan_.settings.batch, drives[d].mode == drive_mode::latency,
                                      [this, &m, &w, &h](std::size_t index, std::int64_t t,
                                                         std::int64_t visits) {
                                        check_tally(m, w, h, index, t, visits);
                                      }},
                      {}};
        for (std::size_t lane = 0; lane < lanes; ++lane) {
          job.cursors.push_back(lane * h.targets.size() / lanes);
        }
        jobs.push_back(std::move(job));
      }
    }
    for (timed_job& job : jobs) {
      const method_record& m = *plan_.methods[job.method];
      shown_.show(fmt::format("{}: calibrating {}", stage, m.name));
      timed_half<Key> first_lane = job.half;
      first_lane.tally = job.half.tally.first(h.targets.size());
      row_of(job.method, job.drive, z, which).timed_searches = guarded(m, n, [&] {
        return calibrate(first_lane, *prepared[job.method], job.cursors[0], plan_.min_time);
      });
    }
    for (int repetition = 1; repetition <= plan_.repetitions; ++repetition) {
      for (timed_job& job : jobs) {
        const method_record& m = *plan_.methods[job.method];
        if (shown_.due()) {
          shown_.show(fmt::format("{}: timing {}, repetition {} of {}", stage, m.name, repetition,
                                  plan_.repetitions));
        }
        row& r = row_of(job.method, job.drive, z, which);
        guarded(m, n, [&] { time_repetition(r, job.half, *prepared[job.method], job.cursors); });
      }
    }
    for (const timed_job& job : jobs) {
      summarize_row(row_of(job.method, job.drive, z, which));
    }
  }

  // A row of the half with what every drive shares: what it is, its counts and its layout.
  row counted_row(const method_record& m, const prepared<Key>& searched, const workload<Key>& w,
                  half which, std::int64_t searches, const std::string& stage) {
    row r;
    r.method = m.name;
    r.keys = set_.name;
    r.key_bits = static_cast<int>(8 * sizeof(Key));
    r.size = static_cast<std::int32_t>(w.keys.size());
    r.which = which;
    r.counted = !m.baseline();
    r.searches = searches;
    r.layout_ns = layout_ns_.at(&m);
    if (m.builds) {
      r.layout_bytes = static_cast<std::int64_t>(searched.bytes());
    }
    if (r.counted) {
      guarded(m, r.size, [&] {
        r.comparisons = count_comparisons(m, searched, w, which, searches, stage);
        const expected_count expected = expected_comparisons<Key>(
            m, searched, w.keys, which, shown_, stage,
            [&](Key target, std::int64_t answer, const counted_answer& result) {
              check_search(m, w.keys, target, answer, result);
            });
        r.expected_comparisons = expected.comparisons;
        r.expected_targets = expected.targets;
      });
    }
    return r;
  }

  // One repetition of at least the minimum time, after its warm-up: one that falls short (its
  // longest thread) is run again with more searches, which the later repetitions keep.
  void time_repetition(row& r, const timed_half<Key>& job, const prepared<Key>& searched,
                       std::span<std::size_t> cursors) {
    const auto timed = [&] {
      return timed_repetition(job, searched, cursors, r.timed_searches,
                              std::max(std::int64_t{1}, r.timed_searches / warm_up_divisor),
                              counters_.get(), plan_.counters);
    };
    repetition t = timed();
    while (t.longest < plan_.min_time && r.timed_searches < most_searches) {
      r.timed_searches = lengthened(r.timed_searches, t.longest, plan_.min_time);
      t = timed();
    }
    r.wall_ns.push_back(t.wall_ns);
    r.cpu_ns.push_back(t.cpu_ns);
    r.throughputs.push_back(t.searches_per_second);
    if (plan_.counters) {
      r.counter_readings.push_back(t.counters);
    }
    r.repetition_searches.push_back(r.timed_searches);
  }

  static void summarize_row(row& r) {
    r.wall = summarize(r.wall_ns);
    r.cpu = summarize(r.cpu_ns);
    r.searches_per_second = summarize(r.throughputs).median;
    for (std::size_t c = 0; c < counter_count; ++c) {
      std::vector<double> readings;
      for (const counter_values& reading : r.counter_readings) {
        if (reading[c].has_value()) {
          readings.push_back(*reading[c]);
        }
      }
      if (!readings.empty() && readings.size() == r.counter_readings.size()) {
        r.counters[c] = summarize(readings).median;
      }
    }
  }

  const plan& plan_;
  std::size_t set_index_;
  const key_set& set_;
  const row_places& places_;
  measurement& out_;
  progress& shown_;
  // The counters of the calling thread, which times the one-thread drives.
  std::unique_ptr<counter_set> counters_ =
      plan_.counters ? std::make_unique<counter_set>(perf_event_source()) : nullptr;
  // The median building time of each method's layout at the size being measured.
  std::map<const method_record*, std::optional<double>> layout_ns_;
};

}  // namespace

measurement measure(const plan& what, progress& shown) {
  const row_places places(what);
  measurement out;
  out.rows.resize(what.methods.size() * places.per_method);
  out.cumulative.resize(what.key_sets.size());
  for (std::size_t k = 0; k < what.key_sets.size(); ++k) {
    if (what.key_sets[k].bits == 32) {
      runner<std::uint32_t>(what, k, places, out, shown).run();
    } else {
      runner<std::uint64_t>(what, k, places, out, shown).run();
    }
  }
  return out;
}

}  // namespace velk_lab
