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
// failure; reading it back is free. Arithmetic on it (below) gives a plain 32-bit integer, which
// the store then checks.
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

namespace detail {
template <class type>
struct is_ranged : std::false_type {};
template <std::int32_t lo, std::int32_t hi>
struct is_ranged<ranged<lo, hi>> : std::true_type {};
}  // namespace detail

template <class type>
concept ranged_value = detail::is_ranged<type>::value;

// What the checked arithmetic below takes: a ranged value, or an integer no wider than 32 bits
// (every value of which a 64-bit integer holds exactly).
template <class type>
concept checked_operand = ranged_value<type> ||
    (plain_integer<type> && sizeof(type) <= sizeof(std::int32_t));

namespace detail {
// The value of an operand as the integer it holds.
template <checked_operand type>
constexpr auto plain(type value) {
  if constexpr (ranged_value<type>) {
    return static_cast<std::int32_t>(value);
  } else {
    return value;
  }
}

// Fails with the constraint failure when an exact result did not fit in 32 bits.
constexpr void check_fits(bool overflowed) { check(!overflowed); }
}  // namespace detail

// Arithmetic with a ranged value on either side, such as `n + 1` or `cc - before`. It is worked
// out exactly and gives a plain 32-bit integer, so `n = n + 1` stores a checked sum; a result
// that 32 bits cannot hold raises the constraint failure rather than overflowing, as does a
// division by zero. An integer wider than 32 bits takes the ordinary arithmetic of its type.
template <checked_operand left, checked_operand right>
requires ranged_value<left> || ranged_value<right>
constexpr std::int32_t operator+(left a, right b) {
  std::int32_t sum = 0;
  detail::check_fits(__builtin_add_overflow(detail::plain(a), detail::plain(b), &sum));
  return sum;
}
template <checked_operand left, checked_operand right>
requires ranged_value<left> || ranged_value<right>
constexpr std::int32_t operator-(left a, right b) {
  std::int32_t difference = 0;
  detail::check_fits(__builtin_sub_overflow(detail::plain(a), detail::plain(b), &difference));
  return difference;
}
template <checked_operand left, checked_operand right>
requires ranged_value<left> || ranged_value<right>
constexpr std::int32_t operator*(left a, right b) {
  std::int32_t product = 0;
  detail::check_fits(__builtin_mul_overflow(detail::plain(a), detail::plain(b), &product));
  return product;
}
template <checked_operand left, checked_operand right>
requires ranged_value<left> || ranged_value<right>
constexpr std::int32_t operator/(left a, right b) {
  const std::int64_t divisor = detail::plain(b);
  check(divisor != 0);
  const std::int64_t quotient = detail::plain(a) / divisor;
  detail::check_fits(quotient != static_cast<std::int32_t>(quotient));
  return static_cast<std::int32_t>(quotient);
}
template <checked_operand left, checked_operand right>
requires ranged_value<left> || ranged_value<right>
constexpr std::int32_t operator%(left a, right b) {
  const std::int64_t divisor = detail::plain(b);
  check(divisor != 0);
  // The remainder always fits; only the quotient behind it can overflow in 32 bits.
  return static_cast<std::int32_t>(detail::plain(a) % divisor);
}
template <ranged_value operand>
constexpr std::int32_t operator-(operand a) {
  std::int32_t negated = 0;
  detail::check_fits(__builtin_sub_overflow(0, detail::plain(a), &negated));
  return negated;
}

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
    return slots_[offset(index)];
  }
  constexpr const element& operator[](std::int32_t index) const {
    check(index >= lo && index <= hi);
    return slots_[offset(index)];
  }

  // The slots from..to as one run, checked once: both ends must lie inside the bounds (an empty
  // run, to = from - 1, may start one past the last slot). Indexing the run is then unchecked,
  // so a loop that stays inside it pays for one check in all.
  [[nodiscard]] constexpr std::span<const element> run(std::int32_t from, std::int32_t to) const {
    check(from >= lo && from <= hi + 1 && to >= from - 1 && to <= hi);
    // to - from + 1 slots, in the offsets' unsigned arithmetic.
    return std::span<const element>(slots_).subspan(offset(from), offset(to) + 1 - offset(from));
  }

 private:
  // The place of a checked index among the slots, worked out in unsigned arithmetic: the same
  // number, and no signed subtraction for the optimiser to reason about past the check.
  static constexpr std::size_t offset(std::int32_t index) {
    return static_cast<std::size_t>(index) - static_cast<std::size_t>(lo);
  }

  // Value-initialised, so a slot never stored into still reads as a definite value.
  std::array<element, static_cast<std::size_t>(hi - lo) + 1> slots_{};
};

}  // namespace frame
