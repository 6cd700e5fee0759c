#include "charts.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <utility>
#include <vector>

#include "lab/report/chart_axes.hpp"
#include "lab/report/text_cells.hpp"

namespace velk_lab {

namespace {

// The drawing, in the SVG's own units (a pixel at full width): two panels side by side, the
// axis labels around them, the legend below.
constexpr double chart_width = 960;
constexpr double plot_top = 52;
constexpr double plot_height = 300;
constexpr double plot_bottom = plot_top + plot_height;
constexpr double plot_width = 380;
constexpr std::array<double, 2> plot_left{84, 556};
constexpr double inset = 10;  // from the frame to the outermost values, so markers stay inside
constexpr double legend_top = plot_bottom + 72;
constexpr double legend_row = 24;
constexpr double text_advance = 7.6;  // a generous width of a character of the labels
constexpr double sample_width = 30;   // a legend item's line

// The palette of Okabe and Ito, less its yellow, which fades on white. The markers cycle with
// another period, so that no two of the first 56 methods look alike, and each differs in shape
// from its neighbours for readers who see no colour at all.
constexpr std::array<std::string_view, 7> colours{"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                                  "#E69F00", "#56B4E9", "#000000"};
enum class shape { circle, square, triangle, diamond, triangle_down };
struct marker_style {
  shape form;
  bool hollow;
};
constexpr std::array<marker_style, 8> markers{{{shape::circle, false},
                                               {shape::square, false},
                                               {shape::triangle, false},
                                               {shape::diamond, false},
                                               {shape::triangle_down, false},
                                               {shape::circle, true},
                                               {shape::square, true},
                                               {shape::triangle, true}}};
constexpr std::string_view key_colour = "#444444";
constexpr std::string_view dashes = "7 4";

// How one method is drawn in both charts, from its place among the run's methods.
struct look {
  std::string_view colour;
  marker_style marker;
};

// The rows of one method, each half in ascending order of size.
struct method_rows {
  std::string_view name;
  look style;
  bool counted;
  std::array<std::vector<const row*>, 2> halves;
};

std::vector<method_rows> methods_of(std::span<const row> rows) {
  std::vector<method_rows> methods;
  for (const row& r : rows) {
    auto at = std::find_if(methods.begin(), methods.end(),
                           [&](const method_rows& m) { return m.name == r.method; });
    if (at == methods.end()) {
      const std::size_t index = methods.size();
      methods.push_back({r.method,
                         {colours[index % colours.size()], markers[index % markers.size()]},
                         r.counted,
                         {}});
      at = methods.end() - 1;
    }
    at->halves[r.which == half::successful ? 0 : 1].push_back(&r);
  }
  for (method_rows& m : methods) {
    for (std::vector<const row*>& h : m.halves) {
      std::stable_sort(h.begin(), h.end(),
                       [](const row* a, const row* b) { return a->size < b->size; });
    }
  }
  return methods;
}

std::string number(double value) { return fmt::format("{:.1f}", value); }

// A panel's two axes and where it stands.
struct panel {
  const axis& across;
  const axis& up;
  double left = 0;
  double width = plot_width;

  [[nodiscard]] double x(double size) const {
    return left + inset + across.fraction(size) * (width - 2 * inset);
  }
  [[nodiscard]] double y(double value) const {
    return plot_bottom - inset - up.fraction(value) * (plot_height - 2 * inset);
  }
  // Whether `value` has a place on the vertical axis.
  [[nodiscard]] bool shows(double value) const {
    return std::isfinite(value) && (!up.logarithmic || value > 0.0);
  }
};

// The marker of `style` centred on (x, y), with `tooltip` as the title a pointer shows.
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

// The attribute that dashes a stroke, or nothing for a solid one.
std::string dash_attribute(bool dashed) {
  return dashed ? fmt::format(R"( stroke-dasharray="{}")", dashes) : "";
}

// Points as an SVG points list: "x,y x,y ...".
std::string points_text(const std::vector<std::pair<double, double>>& points) {
  std::string text;
  for (const auto& [x, y] : points) {
    fmt::format_to(std::back_inserter(text), "{}{},{}", text.empty() ? "" : " ", number(x),
                   number(y));
  }
  return text;
}

// A line through `points`, solid or dashed; a single point gives a short level stroke.
std::string line_through(const std::vector<std::pair<double, double>>& points,
                         std::string_view colour, bool dashed, double width) {
  if (points.empty()) {
    return "";
  }
  const std::string dash = dash_attribute(dashed);
  if (points.size() == 1) {
    constexpr double reach = 10;
    return fmt::format(R"(<line x1="{}" y1="{}" x2="{}" y2="{}" stroke="{}" stroke-width="{}"{}/>)",
                       number(points[0].first - reach), number(points[0].second),
                       number(points[0].first + reach), number(points[0].second), colour, width,
                       dash);
  }
  return fmt::format(
      R"(<polyline points="{}" fill="none" stroke="{}" stroke-width="{}" stroke-linejoin="round"{}/>)",
      points_text(points), colour, width, dash);
}

// The frame of a panel with its grid, ticks, tick labels and heading.
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

constexpr std::array<std::string_view, 2> panel_headings{"Successful searches (keys in the list)",
                                                         "Unsuccessful searches (keys not in it)"};

// The vertical axis's title, beside the left panel.
std::string vertical_title(std::string_view title) {
  constexpr double x = 18;
  const double y = plot_top + plot_height / 2;
  return fmt::format(
      R"svg(<text x="{0}" y="{1}" transform="rotate(-90 {0} {1})" text-anchor="middle">{2}</text>)svg",
      x, y, escaped(title));
}

// A legend entry: what its sample looks like and what it says.
struct legend_item {
  std::string sample;  // drawn from (0, 0), the sample's left end at the item's baseline middle
  std::string text;
};

// A legend's stroke, from (0, 0) to the right.
std::string sample_line(std::string_view colour, bool dashed, double width) {
  return fmt::format(R"(<line x1="0" y1="0" x2="{}" y2="0" stroke="{}" stroke-width="{}"{}/>)",
                     sample_width, colour, width, dash_attribute(dashed));
}

std::string method_sample(const look& style, bool dashed) {
  return sample_line(style.colour, dashed, 2) +
         marker_at(style.marker, style.colour, sample_width / 2, 0, "");
}

// The sample of the legend's key that stands for any method's line with markers.
std::string key_marker_sample() { return method_sample({key_colour, markers[0]}, false); }

// Nanoseconds in the unit that suits them, to three significant digits at least: 812 ns,
// 1.23 µs, 40.1 ms.
std::string duration_cell(double ns) { return in_time_unit(ns, time_cell); }

// "1 entry", "10 entries".
std::string entries(std::int32_t size) {
  return fmt::format("{} {}", size, size == 1 ? "entry" : "entries");
}

double text_width(std::string_view text) { return text_advance * static_cast<double>(text.size()); }

// The items in rows under the panels: the first group (the methods) in columns as wide as its
// widest item, the others (the key to the lines) each item as wide as it is, every group on
// rows of its own. Gives the markup and the height the legend takes.
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

// The svg element around `body`, its title and description first.
std::string svg_document(std::string_view id, std::string_view title,
                         const std::string& description, double height, const std::string& body) {
  return fmt::format(
      R"(<svg xmlns="http://www.w3.org/2000/svg" class="chart" viewBox="0 0 {0} {1}" width="{0}" height="{1}" role="img" aria-labelledby="{2}-title" aria-describedby="{2}-desc" font-family="'DejaVu Sans', Verdana, sans-serif" font-size="13" fill="#222222">)"
      "\n<title id=\"{2}-title\">{3}</title>\n<desc id=\"{2}-desc\">{4}</desc>\n"
      "<rect width=\"{0}\" height=\"{1}\" fill=\"#ffffff\"/>\n{5}\n</svg>",
      chart_width, number(height), id, escaped(title), escaped(description), body);
}

// What the charts plot of a row.
using row_value = double (*)(const row& r);
double list_size(const row& r) { return r.size; }
double measured_mean(const row& r) { return r.mean_comparisons(); }
double expected_mean(const row& r) {
  return r.has_expected() ? r.mean_expected_comparisons() : std::nan("");
}
double median_time(const row& r) { return r.wall.median; }
double least_time(const row& r) { return r.wall.min; }
double greatest_time(const row& r) { return r.wall.max; }
double layout_time(const row& r) { return r.layout_ns.value_or(0.0); }

// Every value of `taken` over the rows of `methods`, both halves.
std::vector<double> values_of(const std::vector<method_rows>& methods,
                              std::initializer_list<row_value> taken) {
  std::vector<double> values;
  for (const method_rows& m : methods) {
    for (const std::vector<const row*>& h : m.halves) {
      for (const row* r : h) {
        for (const row_value value : taken) {
          values.push_back(value(*r));
        }
      }
    }
  }
  return values;
}

// Where the rows' `value` lies on the panel, for those where it has a place.
std::vector<std::pair<double, double>> points_of(const panel& p,
                                                 const std::vector<const row*>& rows,
                                                 row_value value) {
  std::vector<std::pair<double, double>> points;
  for (const row* r : rows) {
    if (p.shows(value(*r))) {
      points.emplace_back(p.x(r->size), p.y(value(*r)));
    }
  }
  return points;
}

// The halves in the order of a method's `halves` and of the charts' panels.
constexpr std::array<half, 2> sides{half::successful, half::unsuccessful};

// The markers of `rows` of a method, grouped under a title that names the method and what
// they show, each with the tooltip `say` gives for its row.
std::string markers_of(const panel& p, const method_rows& m, const std::vector<const row*>& rows,
                       std::string_view shown, row_value value,
                       std::string (*say)(const method_rows& m, const row& r)) {
  std::string out = fmt::format("<g><title>{}, {}</title>", escaped(m.name), shown);
  for (const row* r : rows) {
    if (p.shows(value(*r))) {
      out += marker_at(m.style.marker, m.style.colour, p.x(r->size), p.y(value(*r)), say(m, *r));
    }
  }
  return out + "</g>";
}

// The range of a series in words: "2.9 at 10 entries to 13.3 at 10000 entries".
std::string span_in_words(const std::vector<const row*>& rows, std::string (*value)(const row& r)) {
  const row& first = *rows.front();
  const row& last = *rows.back();
  if (rows.size() == 1) {
    return fmt::format("{} at {}", value(first), entries(first.size));
  }
  return fmt::format("{} at {} to {} at {}", value(first), entries(first.size), value(last),
                     entries(last.size));
}

// A method's name as the legend and the descriptions give it: a baseline says so.
std::string shown_name(const method_rows& m) {
  return m.counted ? std::string(m.name) : fmt::format("{} (baseline)", m.name);
}

// Where each line of the chart begins and ends, for a reader who cannot see it.
std::string series_in_words(const std::vector<method_rows>& methods,
                            std::string (*value)(const row& r)) {
  std::string out;
  for (const method_rows& m : methods) {
    for (std::size_t side = 0; side < 2; ++side) {
      if (!m.halves[side].empty()) {
        out += fmt::format(" {}, {}: {}.", shown_name(m), half_name(sides[side]),
                           span_in_words(m.halves[side], value));
      }
    }
  }
  return out;
}

std::string axis_span(const axis& a, tick_label label) {
  return fmt::format("from {} to {} on a {} axis", label(a.low), label(a.high),
                     a.logarithmic ? "logarithmic" : "linear");
}

constexpr std::string_view panels_in_words =
    "Two panels with the same axes: successful searches (keys in the list) on the left, "
    "unsuccessful searches (keys not in it) on the right.";

// The legend's first group: each method in its colour, marker and line.
std::vector<legend_item> method_items(const std::vector<method_rows>& methods) {
  std::vector<legend_item> items;
  items.reserve(methods.size());
  for (const method_rows& m : methods) {
    items.push_back({method_sample(m.style, !m.counted), shown_name(m)});
  }
  return items;
}

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
                              const std::vector<method_rows>& methods) {
  std::string out = "<g>" + panel_frame(p, panel_headings[side]);
  for (const method_rows& m : methods) {
    out += line_through(points_of(p, m.halves[side], expected_mean), m.style.colour, true, 1.5);
    const auto measured = points_of(p, m.halves[side], measured_mean);
    if (measured.size() > 1) {  // a single point is its marker alone
      out += line_through(measured, m.style.colour, false, 2);
    }
    out += markers_of(p, m, m.halves[side], half_name(sides[side]), measured_mean,
                      [](const method_rows& of, const row& r) {
                        return fmt::format("{}, {}, {}: {} comparisons measured, {} expected",
                                           of.name, entries(r.size), half_name(r.which),
                                           mean_cell(r.mean_comparisons()),
                                           mean_cell(r.mean_expected_comparisons()));
                      });
  }
  return out + "</g>\n";
}

// The spread of a method's times on one half: a band from the least to the greatest
// repetition, or a bar where it has a single size.
std::string time_spread(const panel& p, const method_rows& m, std::size_t side) {
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
std::string time_panel(const panel& p, std::size_t side, const std::vector<method_rows>& methods) {
  std::string out = "<g>" + panel_frame(p, panel_headings[side]);
  for (const method_rows& m : methods) {
    out += time_spread(p, m, side);
  }
  for (const method_rows& m : methods) {
    const auto medians = points_of(p, m.halves[side], median_time);
    if (medians.size() > 1) {
      out += line_through(medians, m.style.colour, !m.counted, 2);
    }
  }
  for (const method_rows& m : methods) {
    out += markers_of(p, m, m.halves[side], half_name(sides[side]), median_time,
                      [](const method_rows& of, const row& r) {
                        return fmt::format(
                            "{}, {}, {}: median {} ns, {} to {} ns over {} repetitions", of.name,
                            entries(r.size), half_name(r.which), time_cell(r.wall.median),
                            time_cell(r.wall.min), time_cell(r.wall.max), r.wall_ns.size());
                      });
  }
  return out + "</g>\n";
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

std::string comparisons_chart(std::span<const row> rows) {
  std::vector<method_rows> methods = methods_of(rows);
  std::erase_if(methods, [](const method_rows& m) { return !m.counted; });
  if (methods.empty()) {
    return "";
  }
  const axis across = log_axis(values_of(methods, {list_size}), 1.0, round_number);
  const std::vector<double> means = values_of(methods, {measured_mean, expected_mean});
  const axis up =
      wants_log_axis(means) ? log_axis(means, 0.0, round_number) : linear_axis(means, round_number);
  std::string body;
  for (std::size_t side = 0; side < 2; ++side) {
    body += comparisons_panel(panel{across, up, plot_left[side]}, side, methods);
  }
  body += vertical_title(up.logarithmic ? "comparisons per search (logarithmic)"
                                        : "comparisons per search");
  const auto [legend_text, height] = legend(
      {method_items(methods),
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
                      height, body);
}

std::string time_chart(std::span<const row> rows) {
  const std::vector<method_rows> methods = methods_of(rows);
  const axis across = log_axis(values_of(methods, {list_size}), 1.0, round_number);
  const axis up =
      log_axis(values_of(methods, {least_time, median_time, greatest_time}), 0.0, round_duration);
  std::string body;
  for (std::size_t side = 0; side < 2; ++side) {
    body += time_panel(panel{across, up, plot_left[side]}, side, methods);
  }
  body += vertical_title("wall-clock time per search (logarithmic)");
  std::vector<legend_item> key{
      {key_marker_sample(), "median of the repetitions"},
      {fmt::format(R"(<rect x="0" y="-7" width="{}" height="14" fill="{}" fill-opacity="0.25"/>)",
                   sample_width, key_colour),
       "least to greatest repetition"}};
  if (std::any_of(methods.begin(), methods.end(),
                  [](const method_rows& m) { return !m.counted; })) {
    key.push_back(
        {sample_line(key_colour, true, 2), "baseline: a standard search, counting nothing"});
  }
  const auto [legend_text, height] = legend({method_items(methods), key});
  body += legend_text;
  const std::string description =
      fmt::format(
          "{} List size {}; wall-clock time per search {}. Lines with markers: the median "
          "of the repetitions; shaded bands: the least to the greatest repetition.",
          panels_in_words, axis_span(across, round_number), axis_span(up, round_duration)) +
      series_in_words(methods, [](const row& r) { return time_cell(r.wall.median) + " ns"; });
  return svg_document("time", "Time per search against list size", description, height, body);
}

std::string layout_chart(std::span<const row> rows) {
  // Both halves search the same layout, built once per size: the rows of one half suffice.
  std::vector<method_rows> methods = methods_of(rows);
  // Every size of the run, whether a layout was built for it or not.
  const axis across = log_axis(values_of(methods, {list_size}), 1.0, round_number);
  for (method_rows& m : methods) {
    std::vector<const row*>& built = m.halves[0];
    std::erase_if(built, [](const row* r) { return !r->layout_ns.has_value(); });
    m.halves[1].clear();
  }
  std::erase_if(methods, [](const method_rows& m) { return m.halves[0].empty(); });
  if (methods.empty()) {
    return "";
  }
  const axis up = log_axis(values_of(methods, {layout_time}), 0.0, round_duration);
  constexpr double right_margin = 32;
  const panel p{across, up, plot_left[0], chart_width - plot_left[0] - right_margin};
  std::string body = "<g>" + panel_frame(p, "Once per size, for both halves");
  for (const method_rows& m : methods) {
    const auto built = points_of(p, m.halves[0], layout_time);
    if (built.size() > 1) {
      body += line_through(built, m.style.colour, false, 2);
    }
    body += markers_of(p, m, m.halves[0], "layout", layout_time,
                       [](const method_rows& of, const row& r) {
                         return fmt::format("{}, {}: the layout built in {}", of.name,
                                            entries(r.size), duration_cell(*r.layout_ns));
                       });
  }
  body += "</g>\n" + vertical_title("building time (logarithmic)");
  const auto [legend_text, height] =
      legend({method_items(methods), {{key_marker_sample(), "median of repeated builds"}}});
  body += legend_text;
  std::string description =
      fmt::format("One panel. List size {}; time to build the layout {}.",
                  axis_span(across, round_number), axis_span(up, round_duration));
  for (const method_rows& m : methods) {
    description += fmt::format(" {}: {}.", m.name, span_in_words(m.halves[0], [](const row& r) {
                                 return duration_cell(*r.layout_ns);
                               }));
  }
  return svg_document("layout", "Layout building time against list size", description, height,
                      body);
}

}  // namespace velk_lab
