#include "models.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <map>
#include <tuple>

namespace velk_lab {

namespace {

// One target or none: whether the gap below or above a range sends one into it.
std::int64_t one_if(bool present) { return present ? 1 : 0; }

// floor(log2 n) and ceil(log2 n), n >= 1.
std::int32_t log2_down(std::int64_t n) {
  return static_cast<std::int32_t>(std::bit_width(static_cast<std::uint64_t>(n))) - 1;
}
std::int32_t log2_up(std::int64_t n) {
  return static_cast<std::int32_t>(std::bit_width(static_cast<std::uint64_t>(n - 1)));
}

// floor(log2 k) summed over k = 1..m: each k from 2^j to 2^(j+1) - 1 adds j, and the sum of
// j 2^j over j < t is (t - 2) 2^t + 2.
std::int64_t sum_of_log2_down(std::int64_t m) {
  if (m < 1) {
    return 0;
  }
  const std::int64_t t = log2_down(m);
  const std::int64_t power = std::int64_t{1} << t;
  return (t - 2) * power + 2 + t * (m - power + 1);
}

// Both binary searches probe (bottom + top) / 2, and with bottom >= 1 that is bottom plus
// (size - 1) / 2 whatever bottom is: the search of a range depends only on the range's size and
// on which targets reach it, not on where the range lies. So a total over a range is a function
// of its size, and a range splits into two of sizes that differ by one at most: memoised, a
// total costs two sizes per level, about 2 log2 n ranges.
//
// The targets that reach a range of s entries: for the successful half, its s keys; for the
// unsuccessful half, the s - 1 gaps between its keys, and the gap below its first key and the
// gap above its last key when those targets come into it (`below`, `above`).
class binary_counts {
 public:
  virtual ~binary_counts() = default;
  binary_counts() = default;
  binary_counts(const binary_counts&) = delete;
  binary_counts& operator=(const binary_counts&) = delete;
  binary_counts(binary_counts&&) = delete;
  binary_counts& operator=(binary_counts&&) = delete;

  std::int64_t found(std::int32_t s) {
    const auto known = found_.find(s);
    if (known != found_.end()) {
      return known->second;
    }
    const std::int64_t total = found_in(s);
    found_.emplace(s, total);
    return total;
  }

  std::int64_t missed(std::int32_t s, bool below, bool above) {
    const auto key = std::make_tuple(s, below, above);
    const auto known = missed_.find(key);
    if (known != missed_.end()) {
      return known->second;
    }
    const std::int64_t total = missed_in(s, below, above);
    missed_.emplace(key, total);
    return total;
  }

 private:
  virtual std::int64_t found_in(std::int32_t s) = 0;
  virtual std::int64_t missed_in(std::int32_t s, bool below, bool above) = 0;

  std::map<std::int32_t, std::int64_t> found_;
  std::map<std::tuple<std::int32_t, bool, bool>, std::int64_t> missed_;
};

// binary1 narrows bottom..top to one position before testing for equality. A probe sends the
// targets not above its key into bottom..mid, uncounted, and those above it into mid + 1..top,
// counting one each; a range of one entry counts one for the final test of each target.
class binary1_counts final : public binary_counts {
  static std::int32_t lower_size(std::int32_t s) { return (s - 1) / 2 + 1; }

  std::int64_t found_in(std::int32_t s) override {
    if (s == 1) {
      return 1;
    }
    const std::int32_t lower = lower_size(s);
    const std::int32_t upper = s - lower;
    return found(lower) + found(upper) + upper;
  }

