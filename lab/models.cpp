#include "models.hpp"

#include <map>
#include <tuple>

namespace velk_lab {

namespace {

// One target or none: whether the gap below or above a range sends one into it.
std::int64_t one_if(bool present) { return present ? 1 : 0; }

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

comparison_totals sequential_model(std::int32_t n) {
  const std::int64_t size = n;
  return {size * (size + 1) / 2, size * size};
}

// Whole list: no target below the first key (the least is 2), one above the last (2n).
comparison_totals binary1_model(std::int32_t n) {
  binary1_counts counts;
  return {counts.found(n), counts.missed(n, false, true)};
}

comparison_totals binary2_model(std::int32_t n) {
  binary2_counts counts;
  return {counts.found(n), counts.missed(n, false, true)};
}

}  // namespace velk_lab
