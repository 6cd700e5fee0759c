#include "chart_panel.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "lab/report/svg.hpp"

namespace velk_lab {

namespace {

constexpr double inset = 10;  // from the frame to the outermost values, so markers stay inside
constexpr double legend_top = plot_bottom + 72;
constexpr double legend_row = 24;
constexpr double text_advance = 7.6;  // a generous width of a character of the labels

double text_width(std::string_view text) { return text_advance * static_cast<double>(text.size()); }

}  // namespace

double panel::x(double value) const {
  return left + inset + across.fraction(value) * (width - 2 * inset);
}

double panel::y(double value) const {
  return plot_bottom - inset - up.fraction(value) * (plot_height - 2 * inset);
}

bool panel::shows(double value) const {
  return std::isfinite(value) && (!up.logarithmic || value > 0.0);
}

std::string panel_frame(const panel& p, std::string_view heading) {
  std::string out = fmt::format(R"(<text x="{}" y="{}" font-weight="bold">{}</text>)", p.left,
                                plot_top - 14, escaped(heading));
  const double right = p.left + p.width;
  constexpr std::string_view grid = R"(stroke="#e2e2e2" stroke-width="1")";
  constexpr std::string_view mark = R"(stroke="#666666" stroke-width="1")";
  constexpr double long_tick = 6;
  constexpr double short_tick = 3;
  for (const tick& t : p.across.ticks) {
    const std::string x = number(p.x(t.value));
    const double length = t.label.empty() ? short_tick : long_tick;
    if (!t.label.empty()) {
      out += fmt::format(R"(<line x1="{0}" y1="{1}" x2="{0}" y2="{2}" {3}/>)", x, plot_top,
                         plot_bottom, grid);
      out += fmt::format(R"(<text x="{}" y="{}" text-anchor="middle">{}</text>)", x,
                         plot_bottom + long_tick + 14, escaped(t.label));
    }
    out += fmt::format(R"(<line x1="{0}" y1="{1}" x2="{0}" y2="{2}" {3}/>)", x, plot_bottom,
                       plot_bottom + length, mark);
  }
  for (const tick& t : p.up.ticks) {
    const std::string y = number(p.y(t.value));
    const double length = t.label.empty() ? short_tick : long_tick;
    if (!t.label.empty()) {
      out +=
          fmt::format(R"(<line x1="{1}" y1="{0}" x2="{2}" y2="{0}" {3}/>)", y, p.left, right, grid);
      out += fmt::format(R"(<text x="{}" y="{}" dy="0.32em" text-anchor="end">{}</text>)",
                         p.left - long_tick - 3, y, escaped(t.label));
    }
    out += fmt::format(R"(<line x1="{1}" y1="{0}" x2="{2}" y2="{0}" {3}/>)", y, p.left - length,
                       p.left, mark);
  }
  out += fmt::format(
      R"(<rect x="{}" y="{}" width="{}" height="{}" fill="none" stroke="#666666" stroke-width="1"/>)",
      p.left, plot_top, p.width, plot_height);
  out += fmt::format(R"(<text x="{}" y="{}" text-anchor="middle">list size (entries)</text>)",
                     p.left + p.width / 2, plot_bottom + long_tick + 36);
  return out;
}

std::string vertical_title(std::string_view title) {
  constexpr double x = 18;
  const double y = plot_top + plot_height / 2;
  return fmt::format(
      R"svg(<text x="{0}" y="{1}" transform="rotate(-90 {0} {1})" text-anchor="middle">{2}</text>)svg",
      x, y, escaped(title));
}

std::string sample_line(std::string_view colour, bool dashed, double width) {
  return fmt::format(R"(<line x1="0" y1="0" x2="{}" y2="0" stroke="{}" stroke-width="{}"{}/>)",
                     sample_width, colour, width, dash_attribute(dashed));
}

std::pair<std::string, double> legend(const std::vector<std::vector<legend_item>>& groups) {
  constexpr double text_gap = 10;
  constexpr double item_gap = 28;
  std::string out = R"(<g class="legend">)";
  double y = legend_top;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const std::vector<legend_item>& group = groups[g];
    if (group.empty()) {
      continue;
    }
    double widest = 0;
    for (const legend_item& item : group) {
      widest = std::max(widest, text_width(item.text));
    }
    double x = plot_left[0];
    for (const legend_item& item : group) {
      const double width =
          sample_width + text_gap + (g == 0 ? widest : text_width(item.text)) + item_gap;
      if (x + width > chart_width && x > plot_left[0]) {
        x = plot_left[0];
        y += legend_row;
      }
      out += fmt::format(
          R"svg(<g transform="translate({} {})">{}<text x="{}" y="0" dy="0.32em">{}</text></g>)svg",
          number(x), number(y), item.sample, sample_width + text_gap, escaped(item.text));
      x += width;
    }
    y += legend_row;
  }
  return {out + "</g>", y};
}

}  // namespace velk_lab
