#include "charts.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>
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

// A value below a thousand to three significant digits: 4, 4.25, 0.0312, 812.
std::string significant(double value) { return fmt::format("{:.3g}", value); }

// A rate to three significant digits, with k, M or G: 812, 61.2M, 1.05G; rounded first, so
// that 999999 reads 1M.
std::string round_rate(double value) {
  const double rounded = std::stod(significant(value));
  constexpr std::array<std::pair<double, std::string_view>, 3> scales{
      {{1e9, "G"}, {1e6, "M"}, {1e3, "k"}}};
  for (const auto& [scale, suffix] : scales) {
    if (rounded >= scale) {
      return significant(rounded / scale) + std::string(suffix);
    }
  }
  return significant(rounded);
}

bool never(const row& /*unused*/) { return false; }

// A chart's panels, one drawing each, in a box that sets them side by side where they fit.
std::string panels(const std::string& drawings) {
  return "<div class=\"panels\">\n" + drawings + "</div>\n";
}

// The rows of the first drive (mode and threads) of the run: what every drive shares, the
// counts and the layout, drawn once.
row_test first_drive(std::span<const row> rows) {
  if (rows.empty()) {
    return {};
  }
  const drive_mode mode = rows.front().mode;
  const int threads = rows.front().threads;
  return [=](const row& r) { return r.mode == mode && r.threads == threads; };
}

// A row of a chart's panels: the series of one drive (mode and threads), where the chart has a
// row for each drive of the run, or all its series.
struct drive_row {
  std::string said;  // "latency, 2 threads"; empty where the chart's rows have a single drive
  std::vector<series> all;
  std::vector<const series*> twins;  // as `coinciding` finds them
};

// A chart's series in rows of panels, and as its legend names them.
struct drive_rows {
  std::vector<drive_row> drives;
  // The series of one row named plainly, without their drive, since each look stands for a
  // series in every row; and the ones drawn over another in every row.
  std::vector<series> legend_series;
  std::vector<const series*> legend_twins;

  // Every value of `taken` over every row of panels.
  [[nodiscard]] std::vector<double> values(std::initializer_list<row_value> taken) const {
    std::vector<double> out;
    for (const drive_row& d : drives) {
      const std::vector<double> more = values_of(d.all, taken);
      out.insert(out.end(), more.begin(), more.end());
    }
    return out;
  }
};

// The drives (mode and threads) of the series, in the order they first appear.
std::vector<drive> drives_in(const std::vector<series>& all) {
  std::vector<drive> drives;
  for (const series& s : all) {
    const drive d{s.key.mode, s.key.threads};
    if (std::find(drives.begin(), drives.end(), d) == drives.end()) {
      drives.push_back(d);
    }
  }
  return drives;
}

// A drive as a row of panels is headed where the chart has several: its mode where the modes
// differ, its threads where they do: "latency, 2 threads".
std::string drive_words(const drive& d, const std::vector<drive>& drives) {
  const auto varies = [&](auto part) {
    return std::any_of(drives.begin(), drives.end(),
                       [&](const drive& other) { return part(other) != part(drives.front()); });
  };
  std::vector<std::string> said;
  if (varies([](const drive& o) { return o.mode; })) {
    said.emplace_back(mode_name(d.mode));
  }
  if (varies([](const drive& o) { return o.threads; })) {
    said.push_back(threads_said(d.threads));
  }
  return fmt::format("{}", fmt::join(said, ", "));
}

// For each series of the legend, the one it lies on in every row of panels, the rows holding
// the same series in the same order; or none.
std::vector<const series*> twins_everywhere(const drive_rows& shown) {
  std::vector<const series*> twins;
  for (std::size_t i = 0; i < shown.legend_series.size(); ++i) {
    const series* twin = nullptr;
    bool everywhere = true;
    for (const drive_row& d : shown.drives) {
      const bool aligned = d.all.size() == shown.legend_series.size() && d.twins[i] != nullptr;
      const std::ptrdiff_t at = aligned ? d.twins[i] - d.all.data() : -1;
      const series* here = at < 0 ? nullptr : &shown.legend_series[static_cast<std::size_t>(at)];
      everywhere = everywhere && here != nullptr && (twin == nullptr || twin == here);
      twin = here;
    }
    twins.push_back(everywhere ? twin : nullptr);
  }
  return twins;
}

