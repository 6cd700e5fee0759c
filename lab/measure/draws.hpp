// The lab's own random draws for the key sets and targets it makes: the same numbers on every
// platform and compiler, from integer arithmetic alone where it can be (the standard library's
// distributions differ between implementations).
#pragma once

#include <cstdint>

namespace velk_lab {

// SplitMix64: a 64-bit state that grows by 0x9e3779b97f4a7c15 at each draw, the draw being the
// new state mixed by two xor-shift-multiply rounds. `stream` tells apart the sequences that one
// seed starts (the keys, each half's targets), so that they do not depend on each other.
class draws {
 public:
  draws(std::uint64_t seed, std::uint64_t stream);

  // The next 64 bits.
  std::uint64_t next();

  // Uniform over 0..bound - 1 (bound >= 1), without bias: the high half of the 128-bit product of
  // a draw and `bound`, drawing again while the low half falls below 2^64 mod bound.
  std::uint64_t below(std::uint64_t bound);

  // Uniform over [0, 1): the top 53 bits of a draw, times 2^-53.
  double unit();

 private:
  std::uint64_t state_;
};

// The streams of the lab's draws.
enum class draw_stream : std::uint64_t { keys = 1, successful = 2, unsuccessful = 3, order = 4 };

// The state of a seed's stream: the seed (0 when none is given) as a 64-bit number, its stream
// number in the upper half.
std::uint64_t seed_state(std::int64_t seed, draw_stream stream);

// Ranks 1..count with P(rank r) proportional to r^-exponent (exponent > 0), drawn by rejection
// inversion: a continuous envelope of the weights is inverted at a uniform draw and the rank
// near it is kept or drawn again. Uses exp and log, which the common C libraries round alike.
class zipf_ranks {
 public:
  zipf_ranks(std::uint64_t count, double exponent);
  std::uint64_t operator()(draws& from) const;

 private:
  [[nodiscard]] double envelope(double x) const;          // H(x)
  [[nodiscard]] double envelope_inverse(double y) const;  // H^-1(y)
  [[nodiscard]] double weight(double x) const;            // x^-exponent

  std::uint64_t count_;
  double exponent_;
  double area_first_;  // H(1.5) - 1
  double area_all_;    // H(count + 0.5)
  double squeeze_;
};

// A permutation of 0..count - 1 fixed by a key: a four-round Feistel network over the least even
// number of bits that holds count - 1, walked again from any value it sends beyond the range.
// Needs no memory, so that hot ranks can be spread over a hundred million keys.
class scattered_order {
 public:
  scattered_order(std::uint64_t count, std::uint64_t key);
  [[nodiscard]] std::uint64_t operator()(std::uint64_t index) const;

 private:
  [[nodiscard]] std::uint64_t round_function(std::uint64_t half, int round) const;
  std::uint64_t count_;
  int half_bits_;
  std::uint64_t half_mask_;
  std::uint64_t key_;
};

}  // namespace velk_lab
