// The measurement: what to measure, and the runner that counts and times it into rows.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "lab/measure/methods.hpp"
#include "lab/measure/progress.hpp"
#include "lab/measure/results.hpp"

namespace velk_lab {

// The largest list: keys up to 2n - 1 and the sum of two positions stay inside 32 bits.
inline constexpr std::int32_t largest_size = (std::int32_t{1} << 30) - 1;

// The searches of a half, unless given: the size, at most this many.
inline constexpr std::int32_t default_searches_cap = 10000;

// The least number of targets each half's timed searches go through, so that no branch
// predictor learns the sequence.
inline constexpr std::int64_t least_stream = 65536;

struct plan {
  std::vector<const method*> methods;
  std::vector<std::int32_t> sizes;
  std::optional<std::int64_t> searches;  // per half; none: min(size, default_searches_cap)
  int repetitions = 10;
  double min_time = 0.1;             // seconds, the least time of each timed repetition
  std::optional<std::int32_t> seed;  // none: every generator in its default state
};

// Measures every method at every size, both halves: the rows in the order of the methods, then
// of the sizes, the successful half first. For each size, the targets are drawn before anything
// is timed, from one generator over 1..n in its default state (or reset with the seed): the
// successful half's searches, then the unsuccessful half's, as velk_ts draws them; then more
// draws extend each half to a stream of at least `least_stream` targets for the timing.
//
// The counting pass runs the half's searches once and adds up their comparisons. The timing
// runs each method through its stream, round and round, in repetitions of a fixed number of
// searches that take at least `min_time`; the repetitions of the methods of a size and half are
// interleaved, so that a busy moment of the machine spreads over all of them. Every search's
// result, counted or timed, is checked against the known answer outside the timed part.
//
// Throws run_failure when memory cannot be had or a search gives a wrong result.
std::vector<row> measure(const plan& what, progress& shown);

}  // namespace velk_lab
