#include "learned.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace velk_sr::algorithms {

using learned_detail::value_of;

namespace {

// The points of the run's lower-bound function (value -> index of the lowest entry whose key is
// not smaller), in ascending order of value: 0, when the least key is above it; each distinct
// key, at the lowest index of its run; and the value just above each distinct key, at the index
// after its run, unless that value is the next key or lies beyond the greatest value. Between two
// points that follow each other the function does not change, so a model that rises with the
// value and is within a distance of every point is within it everywhere.
//
// The model is fitted to the points marked so: all but the values just above a key of its own
// (not repeated), whose index is one more than the key's. Fitting those too would ask a line to
// climb a whole index between two neighbouring values at every key, which at a small epsilon
// breaks sparse keys into a segment per key; left out, their distance below the model is at most
// one more than the key's.
template <run_entry Entry, class Visit>
void for_each_point(std::span<const Entry> run, Visit visit) {
  using value = std::make_unsigned_t<key_type_of<Entry>>;
  const value least = value_of(key_of(run.front()));
  if (least > 0) {
    visit(value{0}, 0, true);
  }
  visit(least, 0, true);
  value last = least;
  std::size_t last_from = 0;
  const auto after = [&](std::size_t index) {
    if (last < std::numeric_limits<value>::max()) {
      visit(static_cast<value>(last + 1), static_cast<std::int32_t>(index), index > last_from + 1);
    }
  };
  for (std::size_t i = 1; i < run.size(); ++i) {
    const value next = value_of(key_of(run[i]));
    if (next != last) {
      if (next - last > 1) {
        after(i);
      }
      visit(next, static_cast<std::int32_t>(i), true);
      last = next;
      last_from = i;
    }
  }
  after(run.size());
}

__extension__ using signed_128 = __int128;

// A slope of numerator / (2 denominator) indices per value, exact: a bound of the cone is the
// slope that takes a point's index, plus or less the tolerance, from the segment's first point.
// Twice the index makes the tolerance epsilon - 1/2 a whole number.
struct slope_bound {
  std::int64_t numerator = 0;
  std::uint64_t denominator = 1;

  [[nodiscard]] double approximate() const {
    return static_cast<double>(numerator) / (2.0 * static_cast<double>(denominator));
  }
};

// Whether a is less than b: the products take at most 34 + 64 bits.
bool less(const slope_bound& a, const slope_bound& b) {
  return signed_128{a.numerator} * signed_128{b.denominator} <
         signed_128{b.numerator} * signed_128{a.denominator};
}

// The slopes of the lines from a segment's first point that stay within the tolerance of every
// point the segment has taken: at least `lowest`, at most `highest` (none while the segment has
// one point), and never negative, so that the model rises with the value. The tolerance is
// epsilon - 1/2 rather than epsilon: a prediction rounded to the nearest index then stays within
// epsilon, the few units in the last place of the floating-point slope included.
template <class Value>
class cone {
 public:
  explicit cone(std::int64_t epsilon) : twice_tolerance_(2 * epsilon - 1) {}

  void start(Value first, std::int32_t index) {
    first_ = first;
    index_ = index;
    lowest_ = slope_bound{};
    bounded_ = false;
  }

  // Narrows the cone to a later point and says so when the point fits, that is when the cone
  // keeps a slope; leaves it as it was when it does not.
  bool takes(Value at, std::int32_t index) {
    const std::uint64_t run = at - first_;
    const std::int64_t rise = 2 * std::int64_t{index - index_};
    const slope_bound low{rise - twice_tolerance_, run};
    const slope_bound high{rise + twice_tolerance_, run};
    const slope_bound lowest = less(lowest_, low) ? low : lowest_;
    const slope_bound highest = bounded_ && less(highest_, high) ? highest_ : high;
    if (less(highest, lowest)) {
      return false;
    }
    lowest_ = lowest;
    highest_ = highest;
    bounded_ = true;
    return true;
  }

