// Where a chart's parts stand: its panels (a frame with the grid, ticks and labels of its two
// axes, and a heading), the vertical axis's title and the legend under the panels.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lab/report/chart_axes.hpp"

namespace velk_lab {

// The drawing, in the SVG's own units (a pixel at full width): two panels side by side, the
// axis labels around them, the legend below.
constexpr double chart_width = 960;
constexpr double plot_top = 52;
constexpr double plot_height = 300;
constexpr double plot_bottom = plot_top + plot_height;
constexpr double plot_width = 380;
constexpr std::array<double, 2> plot_left{84, 556};
constexpr double sample_width = 30;  // a legend item's line

// A panel's two axes and where it stands.
struct panel {
  const axis& across;
  const axis& up;
  double left = 0;
  double width = plot_width;

  // Where a value lies across and up, in the drawing's units.
  [[nodiscard]] double x(double value) const;
  [[nodiscard]] double y(double value) const;
  // Whether `value` has a place on the vertical axis.
  [[nodiscard]] bool shows(double value) const;
};

// The frame of a panel with its grid, ticks, tick labels and heading.
std::string panel_frame(const panel& p, std::string_view heading);

// The vertical axis's title, beside the left panel.
std::string vertical_title(std::string_view title);

// A legend entry: what its sample looks like and what it says.
struct legend_item {
  std::string sample;  // drawn from (0, 0), the sample's left end at the item's baseline middle
  std::string text;
};

// A legend's stroke, from (0, 0) to the right.
std::string sample_line(std::string_view colour, bool dashed, double width);

// The items in rows under the panels: the first group (the methods) in columns as wide as its
// widest item, the others (the key to the lines) each item as wide as it is, every group on
// rows of its own. Gives the markup and the height the legend takes.
std::pair<std::string, double> legend(const std::vector<std::vector<legend_item>>& groups);

}  // namespace velk_lab
