// Nanoseconds per search: the five search routines at the schedule's four sizes, on the
// schedule's own targets, the successful and the unsuccessful half measured apart. Beside them,
// what the counting costs: sequentialsearch against the same scan without counting, and
// binary1search against std::lower_bound, on the same list and the same targets.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "search_bench.hpp"

#include "bench_support.hpp"
#include "search/velk_sr.hpp"

namespace velk_bench {

namespace {

using velk_sr::key_type;
using velk_sr::list;
using velk_sr::list_entry;
using velk_sr::position;
using velk_sr::search_result;

// The scan of sequentialsearch with nothing counted: the same entries in the same order, the
// same results. Kept out of line, like the routines it stands beside, so only the work differs.
[[gnu::noinline]] search_result uncounted_scan(const list& l, key_type target, bool /*found*/,
                                               position location) {
  const std::span<const list_entry> entries = l.data.run(1, l.count);
  if (entries.empty()) {
    return {false, location};
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].key == target) {
      return {true, static_cast<std::int32_t>(i + 1)};
    }
  }
  return {false, static_cast<std::int32_t>(entries.size())};
}

// The standard library's binary search over the same entries, with nothing counted.
[[gnu::noinline]] search_result lower_bound_search(const list& l, key_type target, bool /*found*/,
                                                   position location) {
  const std::span<const list_entry> entries = l.data.run(1, l.count);
  const auto first_not_smaller =
      std::lower_bound(entries.begin(), entries.end(), target,
                       [](const list_entry& e, key_type key) { return e.key < key; });
  if (first_not_smaller == entries.end() || first_not_smaller->key != target) {
    return {false, location};
  }
  return {true, static_cast<std::int32_t>(first_not_smaller - entries.begin() + 1)};
}

// Runs `look` over the half's targets again and again, one pass per batch, so every figure is
// an average over exactly the schedule's targets. Each search is one iteration: the time reads
// as nanoseconds per search. Found and location go back in as the test procedure hands them.
void search_pass(benchmark::State& state, velk_sr::searchmethod look, std::int32_t n, half which) {
  list& l = schedule_list();
  l.count = n;
  const std::vector<key_type> targets = schedule_targets(n, which);
  bool found = false;
  position location;
  while (state.KeepRunningBatch(n)) {
    // A long run would carry the counter past its limit; a pass stays far below it.
    velk_sr::cc = 0;
    for (const key_type target : targets) {
      const search_result result = look(l, target, found, location);
      benchmark::DoNotOptimize(result);
      found = result.found;
      location = result.location;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

struct named_method {
  const char* name;
  velk_sr::searchmethod look;
};

constexpr named_method methods[] = {
    {"sequentialsearch", velk_sr::sequentialsearch}, {"uncounted_scan", uncounted_scan},
    {"binary1search", velk_sr::binary1search},       {"std::lower_bound", lower_bound_search},
    {"recbinary1search", velk_sr::recbinary1search}, {"binary2search", velk_sr::binary2search},
    {"recbinary2search", velk_sr::recbinary2search},
};

}  // namespace

void register_search_benchmarks() {
  for (const named_method& m : methods) {
    for (const std::int32_t n : schedule_sizes) {
      for (const half which : {half::successful, half::unsuccessful}) {
        const std::string name = std::string(m.name) + "/" + std::to_string(n) +
                                 (which == half::successful ? "/successful" : "/unsuccessful");
        benchmark::RegisterBenchmark(name.c_str(), search_pass, m.look, n, which);
      }
    }
  }
}

}  // namespace velk_bench
