// The summary of the repetitions of one measurement.
#pragma once

#include <span>

#include "lab/measure/results.hpp"

namespace velk_lab {

// Median (the mean of the two middle values for an even count), min, max, median absolute
// deviation as a percentage of the median (0 when the median is 0), mean and sample standard
// deviation (0 for a single value). `values` is not empty.
time_summary summarize(std::span<const double> values);

}  // namespace velk_lab
