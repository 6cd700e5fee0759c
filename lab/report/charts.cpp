#include "charts.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <vector>

#include "lab/report/chart_axes.hpp"
#include "lab/report/chart_panel.hpp"
#include "lab/report/chart_series.hpp"
#include "lab/report/svg.hpp"
#include "lab/report/text_cells.hpp"

namespace velk_lab {

namespace {

constexpr std::array<std::string_view, 2> panel_headings{"Successful searches (keys in the list)",
                                                         "Unsuccessful searches (keys not in it)"};

// The method every other is measured against when the run has it.
constexpr std::string_view preferred_baseline = "std-lower-bound";

// Whether positive values spanning more than `spread` from the least to the greatest read
// better on a logarithmic axis, as a sequential search beside a binary one, whose line would
// otherwise lie flat along the bottom. Only when every value that is there (finite) is
// positive.
bool wants_log_axis(const std::vector<double>& values, double spread) {
  double least = 0.0;
  double greatest = 0.0;
  for (const double v : values) {
    if (!std::isfinite(v)) {
      continue;
    }
    if (v <= 0.0) {
      return false;
    }
    least = least > 0.0 ? std::min(least, v) : v;
    greatest = std::max(greatest, v);
  }
  return least > 0.0 && greatest > spread * least;
}

// A ratio as a tick reads it: 0.5×, 1×, 10×.
std::string ratio_label(double value) { return round_number(value) + "×"; }

bool never(const row& /*unused*/) { return false; }

// A chart's panels, one drawing each, in a box that sets them side by side where they fit.
std::string panels(const std::string& drawings) {
  return "<div class=\"panels\">\n" + drawings + "</div>\n";
}

// What every panel of a chart shares, and what each says of itself.
struct chart_words {
  std::string_view id;     // the panels' ids begin with it
  std::string_view title;  // "Time per search against list size"
  std::string axes;        // the axes in words
  std::string_view marks;  // what its lines and markers are
};

// One half's panel as its drawing, its title and description naming the half.
std::string half_panel(const chart_words& words, std::size_t side, const std::string& body,
                       const std::string& series_words) {
  return panel_svg(fmt::format("{}-{}", words.id, half_name(sides.at(side))),
                   fmt::format("{}: {} searches", words.title, half_name(sides.at(side))),
                   fmt::format("{}: one of two panels with the same axes. {} {}{}",
                               panel_headings.at(side), words.axes, words.marks, series_words),
                   body) +
         "\n";
}

std::string comparisons_tooltip(const series& of, const row& r) {
  return fmt::format("{}, {}, {}: {} comparisons measured, {}", of.name, entries(r.size),
                     half_name(r.which), mean_cell(r.mean_comparisons()),
                     r.has_expected() ? mean_cell(r.mean_expected_comparisons()) + " expected"
                                      : "none expected (too long to work out)");
}

// One half of the comparisons chart: for each method the expected mean dashed, the measured
// mean solid, and a marker at each measured mean.
std::string comparisons_panel(const panel& p, std::size_t side, const std::vector<series>& all,
                              std::string_view vertical) {
  std::string out = panel_frame(p, panel_headings.at(side), vertical);
  for (const series& s : all) {
    out += line_of(p, s, side, expected_mean, true, 1.5, "the expected mean");
    if (s.halves.at(side).size() > 1) {  // a single point is its marker alone
      out += line_of(p, s, side, measured_mean, false, 2, "the measured mean");
    }
    out += markers_of(p, s, s.halves.at(side), half_name(sides.at(side)), measured_mean, never,
                      comparisons_tooltip);
  }
  return out;
}

// The spread of a method's times on one half: a band from the least to the greatest
// repetition, or a bar where it has a single size.
std::string time_spread(const panel& p, const series& s, std::size_t side) {
  std::vector<const row*> shown;
  for (const row* r : s.halves.at(side)) {
    if (p.shows(r->wall.min) && p.shows(r->wall.max)) {
      shown.push_back(r);
    }
  }
  if (shown.empty()) {
    return "";
  }
  const std::string title =
      "<title>" + escaped(series_title(s, side, "least to greatest repetition")) + "</title>";
  if (shown.size() == 1) {
    const double x = p.x(shown.front()->size);
    constexpr double cap = 4;
    return fmt::format(
        R"(<path d="M{0} {1}V{2}M{3} {1}H{4}M{3} {2}H{4}" stroke="{5}" stroke-width="1.5" fill="none">{6}</path>)",
        number(x), number(p.y(shown.front()->wall.min)), number(p.y(shown.front()->wall.max)),
        number(x - cap), number(x + cap), s.style.colour, title);
  }
  points outline = points_of(p, shown, greatest_time);
  const points lower = points_of(p, shown, least_time);
  outline.insert(outline.end(), lower.rbegin(), lower.rend());
  return fmt::format(
      R"(<polygon points="{}" fill="{}" fill-opacity="0.18" stroke="none">{}</polygon>)",
      points_text(outline), s.style.colour, title);
}

std::string time_tooltip(const series& of, const row& r) {
  return fmt::format(
      "{}, {}, {}: median {} ns, {} to {} ns over {} repetitions{}", of.name, entries(r.size),
      half_name(r.which), time_cell(r.wall.median), time_cell(r.wall.min), time_cell(r.wall.max),
      r.wall_ns.size(),
      spread_widely(r) ? fmt::format(", spread widely ({:.1f}% of the median)", r.wall.mad_percent)
                       : "");
}

// One half of the time chart: bands first, then lines, then markers, so that no band hides
// another method's line.
std::string time_panel(const panel& p, std::size_t side, const std::vector<series>& all) {
  std::string out =
      panel_frame(p, panel_headings.at(side), "wall-clock time per search (logarithmic)");
  for (const series& s : all) {
    out += time_spread(p, s, side);
  }
  for (const series& s : all) {
    if (s.halves.at(side).size() > 1) {
      out += line_of(p, s, side, median_time, !s.counted, 2, "the median");
    }
  }
  for (const series& s : all) {
    out += markers_of(p, s, s.halves.at(side), half_name(sides.at(side)), median_time,
                      spread_widely, time_tooltip);
  }
  return out;
}

// The key's entry for hollow markers, saying whose repetitions spread widely, where a chart
// has one.
void add_hollow_key(std::vector<legend_item>& key, const std::vector<series>& all,
                    const row_test& hollow, std::string_view whose) {
  if (any_hollow(all, hollow)) {
    key.push_back({hollow_marker_sample(),
                   fmt::format("hollow: {} repetitions spread widely (median absolute deviation "
                               "above {}% of the median)",
                               whose, widest_spread_percent)});
  }
}

// The key's entry for a baseline's dashed line, where a chart has a baseline.
void add_baseline_key(std::vector<legend_item>& key, const std::vector<series>& all) {
  if (std::any_of(all.begin(), all.end(), [](const series& s) { return !s.counted; })) {
    key.push_back(
        {sample_line(key_colour, true, 2), "baseline: a standard search, counting nothing"});
  }
}

// The row of `base` at the size and half of `r`, if it has one.
const row* row_beside(const series& base, const row& r) {
  const std::vector<const row*>& h = base.halves.at(r.which == half::successful ? 0 : 1);
  const auto at = std::find_if(h.begin(), h.end(), [&](const row* b) { return b->size == r.size; });
  return at == h.end() ? nullptr : *at;
}

}  // namespace

std::string comparisons_chart(std::span<const row> rows) {
  std::vector<series> all = series_of(rows);
  std::erase_if(all, [](const series& s) { return !s.counted; });
  if (all.empty()) {
    return "";
  }
  const axis across = log_axis(values_of(all, {list_size}), 1.0, round_number);
  const std::vector<double> means = values_of(all, {measured_mean, expected_mean});
  constexpr double two_decades = 100;
  const axis up = wants_log_axis(means, two_decades) ? log_axis(means, 0.0, round_number)
                                                     : linear_axis(means, round_number);
  const std::string_view vertical =
      up.logarithmic ? "comparisons per search (logarithmic)" : "comparisons per search";
  const std::vector<const series*> twins = coinciding(all, {measured_mean, expected_mean});
  const chart_words words{
      "comparisons", "Comparisons per search against list size",
      fmt::format("List size {}; comparisons per search {}.", axis_span(across, round_number),
                  axis_span(up, round_number)),
      "Solid lines with markers: the measured mean; dashed lines: the expected mean."};
  std::string drawings;
  for (std::size_t side = 0; side < sides.size(); ++side) {
    drawings += half_panel(words, side, comparisons_panel(panel{across, up}, side, all, vertical),
                           series_in_words(all, side, [](const row& r) {
                             return mean_cell(r.mean_comparisons());
                           }) + twins_in_words(all, twins));
  }
  return panels(drawings) +
         legend(series_items(all, twins),
                {{key_marker_sample(), "measured: the mean over the searches counted"},
                 {sample_line(key_colour, true, 1.5),
                  "expected: the mean over every target of the half"}});
}

std::string time_chart(std::span<const row> rows) {
  const std::vector<series> all = series_of(rows);
  const axis across = log_axis(values_of(all, {list_size}), 1.0, round_number);
  const axis up =
      log_axis(values_of(all, {least_time, median_time, greatest_time}), 0.0, round_duration);
  const std::vector<const series*> twins =
      coinciding(all, {least_time, median_time, greatest_time});
  const chart_words words{
      "time", "Time per search against list size",
      fmt::format("List size {}; wall-clock time per search {}.", axis_span(across, round_number),
                  axis_span(up, round_duration)),
      "Lines with markers: the median of the repetitions; shaded bands: the least to the "
      "greatest repetition; hollow markers: repetitions that spread widely."};
  std::string drawings;
  for (std::size_t side = 0; side < sides.size(); ++side) {
    drawings += half_panel(words, side, time_panel(panel{across, up}, side, all),
                           series_in_words(all, side, [](const row& r) {
                             return time_cell(r.wall.median) + " ns";
                           }) + twins_in_words(all, twins));
  }
  std::vector<legend_item> key{
      {key_marker_sample(), "median of the repetitions"},
      {fmt::format(R"(<rect x="0" y="-7" width="{}" height="14" fill="{}" fill-opacity="0.25"/>)",
                   sample_width, key_colour),
       "least to greatest repetition"}};
  add_hollow_key(key, all, spread_widely, "the");
  add_baseline_key(key, all);
  return panels(drawings) + legend(series_items(all, twins), key);
}

std::string relative_chart(std::span<const row> rows) {
  const std::vector<series> all = series_of(rows);
  if (all.size() < 2) {
    return "";
  }
  // Each row is measured against the baseline method's row on the same keys, size and half.
  const std::string_view base_method =
      std::any_of(all.begin(), all.end(),
                  [](const series& s) { return s.key.method == preferred_baseline; })
          ? preferred_baseline
          : all.front().key.method;
  const std::string base_name(base_method);
  const auto base_of = [&](const row& r) -> const row* {
    const series_key key = key_of(r);
    const auto base = std::find_if(all.begin(), all.end(), [&](const series& s) {
      return s.key.method == base_method && s.key.same_keys(key);
    });
    return base == all.end() ? nullptr : row_beside(*base, r);
  };
  const row_value ratio = [&](const row& r) {
    const row* b = base_of(r);
    return b != nullptr && b->wall.median > 0.0 ? r.wall.median / b->wall.median : std::nan("");
  };
  const row_test hollow = [&](const row& r) {
    const row* b = base_of(r);
    return spread_widely(r) || (b != nullptr && spread_widely(*b));
  };
  const tooltip_text say = [&](const series& of, const row& r) {
    return fmt::format("{}, {}, {}: {}× the time of {} (median {} ns against {} ns)", of.name,
                       entries(r.size), half_name(r.which), time_cell(ratio(r)), base_name,
                       time_cell(r.wall.median), time_cell(base_of(r)->wall.median));
  };

  const axis across = log_axis(values_of(all, {list_size}), 1.0, round_number);
  std::vector<double> ratios = values_of(all, {ratio});
  ratios.push_back(1.0);  // the baseline's own level stands on the axis whatever the others do
  constexpr double a_decade = 10;
  const axis up = wants_log_axis(ratios, a_decade) ? log_axis(ratios, 0.0, ratio_label)
                                                   : linear_axis(ratios, ratio_label);
  const std::string vertical =
      fmt::format("time relative to {}{}", base_name, up.logarithmic ? " (logarithmic)" : "");
  const std::vector<const series*> twins = coinciding(all, {ratio});
  const chart_words words{
      "relative", "Time relative to the baseline against list size",
      fmt::format("List size {}; time per search relative to {}'s {}.",
                  axis_span(across, round_number), base_name, axis_span(up, ratio_label)),
      "Lines with markers: each method's median time divided by the baseline's on the same "
      "keys and size; hollow markers: the method's or the baseline's repetitions spread widely."};
  const panel p{across, up};
  std::string drawings;
  for (std::size_t side = 0; side < sides.size(); ++side) {
    std::string body = panel_frame(p, panel_headings.at(side), vertical);
    for (const series& s : all) {
      if (s.halves.at(side).size() > 1) {
        body += line_of(p, s, side, ratio, !s.counted, 2, "the median relative to the baseline");
      }
    }
    for (const series& s : all) {
      body += markers_of(p, s, s.halves.at(side), half_name(sides.at(side)), ratio, hollow, say);
    }
    drawings += half_panel(words, side, body, series_in_words(all, side, [&](const row& r) {
                                                const double v = ratio(r);
                                                return std::isfinite(v) ? time_cell(v) + "×" : "-";
                                              }) + twins_in_words(all, twins));
  }
  std::vector<legend_item> key{
      {key_marker_sample(),
       fmt::format("median time ÷ {}'s on the same keys and size", base_name)}};
  add_hollow_key(key, all, hollow, "the method's or the baseline's");
  add_baseline_key(key, all);
  return panels(drawings) + legend(series_items(all, twins), key);
}

std::string layout_chart(std::span<const row> rows) {
  // Both halves search the same layout, built once per size: the rows of one half suffice.
  std::vector<series> all = series_of(rows);
  // Every size of the run, whether a layout was built for it or not.
  const axis across = log_axis(values_of(all, {list_size}), 1.0, round_number);
  for (series& s : all) {
    std::vector<const row*>& built = s.halves[0];
    std::erase_if(built, [](const row* r) { return !r->layout_ns.has_value(); });
    s.halves[1].clear();
  }
  std::erase_if(all, [](const series& s) { return s.halves[0].empty(); });
  if (all.empty()) {
    return "";
  }
  const axis up = log_axis(values_of(all, {layout_time}), 0.0, round_duration);
  const panel p{across, up};
  std::string body =
      panel_frame(p, "Once per size, for both halves", "building time (logarithmic)");
  for (const series& s : all) {
    if (s.halves[0].size() > 1) {
      body += line_of(p, s, 0, layout_time, false, 2, "the building time");
    }
    body += markers_of(p, s, s.halves[0], "layout", layout_time, never,
                       [](const series& of, const row& r) {
                         return fmt::format("{}, {}: the layout built in {}", of.name,
                                            entries(r.size), duration_cell(*r.layout_ns));
                       });
  }
  std::string description =
      fmt::format("One panel. List size {}; time to build the layout {}.",
                  axis_span(across, round_number), axis_span(up, round_duration));
  for (const series& s : all) {
    description += fmt::format(" {}: {}.", s.name, span_in_words(s.halves[0], [](const row& r) {
                                 return duration_cell(*r.layout_ns);
                               }));
  }
  const std::vector<const series*> twins = coinciding(all, {layout_time});
  return panels(panel_svg("layout", "Layout building time against list size", description, body) +
                "\n") +
         legend(series_items(all, twins), {{key_marker_sample(), "median of repeated builds"}});
}

}  // namespace velk_lab
