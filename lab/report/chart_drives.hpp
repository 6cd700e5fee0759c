// How the charts of a run lay out their panels: the rows grouped by drive (mode and threads), a
// row of panels for each drive with a panel for each half, and the few choices that every chart
// makes alike (when an axis goes logarithmic, the key's entry for a baseline). Internal to the
// chart files.
#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lab/measure/results.hpp"
#include "lab/report/chart_panel.hpp"
#include "lab/report/chart_series.hpp"

namespace velk_lab {

// Whether positive values spanning more than `spread` from the least to the greatest read
// better on a logarithmic axis, as a sequential search beside a binary one, whose line would
// otherwise lie flat along the bottom. Only when every value that is there (finite) is
// positive.
bool wants_log_axis(const std::vector<double>& values, double spread);

// A row test that takes none: for charts whose markers are never hollow.
bool never(const row& /*unused*/);

// A chart's panels, one drawing each, in a box that sets them side by side where they fit.
std::string panels(const std::string& drawings);

// The key's entry for a baseline's dashed line, where a chart has a baseline.
void add_baseline_key(std::vector<legend_item>& key, const std::vector<series>& all);

// The rows of the first drive (mode and threads) of the run: what every drive shares, the
// counts and the layout, drawn once.
row_test first_drive(std::span<const row> rows);

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

// Which series a chart keeps.
using series_test = std::function<bool(const series& s)>;

// The series of the rows `taken` (all when empty), a row of panels for each drive in the order
// of the run: a series keeps its look from row to row, and is named by its drive where that is
// not the plain one (throughput, one thread): "binary1", "binary1 (latency, 2 threads)".
// `compared` are the values that make a series lie on another. Only the series that `kept`
// keeps (all when empty) are drawn, each in the look it has among all.
drive_rows rows_of_drives(std::span<const row> rows, across drawn, const row_test& taken,
                          std::initializer_list<row_value> compared, const series_test& kept = {});

// What every panel of a chart shares, and what each says of itself.
struct chart_words {
  std::string_view id;     // the panels' ids begin with it
  std::string_view title;  // "Time per search against list size"
  std::string axes;        // the axes in words
  std::string_view marks;  // what its lines and markers are
};

// What draws one panel of a chart: its half's series of one row of panels.
using panel_body = std::function<std::string(std::size_t side, const drive_row& drive,
                                             const std::string& heading)>;

// A chart's panels, a pair of halves for each drive on the same axes (a box of their own, so
// that two drives never share a line of the page), each with its title and description naming
// the half and the drive; `value` and `where` say in words where each line begins and ends.
// Then the legend of its series, and `key` to its marks.
std::string half_panels(const chart_words& words, const drive_rows& shown, const panel_body& body,
                        const value_text& value, const std::vector<legend_item>& key,
                        const value_text& where = at_size);

}  // namespace velk_lab
