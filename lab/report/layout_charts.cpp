// The charts beside the time per search: the searches per second as threads are added, and what
// a method's own layout costs, the time of building it and its bytes per key.
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lab/report/chart_axes.hpp"
#include "lab/report/chart_drives.hpp"
#include "lab/report/chart_panel.hpp"
#include "lab/report/chart_series.hpp"
#include "lab/report/charts.hpp"

namespace velk_lab {

namespace {

// A value below a thousand to three significant digits: 4, 4.25, 0.0312, 812.
std::string significant(double value) { return fmt::format("{:.3g}", value); }

// A rate to three significant digits, with k, M or G: 812, 61.2M, 1.05G; rounded first, so
// that 999999 reads 1M.
std::string round_rate(double value) {
  const double rounded = std::stod(significant(value));
  constexpr std::array<std::pair<double, std::string_view>, 3> scales{
      {{1e9, "G"}, {1e6, "M"}, {1e3, "k"}}};
  for (const auto& [scale, suffix] : scales) {
    if (rounded >= scale) {
      return significant(rounded / scale) + std::string(suffix);
    }
  }
  return significant(rounded);
}

// The rows of each key set at its largest size.
row_test at_largest_size(std::span<const row> rows) {
  std::map<std::pair<std::string_view, int>, std::int32_t> largest;
  for (const row& r : rows) {
    std::int32_t& size = largest[{r.keys, r.key_bits}];
    size = std::max(size, r.size);
  }
  return [largest = std::move(largest)](const row& r) {
    return r.size == largest.at({r.keys, r.key_bits});
  };
}

std::string threads_tooltip(const series& of, const row& r) {
  return fmt::format("{}, {}, {}, {}: {} searches per second, {} per thread", of.name,
                     entries(r.size), threads_said(r.threads), half_name(r.which),
                     round_rate(r.searches_per_second),
                     round_rate(r.searches_per_second / r.threads));
}

// The series of the methods that build a layout, each with its rows of one half where `value`
// has a value: both halves search the same layout, built once per size.
std::vector<series> layout_series(std::span<const row> rows, const row_value& value) {
  std::vector<series> all = series_of(rows, across::size, first_drive(rows));
  for (series& s : all) {
    std::erase_if(s.halves[0], [&](const row* r) { return !std::isfinite(value(*r)); });
    s.halves[1].clear();
  }
  std::erase_if(all, [](const series& s) { return s.halves[0].empty(); });
  return all;
}

// What a chart of the layouts shows and says.
struct layout_words {
  std::string_view id;
  std::string_view title;     // "Layout building time against list size"
  std::string_view measured;  // "time to build the layout"
  std::string_view line;      // what a line is: "the building time"
  tick_label label;           // a tick's label
  value_text said;            // a value in the descriptions
  tooltip_text tooltip;       // a marker's
  std::string key;            // what a marker is
};

// A chart of the layouts in one panel: `value` of each series of `all` against list size, up
// the axis `up`, on the sizes of every row of the run.
std::string layout_panel_chart(std::span<const row> rows, const std::vector<series>& all,
                               const row_value& value, const axis& up, std::string_view vertical,
                               const layout_words& words) {
  const axis across = log_axis(values_of(series_of(rows), {list_size}), 1.0, round_number);
  const panel p{across, up};
  std::string body = panel_frame(p, "Once per size, for both halves", vertical);
  for (const series& s : all) {
    if (s.halves[0].size() > 1) {
      body += line_of(p, s, 0, value, !s.counted, 2, words.line);
    }
    body += markers_of(p, s, s.halves[0], "layout", value, never, words.tooltip);
  }
  std::string description =
      fmt::format("One panel. List size {}; {} {}.", axis_span(across, round_number),
                  words.measured, axis_span(up, words.label));
  for (const series& s : all) {
    description += fmt::format(" {}: {}.", s.name, span_in_words(s.halves[0], words.said));
  }
  const std::vector<const series*> twins = coinciding(all, {value});
  std::vector<legend_item> key{{key_marker_sample(), words.key}};
  add_baseline_key(key, all);
  return panels(panel_svg(words.id, words.title, description + twins_in_words(all, twins), body) +
                "\n") +
         legend(series_items(all, twins), key);
}

}  // namespace

std::string threads_chart(std::span<const row> rows, std::string_view id) {
  std::vector<double> threads;
  for (const row& r : rows) {
    if (std::find(threads.begin(), threads.end(), r.threads) == threads.end()) {
      threads.push_back(r.threads);
    }
  }
  if (threads.size() < 2) {
    return "";
  }
  const drive_rows shown =
      rows_of_drives(rows, across::threads, at_largest_size(rows), {searches_per_second});
  const axis across = linear_axis(threads, round_number, 1.0);
  const std::vector<double> rates = shown.values({searches_per_second});
  constexpr double two_decades = 100;
  const axis up = wants_log_axis(rates, two_decades) ? log_axis(rates, 0.0, round_number)
                                                     : linear_axis(rates, round_number);
  const std::string_view vertical = up.logarithmic
                                        ? "searches per second, all threads (logarithmic)"
                                        : "searches per second, all threads";
  const chart_words words{
      id, "Searches per second against threads",
      fmt::format("Threads searching at once {}; searches per second, every thread together, {}.",
                  axis_span(across, round_number), axis_span(up, round_number)),
      "Lines with markers: the median over the repetitions of the searches per second of every "
      "thread together, each method at its largest size."};
  const panel p{across, up, "threads searching at once"};
  const panel_body body = [&](std::size_t side, const drive_row& d, const std::string& heading) {
    std::string out = panel_frame(p, heading, vertical);
    for (const series& s : d.all) {
      out += line_of(p, s, side, searches_per_second, !s.counted, 2, "searches per second");
      out += markers_of(p, s, s.halves.at(side), half_name(sides.at(side)), searches_per_second,
                        never, threads_tooltip);
    }
    return out;
  };
  std::vector<legend_item> key{
      {key_marker_sample(), "searches per second, every thread together (median)"}};
  add_baseline_key(key, shown.legend_series);
  return half_panels(
      words, shown, body,
      [](const row& r) { return round_rate(r.searches_per_second) + " per second"; }, key,
      at_threads);
}

std::string layout_chart(std::span<const row> rows) {
  const std::vector<series> all = layout_series(rows, layout_time);
  if (all.empty()) {
    return "";
  }
  const axis up = log_axis(values_of(all, {layout_time}), 0.0, round_duration);
  return layout_panel_chart(rows, all, layout_time, up, "building time (logarithmic)",
                            {"layout", "Layout building time against list size",
                             "time to build the layout", "the building time", round_duration,
                             [](const row& r) { return duration_cell(*r.layout_ns); },
                             [](const series& of, const row& r) {
                               return fmt::format("{}, {}: the layout built in {}", of.name,
                                                  entries(r.size), duration_cell(*r.layout_ns));
                             },
                             "median of repeated builds"});
}

std::string bytes_chart(std::span<const row> rows) {
  const std::vector<series> all = layout_series(rows, bytes_per_key);
  if (all.empty()) {
    return "";
  }
  const std::vector<double> bytes = values_of(all, {bytes_per_key});
  constexpr double two_decades = 100;
  const axis up = wants_log_axis(bytes, two_decades) ? log_axis(bytes, 0.0, round_number)
                                                     : linear_axis(bytes, round_number);
  return layout_panel_chart(
      rows, all, bytes_per_key, up,
      up.logarithmic ? "bytes per key (logarithmic)" : "bytes per key",
      {"bytes", "Layout bytes per key against list size", "the layout's bytes per key",
       "bytes per key", round_number,
       [](const row& r) { return significant(bytes_per_key(r)) + " bytes per key"; },
       [](const series& of, const row& r) {
         return fmt::format("{}, {}: the layout takes {} bytes, {} per key", of.name,
                            entries(r.size), *r.layout_bytes, significant(bytes_per_key(r)));
       },
       "the layout's bytes divided by the keys"});
}

}  // namespace velk_lab
