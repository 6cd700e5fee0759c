// velk's lab as a library: a search method of your own measured beside velk's, on the same keys
// and targets, with every answer checked, its comparisons counted and its time taken the same
// way, in every report and on the page. One header, one call to register, one to run:
//
//   template <class Key>
//   class ternary {
//    public:
//     explicit ternary(std::span<const Key> keys) : keys_(keys) {}
//     velk_lab::answer search(Key target, velk_lab::counter& counted) const { ... }
//
//    private:
//     std::span<const Key> keys_;
//   };
//
//   int main(int argc, char** argv) {
//     velk_lab::add_method<ternary>("ternary", "ternary search, two comparisons a step");
//     return velk_lab::run(argc, argv);
//   }
//
// A method is a class template over the key type, std::uint32_t and/or std::uint64_t (constrain
// it with `requires` to the widths it supports). It is constructed from the ascending keys, which
// outlive it, and gives at least one of:
//   answer search(Key target) const                     the plain search, which is timed;
//   answer search(Key target, counter& counted) const    the counted form: it adds each
//                                                        comparison of its rule to `counted`.
// A method with a counted form and no plain one is timed through the counted form; a method
// without a counted form is an uncounted baseline. Optionally:
//   std::size_t bytes() const                 the method builds a layout of its own when
//                                             constructed: its bytes and building time are
//                                             reported;
//   static std::int64_t bound(std::int64_t n) the most comparisons one search of n keys counts;
//                                             a search that counts more stops the run;
//   static velk_lab::comparison_totals model(std::int64_t n)
//                                             the comparisons of searching each of n distinct
//                                             keys once (successful) and one value above each
//                                             once (unsuccessful); without it the lab searches
//                                             every such target once to find the expected mean;
//   static std::int64_t comparisons_at(std::int64_t position, std::int64_t n, bool found)
//                                             for a method whose count depends on nothing but
//                                             where the target lies: the count of a search whose
//                                             target's key is at `position` (found) or would be
//                                             (not found: the lowest position whose key is not
//                                             smaller, n + 1 above every key); the lab then sums
//                                             it over the targets in one pass instead of
//                                             searching them;
//   static std::size_t bytes_for(std::int64_t n)
//                                             the bytes of the layout for n keys, so that a run's
//                                             memory is known before anything is built;
//   static constexpr bool any_occurrence = true
//                                             a found target's answer may be any position of its
//                                             key, not only the lowest (a search that stops at the
//                                             first equal key it probes).
// An answer that is not the lowest position of the target's key, a target found that is not
// among the keys, a count over the bound and an exception from the method each end the run with
// status 1 and a line that says what happened.
#pragma once

#include <string_view>

#include "method_record.hpp"

namespace velk_lab {

// Adds `Method` to the lab under `name`, with a one-line summary for --help. Call it before run.
template <template <class> class Method>
void add_method(std::string_view name, std::string_view summary) {
  register_method(record_of<Method>(name, summary));
}

// Runs velk's whole command line (every option, key set, format and the page) with the methods
// added beside velk's own; gives the exit status: 0 done, 1 a failure while running, 2 bad input.
int run(int argc, const char* const* argv);

}  // namespace velk_lab