// The series of the rows `taken` (all when empty), a row of panels for each drive in the order
// of the run: a series keeps its look from row to row, and is named by its drive where that is
// not the plain one (throughput, one thread): "binary1", "binary1 (latency, 2 threads)".
// `compared` are the values that make a series lie on another. Only the series that `kept`
// keeps (all when empty) are drawn, each in the look it has among all.
using series_test = std::function<bool(const series& s)>;
drive_rows rows_of_drives(std::span<const row> rows, across drawn, const row_test& taken,
                          std::initializer_list<row_value> compared, const series_test& kept = {}) {
  const auto dropped = [&](const series& s) { return kept && !kept(s); };
  const std::vector<series> all = series_of(rows, drawn, taken);
  const std::vector<drive> drives = drives_in(all);
  drive_rows out;
  for (const drive& d : drives) {
    drive_row shown{drive_words(d, drives), {}, {}};
    for (const series& s : all) {
      if (s.key.mode == d.mode && s.key.threads == d.threads) {
        shown.all.push_back(s);
        shown.all.back().style = look_at(shown.all.size() - 1);
      }
    }
    std::erase_if(shown.all, dropped);
    if (!shown.all.empty()) {
      shown.twins = coinciding(shown.all, compared);
      out.drives.push_back(std::move(shown));
    }
  }
  if (out.drives.empty()) {
    return out;
  }
  const drive first = drives.front();
  out.legend_series = series_of(rows, drawn, [&](const row& r) {
    return (!taken || taken(r)) && r.mode == first.mode &&
           (drawn == across::threads || r.threads == first.threads);
  });
  std::erase_if(out.legend_series, dropped);
  out.legend_twins = twins_everywhere(out);
  return out;
}

// What every panel of a chart shares, and what each says of itself.
struct chart_words {
  std::string_view id;     // the panels' ids begin with it
  std::string_view title;  // "Time per search against list size"
  std::string axes;        // the axes in words
  std::string_view marks;  // what its lines and markers are
};

// The heading a panel shows: its half, and its drive where the chart has a row for each.
std::string panel_heading(std::size_t side, const drive_row& drive) {
  if (drive.said.empty()) {
    return std::string(panel_headings.at(side));
  }
  return fmt::format("{} searches: {}", side == 0 ? "Successful" : "Unsuccessful", drive.said);
}

// What draws one panel of a chart: its half's series of one row of panels.
using panel_body = std::function<std::string(std::size_t side, const drive_row& drive,
                                             const std::string& heading)>;

