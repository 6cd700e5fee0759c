// The HTML report's charts, as inline SVG that velk draws itself: the list size across on a
// logarithmic axis, a panel for each half side by side on the same axes, one colour and marker
// per method (the same in both charts, told apart in greyscale too), a legend, and a title and
// description that a screen reader reads out.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "lab/measure/results.hpp"
#include "lab/report/svg.hpp"  // escaped, which the page uses too

namespace velk_lab {

// Comparisons per search against list size: for each counted method, its measured mean as a
// solid line with markers and its expected mean as a dashed line. The comparisons go up a
// logarithmic axis when they span more than two decades, and a linear one from 0 otherwise.
// Empty when no row counts its comparisons.
std::string comparisons_chart(std::span<const row> rows);

// Wall-clock time per search against list size, both axes logarithmic: for each method the
// median of the repetitions as a line with markers and the least to the greatest repetition as
// a band around it (a bar where the method has a single size); an uncounted baseline's line is
// dashed.
std::string time_chart(std::span<const row> rows);

// The time of building a method's own layout of the list (such as the breadth-first order)
// against list size, both axes logarithmic, in one panel: both halves search the same layout.
// Empty when no method of the run builds one.
std::string layout_chart(std::span<const row> rows);

}  // namespace velk_lab
