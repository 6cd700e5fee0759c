// A learned index: a piecewise-linear model of where the keys of an ascending run lie, with a
// bounded error, so that a search reads a few keys around the model's guess instead of halving
// the whole run. The model is made of the key values and the width of their type: list entries
// and plain 32-bit keys of the same order make the same model and count the same; the same
// values at 64 bits, or spread further apart, may make another, with other counts and the same
// results.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <type_traits>
#include <vector>

#include "aligned_array.hpp"
#include "entries.hpp"
#include "kernels.hpp"

namespace velk_sr::algorithms {

// What the model and its search share: keys as unsigned values, and the window's prefetch.
namespace learned_detail {

// A key as an unsigned value in the same order: a signed key has its sign bit turned over, so
// that the least key becomes 0; an unsigned key is itself.
template <run_key Key>
constexpr std::make_unsigned_t<Key> value_of(Key key) {
  using value = std::make_unsigned_t<Key>;
  if constexpr (std::is_signed_v<Key>) {
    return static_cast<value>(key) ^ (value{1} << (std::numeric_limits<value>::digits - 1));
  } else {
    return key;
  }
}

// A window of at most this many bytes, a page, is prefetched whole before it is searched: its
// lines then arrive together rather than one after each probe. On 10^8 keys of 64 bits, a window
// of 258 keys took twice as long without it, and one of 18 keys no longer.
constexpr std::size_t prefetched_bytes = 4096;

template <run_entry Entry>
void prefetch(std::span<const Entry> window) {
  if (window.size_bytes() > prefetched_bytes || window.empty()) {
    return;
  }
  const auto* const begin = static_cast<const char*>(static_cast<const void*>(window.data()));
  for (std::size_t offset = 0; offset < window.size_bytes(); offset += memory::line_bytes) {
    __builtin_prefetch(begin + offset);
  }
  __builtin_prefetch(begin + window.size_bytes() - 1);
}

}  // namespace learned_detail

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

  // A target's segment, and the steps it took to find.
  struct located {
    std::size_t segment;
    std::int32_t steps;
  };
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

// The leading one bit moved to the top, or 0 for 0, is the value's fraction in its octave; its
// first bits below the leading one tell the values of one octave apart. Buckets rise with the
// value, and they are as fine at every magnitude, so that keys crowded at the small end of a
// skewed distribution fall into as many buckets as keys spread over the whole range.
template <run_entry Entry>
inline std::size_t learned_index<Entry>::bucket_of(value v) const {
  constexpr int digits = std::numeric_limits<value>::digits;
  const auto octave = static_cast<std::size_t>(std::bit_width(v));
  const auto aligned = static_cast<value>(v << (std::countl_zero(v) & (digits - 1)));
  const auto fraction = static_cast<value>(aligned << 1) >> (digits - fraction_bits_);
  return octave << fraction_bits_ | fraction;
}

// The last segment whose first value is not above the target. Every segment before the target's
// bucket has a smaller first value and every one after it a greater, so it lies from the last
// before the bucket (or the first segment, whose first value is 0) to the last in it. Halving
// over those keeps the upper part when its first value is not above the target; mostly there is
// one, and nothing to halve.
template <run_entry Entry>
inline auto learned_index<Entry>::segment_of(value target) const -> located {
  const value* const first = first_values_.data();
  const std::size_t bucket = bucket_of(target);
  std::size_t at = std::max<std::uint32_t>(table_[bucket], 1) - 1;
  std::size_t length = table_[bucket + 1] - at;
  std::int32_t steps = 0;
  while (length > 1) {
    const std::size_t half = length / 2;
    at += first[at + half] <= target ? half : 0;
    length -= half;
    ++steps;
  }
  return {at, steps};
}

// The segment's line at the target, rounded to the nearest index and held within the indices
// the segment spans: the true index lies there, and the cap keeps the product of a steep slope
// and a far value from leaving the integers.
template <run_entry Entry>
inline std::int32_t learned_index<Entry>::predicted_in(std::size_t segment, value target) const {
  const double offset = slopes_[segment] * static_cast<double>(target - first_values_[segment]);
  const double span = starts_[segment + 1] - starts_[segment];
  return starts_[segment] + static_cast<std::int32_t>(std::min(offset + 0.5, span));
}

// The lowest index whose key is not smaller than the target lies within the distances measured
// below and above the guess and within the segment's indices; when it is size(), every key is
// smaller, and the window holds the entries up to the last, which the search ends on and finds
// unequal.
template <run_entry Entry>
inline counted_search learned(const learned_index<Entry>& index, key_type_of<Entry> target) {
  if (index.run_.empty()) {
    return {};
  }
  const auto at = index.segment_of(learned_detail::value_of(target));
  const std::int32_t guess = index.predicted_in(at.segment, learned_detail::value_of(target));
  const std::int32_t low = std::max(guess - index.below_, index.starts_[at.segment]);
  const std::int32_t high =
      std::min({guess + index.above_, index.starts_[at.segment + 1], index.size() - 1});
  const std::span<const Entry> window = index.run_.subspan(
      static_cast<std::size_t>(low), static_cast<std::size_t>(std::max(high - low + 1, 0)));
  learned_detail::prefetch(window);
  // Halved as branchless halves: the step keeps the upper part when the key just below it is
  // smaller than the target.
  std::size_t first = 0;
  std::int32_t steps = at.steps;
  for (std::size_t length = window.size(); length > 1; ++steps) {
    const std::size_t half = length / 2;
    first = kernels::kept_part(key_of(window[first + half - 1]), target, first, first + half);
    length -= half;
  }
  if (window.empty()) {
    return {false, 0, steps};
  }
  const bool found = key_of(window[first]) == target;
  return {found, found ? low + static_cast<std::int32_t>(first) + 1 : 0, steps + 1};
}

}  // namespace velk_sr::algorithms
