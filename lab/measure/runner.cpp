#include "runner.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <chrono>
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

// Where the rows of each method and key set begin: the methods in turn, each with the rows of
// every key set, size and half.
struct row_places {
  std::size_t per_method = 0;
  std::vector<std::size_t> key_set_offsets;

  explicit row_places(const plan& p) {
    for (const key_set& set : p.key_sets) {
      key_set_offsets.push_back(per_method);
      per_method += set.sizes.size() * 2;
    }
  }
  [[nodiscard]] std::size_t at(std::size_t method, std::size_t set, std::size_t size,
                               half which) const {
    return method * per_method + key_set_offsets[set] + size * 2 +
           (which == half::successful ? 0 : 1);
  }
};

// The measurement of one key set, whose keys are of type Key.
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
  row& row_of(std::size_t method_index, std::size_t size_index, half which) {
    return out_.rows[places_.at(method_index, set_index_, size_index, which)];
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
        return guarded(m, n, [&] { return make(keys); });
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
    for (const half which : {half::successful, half::unsuccessful}) {
      row_of(method_index, z, which).layout_ns = summarize(builds).median;
    }
    return prepared;
  }

  void measure_size(std::size_t z) {
    const std::int32_t n = set_.sizes[z];
    const std::int64_t searches = searches_at(plan_, n);
    shown_.show(
        fmt::format("{} keys, size {}: making the keys and drawing the targets", set_.name, n));
    const workload<Key> w =
        make_workload<Key>(set_, n, target_plan{searches, plan_.seed, plan_.skew});
    if (plan_.save_keys && z + 1 == set_.sizes.size()) {
      out_.saved_keys = key_file_bytes(w.keys);
    }
    std::vector<std::unique_ptr<prepared<Key>>> prepared;
    for (std::size_t i = 0; i < plan_.methods.size(); ++i) {
      prepared.push_back(prepare(i, z, w.keys));
    }
    std::vector<std::int64_t> tally =
        allocate<std::int64_t>(w.halves[0].targets.size(), "the results");
    for (const half which : {half::successful, half::unsuccessful}) {
      const std::size_t step = z * 2 + (which == half::successful ? 1 : 2);
      const std::string stage = fmt::format("[{}/{}] {} keys, size {}, {} half", step,
                                            set_.sizes.size() * 2, set_.name, n, half_name(which));
      measure_half(z, which, w, searches, prepared, tally, stage);
    }
  }

  // The untimed pass: the half's searches once each, checked, their comparisons added up. A
  // search that counts more than the method's bound is as wrong as a wrong result.
  std::int64_t count_comparisons(const method_record& m, const prepared<Key>& searched,
                                 const workload<Key>& w, half which, std::int64_t searches,
                                 const std::string& stage) {
    const half_targets<Key>& h = w.of(which);
    const auto n = static_cast<std::int64_t>(w.keys.size());
    const std::int64_t bound = m.bound == nullptr ? -1 : m.bound(n);
    std::int64_t total = 0;
    for (std::int64_t i = 0; i < searches; ++i) {
      if (shown_.due()) {
        shown_.show(fmt::format("{}: counting {}, {} of {} searches", stage, m.name, i, searches));
      }
      const auto at = static_cast<std::size_t>(i);
      const Key target = h.targets[at];
      const counted_answer result = searched.search(target);
      const std::int64_t given = result.found ? result.position : not_found;
      if (!right(m, w.keys, target, h.answers[at], given)) {
        wrong_answer(m, w.keys.size(), target, h.answers[at], given);
      }
      if (result.comparisons < 0 || (bound >= 0 && result.comparisons > bound)) {
        throw run_failure(
            fmt::format("{} counted {} comparisons on the {} keys at size {} for key {}, beyond "
                        "its bound of {}",
                        m.name, result.comparisons, set_.name, n, target, bound));
      }
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

  void measure_half(std::size_t z, half which, const workload<Key>& w, std::int64_t searches,
                    const std::vector<std::unique_ptr<prepared<Key>>>& prepared,
                    std::span<std::int64_t> tally, const std::string& stage) {
    const std::size_t count = plan_.methods.size();
    const std::int32_t n = set_.sizes[z];
    const half_targets<Key>& h = w.of(which);
    std::vector<timed_half<Key>> jobs;
    for (std::size_t i = 0; i < count; ++i) {
      const method_record& m = *plan_.methods[i];
      jobs.push_back({h.targets, tally,
                      [this, &m, &w, &h](std::size_t index, std::int64_t t, std::int64_t visits) {
                        check_tally(m, w, h, index, t, visits);
                      }});
      row& r = row_of(i, z, which);
      r.method = m.name;
      r.keys = set_.name;
      r.key_bits = static_cast<int>(8 * sizeof(Key));
      r.size = n;
      r.which = which;
      r.counted = !m.baseline();
      r.searches = searches;
      r.wall_ns.reserve(static_cast<std::size_t>(plan_.repetitions));
      r.cpu_ns.reserve(static_cast<std::size_t>(plan_.repetitions));
      if (r.counted) {
        guarded(m, n, [&] {
          r.comparisons = count_comparisons(m, *prepared[i], w, which, searches, stage);
          const expected_count expected =
              expected_comparisons<Key>(m, *prepared[i], w.keys, which, shown_, stage,
                                        [&](Key target, std::int64_t answer, std::int64_t given) {
                                          if (!right(m, w.keys, target, answer, given)) {
                                            wrong_answer(m, w.keys.size(), target, answer, given);
                                          }
                                        });
          r.expected_comparisons = expected.comparisons;
          r.expected_targets = expected.targets;
        });
      }
    }
    std::vector<std::size_t> cursors(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
      const method_record& m = *plan_.methods[i];
      shown_.show(fmt::format("{}: calibrating {}", stage, m.name));
      row_of(i, z, which).timed_searches = guarded(
          m, n, [&] { return calibrate(jobs[i], *prepared[i], cursors[i], plan_.min_time); });
    }
    for (int repetition = 1; repetition <= plan_.repetitions; ++repetition) {
      for (std::size_t i = 0; i < count; ++i) {
        const method_record& m = *plan_.methods[i];
        if (shown_.due()) {
          shown_.show(fmt::format("{}: timing {}, repetition {} of {}", stage, m.name, repetition,
                                  plan_.repetitions));
        }
        row& r = row_of(i, z, which);
        guarded(m, n, [&] { time_repetition(r, jobs[i], *prepared[i], cursors[i]); });
      }
    }
    for (std::size_t i = 0; i < count; ++i) {
      row& r = row_of(i, z, which);
      r.wall = summarize(r.wall_ns);
      r.cpu = summarize(r.cpu_ns);
    }
  }

  // One repetition of at least the minimum time, after its warm-up: one that falls short is run
  // again with more searches, which the later repetitions keep.
  void time_repetition(row& r, const timed_half<Key>& job, const prepared<Key>& searched,
                       std::size_t& cursor) {
    timed_run(job, searched, cursor, std::max(std::int64_t{1}, r.timed_searches / warm_up_divisor));
    timing t = timed_run(job, searched, cursor, r.timed_searches);
    while (t.wall < plan_.min_time && r.timed_searches < most_searches) {
      r.timed_searches = lengthened(r.timed_searches, t.wall, plan_.min_time);
      t = timed_run(job, searched, cursor, r.timed_searches);
    }
    const auto done = static_cast<double>(r.timed_searches);
    r.wall_ns.push_back(t.wall * nanoseconds_per_second / done);
    r.cpu_ns.push_back(t.cpu * nanoseconds_per_second / done);
    r.repetition_searches.push_back(r.timed_searches);
  }

  const plan& plan_;
  std::size_t set_index_;
  const key_set& set_;
  const row_places& places_;
  measurement& out_;
  progress& shown_;
};

}  // namespace

measurement measure(const plan& what, progress& shown) {
  const row_places places(what);
  measurement out;
  out.rows.resize(what.methods.size() * places.per_method);
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
