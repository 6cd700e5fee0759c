// Where a chart's parts stand: each panel is a drawing of its own (a frame with the grid, ticks
// and labels of its two axes, a heading and the vertical axis's title), so that the page can
// set panels side by side where they fit and one under the other where they do not, their text
// at a size that stays readable; the legend under the panels is the page's own text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lab/report/chart_axes.hpp"

namespace velk_lab {

// A panel's drawing, in its own units: about a pixel each where two panels share the width of a
// page, and never less than three quarters of one where a panel fills a narrow screen.
constexpr double panel_width = 440;
constexpr double plot_left = 78;
constexpr double plot_width = 346;
constexpr double plot_top = 40;
constexpr double plot_height = 280;
constexpr double plot_bottom = plot_top + plot_height;
constexpr double panel_height = plot_bottom + 56;

// A panel's two axes: the list size (or what the chart draws across, named by `across_title`)
// across, a chart's values up.
struct panel {
  const axis& across;
  const axis& up;
  std::string_view across_title = "list size (entries)";

  // Where a value lies across and up, in the drawing's units.
  [[nodiscard]] double x(double value) const;
  [[nodiscard]] double y(double value) const;
  // Whether `value` has a place on the vertical axis.
  [[nodiscard]] bool shows(double value) const;
};

// The frame of a panel with its grid, its ticks and their labels, its heading and the titles of
// its axes. The tick labels carry the class tick-x or tick-y.
std::string panel_frame(const panel& p, std::string_view heading, std::string_view vertical_title);

// A panel as the svg element that holds it, with the title and description that a screen
// reader reads out.
std::string panel_svg(std::string_view id, std::string_view title, const std::string& description,
                      const std::string& body);

// A legend entry: its sample, drawn from (0, 0) to the right, and what it says.
struct legend_item {
  std::string sample;
  std::string text;
};

// A legend's stroke, from (0, 0) to the right.
std::string sample_line(std::string_view colour, bool dashed, double width);

// The legend as lists under the panels: the series in columns of equal width, then the key to
// the marks, each list only when it has items.
std::string legend(const std::vector<legend_item>& series, const std::vector<legend_item>& key);

}  // namespace velk_lab
