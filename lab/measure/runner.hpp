// The runner: counts and times every method of a plan on every workload of it, into rows.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lab/measure/plan.hpp"
#include "lab/measure/progress.hpp"
#include "lab/measure/results.hpp"
#include "search/aligned_array.hpp"

namespace velk_lab {

// What a run gives: the rows, and the keys of the largest size in the key file format when the
// plan keeps them.
struct measurement {
  std::vector<row> rows;
  std::string saved_keys;
  // For each key set, its keys' cumulative distribution at its largest size: points of (key,
  // rank), each scaled to 0..1 over the set's own least and greatest key and its positions.
  std::vector<std::vector<std::pair<double, double>>> cumulative;
  // Whether the lists of 2 MiB or more lay in huge pages: given where any did; none when no list
  // was that large.
  std::optional<velk_sr::memory::huge_pages> huge_pages;
};

// Measures every method on every key set at each of its sizes, both halves: the rows in the
// order of the methods, then of the key sets, then of the sizes, the successful half first. For
// each size the workload says what the list holds, each half's targets and their answers;
// everything is drawn before anything is timed.
//
// The counting pass runs the half's searches once and adds up their comparisons; the expected
// comparisons come from the method's model or from searching every target of the half once. The
// timing runs each method through its stream, round and round, in repetitions of a number of
// searches that take at least `min_time` (a repetition that falls short is run again, longer, and
// only the longer one counts); the repetitions of the methods of a size and half are
// interleaved, so that a busy moment of the machine spreads over all of them. Every search's
// result, counted or timed, is checked against the known answer outside the timed part.
//
// Throws run_failure when memory cannot be had, a search gives a wrong result or counts beyond
// its method's bound, or a method throws.
measurement measure(const plan& what, progress& shown);

}  // namespace velk_lab
