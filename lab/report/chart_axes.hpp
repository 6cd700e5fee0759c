// The axes of the report's charts: the range each one spans and its ticks in round numbers.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace velk_lab {

// A mark on an axis: a labelled tick, or a minor one with an empty label.
struct tick {
  double value = 0.0;
  std::string label;
};

struct axis {
  double low = 0.0;  // low < high, always
  double high = 1.0;
  bool logarithmic = false;
  std::vector<tick> ticks;  // ascending, from low to high, both included

  // Where `value` lies between low (0) and high (1).
  [[nodiscard]] double fraction(double value) const;
};

// How a tick's value reads.
using tick_label = std::string (*)(double value);

// A value in round numbers: 1, 2.5, 10, 1k, 2.5k, 1M, 1G, 0.2.
std::string round_number(double value);

// Nanoseconds as a time in the unit that suits them, the number written by `digits`.
std::string in_time_unit(double nanoseconds, tick_label digits);

// Nanoseconds as a time with its unit: 10 ns, 2 µs, 100 ms, 1 s.
std::string round_duration(double nanoseconds);

// A logarithmic axis from the power of ten at or below the least value to the one at or above
// the greatest, at least one decade wide and never below `least_low` (1 for list sizes): its
// powers of ten labelled, and when it spans two decades at most, their multiples by 2 and 5
// too; minor ticks at the other whole multiples. Only the positive finite values count; with
// none, the axis spans 1 to 10.
axis log_axis(std::span<const double> values, double least_low, tick_label label);

// A linear axis from 0 to the first round step at or above the greatest value, with four to
// ten labelled ticks at multiples of 1, 2 or 5 times a power of ten, and steps no shorter than
// `least_step` (1 for counts, so that no tick falls between two whole numbers; then there may
// be fewer ticks). Only the finite
// values count; with none above 0, the axis spans 0 to 1.
axis linear_axis(std::span<const double> values, tick_label label, double least_step = 0.0);

}  // namespace velk_lab
