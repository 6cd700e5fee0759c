#include "random_int.hpp"

#include <bit>
#include <ctime>
#include <limits>

#include "frame/checks.hpp"
#include "frame/failure.hpp"
#include "frame/integer_image.hpp"

namespace random_int {

namespace {

// The moduli: primes that leave 3 when divided by 4, with p = 2*q + 1.
constexpr std::int32_t default_p = 94833359;
constexpr std::int32_t default_q = 47416679;
// p*q, exact in binary64 (it is below 2^53).
constexpr double default_pq = 4496682942194761.0;
static_assert(static_cast<std::int64_t>(default_p) * default_q == 4496682942194761);
static_assert(default_p == 2 * default_q + 1);

// The residues that every new generator starts from: 2999^2 and 1439^2.
constexpr std::int32_t default_x1 = 8994001;
constexpr std::int32_t default_x2 = 2070721;

// Seeds are reduced modulo p - 3 and q - 3 and then raised by 2, so that a starting residue lies
// in 2..p-2 (or 2..q-2): never 0 or +-1, which squaring would keep fixed.
constexpr std::int32_t seed_divisor1 = default_p - 3;
constexpr std::int32_t seed_divisor2 = default_q - 3;
constexpr int seed_squarings = 5;

// A state read back by `value` needs a modulus q above this.
constexpr std::int32_t least_q = 31;

// The calendar years that the clock seeding accepts.
constexpr int first_year = 1901;
constexpr int last_year = 2099;

constexpr std::int64_t nanoseconds_per_second = 1'000'000'000;
constexpr std::int64_t nanoseconds_per_millisecond = 1'000'000;

// `value` when `condition` holds, else 0; a mask, not a jump, since the condition is the coin
// toss of a draw.
std::int32_t if_set(bool condition, std::int32_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) &
                                   (0U - static_cast<std::uint32_t>(condition)));
}

// `when_set` when `condition` holds, else `otherwise`; a mask, not a jump, for the same reason.
double if_else(bool condition, double when_set, double otherwise) {
  const std::uint64_t mask = std::uint64_t{0} - static_cast<std::uint64_t>(condition);
  return std::bit_cast<double>((std::bit_cast<std::uint64_t>(when_set) & mask) |
                               (std::bit_cast<std::uint64_t>(otherwise) & ~mask));
}

// |n|, up to 2^31.
std::uint64_t magnitude_of(std::int32_t n) {
  const auto wide_n = static_cast<std::uint64_t>(std::int64_t{n});
  return n < 0 ? std::uint64_t{0} - wide_n : wide_n;
}

// A generator holding `s`, with its moduli made.
generator holding(const state& s) { return generator{s, modulus(s.p), modulus(s.q)}; }

// The generator's modulus for `n`, remade if it is out of date.
const modulus& current(modulus& made, std::int32_t n) {
  if (made.value() != n) [[unlikely]] {
    made = modulus(n);
  }
  return made;
}

// `a` modulo `n` with the remainder taking the sign of `n`. `n` is not 0.
constexpr std::int64_t floor_mod(std::int64_t a, std::int64_t n) {
  const std::int64_t r = a % n;
  return (r != 0 && (r < 0) != (n < 0)) ? r + n : r;
}

// The scale that maps 0..p*q-1 onto 0..n, in the order of steps the generator has always used.
double scale(double rstl, double pq) { return ((rstl - 1.0) + 1.0) / pq; }

// Truncates toward zero; a value that no 32-bit integer holds (or NaN) fails instead of being
// converted, which would be undefined.
std::int32_t truncated(double value) {
  frame::check(value > -2147483649.0 && value < 2147483648.0);
  return static_cast<std::int32_t>(value);
}

