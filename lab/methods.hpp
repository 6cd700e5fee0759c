// The method table: every method the lab can measure, one row each, with the algorithm, its
// counting model and the loop that times it. Adding a method is one row here and, when it
// counts, its model in models.hpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "lab/models.hpp"
#include "search/algorithms.hpp"

namespace velk_lab {

using velk_sr::key_type;
using velk_sr::list_entry;
using velk_sr::algorithms::counted_search;
using velk_sr::algorithms::entries;

// One search of the whole run for a target: found, at which position (1-based), and what it
// counted.
using search_function = counted_search (*)(entries run, key_type target);

// What a timed run of searches works on: the entries, a stream of targets, and one tally per
// target that each search adds its result to (its position when found, -1 otherwise), so that
// every result is kept and can be checked once the clock has stopped.
struct search_stream {
  entries run;
  std::span<const key_type> targets;
  std::span<std::int64_t> tally;
};

// Runs `count` searches over the stream from index `start` on, going round to the beginning at
// its end.
using timed_loop = void (*)(const search_stream& stream, std::size_t start, std::int64_t count);

// The timed loop, instantiated for each method so that the search is a direct call: an indirect
// call per search would weigh on the small sizes.
template <search_function search>
void timed_searches(const search_stream& stream, std::size_t start, std::int64_t count) {
  const std::size_t length = stream.targets.size();
  std::size_t at = start;
  for (std::int64_t i = 0; i < count; ++i) {
    const counted_search result = search(stream.run, stream.targets[at]);
    stream.tally[at] += result.found ? result.location : -1;
    at = at + 1 == length ? 0 : at + 1;
  }
}

struct method {
  std::string_view name;
  search_function search;
  timed_loop timed;
  // The totals its counting rule gives; none for an uncounted baseline.
  counting_model model;
  // An uncounted baseline: a standard-library search on the same entries and targets, so that
  // the cost of counting shows beside it.
  bool baseline;
};

// A row of the table, with its loop instantiated for `search`: a method that counts, with its
// model, or an uncounted baseline.
template <search_function search>
constexpr method counted_method(std::string_view name, counting_model model) {
  return method{name, search, timed_searches<search>, model, false};
}
template <search_function search>
constexpr method baseline_method(std::string_view name) {
  return method{name, search, timed_searches<search>, nullptr, true};
}

// Every method, in the order that `all` measures them.
std::span<const method> all_methods();

// The method of that name, or none.
const method* find_method(std::string_view name);

}  // namespace velk_lab
