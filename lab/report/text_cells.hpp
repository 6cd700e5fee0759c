// What the table and the markdown reports show: the same columns, the same cells, for people to
// read rather than for scripts.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lab/measure/results.hpp"

namespace velk_lab {

struct text_column {
  std::string_view heading;  // with its unit
  bool numeric;              // numbers are aligned on the right
};

std::span<const text_column> text_columns();

// The cells of `r`, one per column: comparisons to four decimals at most (exact whenever the
// searches are a divisor of 10000, as by default they are), "-" for a baseline's; times in ns
// to three significant digits at least; spreads in percent to one decimal; the layout's
// building time like the other times, "-" for a method that builds none.
std::vector<std::string> text_cells(const row& r);

// A mean of comparisons to four decimals at most, without trailing zeros: 2.3, 13.2874.
std::string mean_cell(double mean);

// Nanoseconds to at least three significant digits: 3.61, 61.8, 1403.
std::string time_cell(double ns);

// Three lines on the run: version, host, processor, date; compiler, build, seed, repetitions;
// the command line.
std::string context_lines(const run_context& context);

}  // namespace velk_lab
