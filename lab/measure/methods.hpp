// The method table: every method the lab can measure, one row each, with the algorithm, its
// counting model and bound, the layout it searches and the loop that times it. Adding a method is
// one row here and, when it counts, its model in models.hpp and its bound in its search's header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "lab/measure/models.hpp"
#include "search/algorithms.hpp"
#include "search/eytzinger.hpp"

namespace velk_lab {

using velk_sr::key_type;
using velk_sr::list_entry;
using velk_sr::algorithms::counted_search;
using velk_sr::algorithms::entries;

using eytzinger_layout = velk_sr::algorithms::eytzinger_layout<key_type>;

// What a method searches besides the list itself: a copy of its keys in another order, built
// before any search and outside the timed ones.
enum class layout { none, eytzinger };

// What a search works on: the list, and the layout that its method built from it (none for the
// methods that search the list as it is).
struct searched_run {
  entries run;
  const eytzinger_layout* eytzinger = nullptr;
};

// One search of the whole run for a target: found, at which position (1-based), and what it
// counted.
using search_function = counted_search (*)(const searched_run& in, key_type target);

// What a timed run of searches works on: the list and its layout, a stream of targets, and one
// tally per target that each search adds its result to (its position when found, -1 otherwise),
// so that every result is kept and can be checked once the clock has stopped.
struct search_stream {
  searched_run run;
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

// A search of the list as it is, whatever layouts were built: the library's algorithms over a
// run, with the call to `algorithm` a direct one.
template <counted_search (*algorithm)(entries, key_type)>
counted_search on_list(const searched_run& in, key_type target) {
  return algorithm(in.run, target);
}

struct method {
  std::string_view name;
  search_function search;
  timed_loop timed;
  // The totals its counting rule gives, and the most that one search counts; none for an
  // uncounted baseline.
  counting_model model;
  counting_bound bound;
  // What it builds from the list before searching.
  layout builds;

  // An uncounted baseline: a standard-library search on the same entries and targets, so that
  // the cost of counting shows beside it.
  [[nodiscard]] constexpr bool baseline() const { return model == nullptr; }
};

// A row of the table, with its loop instantiated for `search`: a method that counts, with its
// model and bound, or an uncounted baseline.
template <search_function search>
constexpr method counted_method(std::string_view name, counting_model model, counting_bound bound,
                                layout builds = layout::none) {
  return method{name, search, timed_searches<search>, model, bound, builds};
}
template <search_function search>
constexpr method baseline_method(std::string_view name) {
  return method{name, search, timed_searches<search>, nullptr, nullptr, layout::none};
}

// A list made ready for a method: the run, and the layout the method searches built from it.
class prepared_list {
 public:
  // Builds the layout, if the method has one. Throws std::bad_alloc when memory for it cannot be
  // had.
  prepared_list(const method& m, entries run);
  ~prepared_list() = default;
  // What searched() gives points into it: it stays where it is made.
  prepared_list(const prepared_list&) = delete;
  prepared_list& operator=(const prepared_list&) = delete;
  prepared_list(prepared_list&&) = delete;
  prepared_list& operator=(prepared_list&&) = delete;

  [[nodiscard]] searched_run searched() const;

 private:
  entries run_;
  std::optional<eytzinger_layout> eytzinger_;
};

// Every method, in the order that `all` measures them.
std::span<const method> all_methods();

// The method of that name, or none.
const method* find_method(std::string_view name);

}  // namespace velk_lab
