// How the reports for people write numbers and the run's context.
#pragma once

#include <string>
#include <string_view>

#include "lab/measure/results.hpp"

namespace velk_lab {

// A mean of comparisons to four decimals at most, without trailing zeros: 2.3, 13.2874.
std::string mean_cell(double mean);

// Nanoseconds to at least three significant digits: 3.61, 61.8, 1403.
std::string time_cell(double ns);

// Three lines on the run: version, host, processor, date; compiler, build, seed, repetitions;
// the command line.
std::string context_lines(const run_context& context);

}  // namespace velk_lab
