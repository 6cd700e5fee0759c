#include "chart_panel.hpp"

#include <fmt/format.h>

#include <cmath>

#include "lab/report/svg.hpp"

namespace velk_lab {

namespace {

constexpr double inset = 10;  // from the frame to the outermost values, so markers stay inside

std::string list_of(std::string_view kind, const std::vector<legend_item>& items) {
  if (items.empty()) {
    return "";
  }
  std::string out = fmt::format("<ul class=\"legend {}\">\n", kind);
  for (const legend_item& item : items) {
    out += fmt::format("<li>{}{}</li>\n", sample_svg(item.sample), escaped(item.text));
  }
  return out + "</ul>\n";
}

}  // namespace

double panel::x(double value) const {
  return plot_left + inset + across.fraction(value) * (plot_width - 2 * inset);
}

double panel::y(double value) const {
  return plot_bottom - inset - up.fraction(value) * (plot_height - 2 * inset);
}

bool panel::shows(double value) const {
  return std::isfinite(value) && (!up.logarithmic || value > 0.0);
}

std::string panel_frame(const panel& p, std::string_view heading, std::string_view vertical_title) {
  std::string out = fmt::format(R"(<text x="{}" y="{}" font-weight="bold">{}</text>)", plot_left,
                                plot_top - 14, escaped(heading));
  constexpr double right = plot_left + plot_width;
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
      out += fmt::format(R"(<text class="tick-x" x="{}" y="{}" text-anchor="middle">{}</text>)", x,
                         plot_bottom + long_tick + 14, escaped(t.label));
    }
    out += fmt::format(R"(<line x1="{0}" y1="{1}" x2="{0}" y2="{2}" {3}/>)", x, plot_bottom,
                       plot_bottom + length, mark);
  }
  for (const tick& t : p.up.ticks) {
    const std::string y = number(p.y(t.value));
    const double length = t.label.empty() ? short_tick : long_tick;
    if (!t.label.empty()) {
      out += fmt::format(R"(<line x1="{1}" y1="{0}" x2="{2}" y2="{0}" {3}/>)", y, plot_left, right,
                         grid);
      out += fmt::format(
          R"(<text class="tick-y" x="{}" y="{}" dy="0.32em" text-anchor="end">{}</text>)",
          plot_left - long_tick - 3, y, escaped(t.label));
    }
    out += fmt::format(R"(<line x1="{1}" y1="{0}" x2="{2}" y2="{0}" {3}/>)", y, plot_left - length,
                       plot_left, mark);
  }
  out += fmt::format(
      R"(<rect x="{}" y="{}" width="{}" height="{}" fill="none" stroke="#666666" stroke-width="1"/>)",
      plot_left, plot_top, plot_width, plot_height);
  out += fmt::format(R"(<text x="{}" y="{}" text-anchor="middle">{}</text>)",
                     plot_left + plot_width / 2, plot_bottom + long_tick + 36,
                     escaped(p.across_title));
  constexpr double title_x = 16;
  constexpr double title_y = plot_top + plot_height / 2;
  out += fmt::format(
      R"svg(<text x="{0}" y="{1}" transform="rotate(-90 {0} {1})" text-anchor="middle">{2}</text>)svg",
      title_x, title_y, escaped(vertical_title));
  return out;
}

std::string panel_svg(std::string_view id, std::string_view title, const std::string& description,
                      const std::string& body) {
  return svg_document(id, title, description, panel_width, panel_height, body);
}

std::string sample_line(std::string_view colour, bool dashed, double width) {
  return fmt::format(R"(<line x1="0" y1="0" x2="{}" y2="0" stroke="{}" stroke-width="{}"{}/>)",
                     sample_width, colour, width, dash_attribute(dashed));
}

std::string legend(const std::vector<legend_item>& series, const std::vector<legend_item>& key) {
  return list_of("series", series) + list_of("key", key);
}

}  // namespace velk_lab
