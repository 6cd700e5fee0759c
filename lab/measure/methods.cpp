#include "methods.hpp"

#include <algorithm>
#include <array>

#include "search/modern.hpp"

namespace velk_lab {

namespace {

namespace algorithms = velk_sr::algorithms;

// The recursive forms over the whole run, bottom 1 and top its size.
counted_search recbinary1_whole(entries run, key_type target) {
  return algorithms::recbinary1(run, target, 1, static_cast<std::int32_t>(run.size()));
}
counted_search recbinary2_whole(entries run, key_type target) {
  return algorithms::recbinary2(run, target, 1, static_cast<std::int32_t>(run.size()));
}

counted_search eytzinger_search(const searched_run& in, key_type target) {
  return algorithms::eytzinger(*in.eytzinger, target);
}

// The baselines count nothing; their position is 1-based like the algorithms'. They stay out of
// line like the library's algorithms, which live in another unit: inlined into the timed loop,
// they would save a call per search that the algorithms pay, and the difference would no longer
// be the cost of counting alone.
std::int32_t position_of(entries run, entries::iterator at) {
  return static_cast<std::int32_t>(at - run.begin()) + 1;
}
[[gnu::noinline]] counted_search std_find(entries run, key_type target) {
  const auto at = std::find_if(run.begin(), run.end(),
                               [target](const list_entry& e) { return e.key == target; });
  return {at != run.end(), position_of(run, at), 0};
}
[[gnu::noinline]] counted_search std_lower_bound(entries run, key_type target) {
  const auto at = std::lower_bound(run.begin(), run.end(), target,
                                   [](const list_entry& e, key_type t) { return e.key < t; });
  return {at != run.end() && at->key == target, position_of(run, at), 0};
}

constexpr std::array methods{
    counted_method<on_list<algorithms::sequential<list_entry>>>("sequential", sequential_model,
                                                                algorithms::sequential_bound),
    counted_method<on_list<algorithms::binary1<list_entry>>>("binary1", binary1_model,
                                                             algorithms::binary1_bound),
    counted_method<on_list<recbinary1_whole>>("recbinary1", binary1_model,
                                              algorithms::binary1_bound),
    counted_method<on_list<algorithms::binary2<list_entry>>>("binary2", binary2_model,
                                                             algorithms::binary2_bound),
    counted_method<on_list<recbinary2_whole>>("recbinary2", binary2_model,
                                              algorithms::binary2_bound),
    counted_method<on_list<algorithms::branchless<list_entry>>>("branchless", branchless_model,
                                                                algorithms::branchless_bound),
    counted_method<eytzinger_search>("eytzinger", eytzinger_model, algorithms::eytzinger_bound,
                                     layout::eytzinger),
    counted_method<on_list<algorithms::interpolation<list_entry>>>(
        "interpolation", interpolation_model, algorithms::interpolation_bound),
    counted_method<on_list<algorithms::exponential<list_entry>>>("exponential", exponential_model,
                                                                 algorithms::exponential_bound),
    baseline_method<on_list<std_find>>("std-find"),
    baseline_method<on_list<std_lower_bound>>("std-lower-bound"),
};

}  // namespace

std::span<const method> all_methods() { return methods; }

const method* find_method(std::string_view name) {
  const auto* const at = std::find_if(methods.begin(), methods.end(),
                                      [name](const method& m) { return m.name == name; });
  return at == methods.end() ? nullptr : at;
}

prepared_list::prepared_list(const method& m, entries run) : run_(run) {
  if (m.builds == layout::eytzinger) {
    eytzinger_.emplace(run);
  }
}

searched_run prepared_list::searched() const {
  return {run_, eytzinger_.has_value() ? &*eytzinger_ : nullptr};
}

}  // namespace velk_lab