// A chart's panels, a pair of halves for each drive on the same axes (a box of their own, so
// that two drives never share a line of the page), each with its title and description naming
// the half and the drive; `value` and `where` say in words where each line begins and ends.
// Then the legend of its series, and `key` to its marks.
std::string half_panels(const chart_words& words, const drive_rows& shown, const panel_body& body,
                        const value_text& value, const std::vector<legend_item>& key,
                        const value_text& where = at_size) {
  const std::size_t count = sides.size() * shown.drives.size();
  std::string out;
  for (const drive_row& d : shown.drives) {
    std::string id_part = d.said;
    std::erase(id_part, ',');
    std::replace(id_part.begin(), id_part.end(), ' ', '-');
    const std::string drive_said = d.said.empty() ? "" : ", " + d.said;
    std::string drawings;
    for (std::size_t side = 0; side < sides.size(); ++side) {
      const std::string_view which = half_name(sides.at(side));
      drawings +=
          panel_svg(fmt::format("{}-{}{}{}", words.id, id_part, id_part.empty() ? "" : "-", which),
                    fmt::format("{}: {} searches{}", words.title, which, drive_said),
                    fmt::format("{}{}: one of {} panels with the same axes. {} {}{}{}",
                                panel_headings.at(side), drive_said, count, words.axes, words.marks,
                                series_in_words(d.all, side, value, where),
                                twins_in_words(d.all, d.twins)),
                    body(side, d, panel_heading(side, d))) +
          "\n";
    }
    out += panels(drawings);
  }
  return out + legend(series_items(shown.legend_series, shown.legend_twins), key);
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

// The key's entry for a baseline's dashed line, where a chart has a baseline.
void add_baseline_key(std::vector<legend_item>& key, const std::vector<series>& all) {
  if (std::any_of(all.begin(), all.end(), [](const series& s) { return !s.counted; })) {
    key.push_back(
        {sample_line(key_colour, true, 2), "baseline: a standard search, counting nothing"});
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

// The rows of each key set at its largest size.
row_test at_largest_size(std::span<const row> rows) {
  std::map<std::pair<std::string_view, int>, std::int32_t> largest;
  for (const row& r : rows) {
    std::int32_t& size = largest[{r.keys, r.key_bits}];
    size = std::max(size, r.size);
  }
  return [largest = std::move(largest)](const row& r) {
    return r.size == largest.at({r.keys, r.key_bits});
  };
}

std::string threads_tooltip(const series& of, const row& r) {
  return fmt::format("{}, {}, {}, {}: {} searches per second, {} per thread", of.name,
                     entries(r.size), threads_said(r.threads), half_name(r.which),
                     round_rate(r.searches_per_second),
                     round_rate(r.searches_per_second / r.threads));
}

// The series of the methods that build a layout, each with its rows of one half where `value`
// has a value: both halves search the same layout, built once per size.
std::vector<series> layout_series(std::span<const row> rows, const row_value& value) {
  std::vector<series> all = series_of(rows, across::size, first_drive(rows));
  for (series& s : all) {
    std::erase_if(s.halves[0], [&](const row* r) { return !std::isfinite(value(*r)); });
    s.halves[1].clear();
  }
  std::erase_if(all, [](const series& s) { return s.halves[0].empty(); });
  return all;
}

// What a chart of the layouts shows and says.
struct layout_words {
  std::string_view id;
  std::string_view title;     // "Layout building time against list size"
  std::string_view measured;  // "time to build the layout"
  std::string_view line;      // what a line is: "the building time"
  tick_label label;           // a tick's label
  value_text said;            // a value in the descriptions
  tooltip_text tooltip;       // a marker's
  std::string key;            // what a marker is
};

// A chart of the layouts in one panel: `value` of each series of `all` against list size, up
// the axis `up`, on the sizes of every row of the run.
std::string layout_panel_chart(std::span<const row> rows, const std::vector<series>& all,
                               const row_value& value, const axis& up, std::string_view vertical,
                               const layout_words& words) {
  const axis across = log_axis(values_of(series_of(rows), {list_size}), 1.0, round_number);
  const panel p{across, up};
  std::string body = panel_frame(p, "Once per size, for both halves", vertical);
  for (const series& s : all) {
    if (s.halves[0].size() > 1) {
      body += line_of(p, s, 0, value, !s.counted, 2, words.line);
    }
    body += markers_of(p, s, s.halves[0], "layout", value, never, words.tooltip);
  }
  std::string description =
      fmt::format("One panel. List size {}; {} {}.", axis_span(across, round_number),
                  words.measured, axis_span(up, words.label));
  for (const series& s : all) {
    description += fmt::format(" {}: {}.", s.name, span_in_words(s.halves[0], words.said));
  }
  const std::vector<const series*> twins = coinciding(all, {value});
  std::vector<legend_item> key{{key_marker_sample(), words.key}};
  add_baseline_key(key, all);
  return panels(panel_svg(words.id, words.title, description + twins_in_words(all, twins), body) +
                "\n") +
         legend(series_items(all, twins), key);
}

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

std::string threads_chart(std::span<const row> rows, std::string_view id) {
  std::vector<double> threads;
  for (const row& r : rows) {
    if (std::find(threads.begin(), threads.end(), r.threads) == threads.end()) {
      threads.push_back(r.threads);
    }
  }
  if (threads.size() < 2) {
    return "";
  }
  const drive_rows shown =
      rows_of_drives(rows, across::threads, at_largest_size(rows), {searches_per_second});
  const axis across = linear_axis(threads, round_number, 1.0);
  const std::vector<double> rates = shown.values({searches_per_second});
  constexpr double two_decades = 100;
  const axis up = wants_log_axis(rates, two_decades) ? log_axis(rates, 0.0, round_number)
                                                     : linear_axis(rates, round_number);
  const std::string_view vertical = up.logarithmic
                                        ? "searches per second, all threads (logarithmic)"
                                        : "searches per second, all threads";
  const chart_words words{
      id, "Searches per second against threads",
      fmt::format("Threads searching at once {}; searches per second, every thread together, {}.",
                  axis_span(across, round_number), axis_span(up, round_number)),
      "Lines with markers: the median over the repetitions of the searches per second of every "
      "thread together, each method at its largest size."};
  const panel p{across, up, "threads searching at once"};
  const panel_body body = [&](std::size_t side, const drive_row& d, const std::string& heading) {
    std::string out = panel_frame(p, heading, vertical);
    for (const series& s : d.all) {
      out += line_of(p, s, side, searches_per_second, !s.counted, 2, "searches per second");
      out += markers_of(p, s, s.halves.at(side), half_name(sides.at(side)), searches_per_second,
                        never, threads_tooltip);
    }
    return out;
  };
  std::vector<legend_item> key{
      {key_marker_sample(), "searches per second, every thread together (median)"}};
  add_baseline_key(key, shown.legend_series);
  return half_panels(
      words, shown, body,
      [](const row& r) { return round_rate(r.searches_per_second) + " per second"; }, key,
      at_threads);
}

std::string layout_chart(std::span<const row> rows) {
  const std::vector<series> all = layout_series(rows, layout_time);
  if (all.empty()) {
    return "";
  }
  const axis up = log_axis(values_of(all, {layout_time}), 0.0, round_duration);
  return layout_panel_chart(rows, all, layout_time, up, "building time (logarithmic)",
                            {"layout", "Layout building time against list size",
                             "time to build the layout", "the building time", round_duration,
                             [](const row& r) { return duration_cell(*r.layout_ns); },
                             [](const series& of, const row& r) {
                               return fmt::format("{}, {}: the layout built in {}", of.name,
                                                  entries(r.size), duration_cell(*r.layout_ns));
                             },
                             "median of repeated builds"});
}

std::string bytes_chart(std::span<const row> rows) {
  const std::vector<series> all = layout_series(rows, bytes_per_key);
  if (all.empty()) {
    return "";
  }
  const std::vector<double> bytes = values_of(all, {bytes_per_key});
  constexpr double two_decades = 100;
  const axis up = wants_log_axis(bytes, two_decades) ? log_axis(bytes, 0.0, round_number)
                                                     : linear_axis(bytes, round_number);
  return layout_panel_chart(
      rows, all, bytes_per_key, up,
      up.logarithmic ? "bytes per key (logarithmic)" : "bytes per key",
      {"bytes", "Layout bytes per key against list size", "the layout's bytes per key",
       "bytes per key", round_number,
       [](const row& r) { return significant(bytes_per_key(r)) + " bytes per key"; },
       [](const series& of, const row& r) {
         return fmt::format("{}, {}: the layout takes {} bytes, {} per key", of.name,
                            entries(r.size), *r.layout_bytes, significant(bytes_per_key(r)));
       },
       "the layout's bytes divided by the keys"});
}

}  // namespace velk_lab
