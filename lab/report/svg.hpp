// The SVG the report's charts are drawn with: escaping, coordinates, markers, lines and the svg
// element itself. Nothing here knows what a chart shows.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velk_lab {

// Text made safe inside HTML or SVG, in content and in quoted attributes alike: & < > " and '
// as character references.
std::string escaped(std::string_view text);

// A coordinate in the drawing's units, to a tenth.
std::string number(double value);

// A marker's outline, and whether it is drawn hollow (white inside, its colour as the outline).
enum class shape { circle, square, triangle, diamond, triangle_down };
struct marker_style {
  shape form;
  bool hollow;
};

// The marker of `style` centred on (x, y), with `tooltip` as the title a pointer shows (none when
// empty).
std::string marker_at(marker_style style, std::string_view colour, double x, double y,
                      const std::string& tooltip);

// The attribute that dashes a stroke, or nothing for a solid one.
std::string dash_attribute(bool dashed);

// A chart's points, in the drawing's units.
using points = std::vector<std::pair<double, double>>;

// Points as an SVG points list: "x,y x,y ...".
std::string points_text(const points& at);

// A line through `at`, solid or dashed; a single point gives a short level stroke, none gives
// nothing.
std::string line_through(const points& at, std::string_view colour, bool dashed, double width);

// The svg element around `body`, `width` across: its title and description first, named for a
// screen reader through ids that begin with `id`.
std::string svg_document(std::string_view id, std::string_view title,
                         const std::string& description, double width, double height,
                         const std::string& body);

}  // namespace velk_lab