  // The lower part keeps the gap below and the gaps between its keys; the gap just above the
  // probe, the upper part's gaps and the gap above go up, counted.
  std::int64_t missed_in(std::int32_t s, bool below, bool above) override {
    if (s == 1) {
      return one_if(below) + one_if(above);
    }
    const std::int32_t lower = lower_size(s);
    const std::int32_t upper = s - lower;
    return missed(lower, below, false) + missed(upper, true, above) + upper + one_if(above);
  }
};

// binary2 tests the probe for equality first: a target equal to the probe's key costs one and
// stops; every other target reaching the probe costs two and goes on into bottom..mid - 1 or
// mid + 1..top. An empty range costs nothing.
class binary2_counts final : public binary_counts {
  std::int64_t found_in(std::int32_t s) override {
    if (s == 0) {
      return 0;
    }
    const std::int32_t lower = (s - 1) / 2;
    const std::int32_t upper = s - 1 - lower;
    return 1 + 2 * std::int64_t{s - 1} + found(lower) + found(upper);
  }

  // The gaps on either side of the probe's key go down and up, uncounted until their own probe.
  std::int64_t missed_in(std::int32_t s, bool below, bool above) override {
    if (s == 0) {
      return 0;
    }
    const std::int32_t lower = (s - 1) / 2;
    const std::int32_t upper = s - 1 - lower;
    const std::int64_t reaching = std::int64_t{s - 1} + one_if(below) + one_if(above);
    return 2 * reaching + missed(lower, below, true) + missed(upper, true, above);
  }
};

}  // namespace

comparison_totals sequential_model(std::int64_t n) {
  const std::int64_t size = n;
  return {size * (size + 1) / 2, size * size};
}

// Whole list: no target below the first key (the least is 2), one above the last (2n).
comparison_totals binary1_model(std::int64_t n) {
  binary1_counts counts;
  return {counts.found(static_cast<std::int32_t>(n)),
          counts.missed(static_cast<std::int32_t>(n), false, true)};
}

comparison_totals binary2_model(std::int64_t n) {
  binary2_counts counts;
  return {counts.found(static_cast<std::int32_t>(n)),
          counts.missed(static_cast<std::int32_t>(n), false, true)};
}

comparison_totals branchless_model(std::int64_t n) {
  const std::int64_t each = log2_up(n) + 1;
  return {each * n, each * n};
}

// The descent leaves the tree at one of the indices n + 1..2n + 1, one for each gap of the keys
// in order, the gap below the first key to the gap above the last; leaving at index k, it
// descended floor(log2 k) levels. A target reaches the gap just below the lowest key not smaller
// than it: the key r sends it to the gap below key r, the target 2r to the gap above key r. The
// gap below every key is left at 2^(floor(log2 n) + 1), after floor(log2 n) + 1 levels, and the
// gap above every key at 2^m - 1 for the least 2^m above n + 1, after m - 1 levels; only a target
// above every key makes no final test.
comparison_totals eytzinger_model(std::int64_t n) {
  const std::int64_t size = n;
  const std::int64_t every_gap = sum_of_log2_down(2 * size + 1) - sum_of_log2_down(size);
  const std::int64_t below_every_key = log2_down(size) + 1;
  const std::int64_t above_every_key = log2_down(size + 1);
  return {every_gap - above_every_key + size, every_gap - below_every_key + size - 1};
}

// Bracket i holds the positions after 2^i / 2 up to 2^i (or n): the targets whose lowest key not
// smaller lies there cost the galloping tests of the powers of two up to 2^i that lie below n,
// the halving steps of the bracket's size, and the final test. The key r lies in the bracket of
// position r; the target 2r in that of position r + 1, and 2n in the last bracket.
comparison_totals exponential_model(std::int64_t n) {
  const std::int64_t size = n;
  comparison_totals totals;
  for (std::int64_t bound = 1, galloping = 0;; bound *= 2) {
    galloping += one_if(bound < size);
    const std::int64_t bracket = std::min(bound, size) - bound / 2;
    const std::int64_t each = galloping + log2_up(bracket) + 1;
    const bool last = bound >= size;
    totals.successful += bracket * each;
    totals.unsuccessful += (bracket - one_if(bound == 1) + one_if(last)) * each;
    if (last) {
      return totals;
    }
  }
}

}  // namespace velk_lab
