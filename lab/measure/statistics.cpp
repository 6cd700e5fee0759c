#include "statistics.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

namespace velk_lab {

namespace {

double median_of(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

}  // namespace

time_summary summarize(std::span<const double> values) {
  time_summary s;
  s.median = median_of({values.begin(), values.end()});
  const auto [least, most] = std::minmax_element(values.begin(), values.end());
  s.min = *least;
  s.max = *most;
  std::vector<double> deviations;
  deviations.reserve(values.size());
  for (const double v : values) {
    deviations.push_back(std::abs(v - s.median));
  }
  const double mad = median_of(std::move(deviations));
  s.mad_percent = s.median > 0.0 ? 100.0 * mad / s.median : 0.0;
  const auto count = static_cast<double>(values.size());
  s.mean = std::accumulate(values.begin(), values.end(), 0.0) / count;
  if (values.size() > 1) {
    double squares = 0.0;
    for (const double v : values) {
      squares += (v - s.mean) * (v - s.mean);
    }
    s.stddev = std::sqrt(squares / (count - 1.0));
  }
  return s;
}

}  // namespace velk_lab
