#include "chart_axes.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <utility>

namespace velk_lab {

namespace {

// 10^e, exact for e >= 0 up to 22, and the nearest double to it below 1: a division rounds
// once, where a product of tenths would gather error.
double power_of_ten(int e) { return e >= 0 ? std::pow(10.0, e) : 1.0 / std::pow(10.0, -e); }

// m * 10^e with as little rounding as the double allows, so that ticks print as 0.3, not
// 0.30000000000000004.
double scaled(double m, int e) { return e >= 0 ? m * power_of_ten(e) : m / power_of_ten(-e); }

// The exponent of the greatest power of ten at or below `value` (> 0); log10 alone may land a
// hair beside a whole number.
int decade_of(double value) {
  int e = static_cast<int>(std::floor(std::log10(value)));
  if (power_of_ten(e + 1) <= value) {
    ++e;
  } else if (power_of_ten(e) > value) {
    --e;
  }
  return e;
}

// The shortest decimal that reads back as the same double: 2.5, 10, 0.2.
std::string shortest(double value) { return fmt::format("{}", value); }

}  // namespace

double axis::fraction(double value) const {
  if (logarithmic) {
    return (std::log(value) - std::log(low)) / (std::log(high) - std::log(low));
  }
  return (value - low) / (high - low);
}

std::string round_number(double value) {
  constexpr std::array<std::pair<double, std::string_view>, 3> scales{
      {{1e9, "G"}, {1e6, "M"}, {1e3, "k"}}};
  for (const auto& [scale, suffix] : scales) {
    if (std::abs(value) >= scale) {
      return shortest(value / scale) + std::string(suffix);
    }
  }
  return shortest(value);
}

std::string in_time_unit(double nanoseconds, tick_label digits) {
  constexpr std::array<std::pair<double, std::string_view>, 3> units{
      {{1e9, " s"}, {1e6, " ms"}, {1e3, " µs"}}};
  for (const auto& [scale, unit] : units) {
    if (std::abs(nanoseconds) >= scale) {
      return digits(nanoseconds / scale) + std::string(unit);
    }
  }
  return digits(nanoseconds) + " ns";
}

std::string round_duration(double nanoseconds) { return in_time_unit(nanoseconds, shortest); }

axis log_axis(std::span<const double> values, double least_low, tick_label label) {
  double least = 0.0;
  double greatest = 0.0;
  for (const double v : values) {
    if (std::isfinite(v) && v > 0.0) {
      least = least > 0.0 ? std::min(least, v) : v;
      greatest = std::max(greatest, v);
    }
  }
  if (greatest <= 0.0) {
    least = 1.0;
    greatest = 10.0;
  }
  int low = decade_of(least);
  int high = decade_of(greatest);
  if (power_of_ten(high) < greatest) {
    ++high;
  }
  if (low == high) {  // a single power of ten: a decade on either side, where the floor allows
    if (power_of_ten(low - 1) >= least_low) {
      --low;
    }
    ++high;
  }
  axis out{power_of_ten(low), power_of_ten(high), true, {}};
  const bool few_decades = high - low <= 2;
  constexpr int multiples = 10;
  for (int e = low; e <= high; ++e) {
    out.ticks.push_back({power_of_ten(e), label(power_of_ten(e))});
    for (int m = 2; e < high && m < multiples; ++m) {
      const double value = scaled(m, e);
      const bool labelled = few_decades && (m == 2 || m == 5);
      out.ticks.push_back({value, labelled ? label(value) : ""});
    }
  }
  return out;
}

axis linear_axis(std::span<const double> values, tick_label label, double least_step) {
  double greatest = 0.0;
  for (const double v : values) {
    if (std::isfinite(v)) {
      greatest = std::max(greatest, v);
    }
  }
  if (greatest <= 0.0) {
    greatest = 1.0;
  }
  // The step: the first of 1, 2, 5 times a power of ten that takes at most eight steps to the
  // greatest value; the next one up would take fewer than four.
  constexpr double most_steps = 8.0;
  const double shortest_step = std::max(greatest / most_steps, least_step);
  int e = decade_of(shortest_step);
  double m = 1.0;
  for (const double candidate : {1.0, 2.0, 5.0, 10.0}) {
    m = candidate;
    if (scaled(m, e) >= shortest_step) {
      break;
    }
  }
  if (m == 10.0) {
    m = 1.0;
    ++e;
  }
  const double step = scaled(m, e);
  constexpr double slack = 1e-9;  // a greatest value on a step, give or take a rounding
  const auto steps = static_cast<int>(std::ceil(greatest / step - slack));
  axis out{0.0, scaled(m * steps, e), false, {}};
  for (int k = 0; k <= steps; ++k) {
    const double value = scaled(m * k, e);
    out.ticks.push_back({value, label(value)});
  }
  return out;
}

}  // namespace velk_lab