// Reads one field of `value`: spaces, an optional sign right before the digits, at least one
// decimal digit, spaces. Every character is reached through the view, so nothing outside the
// field is read.
std::int32_t read_integer(std::string_view field) {
  std::size_t at = 0;
  while (at < field.size() && field[at] == ' ') {
    ++at;
  }
  bool negative = false;
  if (at < field.size() && (field[at] == '+' || field[at] == '-')) {
    negative = field[at] == '-';
    ++at;
  }
  const std::size_t first_digit = at;
  // Accumulated as a magnitude in 64 bits and checked at every digit, so a long run of digits
  // fails as soon as it leaves the 32-bit range.
  constexpr std::int64_t most = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  while (at < field.size() && field[at] >= '0' && field[at] <= '9') {
    magnitude = magnitude * 10 + (field[at] - '0');
    frame::check(magnitude <= most);
    ++at;
  }
  frame::check(at > first_digit);
  while (at < field.size() && field[at] == ' ') {
    ++at;
  }
  frame::check(at == field.size());
  const std::int64_t result = negative ? -magnitude : magnitude;
  frame::check(result >= std::numeric_limits<std::int32_t>::min() &&
               result <= std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(result);
}

// The index of the first comma at or after `from`; running off the end of the text fails.
std::size_t next_comma(std::string_view text, std::size_t from) {
  std::size_t stop = from;
  for (;;) {
    frame::check(stop < text.size());
    if (text[stop] == ',') {
      return stop;
    }
    ++stop;
  }
}

// The local calendar date and time of day of a point in time, as the clock seeding needs them.
struct local_date_time {
  int year;
  int month;  // 1..12
  int day;    // 1..31
  std::int64_t nanoseconds_since_midnight;
};

local_date_time local_date_time_of(frame::time at) {
  // Whole seconds, rounded down also before 1970, and what is left of the second. Truncating
  // first and then stepping down keeps the earliest times clear of overflow.
  std::int64_t seconds = at.nanoseconds / nanoseconds_per_second;
  std::int64_t within_second = at.nanoseconds % nanoseconds_per_second;
  if (within_second < 0) {
    seconds -= 1;
    within_second += nanoseconds_per_second;
  }
  const auto whole = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (::localtime_r(&whole, &local) == nullptr) {
    frame::raise_failure(frame::failure_kind::time_error);
  }
  const std::int64_t second_of_day =
      (std::int64_t{local.tm_hour} * 60 + local.tm_min) * 60 + local.tm_sec;
  return local_date_time{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                         second_of_day * nanoseconds_per_second + within_second};
}

}  // namespace

std::int32_t square_mod_n(std::int32_t x, std::int32_t n) {
  frame::check(n != 0);
  // Below 2^62, so exact and never negative.
  const std::int64_t square = std::int64_t{x} * x;
  return static_cast<std::int32_t>(floor_mod(square, n));
}

modulus::modulus(std::int32_t n)
    : n_(n),
      magnitude_(magnitude_of(n)),
      reciprocal_(n == 0 ? 0 : std::numeric_limits<std::uint64_t>::max() / magnitude_),
      sign_mask_(n < 0 ? std::numeric_limits<std::uint64_t>::max() : 0) {}

std::int32_t modulus::square_mod(std::int32_t x) const {
  // The square is at most 2^62. With m = floor((2^64 - 1) / d), the quotient estimate
  // floor(square * m / 2^64) lies between the true quotient less one and the true quotient, so
  // the remainder it leaves lies in 0..2d-1 and one subtraction of d, by mask, completes it.
  const auto square = static_cast<std::uint64_t>(std::int64_t{x} * x);
  __extension__ using wide = unsigned __int128;
  // The high half of a 128-bit product (cppcheck takes the type for 64 bits wide).
  // cppcheck-suppress shiftTooManyBits
  const auto estimate = static_cast<std::uint64_t>((wide{square} * reciprocal_) >> 64U);
  std::uint64_t remainder = square - estimate * magnitude_;
  remainder -=
      magnitude_ & (std::uint64_t{0} - static_cast<std::uint64_t>(remainder >= magnitude_));
  // A negative modulus takes a remainder other than 0 down by |n|, to the sign of n.
  remainder -=
      magnitude_ & sign_mask_ & (std::uint64_t{0} - static_cast<std::uint64_t>(remainder != 0));
  return static_cast<std::int32_t>(static_cast<std::int64_t>(remainder));
}

double recombined(const state& s) {
  // x2 - x1 is unchecked 32-bit arithmetic; for states made here it cannot overflow.
  std::int32_t temp = frame::wrapping_sub(s.x2, s.x1);
  // Since x1 <= p - 1 = 2*q, adding q at most twice brings temp into 0..q-1.
  temp = frame::wrapping_add(temp, if_set(temp < 0, s.q));
  temp = frame::wrapping_add(temp, if_set(temp < 0, s.q));
  // Because p leaves 1 when divided by q, temp*p + x1 leaves x2 modulo q and x1 modulo p.
  const double a = static_cast<double>(temp) * static_cast<double>(s.p);
  const double b = a + static_cast<double>(s.x1);
  return b;
}

