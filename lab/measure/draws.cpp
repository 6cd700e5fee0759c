#include "draws.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

namespace velk_lab {

namespace {

constexpr std::uint64_t golden_gamma = 0x9e3779b97f4a7c15;

std::uint64_t mixed(std::uint64_t z) {
  z = (z ^ (z >> 30U)) * 0xbf58476d1ce4e5b9;
  z = (z ^ (z >> 27U)) * 0x94d049bb133111eb;
  return z ^ (z >> 31U);
}

// expm1(x) / x and log1p(x) / x, which tend to 1 at 0, where the envelope's formulas would
// divide 0 by 0.
double expm1_over(double x) { return std::abs(x) > 1e-8 ? std::expm1(x) / x : 1.0 + x / 2.0; }
double log1p_over(double x) { return std::abs(x) > 1e-8 ? std::log1p(x) / x : 1.0 - x / 2.0; }

}  // namespace

draws::draws(std::uint64_t seed, std::uint64_t stream) : state_(seed ^ mixed(stream)) {}

std::uint64_t draws::next() {
  state_ += golden_gamma;
  return mixed(state_);
}

std::uint64_t draws::below(std::uint64_t bound) {
  __extension__ using wide = unsigned __int128;
  const std::uint64_t threshold = (0 - bound) % bound;  // 2^64 mod bound
  for (;;) {
    const wide product = static_cast<wide>(next()) * bound;
    if (static_cast<std::uint64_t>(product) >= threshold) {
      return static_cast<std::uint64_t>(product >> 64U);
    }
  }
}

double draws::unit() {
  constexpr double step = 0x1.0p-53;
  return static_cast<double>(next() >> 11U) * step;
}

std::uint64_t seed_state(std::int64_t seed, draw_stream stream) {
  return static_cast<std::uint64_t>(seed) ^ (static_cast<std::uint64_t>(stream) << 32U);
}

zipf_ranks::zipf_ranks(std::uint64_t count, double exponent)
    : count_(count),
      exponent_(exponent),
      area_first_(envelope(1.5) - 1.0),
      area_all_(envelope(static_cast<double>(count) + 0.5)),
      squeeze_(2.0 - envelope_inverse(envelope(2.5) - weight(2.0))) {}

double zipf_ranks::weight(double x) const { return std::exp(-exponent_ * std::log(x)); }

// The integral of x^-exponent, shifted so that it is continuous at exponent 1: log x there.
double zipf_ranks::envelope(double x) const {
  const double log_x = std::log(x);
  return expm1_over((1.0 - exponent_) * log_x) * log_x;
}

double zipf_ranks::envelope_inverse(double y) const {
  const double t = std::max(-1.0, y * (1.0 - exponent_));
  return std::exp(log1p_over(t) * y);
}

std::uint64_t zipf_ranks::operator()(draws& from) const {
  for (;;) {
    const double u = area_all_ + from.unit() * (area_first_ - area_all_);
    const double x = envelope_inverse(u);
    const double nearest = std::floor(x + 0.5);
    const std::uint64_t rank = nearest < 1.0 ? 1
                               : nearest >= static_cast<double>(count_)
                                   ? count_
                                   : static_cast<std::uint64_t>(nearest);
    const auto k = static_cast<double>(rank);
    if (k - x <= squeeze_ || u >= envelope(k + 0.5) - weight(k)) {
      return rank;
    }
  }
}

scattered_order::scattered_order(std::uint64_t count, std::uint64_t key)
    : count_(count),
      half_bits_(
          std::max(1, (static_cast<int>(std::bit_width(count > 1 ? count - 1 : 1)) + 1) / 2)),
      half_mask_((std::uint64_t{1} << static_cast<unsigned>(half_bits_)) - 1),
      key_(mixed(key)) {}

std::uint64_t scattered_order::round_function(std::uint64_t half, int round) const {
  return mixed(half ^ key_ ^ (static_cast<std::uint64_t>(round) * golden_gamma)) & half_mask_;
}

std::uint64_t scattered_order::operator()(std::uint64_t index) const {
  const auto bits = static_cast<unsigned>(half_bits_);
  std::uint64_t value = index;
  do {
    std::uint64_t left = value >> bits;
    std::uint64_t right = value & half_mask_;
    constexpr int rounds = 4;
    for (int round = 0; round < rounds; ++round) {
      const std::uint64_t next = left ^ round_function(right, round);
      left = right;
      right = next;
    }
    value = (left << bits) | right;
  } while (value >= count_);
  return value;
}

}  // namespace velk_lab
