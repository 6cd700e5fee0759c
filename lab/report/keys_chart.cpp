// The chart of the keys themselves: how each key set's keys spread over their range, which
// decides how far a search that probes where a key should lie is led astray.
#include <fmt/format.h>

#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "lab/report/chart_axes.hpp"
#include "lab/report/chart_panel.hpp"
#include "lab/report/chart_series.hpp"
#include "lab/report/charts.hpp"
#include "lab/report/svg.hpp"

namespace velk_lab {

namespace {

// A key set as the chart names it: "lognormal keys (64-bit)".
std::string set_name(const key_set_context& set) {
  return fmt::format("{} keys ({}-bit)", set.name, set.bits);
}

// A scaled key or rank to three significant digits: 0, 0.25, 0.0312.
std::string fraction_text(double value) { return fmt::format("{:.3g}", value); }

// The markers along a key set's line: at every eighth of its points, set `k` of `sets` a
// k/sets-th of a step further along than the first, so that the markers of key sets whose
// lines lie one over the other (odd and uniform keys both follow the diagonal) all show. They
// let the line read in greyscale too, and each tells its figures.
constexpr std::size_t marker_steps = 8;

std::string markers_along(const panel& p, const look& style, const key_set_context& set,
                          std::size_t k, std::size_t sets) {
  const std::vector<std::pair<double, double>>& at = set.cumulative;
  std::string out = fmt::format("<g><title>{}</title>", escaped(set_name(set)));
  std::size_t last_marked = at.size();
  for (std::size_t step = k; step <= marker_steps * sets; step += sets) {
    const std::size_t i = step * (at.size() - 1) / (marker_steps * sets);
    if (i == last_marked) {
      continue;  // fewer points than steps
    }
    last_marked = i;
    const auto [key, rank] = at[i];
    out += marker_at(style.marker, false, style.colour, p.x(key), p.y(rank),
                     fmt::format("{}: rank {} at key {}", set_name(set), fraction_text(rank),
                                 fraction_text(key)));
  }
  return out + "</g>";
}

// Where a key set's curve strays furthest from the diagonal, in words.
std::string furthest_in_words(const key_set_context& set) {
  std::pair<double, double> furthest = set.cumulative.front();
  for (const std::pair<double, double>& point : set.cumulative) {
    if (std::abs(point.second - point.first) > std::abs(furthest.second - furthest.first)) {
      furthest = point;
    }
  }
  return fmt::format(" {}: furthest from the diagonal at key {}, rank {} ({} apart).",
                     set_name(set), fraction_text(furthest.first), fraction_text(furthest.second),
                     fraction_text(std::abs(furthest.second - furthest.first)));
}

}  // namespace

std::string distribution_chart(std::span<const key_set_context> key_sets) {
  std::vector<const key_set_context*> drawn;
  for (const key_set_context& set : key_sets) {
    if (!set.cumulative.empty()) {
      drawn.push_back(&set);
    }
  }
  if (drawn.empty()) {
    return "";
  }
  const std::vector<double> unit{1.0};
  const axis across = linear_axis(unit, round_number);
  const axis up = linear_axis(unit, round_number);
  const panel p{across, up, "key (least 0, greatest 1)"};
  std::string body =
      panel_frame(p, "Each key set at its largest size", "rank (first key 0, last 1)");
  body += line_through({{p.x(0), p.y(0)}, {p.x(1), p.y(1)}}, key_colour, true, 1.5,
                       "the diagonal: keys spread evenly");
  std::string description = fmt::format(
      "One panel. Key, scaled from the least to the greatest, {}; rank, scaled from the first "
      "key to the last, {}. A dashed diagonal: keys spread evenly.",
      axis_span(across, round_number), axis_span(up, round_number));
  std::vector<legend_item> items;
  for (std::size_t k = 0; k < drawn.size(); ++k) {
    const key_set_context& set = *drawn[k];
    const look style = look_at(k);
    points at;
    for (const auto& [key, rank] : set.cumulative) {
      at.emplace_back(p.x(key), p.y(rank));
    }
    body +=
        line_through(at, style.colour, false, 2, set_name(set) + ": the cumulative distribution");
    body += markers_along(p, style, set, k, drawn.size());
    description += furthest_in_words(set);
    items.push_back({look_sample(style, false), set_name(set)});
  }
  return "<div class=\"panels\">\n" +
         panel_svg("distribution", "Rank against key: each key set's cumulative distribution",
                   description, body) +
         "\n</div>\n" +
         legend(items, {{sample_line(key_colour, true, 1.5),
                         "the diagonal: keys spread evenly from the least to the greatest"}});
}

}  // namespace velk_lab
