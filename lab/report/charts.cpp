#include "charts.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <vector>

#include "lab/report/chart_axes.hpp"
#include "lab/report/chart_panel.hpp"
#include "lab/report/chart_series.hpp"
#include "lab/report/svg.hpp"
#include "lab/report/text_cells.hpp"

namespace velk_lab {

namespace {

constexpr std::array<std::string_view, 2> panel_headings{"Successful searches (keys in the list)",
                                                         "Unsuccessful searches (keys not in it)"};

constexpr std::string_view panels_in_words =
    "Two panels with the same axes: successful searches (keys in the list) on the left, "
    "unsuccessful searches (keys not in it) on the right.";

// Whether comparisons spanning `values` read better on a logarithmic axis: only when all are
// positive and the greatest is more than a hundred times the least, as with a sequential
// search beside a binary one, whose line would otherwise lie flat along the bottom.
bool wants_log_axis(const std::vector<double>& values) {
  constexpr double two_decades = 100.0;
  double least = 0.0;
  double greatest = 0.0;
  for (const double v : values) {
    if (!std::isfinite(v) || v <= 0.0) {
      return false;
    }
    least = least > 0.0 ? std::min(least, v) : v;
    greatest = std::max(greatest, v);
  }
  return least > 0.0 && greatest > two_decades * least;
}

// One half of the comparisons chart: for each method the expected mean dashed, the measured
// mean solid, and a marker at each measured mean.
std::string comparisons_panel(const panel& p, std::size_t side,
                              const std::vector<series>& methods) {
  std::string out = "<g>" + panel_frame(p, panel_headings[side]);
  for (const series& m : methods) {
    out += line_through(points_of(p, m.halves[side], expected_mean), m.style.colour, true, 1.5);
    const auto measured = points_of(p, m.halves[side], measured_mean);
    if (measured.size() > 1) {  // a single point is its marker alone
      out += line_through(measured, m.style.colour, false, 2);
    }
    out += markers_of(p, m, m.halves[side], half_name(sides[side]), measured_mean,
                      [](const series& of, const row& r) {
                        return fmt::format("{}, {}, {}: {} comparisons measured, {} expected",
                                           name_of(of.key), entries(r.size), half_name(r.which),
                                           mean_cell(r.mean_comparisons()),
                                           mean_cell(r.mean_expected_comparisons()));
                      });
  }
  return out + "</g>\n";
}

// The spread of a method's times on one half: a band from the least to the greatest
// repetition, or a bar where it has a single size.
std::string time_spread(const panel& p, const series& m, std::size_t side) {
  std::vector<const row*> shown;
  for (const row* r : m.halves[side]) {
    if (p.shows(r->wall.min) && p.shows(r->wall.max)) {
      shown.push_back(r);
    }
  }
  if (shown.size() == 1) {
    const double x = p.x(shown.front()->size);
    constexpr double cap = 4;
    return fmt::format(
        R"(<path d="M{0} {1}V{2}M{3} {1}H{4}M{3} {2}H{4}" stroke="{5}" stroke-width="1.5" fill="none"/>)",
        number(x), number(p.y(shown.front()->wall.min)), number(p.y(shown.front()->wall.max)),
        number(x - cap), number(x + cap), m.style.colour);
  }
  if (shown.empty()) {
    return "";
  }
  auto outline = points_of(p, shown, greatest_time);
  const auto lower = points_of(p, shown, least_time);
  outline.insert(outline.end(), lower.rbegin(), lower.rend());
  return fmt::format(R"(<polygon points="{}" fill="{}" fill-opacity="0.18" stroke="none"/>)",
                     points_text(outline), m.style.colour);
}

// One half of the time chart: bands first, then lines, then markers, so that no band hides
// another method's line.
std::string time_panel(const panel& p, std::size_t side, const std::vector<series>& methods) {
  std::string out = "<g>" + panel_frame(p, panel_headings[side]);
  for (const series& m : methods) {
    out += time_spread(p, m, side);
  }
  for (const series& m : methods) {
    const auto medians = points_of(p, m.halves[side], median_time);
    if (medians.size() > 1) {
      out += line_through(medians, m.style.colour, !m.counted, 2);
    }
  }
  for (const series& m : methods) {
    out +=
        markers_of(p, m, m.halves[side], half_name(sides[side]), median_time,
                   [](const series& of, const row& r) {
                     return fmt::format("{}, {}, {}: median {} ns, {} to {} ns over {} repetitions",
                                        name_of(of.key), entries(r.size), half_name(r.which),
                                        time_cell(r.wall.median), time_cell(r.wall.min),
                                        time_cell(r.wall.max), r.wall_ns.size());
                   });
  }
  return out + "</g>\n";
}

}  // namespace

std::string comparisons_chart(std::span<const row> rows) {
  std::vector<series> methods = series_of(rows);
  std::erase_if(methods, [](const series& m) { return !m.counted; });
  if (methods.empty()) {
    return "";
  }
  const axis across = log_axis(values_of(methods, {list_size}), 1.0, round_number);
  const std::vector<double> means = values_of(methods, {measured_mean, expected_mean});
  const axis up =
      wants_log_axis(means) ? log_axis(means, 0.0, round_number) : linear_axis(means, round_number);
  std::string body;
  for (std::size_t side = 0; side < sides.size(); ++side) {
    body += comparisons_panel(panel{across, up, plot_left[side]}, side, methods);
  }
  body += vertical_title(up.logarithmic ? "comparisons per search (logarithmic)"
                                        : "comparisons per search");
  const auto [legend_text, height] = legend(
      {series_items(methods),
       {{key_marker_sample(), "measured: the mean over the searches counted"},
        {sample_line(key_colour, true, 1.5), "expected: the mean over every target of the half"}}});
  body += legend_text;
  const std::string description =
      fmt::format(
          "{} List size {}; comparisons per search {}. Solid lines with markers: the "
          "measured mean; dashed lines: the expected mean.",
          panels_in_words, axis_span(across, round_number), axis_span(up, round_number)) +
      series_in_words(methods, [](const row& r) { return mean_cell(r.mean_comparisons()); });
  return svg_document("comparisons", "Comparisons per search against list size", description,
                      chart_width, height, body);
}

std::string time_chart(std::span<const row> rows) {
  const std::vector<series> methods = series_of(rows);
  const axis across = log_axis(values_of(methods, {list_size}), 1.0, round_number);
  const axis up =
      log_axis(values_of(methods, {least_time, median_time, greatest_time}), 0.0, round_duration);
  std::string body;
  for (std::size_t side = 0; side < sides.size(); ++side) {
    body += time_panel(panel{across, up, plot_left[side]}, side, methods);
  }
  body += vertical_title("wall-clock time per search (logarithmic)");
  std::vector<legend_item> key{
      {key_marker_sample(), "median of the repetitions"},
      {fmt::format(R"(<rect x="0" y="-7" width="{}" height="14" fill="{}" fill-opacity="0.25"/>)",
                   sample_width, key_colour),
       "least to greatest repetition"}};
  if (std::any_of(methods.begin(), methods.end(), [](const series& m) { return !m.counted; })) {
    key.push_back(
        {sample_line(key_colour, true, 2), "baseline: a standard search, counting nothing"});
  }
  const auto [legend_text, height] = legend({series_items(methods), key});
  body += legend_text;
  const std::string description =
      fmt::format(
          "{} List size {}; wall-clock time per search {}. Lines with markers: the median "
          "of the repetitions; shaded bands: the least to the greatest repetition.",
          panels_in_words, axis_span(across, round_number), axis_span(up, round_duration)) +
      series_in_words(methods, [](const row& r) { return time_cell(r.wall.median) + " ns"; });
  return svg_document("time", "Time per search against list size", description, chart_width, height,
                      body);
}

std::string layout_chart(std::span<const row> rows) {
  // Both halves search the same layout, built once per size: the rows of one half suffice.
  std::vector<series> methods = series_of(rows);
  // Every size of the run, whether a layout was built for it or not.
  const axis across = log_axis(values_of(methods, {list_size}), 1.0, round_number);
  for (series& m : methods) {
    std::vector<const row*>& built = m.halves[0];
    std::erase_if(built, [](const row* r) { return !r->layout_ns.has_value(); });
    m.halves[1].clear();
  }
  std::erase_if(methods, [](const series& m) { return m.halves[0].empty(); });
  if (methods.empty()) {
    return "";
  }
  const axis up = log_axis(values_of(methods, {layout_time}), 0.0, round_duration);
  constexpr double right_margin = 32;
  const panel p{across, up, plot_left[0], chart_width - plot_left[0] - right_margin};
  std::string body = "<g>" + panel_frame(p, "Once per size, for both halves");
  for (const series& m : methods) {
    const auto built = points_of(p, m.halves[0], layout_time);
    if (built.size() > 1) {
      body += line_through(built, m.style.colour, false, 2);
    }
    body +=
        markers_of(p, m, m.halves[0], "layout", layout_time, [](const series& of, const row& r) {
          return fmt::format("{}, {}: the layout built in {}", name_of(of.key), entries(r.size),
                             duration_cell(*r.layout_ns));
        });
  }
  body += "</g>\n" + vertical_title("building time (logarithmic)");
  const auto [legend_text, height] =
      legend({series_items(methods), {{key_marker_sample(), "median of repeated builds"}}});
  body += legend_text;
  std::string description =
      fmt::format("One panel. List size {}; time to build the layout {}.",
                  axis_span(across, round_number), axis_span(up, round_duration));
  for (const series& m : methods) {
    description += fmt::format(
        " {}: {}.", name_of(m.key),
        span_in_words(m.halves[0], [](const row& r) { return duration_cell(*r.layout_ns); }));
  }
  return svg_document("layout", "Layout building time against list size", description, chart_width,
                      height, body);
}

}  // namespace velk_lab
