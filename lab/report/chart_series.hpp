// The rows a chart draws, gathered into series: what tells one series from another, how each is
// drawn, the values a chart takes from a row, its marks, and the words that say what a series
// shows.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lab/measure/results.hpp"
#include "lab/report/chart_axes.hpp"
#include "lab/report/chart_panel.hpp"
#include "lab/report/charts.hpp"
#include "lab/report/svg.hpp"

namespace velk_lab {

// What tells one series of a chart from another: the method, and the keys it searched.
// Whatever else comes to tell rows apart joins here, and every chart follows.
struct series_key {
  std::string_view method;
  std::string_view keys;
  int key_bits = 0;

  // Whether `other` searched the same keys.
  [[nodiscard]] bool same_keys(const series_key& other) const {
    return keys == other.keys && key_bits == other.key_bits;
  }
  friend bool operator==(const series_key&, const series_key&) = default;
};

series_key key_of(const row& r);

// How one series is drawn in every chart, from its place among the run's series.
struct look {
  std::string_view colour;
  shape marker = shape::circle;
};

// The rows of one series, each half in ascending order of size.
struct series {
  series_key key;
  // As the legend, the tooltips and the descriptions name it: the method, with what its keys
  // were where the run has keys of more than one kind: "binary1", "binary1 (uniform 64-bit
  // keys)"; `keys_said` is that part alone, or empty.
  std::string name;
  std::string keys_said;
  look style;
  bool counted = false;
  std::array<std::vector<const row*>, 2> halves;
};

// The rows gathered by key, the series in the order they first appear. No two of the first 88
// series share both colour and marker, and each differs in both from the one before it.
std::vector<series> series_of(std::span<const row> rows);

// The halves in the order of a series' `halves` and of the charts' panels.
constexpr std::array<half, 2> sides{half::successful, half::unsuccessful};

// What the charts plot of a row; NaN where a row has no such value.
using row_value = std::function<double(const row& r)>;
double list_size(const row& r);
double measured_mean(const row& r);
double expected_mean(const row& r);
double median_time(const row& r);
double least_time(const row& r);
double greatest_time(const row& r);
double layout_time(const row& r);

// Whether a row's repetitions spread more widely than widest_spread_percent.
bool spread_widely(const row& r);

// Every value of `taken` over the rows of `all`, both halves.
std::vector<double> values_of(const std::vector<series>& all,
                              std::initializer_list<row_value> taken);

// Where the rows' `value` lies on the panel, for those where it has a place.
points points_of(const panel& p, const std::vector<const row*>& rows, const row_value& value);

// "binary1, successful: what".
std::string series_title(const series& s, std::size_t side, std::string_view what);

// The line of a series' `value` on one half, titled with what it shows.
std::string line_of(const panel& p, const series& s, std::size_t side, const row_value& value,
                    bool dashed, double width, std::string_view what);

// Which markers are hollow, and what a marker's tooltip says.
using row_test = std::function<bool(const row& r)>;
using tooltip_text = std::function<std::string(const series& of, const row& r)>;

// The markers of `rows` of a series at their `value`, grouped under a title that names the
// series and what they show (`shown`), each with its tooltip.
std::string markers_of(const panel& p, const series& s, const std::vector<const row*>& rows,
                       std::string_view shown, const row_value& value, const row_test& hollow,
                       const tooltip_text& say);

// A series' name as the legend and the descriptions give it: a baseline says so, as in
// "std-lower-bound (baseline)" or "std-lower-bound (dense keys, baseline)".
std::string shown_name(const series& s);

// For each series, the earlier one whose every value of `taken` it equals, size by size on both
// halves, so that it is drawn right over it; or none.
std::vector<const series*> coinciding(const std::vector<series>& all,
                                      std::initializer_list<row_value> taken);

// The legend's series: each in its colour, marker and line, a series drawn over an earlier one
// named with it ("recbinary1 = binary1").
std::vector<legend_item> series_items(const std::vector<series>& all,
                                      const std::vector<const series*>& twins);

// The same in words for a screen reader: " recbinary1 lies on binary1 at every size."
std::string twins_in_words(const std::vector<series>& all, const std::vector<const series*>& twins);

// The samples of the legend's key: a line with a marker, and a hollow marker alone.
std::string key_marker_sample();
std::string hollow_marker_sample();

// Whether any row of `all` on a panel is drawn hollow by `hollow`.
bool any_hollow(const std::vector<series>& all, const row_test& hollow);

// The colour of the legend's key.
constexpr std::string_view key_colour = "#444444";

// "1 entry", "10 entries".
std::string entries(std::int32_t size);

// Nanoseconds in the unit that suits them, to three significant digits at least: 812 ns,
// 1.23 µs, 40.1 ms.
std::string duration_cell(double ns);

// How a row's value reads in the descriptions.
using value_text = std::function<std::string(const row& r)>;

// The range of a series in words: "2.9 at 10 entries to 13.3 at 10000 entries".
std::string span_in_words(const std::vector<const row*>& rows, const value_text& value);

// Where each line of a panel begins and ends, for a reader who cannot see it.
std::string series_in_words(const std::vector<series>& all, std::size_t side,
                            const value_text& value);

// "from 1 to 10k on a logarithmic axis".
std::string axis_span(const axis& a, tick_label label);

}  // namespace velk_lab
