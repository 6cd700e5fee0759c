// random_int: pseudo-random integers in a range 1..n, from an x^2 mod N generator held as its two
// residues. Every new generator starts in the same state, so a sequence is the same in every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "../frame/clock.hpp"
#include "../frame/fixed_text.hpp"

namespace random_int {

// The whole state of a generator. `x1` and `x2` are the current residues modulo `p` and `q`;
// `fp` is `p` as a floating value (kept with `p`, read by nothing); `scl` maps the recombined
// number in 0..p*q-1 onto 0..n. Zero until a range installs a state: a zero state draws nothing
// (its modulus 0 fails the first draw).
struct state {
  std::int32_t x1 = 0;
  std::int32_t x2 = 0;
  std::int32_t p = 0;
  std::int32_t q = 0;
  double fp = 0.0;
  double scl = 0.0;

  friend bool operator==(const state&, const state&) = default;
};

// Division by a fixed modulus through its reciprocal, made once: a draw needs two remainders, and
// a hardware division costs many times what a multiplication does. Exact for every modulus but
// 0, on the square of any 32-bit integer.
class modulus {
 public:
  // None: matches only the modulus 0, which no draw divides by.
  modulus() = default;
  // `n` ready for division; 0 gives none.
  explicit modulus(std::int32_t n);

  [[nodiscard]] std::int32_t value() const { return n_; }

  // x*x reduced modulo n, the remainder taking the sign of n: square_mod_n(x, n). Not for none.
  [[nodiscard]] std::int32_t square_mod(std::int32_t x) const;

 private:
  std::int32_t n_ = 0;
  std::uint64_t magnitude_ = 0;   // |n|
  std::uint64_t reciprocal_ = 0;  // floor((2^64 - 1) / |n|)
  std::uint64_t sign_mask_ = 0;   // all ones when n < 0
};

// A generator is a plain value; `random` and the `reset`s change it in place.
struct generator {
  state gen_state;
  // The moduli of `gen_state`, ready for division: made with the state, and remade by a draw
  // that finds them out of date (a state written into `gen_state` directly).
  modulus by_p;
  modulus by_q;
};

// The text form of a state: three integer images (11 characters at the most) and two commas.
inline constexpr std::size_t image_capacity = 3 * 11 + 2;
using image_text = frame::fixed_text<image_capacity>;

// The random integers of one range 1..n, fixed when it is created. It holds n and the scale that
// goes with it, and makes and drives generators; it keeps no generator of its own.
class range {
 public:
  // Any n is accepted; a range with n < 1 is empty, and drawing from it fails.
  explicit range(std::int32_t n);

  // n, the last value of the range.
  [[nodiscard]] std::int32_t last() const { return n_; }

  // n / (p*q) for the default moduli: the scale of the default state.
  [[nodiscard]] double scal() const { return scal_; }

  // A generator in the default state, with this range's scale.
  [[nodiscard]] generator make_generator() const;

  // Squares both residues once and gives back the next value in 1..n. A recombined number that
  // scales to above n gives 1. Raises the constraint failure on an empty range, or if the
  // state (installed unchecked from elsewhere) yields a value outside 1..n or has a modulus 0.
  // Divides by neither modulus: their reciprocals come with the generator.
  std::int32_t random(generator& gen) const;

  // Replaces the whole state with one seeded from `initiator`, with the default moduli and this
  // range's scale. Every initiator gives a state that draws.
  void reset(generator& gen, std::int32_t initiator) const;

  // Seeds from the local calendar date and time of day of `clock()`; see the next `reset`.
  void reset(generator& gen) const;

  // Seeds from the local calendar date and time of day of `at` (to the millisecond), in the C
  // library's local time zone. A year outside 1901..2099 raises the time error.
  void reset(generator& gen, frame::time at) const;

  // Installs `from_state`, all six fields, unchecked. Meant for states made by a range: by
  // `save`, or by `value`, which checks what it reads.
  static void reset(generator& gen, const state& from_state);

  // A copy of the generator's whole state.
  [[nodiscard]] static state save(const generator& gen);

  // " x1, x2, q": the integer images of `x1`, `x2` and `q`, joined by commas. `p`, `fp` and
  // `scl` are not written; `value` rebuilds them.
  [[nodiscard]] static image_text image(const state& of_state);

  // Reads an `image` back: three fields separated by commas, each optional spaces, an optional
  // sign, decimal digits and optional spaces. Sets `p` to 2*q + 1 and the scale from this range's
  // n. Raises the constraint failure for a missing comma, a field that is not such an integer or
  // does not fit in 32 bits, q <= 30, x1 outside 2..p-1 or x2 outside 2..q-1.
  [[nodiscard]] state value(std::string_view coded_state) const;

 private:
  void seed(generator& gen, std::int32_t seed1, std::int32_t seed2) const;
  [[nodiscard]] std::int32_t in_range(std::int32_t result) const;

  std::int32_t n_;
  double rstl_;  // n as a floating value
  double scal_;
};

// x*x reduced modulo `n`, the remainder taking the sign of `n` (0..n-1 for a positive `n`). A
// modulus of 0 raises the constraint failure.
std::int32_t square_mod_n(std::int32_t x, std::int32_t n);

// The generator's current number: the one in 0..p*q-1 that leaves `x1` modulo `p` and `x2`
// modulo `q` (for p = 2*q + 1, so that no inverse is needed). Exact while p*q stays below 2^53,
// as it does for the default moduli.
double recombined(const state& s);

}  // namespace random_int
