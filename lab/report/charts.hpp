// The HTML report's charts, drawn by velk itself as inline SVG: most with the list size
// across on a logarithmic axis and a panel for each half on the same axes (each panel a drawing
// of its own, so that the page sets them side by side or one under the other as its width
// allows), one colour and marker per series (the same in every chart of a key set, told apart
// in greyscale too), a legend under the panels, and for each panel a title and description
// that a screen reader reads out. Each chart gives the inside of a figure: its panels, then its
// legend.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "lab/measure/results.hpp"
#include "lab/report/svg.hpp"  // escaped, which the page uses too

namespace velk_lab {

// The widest spread of a row's repetitions that leaves its median to be taken on trust: their
// median absolute deviation, in percent of the median. A marker beyond it is drawn hollow.
constexpr double widest_spread_percent = 5.0;

// Each chart's panels have ids that begin with `id`, unique on the page. Where the rows were
// measured in more than one way (both modes, several thread counts), the time, relative and
// threads charts have a row of panels for each drive, in the run's order, headed with it: a
// method keeps its look in every row, and its tooltips name the drive where it is not the plain
// one (throughput, one thread).

// Comparisons per search against list size: for each counted method, its measured mean as a
// solid line with markers and its expected mean as a dashed line. The comparisons go up a
// logarithmic axis when they span more than two decades, and a linear one from 0 otherwise.
// The counts are the same in every mode and thread count: those of the first are drawn.
// Empty when no row counts its comparisons.
std::string comparisons_chart(std::span<const row> rows, std::string_view id = "comparisons");

// Wall-clock time per search against list size, both axes logarithmic: for each method the
// median of the repetitions as a line with markers and the least to the greatest repetition as
// a band around it (a bar where the method has a single size); an uncounted baseline's line is
// dashed; a marker whose repetitions spread widely is hollow.
std::string time_chart(std::span<const row> rows, std::string_view id = "time");

// Each method's median time divided by the baseline's beside it (the same keys, mode, threads,
// size and half), where the baseline is std-lower-bound when the run has it and the run's
// first method otherwise: up a logarithmic axis when the ratios span more than a decade, a
// linear one from 0 otherwise, 1 on it either way. A marker is hollow when the method's or the
// baseline's repetitions spread widely. Empty when the run has a single method.
std::string relative_chart(std::span<const row> rows, std::string_view id = "relative");

// The searches per second of every thread together against the threads searching at once, at
// each key set's largest size: a line with markers for each method, on a linear axis of whole
// threads from 0. Empty when the run measured a single thread count.
std::string threads_chart(std::span<const row> rows, std::string_view id = "threads");

// The time of building a method's own layout of the list (such as the breadth-first order)
// against list size, both axes logarithmic, in one panel: both halves search the same layout,
// built once for every mode and thread count. Empty when no method of the run builds one.
std::string layout_chart(std::span<const row> rows);

// The bytes of each method's own layout divided by the keys in the list against list size, in
// one panel, each width of keys a series of its own where the run has both: up a linear axis
// from 0, or a logarithmic one when the values span more than two decades. Empty when no
// method of the run builds one.
std::string bytes_chart(std::span<const row> rows);

// Each key set's cumulative distribution at its largest size, in one panel: its keys' rank
// against their value, both scaled from 0 to 1, a line with a marker at every eighth of the
// ranks for each key set, over the diagonal along which evenly spread keys lie. Empty when no
// key set has a distribution.
std::string distribution_chart(std::span<const key_set_context> key_sets);

}  // namespace velk_lab
