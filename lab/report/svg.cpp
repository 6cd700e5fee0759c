#include "svg.hpp"

#include <fmt/format.h>

#include <array>
#include <iterator>

namespace velk_lab {

namespace {

constexpr std::string_view dashes = "7 4";

// Each shape's outline around (0, 0), of about the same weight on the page.
constexpr std::array<std::string_view, 8> outlines{
    "M-4.5 0a4.5 4.5 0 1 0 9 0a4.5 4.5 0 1 0 -9 0Z",
    "M-4 -4h8v8h-8Z",
    "M0 -5.5L4.8 3.6L-4.8 3.6Z",
    "M0 -5.5L5.5 0L0 5.5L-5.5 0Z",
    "M0 5.5L4.8 -3.6L-4.8 -3.6Z",
    "M-1.7 -5h3.4v3.3h3.3v3.4h-3.3v3.3h-3.4v-3.3h-3.3v-3.4h3.3Z",
    "M2.3 -4.7L4.7 -2.3L2.4 0L4.7 2.3L2.3 4.7L0 2.4L-2.3 4.7L-4.7 2.3L-2.4 0L-4.7 -2.3L-2.3 "
    "-4.7L0 -2.4Z",
    "M0 -6L1.5 -2.1L5.7 -1.9L2.5 0.8L3.5 4.9L0 2.6L-3.5 4.9L-2.5 0.8L-5.7 -1.9L-1.5 -2.1Z"};

std::string title_of(const std::string& tooltip) {
  return tooltip.empty() ? "" : "<title>" + escaped(tooltip) + "</title>";
}

// An element with `attributes`, its title inside when it has one.
std::string element(std::string_view name, const std::string& attributes,
                    const std::string& tooltip) {
  if (tooltip.empty()) {
    return fmt::format("<{} {}/>", name, attributes);
  }
  return fmt::format("<{0} {1}>{2}</{0}>", name, attributes, title_of(tooltip));
}

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

std::string marker_at(shape form, bool hollow, std::string_view colour, double x, double y,
                      const std::string& tooltip) {
  const std::string paint =
      hollow ? fmt::format(R"(fill="#ffffff" stroke="{}" stroke-width="1.8")", colour)
             : fmt::format(R"(fill="{}" stroke="#ffffff" stroke-width="1")", colour);
  return element(
      "path",
      fmt::format(R"svg(d="{}" transform="translate({} {})" {})svg",
                  outlines.at(static_cast<std::size_t>(form)), number(x), number(y), paint),
      tooltip);
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

std::string line_through(const points& at, std::string_view colour, bool dashed, double width,
                         const std::string& tooltip) {
  if (at.empty()) {
    return "";
  }
  const std::string stroke =
      fmt::format(R"(stroke="{}" stroke-width="{}"{})", colour, width, dash_attribute(dashed));
  if (at.size() == 1) {
    constexpr double reach = 10;
    return element("line",
                   fmt::format(R"(x1="{}" y1="{}" x2="{}" y2="{}" {})", number(at[0].first - reach),
                               number(at[0].second), number(at[0].first + reach),
                               number(at[0].second), stroke),
                   tooltip);
  }
  return element(
      "polyline",
      fmt::format(R"(points="{}" fill="none" {} stroke-linejoin="round")", points_text(at), stroke),
      tooltip);
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

std::string sample_svg(const std::string& body) {
  constexpr double height = 16;
  return fmt::format(
      R"(<svg xmlns="http://www.w3.org/2000/svg" class="sample" viewBox="0 {0} {1} {2}" width="{1}" height="{2}" aria-hidden="true">{3}</svg>)",
      -height / 2, sample_width, height, body);
}

}  // namespace velk_lab
