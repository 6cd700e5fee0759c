#include "svg.hpp"

#include <fmt/format.h>

#include <iterator>

namespace velk_lab {

namespace {

constexpr std::string_view dashes = "7 4";

}  // namespace

std::string escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string number(double value) { return fmt::format("{:.1f}", value); }

std::string marker_at(marker_style style, std::string_view colour, double x, double y,
                      const std::string& tooltip) {
  const std::string paint =
      style.hollow ? fmt::format(R"(fill="#ffffff" stroke="{}" stroke-width="1.8")", colour)
                   : fmt::format(R"(fill="{}" stroke="#ffffff" stroke-width="1")", colour);
  const std::string title = tooltip.empty() ? "" : "<title>" + escaped(tooltip) + "</title>";
  constexpr double r = 4.5;      // circle
  constexpr double half = 4;     // square
  constexpr double tip = 5.5;    // triangles and diamond, centre to a corner
  constexpr double base = 3.6;   // triangles, centre to the base
  constexpr double flank = 4.8;  // triangles, half the base
  std::string outline;
  switch (style.form) {
    case shape::circle:
      return fmt::format(R"(<circle cx="{}" cy="{}" r="{}" {}>{}</circle>)", number(x), number(y),
                         r, paint, title);
    case shape::square:
      return fmt::format(R"(<rect x="{}" y="{}" width="{}" height="{}" {}>{}</rect>)",
                         number(x - half), number(y - half), 2 * half, 2 * half, paint, title);
    case shape::triangle:
      outline = fmt::format("M{} {}L{} {}L{} {}Z", number(x), number(y - tip), number(x + flank),
                            number(y + base), number(x - flank), number(y + base));
      break;
    case shape::triangle_down:
      outline = fmt::format("M{} {}L{} {}L{} {}Z", number(x), number(y + tip), number(x + flank),
                            number(y - base), number(x - flank), number(y - base));
      break;
    case shape::diamond:
      outline =
          fmt::format("M{} {}L{} {}L{} {}L{} {}Z", number(x), number(y - tip), number(x + tip),
                      number(y), number(x), number(y + tip), number(x - tip), number(y));
      break;
  }
  return fmt::format(R"(<path d="{}" {}>{}</path>)", outline, paint, title);
}

std::string dash_attribute(bool dashed) {
  return dashed ? fmt::format(R"( stroke-dasharray="{}")", dashes) : "";
}

std::string points_text(const points& at) {
  std::string text;
  for (const auto& [x, y] : at) {
    fmt::format_to(std::back_inserter(text), "{}{},{}", text.empty() ? "" : " ", number(x),
                   number(y));
  }
  return text;
}

std::string line_through(const points& at, std::string_view colour, bool dashed, double width) {
  if (at.empty()) {
    return "";
  }
  const std::string dash = dash_attribute(dashed);
  if (at.size() == 1) {
    constexpr double reach = 10;
    return fmt::format(R"(<line x1="{}" y1="{}" x2="{}" y2="{}" stroke="{}" stroke-width="{}"{}/>)",
                       number(at[0].first - reach), number(at[0].second),
                       number(at[0].first + reach), number(at[0].second), colour, width, dash);
  }
  return fmt::format(
      R"(<polyline points="{}" fill="none" stroke="{}" stroke-width="{}" stroke-linejoin="round"{}/>)",
      points_text(at), colour, width, dash);
}

std::string svg_document(std::string_view id, std::string_view title,
                         const std::string& description, double width, double height,
                         const std::string& body) {
  return fmt::format(
      R"(<svg xmlns="http://www.w3.org/2000/svg" class="chart" viewBox="0 0 {0} {1}" width="{0}" height="{1}" role="img" aria-labelledby="{2}-title" aria-describedby="{2}-desc" font-family="'DejaVu Sans', Verdana, sans-serif" font-size="13" fill="#222222">)"
      "\n<title id=\"{2}-title\">{3}</title>\n<desc id=\"{2}-desc\">{4}</desc>\n"
      "<rect width=\"{0}\" height=\"{1}\" fill=\"#ffffff\"/>\n{5}\n</svg>",
      width, number(height), id, escaped(title), escaped(description), body);
}

}  // namespace velk_lab