  // The slope halfway between the cone's bounds; 0 for a segment of one point, which the values
  // up to the next segment do not move from.
  [[nodiscard]] double slope() const {
    return bounded_ ? (lowest_.approximate() + highest_.approximate()) / 2.0 : 0.0;
  }

 private:
  std::int64_t twice_tolerance_;
  Value first_ = 0;
  std::int32_t index_ = 0;
  slope_bound lowest_;
  slope_bound highest_;
  bool bounded_ = false;
};

// How fine the radix table is made (see fill_table).
constexpr std::size_t buckets_per_segment = 8;
constexpr std::size_t keys_per_bucket = 16;

}  // namespace

template <run_entry Entry>
learned_index<Entry>::learned_index(std::span<const Entry> run, std::int64_t epsilon) : run_(run) {
  if (epsilon < least_epsilon || epsilon > most_epsilon) {
    throw std::invalid_argument("a learned index's epsilon must lie from 1 to 2^30, not " +
                                std::to_string(epsilon));
  }
  if (run.empty()) {
    return;
  }
  cone<value> corridor(epsilon);
  for_each_point(run, [&](value at, std::int32_t index, bool fitted) {
    if (!fitted || (!first_values_.empty() && corridor.takes(at, index))) {
      return;
    }
    if (!first_values_.empty()) {
      slopes_.push_back(corridor.slope());
    }
    first_values_.push_back(at);
    starts_.push_back(index);
    corridor.start(at, index);
  });
  slopes_.push_back(corridor.slope());
  starts_.push_back(size());
  first_values_.shrink_to_fit();
  slopes_.shrink_to_fit();
  starts_.shrink_to_fit();
  fill_table();
  // The rounded predictions, measured at every point as a search makes them: rounding only
  // rises with the value, so between the points they stay within the same distances.
  std::size_t segment = 0;
  for_each_point(run, [&](value at, std::int32_t index, bool /*fitted*/) {
    while (segment + 1 < first_values_.size() && first_values_[segment + 1] <= at) {
      ++segment;
    }
    const std::int32_t error = predicted_in(segment, at) - index;
    below_ = std::max(below_, error);
    above_ = std::max(above_, -error);
  });
}

template <run_entry Entry>
std::size_t learned_index<Entry>::bytes() const {
  return first_values_.size() * sizeof(value) + slopes_.size() * sizeof(double) +
         starts_.size() * sizeof(std::int32_t) + table_.size() * sizeof(std::uint32_t);
}

// The table is made finer a bit at a time up to `buckets_per_segment` buckets for each segment,
// so that most buckets hold no segment's first value and the last segment before the bucket is
// the target's, as long as it stays within one bucket for `keys_per_bucket` keys: a model of
// many short segments gains little from a table that outgrows the caches.
template <run_entry Entry>
void learned_index<Entry>::fill_table() {
  constexpr std::size_t octaves = std::numeric_limits<value>::digits + 1;
  const std::size_t wanted = buckets_per_segment * first_values_.size();
  const std::size_t most = run_.size() / keys_per_bucket;
  while ((octaves << fraction_bits_) < wanted && (octaves << (fraction_bits_ + 1)) <= most) {
    ++fraction_bits_;
  }
  const std::size_t buckets = octaves << fraction_bits_;
  table_.resize(buckets + 1);
  std::size_t segment = 0;
  for (std::size_t b = 0; b <= buckets; ++b) {
    while (segment < first_values_.size() && bucket_of(first_values_[segment]) < b) {
      ++segment;
    }
    table_[b] = static_cast<std::uint32_t>(segment);
  }
}

template <run_entry Entry>
std::int32_t learned_index<Entry>::predicted(key target) const {
  if (run_.empty()) {
    return 0;
  }
  const value at = value_of(target);
  return predicted_in(segment_of(at).segment, at);
}

template class learned_index<list_entry>;
template class learned_index<std::uint32_t>;
template class learned_index<std::uint64_t>;

}  // namespace velk_sr::algorithms
