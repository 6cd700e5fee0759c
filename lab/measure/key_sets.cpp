#include "key_sets.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "lab/measure/draws.hpp"
#include "lab/measure/workload.hpp"

namespace velk_lab {

namespace {

template <class Key>
void odd(std::span<Key> keys, std::int64_t /*seed*/) {
  for (std::size_t i = 0; i < keys.size(); ++i) {
    keys[i] = static_cast<Key>(2 * i + 1);
  }
}

template <class Key>
void dense(std::span<Key> keys, std::int64_t /*seed*/) {
  for (std::size_t i = 0; i < keys.size(); ++i) {
    keys[i] = static_cast<Key>(i + 1);
  }
}

// Each key the upper bits of a draw of the keys' stream, then sorted.
template <class Key>
void uniform(std::span<Key> keys, std::int64_t seed) {
  draws from(seed_state(seed, draw_stream::keys), 0);
  constexpr unsigned drop = 64 - 8 * sizeof(Key);
  for (Key& key : keys) {
    key = static_cast<Key>(from.next() >> drop);
  }
  std::sort(keys.begin(), keys.end());
}

// The standard normal quantile of p (0 < p < 1): a rational approximation, good to about 1e-9,
// then one step of Halley's method on the error function, which leaves it good to about 1e-15.
double normal_quantile(double p) {
  constexpr std::array<double, 6> a{-3.969683028665376e+01, 2.209460984245205e+02,
                                    -2.759285104469687e+02, 1.383577518672690e+02,
                                    -3.066479806614716e+01, 2.506628277459239e+00};
  constexpr std::array<double, 5> b{-5.447609879822406e+01, 1.615858368580409e+02,
                                    -1.556989798598866e+02, 6.680131188771972e+01,
                                    -1.328068155288572e+01};
  constexpr std::array<double, 6> c{-7.784894002430293e-03, -3.223964580411365e-01,
                                    -2.400758277161838e+00, -2.549732539343734e+00,
                                    4.374664141464968e+00,  2.938163982698783e+00};
  constexpr std::array<double, 4> d{7.784695709041462e-03, 3.224671290700398e-01,
                                    2.445134137142996e+00, 3.754408661907416e+00};
  constexpr double low = 0.02425;
  double x = 0.0;
  if (p < low || p > 1.0 - low) {
    const double q = std::sqrt(-2.0 * std::log(p < low ? p : 1.0 - p));
    x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
        ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
    x = p < low ? x : -x;
  } else {
    const double q = p - 0.5;
    const double r = q * q;
    x = (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
        (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1.0);
  }
  constexpr double sqrt_half = 0.70710678118654752440;
  constexpr double sqrt_two_pi = 2.50662827463100050242;
  const double error = 0.5 * std::erfc(-x * sqrt_half) - p;
  const double u = error * sqrt_two_pi * std::exp(x * x / 2.0);
  return x - u / (1.0 + x * u / 2.0);
}

// The normal quantiles z_i at p_i = (i + 0.5) / n, exactly symmetric: z_(n-1-i) = -z_i.
std::vector<double> normal_quantiles(std::size_t n) {
  std::vector<double> z(n);
  for (std::size_t i = 0; i < (n + 1) / 2; ++i) {
    const double p = (static_cast<double>(i) + 0.5) / static_cast<double>(n);
    z[i] = 2 * i + 1 == n ? 0.0 : normal_quantile(p);
    z[n - 1 - i] = -z[i];
  }
  return z;
}

// A fraction of the key range, 0..1, as a key: floor(fraction (2^w - 1)), the greatest key at most.
template <class Key>
Key scaled(double fraction) {
  constexpr Key greatest = std::numeric_limits<Key>::max();
  const double value = std::floor(std::clamp(fraction, 0.0, 1.0) * static_cast<double>(greatest));
  return value >= static_cast<double>(greatest) ? greatest : static_cast<Key>(value);
}

// The quantiles spread over the whole range: z_0 at 0, z_(n-1) at the greatest key.
template <class Key>
void normal(std::span<Key> keys, std::int64_t /*seed*/) {
  const std::vector<double> z = normal_quantiles(keys.size());
  const double widest = z.back();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    keys[i] = scaled<Key>(widest > 0.0 ? (z[i] / widest + 1.0) / 2.0 : 0.5);
  }
}

// exp(sigma z_i) as a fraction of the greatest, exp(sigma z_(n-1)): sigma 1 at 32 bits, where 2
// leaves most keys equal, and 2 at 64.
template <class Key>
void lognormal(std::span<Key> keys, std::int64_t /*seed*/) {
  const double sigma = sizeof(Key) == 4 ? 1.0 : 2.0;
  const std::vector<double> z = normal_quantiles(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    keys[i] = scaled<Key>(std::exp(sigma * (z[i] - z.back())));
  }
}

constexpr std::array<key_kind, 5> kinds{{
    {"odd", "1, 3, ..., 2n - 1, searched as velk_ts searches them", false, false,
     odd<std::uint32_t>, odd<std::uint64_t>},
    {"dense", "1, 2, ..., n", false, false, dense<std::uint32_t>, dense<std::uint64_t>},
    {"uniform", "n keys drawn uniformly over the whole key range, sorted", true, true,
     uniform<std::uint32_t>, uniform<std::uint64_t>},
    {"normal", "the normal distribution's quantiles spread over the key range", false, true,
     normal<std::uint32_t>, normal<std::uint64_t>},
    {"lognormal", "the log-normal distribution's quantiles up to the greatest key", false, true,
     lognormal<std::uint32_t>, lognormal<std::uint64_t>},
}};

template <lab_key Key>
std::span<const Key> file_keys(const key_file& file) {
  if constexpr (sizeof(Key) == 4) {
    return file.keys32;
  } else {
    return file.keys64;
  }
}

// The position in a file of `all` keys of the i-th key of its sample of n: floor(i all / n).
std::size_t sampled(std::size_t i, std::size_t all, std::size_t n) {
  __extension__ using wide = unsigned __int128;
  return static_cast<std::size_t>(static_cast<wide>(i) * all / n);
}

template <lab_key Key>
bool odd_sample(std::span<const Key> all, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (all[sampled(i, all.size(), n)] != static_cast<Key>(2 * i + 1)) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::span<const key_kind> key_kinds() { return kinds; }

template <lab_key Key>
std::span<const Key> keys_of(const key_set& set, std::int32_t n, std::int64_t seed,
                             velk_sr::memory::aligned_array<Key>& owned) {
  const auto size = static_cast<std::size_t>(n);
  if (set.file != nullptr) {
    const std::span<const Key> all = file_keys<Key>(*set.file);
    if (size == all.size()) {
      return all;
    }
    owned = allocate<Key, velk_sr::memory::aligned_array<Key>>(
        size, fmt::format("a sample of {} keys of {}", n, set.name));
    const std::span<Key> sample = owned.elements();
    for (std::size_t i = 0; i < size; ++i) {
      sample[i] = all[sampled(i, all.size(), size)];
    }
    return sample;
  }
  owned =
      allocate<Key, velk_sr::memory::aligned_array<Key>>(size, fmt::format("a list of {} keys", n));
  if constexpr (sizeof(Key) == 4) {
    set.kind->make32(owned.elements(), seed);
  } else {
    set.kind->make64(owned.elements(), seed);
  }
  return owned.elements();
}

bool draws_as_velk_ts(const key_set& set, std::int32_t n) {
  if (set.file == nullptr) {
    return set.kind->name == "odd";
  }
  const auto size = static_cast<std::size_t>(n);
  return set.bits == 32 ? odd_sample(file_keys<std::uint32_t>(*set.file), size)
                        : odd_sample(file_keys<std::uint64_t>(*set.file), size);
}

template std::span<const std::uint32_t> keys_of(const key_set&, std::int32_t, std::int64_t,
                                                velk_sr::memory::aligned_array<std::uint32_t>&);
template std::span<const std::uint64_t> keys_of(const key_set&, std::int32_t, std::int64_t,
                                                velk_sr::memory::aligned_array<std::uint64_t>&);

}  // namespace velk_lab