range::range(std::int32_t n)
    : n_(n), rstl_(static_cast<double>(n)), scal_(scale(rstl_, default_pq)) {}

generator range::make_generator() const {
  return holding(
      state{default_x1, default_x2, default_p, default_q, static_cast<double>(default_p), scal_});
}

std::int32_t range::in_range(std::int32_t result) const {
  frame::check(result >= 1 && result <= n_);
  return result;
}

std::int32_t range::random(generator& gen) const {
  state& s = gen.gen_state;
  frame::check(s.p != 0);
  s.x1 = current(gen.by_p, s.p).square_mod(s.x1);
  frame::check(s.q != 0);
  s.x2 = current(gen.by_q, s.q).square_mod(s.x2);
  // The offset is 1.5, and a number that lands above n gives the first value, not the last:
  // the sequences that the reports rest on depend on both. Rounds half away from zero; tf is
  // never negative for a state made here. Where the draw lands is a coin toss, so the value
  // is selected before the one conversion, not branched on.
  const double tf = recombined(s) * s.scl + 1.5;
  const double rounded = if_else(tf > rstl_, 1.0, tf + 0.5);
  return in_range(truncated(rounded));
}

void range::seed(generator& gen, std::int32_t seed1, std::int32_t seed2) const {
  auto x1 = static_cast<std::int32_t>(floor_mod(seed1, seed_divisor1) + 2);
  auto x2 = static_cast<std::int32_t>(floor_mod(seed2, seed_divisor2) + 2);
  for (int j = 1; j <= seed_squarings; ++j) {
    x1 = square_mod_n(x1, default_p);
    x2 = square_mod_n(x2, default_q);
  }
  gen = holding(state{x1, x2, default_p, default_q, static_cast<double>(default_p), scal_});
}

void range::reset(generator& gen, std::int32_t initiator) const { seed(gen, initiator, initiator); }

void range::reset(generator& gen) const { reset(gen, frame::clock()); }

void range::reset(generator& gen, frame::time at) const {
  const local_date_time local = local_date_time_of(at);
  if (local.year < first_year || local.year > last_year) {
    frame::raise_failure(frame::failure_kind::time_error);
  }
  // (year*12 + month)*31 + day: below 2^20 for the accepted years.
  const std::int32_t date_number = (local.year * 12 + local.month) * 31 + local.day;
  // The whole milliseconds since local midnight: 0..86399999.
  const auto milliseconds =
      static_cast<std::int32_t>(local.nanoseconds_since_midnight / nanoseconds_per_millisecond);
  seed(gen, date_number, milliseconds);
}

void range::reset(generator& gen, const state& from_state) { gen = holding(from_state); }

state range::save(const generator& gen) { return gen.gen_state; }

image_text range::image(const state& of_state) {
  return frame::join<image_capacity>(frame::integer_image(of_state.x1), ",",
                                     frame::integer_image(of_state.x2), ",",
                                     frame::integer_image(of_state.q));
}

state range::value(std::string_view coded_state) const {
  state outs = make_generator().gen_state;
  const std::size_t first_comma = next_comma(coded_state, 0);
  outs.x1 = read_integer(coded_state.substr(0, first_comma));
  const std::size_t second_comma = next_comma(coded_state, first_comma + 1);
  outs.x2 = read_integer(coded_state.substr(first_comma + 1, second_comma - first_comma - 1));
  outs.q = read_integer(coded_state.substr(second_comma + 1));
  // 2*q + 1 is unchecked 32-bit arithmetic: a q so large that it wraps gives a negative p, which
  // the check on x1 below then refuses.
  outs.p = frame::wrapping_add(frame::wrapping_add(outs.q, outs.q), 1);
  outs.fp = static_cast<double>(outs.p);
  outs.scl = scale(rstl_, static_cast<double>(outs.p) * static_cast<double>(outs.q));
  frame::check(outs.q >= least_q);
  frame::check(outs.x1 >= 2 && outs.x1 <= frame::wrapping_sub(outs.p, 1));
  frame::check(outs.x2 >= 2 && outs.x2 <= outs.q - 1);
  return outs;
}

}  // namespace random_int
