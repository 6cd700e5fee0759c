// A learned index: a piecewise-linear model of where the keys of an ascending run lie, with a
// bounded error, so that a search reads a few keys around the model's guess instead of halving
// the whole run. The model is made of the key values and the width of their type: list entries
// and plain 32-bit keys of the same order make the same model and count the same; the same
// values at 64 bits, or spread further apart, may make another, with other counts and the same
// results.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include "entries.hpp"

namespace velk_sr::algorithms {

// The model of a run of n entries: for any value t, the index (0..n) of the lowest entry whose
// key is not smaller than t, predicted within epsilon at every key (at the lowest index of a
// repeated key), and between keys within epsilon below and epsilon + 1 above.
//
// The values are cut into segments, each a line from its first value. The model is built in one
// pass by a shrinking cone: a segment takes the next value while some line from its first value
// stays within epsilon of every value it has taken, and the first value that leaves the cone
// begins the next segment. The cone's bounds are exact fractions; the line's slope is rounded to
// a double and its prediction to the nearest index, and the cone is fitted within epsilon - 1/2
// so that both roundings together stay within epsilon. The distances are then measured as a
// search predicts them.
//
// A target's segment is found by a radix table over the values' leading bits, the position of
// the leading one bit and the bits after it, as a floating-point number's exponent and first
// mantissa bits: keys crowded at the small end of a skewed distribution are told apart as finely
// as keys spread over the whole range. The table has two buckets for each octave at least, and
// up to about eight for each segment (no more than one for sixteen keys), so that a bucket mostly
// holds no segment's first value.
//
// Keeps a view of the run, which must outlive it; owns its segments and table.
template <run_entry Entry>
class learned_index {
 public:
  using key = key_type_of<Entry>;

  // The least and the most epsilon a model may be asked for.
  static constexpr std::int64_t least_epsilon = 1;
  static constexpr std::int64_t most_epsilon = std::int64_t{1} << 30;

  // Models `run` (ascending, fewer than 2^30 entries) within `epsilon`. Throws
  // std::invalid_argument when epsilon lies outside least_epsilon..most_epsilon, and
  // std::bad_alloc when there is no memory for the segments.
  learned_index(std::span<const Entry> run, std::int64_t epsilon);

  // The entries of the run it was built on.
  [[nodiscard]] std::int32_t size() const { return static_cast<std::int32_t>(run_.size()); }
  // The segments of the model: none for an empty run, at most size() + 1, as every segment but
  // the last takes at least two values.
  [[nodiscard]] std::int32_t segments() const {
    return static_cast<std::int32_t>(first_values_.size());
  }
  // How far below and above its prediction the true index lies at most, over every value: the
  // reach of a search on either side of its guess. At a key, either is at most the epsilon
  // asked for; just above a key the true index is one further on, so `above` may be one more.
  [[nodiscard]] std::int32_t below() const { return below_; }
  [[nodiscard]] std::int32_t above() const { return above_; }
  // The bytes of the segments and the table (not of the run they model).
  [[nodiscard]] std::size_t bytes() const;

  // The index (0..size()) that the model predicts for the lowest entry whose key is not smaller
  // than `target`; 0 for an empty run.
  [[nodiscard]] std::int32_t predicted(key target) const;

 private:
  using value = std::make_unsigned_t<key>;

  template <run_entry Of>
  friend counted_search learned(const learned_index<Of>& index, key_type_of<Of> target);

  struct located;  // a target's segment, and the steps it took to find
  [[nodiscard]] std::size_t bucket_of(value v) const;
  void fill_table();
  [[nodiscard]] located segment_of(value target) const;
  [[nodiscard]] std::int32_t predicted_in(std::size_t segment, value target) const;

  std::span<const Entry> run_;
  std::vector<value> first_values_;   // ascending; the first is 0, the least value of all
  std::vector<double> slopes_;        // indices per value, one per segment, none negative
  std::vector<std::int32_t> starts_;  // the true index at each first value, and size() last
  // The radix table: for each bucket of values, the segments whose first value lies in an
  // earlier bucket, and the segments in all. The buckets are told apart by the position of the
  // leading one bit and the `fraction_bits_` bits after it.
  std::vector<std::uint32_t> table_;
  int fraction_bits_ = 1;
  std::int32_t below_ = 0;
  std::int32_t above_ = 0;
};

// Finds the target's bucket in the radix table, halves over the segments whose first value lies
// in it, if any, predicts the target's index, and searches the entries from below() before the
// prediction to above() after it (inside the indices the segment spans) as branchless does, after
// prefetching them when they fill a few lines at most; then tests the entry found for equality.
// With duplicates, that is the lowest position of the key.
//
// Counts one for each halving step over the segments (an ordering test against a segment's
// first value), one for each halving step within the window (an ordering test against a key)
// and one for the final equality test, which is made unless the window is empty (every key
// smaller than the target, and the model sure of it): at most learned_bound(size, epsilon), none
// for an empty run. Reading the table compares nothing and counts nothing. Not found:
// `location` is 0.
template <run_entry Entry>
counted_search learned(const learned_index<Entry>& index, key_type_of<Entry> target);

// The most that learned counts on a run of n entries modelled within epsilon: ceil(log2(n + 1))
// steps over at most n + 1 segments, ceil(log2 w) in a window of w = min(2 epsilon + 2, n)
// entries, and the final test; none when the run is empty.
constexpr std::int32_t learned_bound(std::int32_t n, std::int64_t epsilon) {
  if (n == 0) {
    return 0;
  }
  const auto window = static_cast<std::int32_t>(std::min<std::int64_t>(2 * epsilon + 2, n));
  return ceil_log2(n + 1) + ceil_log2(window) + 1;
}

}  // namespace velk_sr::algorithms
