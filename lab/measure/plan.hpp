// What a run of the lab measures and how: the plan the command line makes and the runner follows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "lab/measure/key_sets.hpp"
#include "lab/method_record.hpp"

namespace velk_lab {

// The largest list: positions and the sum of two of them stay inside 32 bits, and the odd keys
// up to 2n - 1 inside 31.
inline constexpr std::int32_t largest_size = (std::int32_t{1} << 30) - 1;

// The searches of a half, unless given: the size, at most this many.
inline constexpr std::int32_t default_searches_cap = 10000;

// The least number of targets each half's timed searches go through, so that no branch
// predictor learns the sequence.
inline constexpr std::int64_t least_stream = 65536;

struct plan {
  std::vector<const method_record*> methods;
  std::vector<key_set> key_sets;         // each with its sizes
  std::optional<std::int64_t> searches;  // per half; none: min(size, default_searches_cap)
  int repetitions = 10;
  double min_time = 0.1;             // seconds, the least time of each timed repetition
  std::optional<std::int32_t> seed;  // none: every generator in its default state
  std::optional<double> skew;        // the Zipf exponent of the targets; none: uniform
  bool save_keys = false;            // keep the keys of the largest size, in the file format
};

// The counted searches of each half at size n.
inline std::int64_t searches_at(const plan& p, std::int32_t n) {
  return p.searches.value_or(std::min(n, default_searches_cap));
}

}  // namespace velk_lab
