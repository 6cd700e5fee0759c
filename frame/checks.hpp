// Run-time checks: range-limited integers, arrays with checked indices, and the explicit
// wrapping arithmetic that the system leaves unchecked.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <type_traits>
#include <utility>

#include "failure.hpp"

namespace frame {

// Fails with the constraint failure unless `condition` holds.
constexpr void check(bool condition) {
  if (!condition) [[unlikely]] {
    raise_constraint_error();
  }
}

// Any integer type but bool.
template <class type>
concept plain_integer = std::is_integral_v<type> && !std::is_same_v<type, bool>;

// A 32-bit integer limited to lo..hi. Storing a value outside the range raises the constraint
// failure; reading it back is free. Arithmetic happens on plain integers before the store.
template <std::int32_t lo, std::int32_t hi>
class ranged {
  static_assert(lo <= hi);

 public:
  // The first value of the range, as a definite starting value.
  constexpr ranged() = default;

  // Implicit on purpose: every store of a plain integer is a checked store.
  template <plain_integer integer>
  // NOLINTNEXTLINE(google-explicit-constructor,hicpp-explicit-conversions)
  constexpr ranged(integer value) : value_(static_cast<std::int32_t>(value)) {
    check(std::cmp_greater_equal(value, lo) && std::cmp_less_equal(value, hi));
  }

  // NOLINTNEXTLINE(google-explicit-constructor,hicpp-explicit-conversions)
  constexpr operator std::int32_t() const { return value_; }

 private:
  std::int32_t value_ = lo;
};

// 0..2147483647.
using natural = ranged<0, std::numeric_limits<std::int32_t>::max()>;

// Two's complement wrapping arithmetic on 32-bit integers, through unsigned arithmetic so that
// signed overflow never happens.
constexpr std::int32_t wrapping_add(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
constexpr std::int32_t wrapping_sub(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// A fixed array indexed lo..hi; every index is checked against those bounds.
template <class element, std::int32_t lo, std::int32_t hi>
class checked_array {
  static_assert(lo <= hi);

 public:
  constexpr element& operator[](std::int32_t index) {
    check(index >= lo && index <= hi);
    return slots_[static_cast<std::size_t>(index - lo)];
  }
  constexpr const element& operator[](std::int32_t index) const {
    check(index >= lo && index <= hi);
    return slots_[static_cast<std::size_t>(index - lo)];
  }

  // The slots from..to as one run, checked once: both ends must lie inside the bounds (an empty
  // run, to = from - 1, may start one past the last slot). Indexing the run is then unchecked,
  // so a loop that stays inside it pays for one check in all.
  [[nodiscard]] constexpr std::span<const element> run(std::int32_t from, std::int32_t to) const {
    check(from >= lo && from <= hi + 1 && to >= from - 1 && to <= hi);
    return std::span<const element>(slots_).subspan(static_cast<std::size_t>(from - lo),
                                                    static_cast<std::size_t>(to - from + 1));
  }

 private:
  // Value-initialised, so a slot never stored into still reads as a definite value.
  std::array<element, static_cast<std::size_t>(hi - lo) + 1> slots_{};
};

}  // namespace frame
