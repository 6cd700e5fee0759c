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

#include "lab/measure/drive.hpp"
#include "lab/measure/results.hpp"
#include "lab/report/chart_axes.hpp"
#include "lab/report/chart_panel.hpp"
#include "lab/report/charts.hpp"
#include "lab/report/svg.hpp"

namespace velk_lab {

// What a chart draws across: the list size, or the threads searching at once.
enum class across { size, threads };

// What tells one series of a chart from another: the method, the keys it searched, how the
// searches were driven and by how many threads (none where the chart draws the threads across).
// Whatever else comes to tell rows apart joins here, and every chart follows.
struct series_key {
  std::string_view method;
  std::string_view keys;
  int key_bits = 0;
  drive_mode mode = drive_mode::throughput;
  int threads = 0;

  // Whether `other` was measured in the same conditions: on the same keys, in the same mode and
  // with the same threads.
  [[nodiscard]] bool same_conditions(const series_key& other) const {
    return keys == other.keys && key_bits == other.key_bits && mode == other.mode &&
           threads == other.threads;
  }
  friend bool operator==(const series_key&, const series_key&) = default;
};

series_key key_of(const row& r, across drawn = across::size);

// How one series is drawn in every chart, from its place among the run's series.
struct look {
  std::string_view colour;
  shape marker = shape::circle;
};

// The look of the series at `index`. No two of the first 88 share both colour and marker, and
// each differs in both from the one before it.
look look_at(std::size_t index);

// What the charts plot of a row; NaN where a row has no such value.
using row_value = std::function<double(const row& r)>;

// Which rows a chart takes, which markers are hollow.
using row_test = std::function<bool(const row& r)>;

// The rows of one series, each half in ascending order of what the chart draws across.
struct series {
  series_key key;
  // As the legend, the tooltips and the descriptions name it: the method, with whatever else
  // tells it apart where the run has more than one of that: "binary1", "binary1 (uniform
  // 64-bit keys)", "binary1 (latency, 2 threads)"; `said` is that part alone, or empty. The
  // plain name stands for the default: throughput, one thread.
  std::string name;
  std::string said;
  look style;
  bool counted = false;
  double (*place)(const row& r) = nullptr;  // where a row stands across
  std::array<std::vector<const row*>, 2> halves;
};

// The rows that `taken` takes (all when it is empty) gathered by key, the series in the order
// they first appear, each looking as `look_at` its place.
std::vector<series> series_of(std::span<const row> rows, across drawn = across::size,
                              const row_test& taken = {});

// The halves in the order of a series' `halves` and of the charts' panels.
constexpr std::array<half, 2> sides{half::successful, half::unsuccessful};

double list_size(const row& r);
double measured_mean(const row& r);
double expected_mean(const row& r);
double median_time(const row& r);
double least_time(const row& r);
double greatest_time(const row& r);
double layout_time(const row& r);
double bytes_per_key(const row& r);
double thread_count(const row& r);
double searches_per_second(const row& r);

// Whether a row's repetitions spread more widely than widest_spread_percent.
bool spread_widely(const row& r);

// Every value of `taken` over the rows of `all`, both halves.
std::vector<double> values_of(const std::vector<series>& all,
                              std::initializer_list<row_value> taken);

// Where the rows of `s` (some of its half) have their `value` on the panel, for those where it
// has a place.
points points_of(const panel& p, const series& s, const std::vector<const row*>& rows,
                 const row_value& value);

// "binary1, successful: what".
std::string series_title(const series& s, std::size_t side, std::string_view what);

// The line of a series' `value` on one half, titled with what it shows.
std::string line_of(const panel& p, const series& s, std::size_t side, const row_value& value,
                    bool dashed, double width, std::string_view what);

// What a marker's tooltip says.
using tooltip_text = std::function<std::string(const series& of, const row& r)>;

// The markers of `rows` of a series at their `value`, grouped under a title that names the
// series and what they show (`shown`), each with its tooltip.
std::string markers_of(const panel& p, const series& s, const std::vector<const row*>& rows,
                       std::string_view shown, const row_value& value, const row_test& hollow,
                       const tooltip_text& say);

// A series' name as the legend and the descriptions give it: a baseline says so, as in
// "std-lower-bound (baseline)" or "std-lower-bound (dense keys, latency, baseline)".
std::string shown_name(const series& s);

// For each series, the earlier one whose every value of `taken` it equals, size by size on both
// halves, so that it is drawn right over it; or none.
std::vector<const series*> coinciding(const std::vector<series>& all,
                                      std::initializer_list<row_value> taken);

// A legend's sample of a look: its line, solid or dashed, with its marker.
std::string look_sample(const look& style, bool dashed);

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

// "1 thread", "2 threads".
std::string threads_said(int threads);

// How a row's value, or where it stands, reads in the descriptions.
using value_text = std::function<std::string(const row& r)>;
std::string at_size(const row& r);     // "10 entries"
std::string at_threads(const row& r);  // "2 threads"

// The range of a series in words, from where its first row stands to its last: "2.9 at 10
// entries to 13.3 at 10000 entries".
std::string span_in_words(const std::vector<const row*>& rows, const value_text& value,
                          const value_text& where = at_size);

// Where each line of a panel begins and ends, for a reader who cannot see it.
std::string series_in_words(const std::vector<series>& all, std::size_t side,
                            const value_text& value, const value_text& where = at_size);

// "from 1 to 10k on a logarithmic axis".
std::string axis_span(const axis& a, tick_label label);

}  // namespace velk_lab
