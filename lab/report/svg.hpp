// The SVG the report's charts are drawn with: escaping, coordinates, markers, lines and the svg
// elements themselves. Nothing here knows what a chart shows.
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

// The outlines a marker can take: eight that differ at a glance, in colour or without.
enum class shape { circle, square, triangle, diamond, triangle_down, plus, cross, star };

// A marker of `form` centred on (x, y): filled with `colour`, or hollow (white inside, `colour`
// as its outline), with `tooltip` as the title a pointer shows (none when empty). The centre is
// the marker's one translation, so that where it stands reads straight from the markup.
std::string marker_at(shape form, bool hollow, std::string_view colour, double x, double y,
                      const std::string& tooltip);

// The attribute that dashes a stroke, or nothing for a solid one.
std::string dash_attribute(bool dashed);

// A chart's points, in the drawing's units.
using points = std::vector<std::pair<double, double>>;

// Points as an SVG points list: "x,y x,y ...".
std::string points_text(const points& at);

// A line through `at`, solid or dashed, titled `tooltip`; a single point gives a short level
// stroke, none gives nothing.
std::string line_through(const points& at, std::string_view colour, bool dashed, double width,
                         const std::string& tooltip);

// The svg element of a drawing `width` by `height` around `body`: its title and description
// first, named for a screen reader through ids that begin with `id`.
std::string svg_document(std::string_view id, std::string_view title,
                         const std::string& description, double width, double height,
                         const std::string& body);

// A legend's small sample, `body` drawn from its left end at mid-height: an image of its own,
// hidden from screen readers, since the text beside it says what it stands for.
std::string sample_svg(const std::string& body);

// The width of a legend's sample.
constexpr double sample_width = 30;

}  // namespace velk_lab
