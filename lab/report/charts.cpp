#include "charts.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "lab/report/chart_axes.hpp"
#include "lab/report/chart_drives.hpp"
#include "lab/report/chart_panel.hpp"
#include "lab/report/chart_series.hpp"
#include "lab/report/svg.hpp"
#include "lab/report/text_cells.hpp"

namespace velk_lab {

namespace {

// The method every other is measured against when the run has it.
constexpr std::string_view preferred_baseline = "std-lower-bound";

// A ratio as a tick reads it: 0.5×, 1×, 10×.
std::string ratio_label(double value) { return round_number(value) + "×"; }

std::string comparisons_tooltip(const series& of, const row& r) {
  return fmt::format("{}, {}, {}: {} comparisons measured, {}", of.name, entries(r.size),
                     half_name(r.which), mean_cell(r.mean_comparisons()),
                     r.has_expected() ? mean_cell(r.mean_expected_comparisons()) + " expected"
                                      : "none expected (too long to work out)");
}

// One half of the comparisons chart: for each method the expected mean dashed, the measured
// mean solid, and a marker at each measured mean.
std::string comparisons_panel(const panel& p, std::size_t side, const std::vector<series>& all,
                              const std::string& heading, std::string_view vertical) {
  std::string out = panel_frame(p, heading, vertical);
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
    const double x = p.x(s.place(*shown.front()));
    constexpr double cap = 4;
    return fmt::format(
        R"(<path d="M{0} {1}V{2}M{3} {1}H{4}M{3} {2}H{4}" stroke="{5}" stroke-width="1.5" fill="none">{6}</path>)",
        number(x), number(p.y(shown.front()->wall.min)), number(p.y(shown.front()->wall.max)),
        number(x - cap), number(x + cap), s.style.colour, title);
  }
  points outline = points_of(p, s, shown, greatest_time);
  const points lower = points_of(p, s, shown, least_time);
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
std::string time_panel(const panel& p, std::size_t side, const std::vector<series>& all,
                       const std::string& heading) {
  std::string out = panel_frame(p, heading, "wall-clock time per search (logarithmic)");
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
void add_hollow_key(std::vector<legend_item>& key, const drive_rows& shown, const row_test& hollow,
                    std::string_view whose) {
  if (std::any_of(shown.drives.begin(), shown.drives.end(),
                  [&](const drive_row& d) { return any_hollow(d.all, hollow); })) {
    key.push_back({hollow_marker_sample(),
                   fmt::format("hollow: {} repetitions spread widely (median absolute deviation "
                               "above {}% of the median)",
                               whose, widest_spread_percent)});
  }
}

// For each row, the baseline's row measured beside it: the same keys, mode, threads, size and
// half, where the baseline is std-lower-bound when the run has it and the run's first method
// otherwise.
class baselines {
 public:
  explicit baselines(std::span<const row> rows)
      : method_(std::any_of(rows.begin(), rows.end(),
                            [](const row& r) { return r.method == preferred_baseline; })
                    ? preferred_baseline
                    : rows.front().method) {
    for (const row& r : rows) {
      if (r.method == method_) {
        beside_.emplace(place_of(r), &r);
      }
    }
  }

  [[nodiscard]] std::string_view method() const { return method_; }

  // The baseline's row beside `r`, or none.
  [[nodiscard]] const row* of(const row& r) const {
    const auto at = beside_.find(place_of(r));
    return at == beside_.end() ? nullptr : at->second;
  }

 private:
  using place = std::tuple<std::string_view, int, drive_mode, int, std::int32_t, half>;
  static place place_of(const row& r) {
    return {r.keys, r.key_bits, r.mode, r.threads, r.size, r.which};
  }
  std::string_view method_;
  std::map<place, const row*> beside_;
};

}  // namespace

std::string comparisons_chart(std::span<const row> rows, std::string_view id) {
  const drive_rows shown =
      rows_of_drives(rows, across::size, first_drive(rows), {measured_mean, expected_mean},
                     [](const series& s) { return s.counted; });
  if (shown.drives.empty()) {
    return "";
  }
  const axis across = log_axis(shown.values({list_size}), 1.0, round_number);
  const std::vector<double> means = shown.values({measured_mean, expected_mean});
  constexpr double two_decades = 100;
  const axis up = wants_log_axis(means, two_decades) ? log_axis(means, 0.0, round_number)
                                                     : linear_axis(means, round_number);
  const std::string_view vertical =
      up.logarithmic ? "comparisons per search (logarithmic)" : "comparisons per search";
  const chart_words words{
      id, "Comparisons per search against list size",
      fmt::format("List size {}; comparisons per search {}.", axis_span(across, round_number),
                  axis_span(up, round_number)),
      "Solid lines with markers: the measured mean; dashed lines: the expected mean."};
  const panel p{across, up};
  return half_panels(
      words, shown,
      [&](std::size_t side, const drive_row& d, const std::string& heading) {
        return comparisons_panel(p, side, d.all, heading, vertical);
      },
      [](const row& r) { return mean_cell(r.mean_comparisons()); },
      {{key_marker_sample(), "measured: the mean over the searches counted"},
       {sample_line(key_colour, true, 1.5), "expected: the mean over every target of the half"}});
}

std::string time_chart(std::span<const row> rows, std::string_view id) {
  const drive_rows shown =
      rows_of_drives(rows, across::size, {}, {least_time, median_time, greatest_time});
  if (shown.drives.empty()) {
    return "";
  }
  const axis across = log_axis(shown.values({list_size}), 1.0, round_number);
  const axis up =
      log_axis(shown.values({least_time, median_time, greatest_time}), 0.0, round_duration);
  const chart_words words{
      id, "Time per search against list size",
      fmt::format("List size {}; wall-clock time per search {}.", axis_span(across, round_number),
                  axis_span(up, round_duration)),
      "Lines with markers: the median of the repetitions; shaded bands: the least to the "
      "greatest repetition; hollow markers: repetitions that spread widely."};
  const panel p{across, up};
  std::vector<legend_item> key{
      {key_marker_sample(), "median of the repetitions"},
      {fmt::format(R"(<rect x="0" y="-7" width="{}" height="14" fill="{}" fill-opacity="0.25"/>)",
                   sample_width, key_colour),
       "least to greatest repetition"}};
  add_hollow_key(key, shown, spread_widely, "the");
  add_baseline_key(key, shown.legend_series);
  return half_panels(
      words, shown,
      [&](std::size_t side, const drive_row& d, const std::string& heading) {
        return time_panel(p, side, d.all, heading);
      },
      [](const row& r) { return time_cell(r.wall.median) + " ns"; }, key);
}

std::string relative_chart(std::span<const row> rows, std::string_view id) {
  if (series_of(rows, across::size, first_drive(rows)).size() < 2) {
    return "";
  }
  const baselines base(rows);
  const std::string base_name(base.method());
  const row_value ratio = [&](const row& r) {
    const row* b = base.of(r);
    return b != nullptr && b->wall.median > 0.0 ? r.wall.median / b->wall.median : std::nan("");
  };
  const row_test hollow = [&](const row& r) {
    const row* b = base.of(r);
    return spread_widely(r) || (b != nullptr && spread_widely(*b));
  };
  const tooltip_text say = [&](const series& of, const row& r) {
    return fmt::format("{}, {}, {}: {}× the time of {} (median {} ns against {} ns)", of.name,
                       entries(r.size), half_name(r.which), time_cell(ratio(r)), base_name,
                       time_cell(r.wall.median), time_cell(base.of(r)->wall.median));
  };
  const drive_rows shown = rows_of_drives(rows, across::size, {}, {ratio});

  const axis across = log_axis(shown.values({list_size}), 1.0, round_number);
  std::vector<double> ratios = shown.values({ratio});
  ratios.push_back(1.0);  // the baseline's own level stands on the axis whatever the others do
  constexpr double a_decade = 10;
  const axis up = wants_log_axis(ratios, a_decade) ? log_axis(ratios, 0.0, ratio_label)
                                                   : linear_axis(ratios, ratio_label);
  const std::string vertical =
      fmt::format("time relative to {}{}", base_name, up.logarithmic ? " (logarithmic)" : "");
  const chart_words words{
      id, "Time relative to the baseline against list size",
      fmt::format("List size {}; time per search relative to {}'s {}.",
                  axis_span(across, round_number), base_name, axis_span(up, ratio_label)),
      "Lines with markers: each method's median time divided by the baseline's beside it (the "
      "same keys, mode, threads and size); hollow markers: the method's or the baseline's "
      "repetitions spread widely."};
  const panel p{across, up};
  const panel_body body = [&](std::size_t side, const drive_row& d, const std::string& heading) {
    std::string out = panel_frame(p, heading, vertical);
    for (const series& s : d.all) {
      if (s.halves.at(side).size() > 1) {
        out += line_of(p, s, side, ratio, !s.counted, 2, "the median relative to the baseline");
      }
    }
    for (const series& s : d.all) {
      out += markers_of(p, s, s.halves.at(side), half_name(sides.at(side)), ratio, hollow, say);
    }
    return out;
  };
  std::vector<legend_item> key{
      {key_marker_sample(),
       fmt::format("median time ÷ {}'s beside it (the same keys, mode, threads and size)",
                   base_name)}};
  add_hollow_key(key, shown, hollow, "the method's or the baseline's");
  add_baseline_key(key, shown.legend_series);
  return half_panels(
      words, shown, body,
      [&](const row& r) {
        const double v = ratio(r);
        return std::isfinite(v) ? time_cell(v) + "×" : "-";
      },
      key);
}

}  // namespace velk_lab
