// The HTML report: its axes in round numbers over any values, its charts for any run, and the
// page around them. How a browser renders it is html_browser_test.py's part.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "lab/measure/statistics.hpp"
#include "lab/report/chart_axes.hpp"
#include "lab/report/chart_series.hpp"
#include "lab/report/charts.hpp"
#include "lab/report/reports.hpp"
#include "lab_samples.hpp"

namespace {

using velk_lab::half;
using velk_lab::row;

std::vector<std::string> labels_of(const velk_lab::axis& a) {
  std::vector<std::string> labels;
  for (const velk_lab::tick& t : a.ticks) {
    if (!t.label.empty()) {
      labels.push_back(t.label);
    }
  }
  return labels;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// How many panels, each a drawing of its own, the markup holds.
std::size_t panels_in(const std::string& text) {
  return count_of(text, R"(<svg xmlns="http://www.w3.org/2000/svg" class="chart")");
}

TEST(LabChartAxes, RoundTicksOverAnyValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct axis_case {
    const char* what;
    velk_lab::axis made;
    double low;
    double high;
    std::vector<std::string> labels;
  };
  const axis_case cases[] = {
      {"sizes over decades",
       velk_lab::log_axis({{10, 100, 1000, 10000}}, 1, velk_lab::round_number),
       10,
       10000,
       {"10", "100", "1k", "10k"}},
      {"sizes inside one decade",
       velk_lab::log_axis({{20, 70}}, 1, velk_lab::round_number),
       10,
       100,
       {"10", "20", "50", "100"}},
      {"the size 1 alone: not below 1",
       velk_lab::log_axis({{1}}, 1, velk_lab::round_number),
       1,
       10,
       {"1", "2", "5", "10"}},
      {"one size on a power of ten: a decade either side",
       velk_lab::log_axis({{1000}}, 1, velk_lab::round_number),
       100,
       10000,
       {"100", "200", "500", "1k", "2k", "5k", "10k"}},
      {"the largest size",
       velk_lab::log_axis({{1073741823}}, 1, velk_lab::round_number),
       1e9,
       1e10,
       {"1G", "2G", "5G", "10G"}},
      {"nothing positive or finite",
       velk_lab::log_axis({{0, -3, nan}}, 0, velk_lab::round_number),
       1,
       10,
       {"1", "2", "5", "10"}},
      {"times below a nanosecond",
       velk_lab::log_axis({{0.8, 3.2}}, 0, velk_lab::round_duration),
       0.1,
       10,
       {"0.1 ns", "0.2 ns", "0.5 ns", "1 ns", "2 ns", "5 ns", "10 ns"}},
      {"times in their units",
       velk_lab::log_axis({{12, 2900, 4e6}}, 0, velk_lab::round_duration),
       10,
       1e7,
       {"10 ns", "100 ns", "1 µs", "10 µs", "100 µs", "1 ms", "10 ms"}},
      {"a second",
       velk_lab::log_axis({{2e9}}, 0, velk_lab::round_duration),
       1e9,
       1e10,
       {"1 s", "2 s", "5 s", "10 s"}},
      {"linear, steps of 2",
       velk_lab::linear_axis({{2.3, 13.36, nan}}, velk_lab::round_number),
       0,
       14,
       {"0", "2", "4", "6", "8", "10", "12", "14"}},
      {"linear, a greatest value on a step",
       velk_lab::linear_axis({{1}}, velk_lab::round_number),
       0,
       1,
       {"0", "0.2", "0.4", "0.6", "0.8", "1"}},
      {"linear, decimals that print short",
       velk_lab::linear_axis({{0.3}}, velk_lab::round_number),
       0,
       0.3,
       {"0", "0.05", "0.1", "0.15", "0.2", "0.25", "0.3"}},
      {"linear, thousands",
       velk_lab::linear_axis({{2500}}, velk_lab::round_number),
       0,
       2500,
       {"0", "500", "1k", "1.5k", "2k", "2.5k"}},
      {"linear, whole steps for counts",
       velk_lab::linear_axis({{1, 2}}, velk_lab::round_number, 1),
       0,
       2,
       {"0", "1", "2"}},
      {"linear, all zero",
       velk_lab::linear_axis({{0, 0}}, velk_lab::round_number),
       0,
       1,
       {"0", "0.2", "0.4", "0.6", "0.8", "1"}},
  };
  for (const axis_case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.made.low, c.low);
    EXPECT_EQ(c.made.high, c.high);
    EXPECT_EQ(labels_of(c.made), c.labels);
    ASSERT_FALSE(c.made.ticks.empty());
    EXPECT_EQ(c.made.ticks.front().value, c.low);
    EXPECT_EQ(c.made.ticks.back().value, c.high);
    for (const velk_lab::tick& t : c.made.ticks) {
      const double f = c.made.fraction(t.value);
      EXPECT_TRUE(f >= -1e-12 && f <= 1 + 1e-12) << t.value << " at " << f;
    }
  }
  // Over more than two decades, the multiples between the powers of ten are minor ticks.
  const velk_lab::axis sizes = velk_lab::log_axis({{10, 10000}}, 1, velk_lab::round_number);
  EXPECT_EQ(sizes.ticks.size(), 4U + 3 * 8);
}

row measured_row(std::string_view method, std::int32_t size, half which, bool counted,
                 std::int64_t comparisons, std::vector<double> wall) {
  row r;
  r.method = method;
  r.keys = "odd";
  r.size = size;
  r.which = which;
  r.counted = counted;
  r.searches = size;
  r.comparisons = counted ? comparisons : 0;
  if (counted) {
    r.expected_comparisons = comparisons;
  }
  r.expected_targets = size;
  r.timed_searches = 1000;
  r.wall_ns = std::move(wall);
  r.repetition_searches.assign(r.wall_ns.size(), r.timed_searches);
  r.cpu_ns = r.wall_ns;
  r.wall = velk_lab::summarize(r.wall_ns);
  r.cpu = velk_lab::summarize(r.cpu_ns);
  return r;
}

// Sequential and binary search at four sizes and a baseline: n against log n.
std::vector<row> several_rows() {
  std::vector<row> rows;
  for (const std::int32_t n : {10, 100, 1000, 10000}) {
    for (const half which : {half::successful, half::unsuccessful}) {
      const auto t = static_cast<double>(n);
      rows.push_back(measured_row("sequential", n, which, true, std::int64_t{n} * (n + 1) / 2,
                                  {t, t * 1.1, t * 0.9}));
      rows.push_back(measured_row("binary1", n, which, true,
                                  std::int64_t{n} * static_cast<std::int64_t>(std::log2(t) + 1),
                                  {20 + t / 1000, 25 + t / 1000, 19 + t / 1000}));
      rows.push_back(measured_row("std-lower-bound", n, which, false, 0, {15, 16, 14}));
    }
  }
  return rows;
}

// The reports' sample context with markup in the host and the command line, which the page
// must escape.
velk_lab::run_context sample_context() {
  velk_lab::run_context c = velk_test::sample_context();
  c.host = "lab<host>";
  c.command_line = {"velk", "--seed", "42", "--html", "a<b>&'c\".html"};
  return c;
}

// Nothing a browser would fetch, nor a number the arithmetic could not give.
void expect_self_contained_and_finite(const std::string& text) {
  for (const char* banned : {"<script", "<link", "<img", "<iframe", "<object", "<embed",
                             "src=", "href=", "url(", "@import"}) {
    EXPECT_EQ(text.find(banned), std::string::npos) << banned;
  }
  // "nan" or "inf" as a word of its own, in any case, is a number gone wrong.
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto letter = [&](std::size_t at) {
    return at < lower.size() && std::isalpha(static_cast<unsigned char>(lower[at])) != 0;
  };
  for (const std::string word : {"nan", "inf"}) {
    for (std::size_t at = lower.find(word); at != std::string::npos;
         at = lower.find(word, at + 1)) {
      EXPECT_TRUE((at > 0 && letter(at - 1)) || letter(at + word.size()))
          << text.substr(at > 20 ? at - 20 : 0, 50);
    }
  }
  // The one address is the SVG namespace, which names and loads nothing.
  EXPECT_EQ(count_of(text, "://"), count_of(text, "xmlns=\"http://www.w3.org/2000/svg\""));
}

TEST(LabHtml, PageHoldsTheContextBothChartsAndEveryRow) {
  const std::vector<row> rows = several_rows();
  const std::string page = velk_lab::html_report(sample_context(), rows);
  EXPECT_EQ(page.rfind("<!DOCTYPE html>\n<html lang=\"en\">", 0), 0U);
  EXPECT_NE(page.find("Content-Security-Policy\" content=\"default-src 'none'"), std::string::npos);
  expect_self_contained_and_finite(page);
  for (const char* shown :
       {"<dt>Date</dt><dd>2025-03-04T05:06:07+01:00</dd>", "<dt>Host</dt><dd>lab&lt;host&gt;</dd>",
        "<dd>Some CPU @ 2.00GHz (2 CPUs online)</dd>", "<dd>GCC 12.2.0</dd>",
        "<dd>RelWithDebInfo, assertions off</dd>", "<dt>Seed</dt><dd>42</dd>",
        "3 timed repetitions of each row, each of at least 0.25 s"}) {
    EXPECT_NE(page.find(shown), std::string::npos) << shown;
  }
  EXPECT_NE(page.find("<code>velk --seed 42 --html "
                      "&#39;a&lt;b&gt;&amp;&#39;\\&#39;&#39;c&quot;.html&#39;</code>"),
            std::string::npos);
  EXPECT_NE(page.find("<title>velk: sequential, binary1, std-lower-bound at 10, 100, 1000, 10000 "
                      "entries</title>"),
            std::string::npos);
  EXPECT_EQ(panels_in(page), 3U * 2);  // comparisons, time, time relative to the baseline
  EXPECT_EQ(count_of(page, "<tr>"), rows.size() + 1);
  EXPECT_NE(
      page.find("<tr><td>binary1</td><td>odd</td><td>throughput</td><td class=\"n\">1</td><td "
                "class=\"n\">1000</td><td>unsuccessful</td>"),
      std::string::npos);
  EXPECT_NE(page.find("<td class=\"n\">-</td><td class=\"n\">-</td>"), std::string::npos);
  EXPECT_EQ(page.substr(page.size() - 8), "</html>\n");

  velk_lab::run_context unseeded = sample_context();
  unseeded.seed.reset();
  EXPECT_NE(velk_lab::html_report(unseeded, rows)
                .find("<dt>Seed</dt><dd>none: every generator in its default state</dd>"),
            std::string::npos);
}

TEST(LabHtml, ChartsDrawEveryRowWithItsMarkerAndSayWhatTheyShow) {
  const std::vector<row> rows = several_rows();
  const std::string comparisons = velk_lab::comparisons_chart(rows);
  const std::string time = velk_lab::time_chart(rows);
  for (const std::string* chart : {&comparisons, &time}) {
    EXPECT_EQ(chart->rfind("<div class=\"panels\">\n<svg xmlns=\"http://www.w3.org/2000/svg\"", 0),
              0U);
    EXPECT_EQ(count_of(*chart, "role=\"img\""), 2U);
    EXPECT_EQ(panels_in(*chart), 2U);
    expect_self_contained_and_finite(*chart);
  }
  // A marker with its tooltip per counted row, per row; the legend's markers have none.
  EXPECT_EQ(count_of(comparisons, " expected</title>"), 16U);
  EXPECT_EQ(count_of(time, " over 3 repetitions"), 24U);
  EXPECT_NE(comparisons.find("<title>binary1, 1000 entries, unsuccessful: 10 comparisons measured, "
                             "10 expected</title>"),
            std::string::npos);
  EXPECT_NE(time.find("<title>std-lower-bound, 10 entries, successful: median 15.0 ns, 14.0 to "
                      "16.0 ns over 3 repetitions, spread widely (6.7% of the median)</title>"),
            std::string::npos);
  // n against log n: the comparisons go up a logarithmic axis; the baseline counts nothing and
  // is only in the time chart, dashed and named so.
  EXPECT_NE(comparisons.find("<title id=\"comparisons-unsuccessful-title\">Comparisons per search "
                             "against list size: unsuccessful searches</title>"),
            std::string::npos);
  EXPECT_NE(comparisons.find("List size from 10 to 10k on a logarithmic axis; comparisons per "
                             "search from 1 to 10k on a logarithmic axis."),
            std::string::npos);
  EXPECT_NE(comparisons.find(" sequential, successful: 5.5 at 10 entries to 5000.5 at 10000 "
                             "entries."),
            std::string::npos);
  EXPECT_EQ(comparisons.find("std-lower-bound"), std::string::npos);
  EXPECT_NE(time.find("wall-clock time per search from 1 ns to 100 µs on a logarithmic axis."),
            std::string::npos);
  EXPECT_NE(time.find(" std-lower-bound (baseline), unsuccessful: 15.0 ns at 10 entries to 15.0 "
                      "ns at 10000 entries."),
            std::string::npos);
  EXPECT_NE(time.find(">std-lower-bound (baseline)</li>"), std::string::npos);
  EXPECT_EQ(count_of(time, "stroke-dasharray"), 2U + 2);  // both halves, legend, key

  // Binary search alone spans less than two decades: a linear axis from 0.
  std::vector<row> binary;
  std::copy_if(rows.begin(), rows.end(), std::back_inserter(binary),
               [](const row& r) { return r.method == "binary1"; });
  EXPECT_NE(velk_lab::comparisons_chart(binary).find(
                "comparisons per search from 0 to 14 on a linear axis."),
            std::string::npos);
}

TEST(LabHtml, ARunOfOneSizeOneMethodOrBaselinesAloneStillGivesCharts) {
  // One method at the size 1: a decade from 1, markers and a dashed stroke for the expected
  // mean, a bar for the spread of the times instead of a band.
  const std::vector<row> single{
      measured_row("binary1", 1, half::successful, true, 1, {9.0, 8.0, 12.0}),
      measured_row("binary1", 1, half::unsuccessful, true, 1, {7.0, 7.0, 7.0})};
  const std::string comparisons = velk_lab::comparisons_chart(single);
  const std::string time = velk_lab::time_chart(single);
  for (const std::string* chart : {&comparisons, &time}) {
    expect_self_contained_and_finite(*chart);
    EXPECT_NE(chart->find("List size from 1 to 10 on a logarithmic axis"), std::string::npos);
    EXPECT_EQ(count_of(*chart, "<polyline"), 0U);  // a single point draws no line
  }
  EXPECT_EQ(count_of(comparisons, " expected</title>"), 2U);
  EXPECT_EQ(count_of(time, " over 3 repetitions"), 2U);
  EXPECT_NE(comparisons.find("comparisons per search from 0 to 1 on a linear axis"),
            std::string::npos);
  EXPECT_NE(comparisons.find("binary1, successful: 1 at 1 entry."), std::string::npos);
  EXPECT_EQ(count_of(comparisons, "stroke-dasharray"), 2U + 1);  // both halves, the key
  EXPECT_NE(time.find("from 1 ns to 100 ns"), std::string::npos);
  EXPECT_EQ(count_of(time, "<polygon"), 0U);
  EXPECT_EQ(count_of(time, "least to greatest repetition</title></path>"), 2U);  // a bar per half

  // Baselines alone count nothing: no comparisons chart, and the page says why.
  const std::vector<row> baseline{
      measured_row("std-find", 1000, half::successful, false, 0, {300, 290, 310}),
      measured_row("std-find", 1000, half::unsuccessful, false, 0, {600, 590, 610})};
  EXPECT_EQ(velk_lab::comparisons_chart(baseline), "");
  EXPECT_EQ(velk_lab::relative_chart(baseline), "");  // a single method has nothing beside it
  const std::string page = velk_lab::html_report(sample_context(), baseline);
  expect_self_contained_and_finite(page);
  EXPECT_EQ(panels_in(page), 2U);
  EXPECT_NE(page.find("<p>No method of this run counts its comparisons.</p>"), std::string::npos);
}

// A method that builds a layout of its own gets a third chart, of the building time; the
// others draw none.
TEST(LabHtml, LayoutBuildingTimeHasAChartOfItsOwn) {
  std::vector<row> rows = several_rows();
  EXPECT_EQ(velk_lab::layout_chart(rows), "");
  for (const std::int32_t n : {10, 1000, 10000}) {
    for (const half which : {half::successful, half::unsuccessful}) {
      row built = measured_row("eytzinger", n, which, true, std::int64_t{n} * 4, {9, 10, 11});
      built.layout_ns = 40.0 * n;
      rows.push_back(built);
    }
  }
  const std::string chart = velk_lab::layout_chart(rows);
  expect_self_contained_and_finite(chart);
  EXPECT_EQ(count_of(chart, ": the layout built in "), 3U);  // a marker per size, not per half
  EXPECT_NE(chart.find("<title>eytzinger, 10000 entries: the layout built in 400 µs</title>"),
            std::string::npos);
  EXPECT_NE(chart.find("List size from 10 to 10k on a logarithmic axis; time to build the layout "
                       "from 100 ns to 1 ms on a logarithmic axis. eytzinger: 400 ns at 10 "
                       "entries to 400 µs at 10000 entries."),
            std::string::npos);
  EXPECT_EQ(chart.find("binary1"), std::string::npos);
  const std::string page = velk_lab::html_report(sample_context(), rows);
  EXPECT_EQ(panels_in(page), 3U * 2 + 1);
  EXPECT_NE(page.find("<h2 id=\"layout\">Building the layout</h2>"), std::string::npos);
}

TEST(LabHtml, MarkupIsEscapedInContentAndAttributes) {
  EXPECT_EQ(velk_lab::escaped("a<b>&'c\"d"), "a&lt;b&gt;&amp;&#39;c&quot;d");
  EXPECT_EQ(velk_lab::escaped("µs"), "µs");
  const std::vector<row> odd{measured_row("<odd & \"name\">", 10, half::successful, true, 20, {5})};
  for (const std::string& chart : {velk_lab::comparisons_chart(odd), velk_lab::time_chart(odd)}) {
    EXPECT_EQ(chart.find("<odd"), std::string::npos);
    EXPECT_NE(chart.find("&lt;odd &amp; &quot;name&quot;&gt;"), std::string::npos);
  }
}

// The page's panels read back as a reader's eye reads them: each axis from its labelled ticks,
// each mark through the axes to a value, and that value against the row it stands for.
// What `text` holds between the first `open` from `at` on and the next `close`; empty if none.
std::string between(const std::string& text, const std::string& open, char close,
                    std::size_t at = 0) {
  const std::size_t start = text.find(open, at);
  return start == std::string::npos
             ? ""
             : text.substr(start + open.size(),
                           text.find(close, start + open.size()) - start - open.size());
}

struct mark {
  std::string tag;
  std::string attributes;
  std::string title;  // or a text's content
  [[nodiscard]] std::string operator[](const std::string& name) const {
    return between(attributes, " " + name + "=\"", '"');
  }
};

// Each panel's id and its shapes and texts, in order; the legends' samples are left out.
std::vector<std::pair<std::string, std::vector<mark>>> panels_of(const std::string& page) {
  std::vector<std::pair<std::string, std::vector<mark>>> out;
  for (std::size_t at = page.find("class=\"chart\""); at != std::string::npos;
       at = page.find("class=\"chart\"", at + 1)) {
    const std::string panel = page.substr(at, page.find("</svg>", at) - at);
    out.emplace_back(between(panel, "aria-labelledby=\"", '"'), std::vector<mark>{});
    for (std::size_t tag = panel.find('<'); tag != std::string::npos;
         tag = panel.find('<', tag + 1)) {
      const std::size_t name_end = panel.find_first_of(" />", tag);
      const std::string name = panel.substr(tag + 1, name_end - tag - 1);
      if (name == "path" || name == "polyline" || name == "polygon" || name == "text") {
        const std::size_t end = panel.find('>', tag);
        const std::size_t content = end + 1 + (panel.compare(end + 1, 7, "<title>") == 0 ? 7 : 0);
        out.back().second.push_back({name, panel.substr(name_end, end - name_end),
                                     panel.substr(content, panel.find('<', content) - content)});
      }
    }
  }
  return out;
}

// What a title names: "binary1, 1000 entries, unsuccessful: ..." (a marker), "eytzinger, 10
// entries: ..." (a layout's marker), "binary1 (latency), 10 entries, 2 threads, successful: ..."
// (a marker of the threads chart) or "binary1 (latency, 2 threads), successful: the median" (a
// line or band).
struct named {
  std::string method;
  std::string said;  // what the series' name says besides the method, in parentheses
  std::string keys;  // the keys and their width that it names, if any
  int key_bits = 0;
  std::int32_t size = 0;  // none: 0
  int threads = 0;        // none: 0
  half which = half::successful;
  std::string what;
};

// Nothing (no method) for a title that names no series.
named named_in(const std::string& title) {
  const std::size_t colon = title.find(": ");
  if (colon == std::string::npos) {
    return {};
  }
  named out{"", "", "", 0, 0, 0, half::successful, title.substr(colon + 2)};
  const std::string subject = title.substr(0, colon);
  const std::size_t name_end = std::min({subject.find(','), subject.find(" ("), subject.size()});
  out.method = subject.substr(0, name_end);
  std::size_t parts = name_end;
  if (subject.compare(name_end, 2, " (") == 0) {
    parts = subject.find(')', name_end) + 1;
    out.said = subject.substr(name_end + 2, parts - name_end - 3);
    // "books 64-bit keys, latency": the keys' name, their width, or both.
    std::istringstream said(out.said.substr(0, out.said.find(" keys")));
    for (std::string word; said >> word && out.said.find(" keys") != std::string::npos;) {
      if (word.ends_with("-bit")) {
        out.key_bits = std::stoi(word);
      } else {
        out.keys = word;
      }
    }
  }
  std::istringstream words(subject.substr(std::min(parts, subject.size())));
  for (std::string word, previous; words >> word; previous = word) {
    if (word.starts_with("entr")) {
      out.size = std::stoi(previous);
    } else if (word.starts_with("thread")) {
      out.threads = std::stoi(previous);
    } else if (word.starts_with("unsuccessful")) {
      out.which = half::unsuccessful;
    }
  }
  return out;
}

// A tick's label as its value: "1k", "10 µs", "0.5×".
double label_value(const std::string& label) {
  std::size_t used = 0;
  const double number = std::stod(label, &used);
  for (const auto& [unit, scale] :
       {std::pair{"k", 1e3}, {"M", 1e6}, {"G", 1e9}, {" µs", 1e3}, {" ms", 1e6}, {" s", 1e9}}) {
    if (label.substr(used).starts_with(unit)) {
      return number * scale;
    }
  }
  return number;
}

constexpr double drawn_tolerance = 0.15;  // coordinates are written to a tenth

// An axis as its labelled ticks draw it: where a value stands on it, and whether the ticks are
// spaced by their logarithm rather than by their value.
struct drawn_axis {
  std::function<double(double)> at;
  bool logarithmic;
};

// The axis of the tick labels of class `kind`, placed by their `coordinate`: through its least
// and greatest labels, by value or by logarithm as all its labels fit. Its values must grow
// in the direction of `growth` (1: rightwards, -1: upwards).
drawn_axis axis_of(const std::vector<mark>& marks, const std::string& kind,
                   const std::string& coordinate, double growth) {
  std::vector<std::pair<double, double>> ticks;
  for (const mark& m : marks) {
    if (m["class"] == kind) {
      ticks.emplace_back(label_value(m.title), std::stod(m[coordinate]));
    }
  }
  EXPECT_GE(ticks.size(), 3U) << kind;
  std::sort(ticks.begin(), ticks.end());
  const double low = ticks.front().first;
  const double low_at = ticks.front().second;
  const double high = ticks.back().first;
  const double high_at = ticks.back().second;
  const auto through = [=](bool logarithmic) {
    const auto f = [=](double v) { return logarithmic ? std::log(v) : v; };
    return [=](double v) {
      return low_at + (f(v) - f(low)) / (f(high) - f(low)) * (high_at - low_at);
    };
  };
  const auto miss = [&](bool logarithmic) {
    double most = 0;
    for (const auto& [value, at] : ticks) {
      most = std::max(most, std::abs(through(logarithmic)(value) - at));
    }
    return most;
  };
  const bool logarithmic = low > 0 && miss(true) < miss(false);
  EXPECT_LE(miss(logarithmic), drawn_tolerance) << kind;
  EXPECT_GT((high_at - low_at) * growth, 0) << kind;
  return {through(logarithmic), logarithmic};
}

// Three runs: n against log n beside a baseline that is not the first method, with a layout
// (logarithmic comparisons and ratios); two methods of equal counts and no standard baseline
// (linear comparisons and ratios); and two key sets of two widths, each searched in both modes
// by one and two threads, with a layout of their width (a page grouped per key set).
struct run_case {
  std::vector<row> rows;
  std::string baseline;
  bool logarithmic;
};

std::vector<row> key_sets_drives_and_layouts() {
  std::vector<row> rows;
  for (const std::string_view method : {"binary1", "eytzinger", "std-lower-bound"}) {
    for (const auto& [keys, bits] : {std::pair{"odd", 32}, {"books", 64}}) {
      for (const velk_lab::drive_mode mode :
           {velk_lab::drive_mode::throughput, velk_lab::drive_mode::latency}) {
        for (const int threads : {1, 2}) {
          for (const std::int32_t n : {10, 1000}) {
            for (const half which : {half::successful, half::unsuccessful}) {
              // Every drive, key set and method apart, so that a mark of the wrong row shows.
              const double t = (method == "binary1"     ? 20
                                : method == "eytzinger" ? 12
                                                        : 30) *
                               (mode == velk_lab::drive_mode::latency ? 3 : 1) *
                               (threads == 2 ? 1.2 : 1) * (bits == 64 ? 1.1 : 1) *
                               (n == 10 ? 1 : 2);
              const std::int64_t counts =
                  std::int64_t{n} * (method == "eytzinger" ? (n == 10 ? 5 : 11) : 4);
              row r = measured_row(method, n, which, method != "std-lower-bound", counts,
                                   {t, t * 1.02, t * 0.98});
              r.keys = keys;
              r.key_bits = bits;
              r.mode = mode;
              r.threads = threads;
              r.searches_per_second = threads * 1e9 / t;
              if (method == "eytzinger") {
                r.layout_ns = 40.0 * n;
                r.layout_bytes = std::int64_t{n} * (bits / 8) + 64;
              }
              rows.push_back(r);
            }
          }
        }
      }
    }
  }
  return rows;
}

std::vector<run_case> run_cases() {
  std::vector<row> first = several_rows();
  std::vector<row> second;
  for (const row& r : first) {
    if (r.method == "binary1") {
      second.push_back(r);
      second.push_back(measured_row("recbinary1", r.size, r.which, true, r.comparisons,
                                    {r.wall.median * 1.3, r.wall.median * 1.2, 40}));
    }
  }
  for (const std::int32_t n : {10, 1000, 10000}) {
    for (const half which : {half::successful, half::unsuccessful}) {
      first.push_back(measured_row("eytzinger", n, which, true, std::int64_t{n} * 4, {9, 10, 13}));
      first.back().layout_ns = 40.0 * n;
    }
  }
  std::vector<row> third = key_sets_drives_and_layouts();
  for (std::vector<row>* rows : {&first, &second, &third}) {
    for (row& r : *rows) {  // the expected mean apart from the measured one
      if (r.counted) {
        r.expected_comparisons = r.comparisons + r.size;
      }
    }
  }
  return {{first, "std-lower-bound", true},
          {second, "binary1", false},
          {third, "std-lower-bound", false}};
}

// The key sets of a run in its order, as the page numbers its groups.
std::vector<std::string_view> key_sets_of(const std::vector<row>& rows) {
  std::vector<std::string_view> sets;
  for (const row& r : rows) {
    if (std::find(sets.begin(), sets.end(), r.keys) == sets.end()) {
      sets.push_back(r.keys);
    }
  }
  return sets;
}

TEST(LabHtml, EveryMarkStandsForItsRowThroughAxesReadFromTheDrawing) {
  for (const run_case& run : run_cases()) {
    const std::vector<row>& rows = run.rows;
    const std::string& baseline = run.baseline;
    SCOPED_TRACE(baseline);
    const std::vector<std::string_view> key_sets = key_sets_of(rows);
    // The plain name stands for the first drive: throughput (where the run has it), the fewest
    // threads.
    const velk_lab::drive_mode plain_mode = rows.front().mode;
    const int plain_threads = rows.front().threads;
    const bool several_threads = std::any_of(
        rows.begin(), rows.end(), [&](const row& r) { return r.threads != plain_threads; });
    const auto beside = [&](const row& r, std::string_view method) {
      return std::find_if(rows.begin(), rows.end(), [&](const row& b) {
        return b.method == method && b.keys == r.keys && b.mode == r.mode &&
               b.threads == r.threads && b.size == r.size && b.which == r.which;
      });
    };
    const auto first_drive = [&](const row& r) {
      return r.mode == plain_mode && r.threads == plain_threads;
    };
    const auto largest = [&](const row& r) {
      return std::none_of(rows.begin(), rows.end(),
                          [&](const row& o) { return o.keys == r.keys && o.size > r.size; });
    };
    const auto ratio = [&](const row& r) {
      return r.wall.median / beside(r, baseline)->wall.median;
    };
    const auto spread = [](const row& r) { return r.wall.mad_percent > 5; };
    const auto either_spread = [&](const row& r) {
      return spread(r) || spread(*beside(r, baseline));
    };
    using value_of = std::function<double(const row&)>;
    using test_of = std::function<bool(const row&)>;
    const value_of median = [](const row& r) { return r.wall.median; };
    const value_of layout = [](const row& r) { return r.layout_ns.value_or(0); };
    const value_of bytes = [](const row& r) {
      return static_cast<double>(r.layout_bytes.value_or(0)) / r.size;
    };
    const value_of rate = [](const row& r) { return r.searches_per_second; };
    const value_of size = [](const row& r) { return r.size; };
    const value_of threads = [](const row& r) { return r.threads; };
    const test_of built = [&](const row& r) {
      return r.layout_ns && r.which == half::successful && first_drive(r);
    };
    const test_of never = [](const row&) { return false; };
    const test_of always = [](const row&) { return true; };
    const value_of greatest = [](const row& r) { return r.wall.max; };
    const value_of least = [](const row& r) { return r.wall.min; };
    const value_of expected = &row::mean_expected_comparisons;
    // Each chart: where its markers and lines stand up and across, which rows it draws, which
    // markers are hollow, whether its values go up a logarithmic axis; the markers found.
    struct chart_meaning {
      std::string chart;
      value_of value;
      test_of drawn;
      test_of hollow;
      bool logarithmic;
      value_of across;
      std::ptrdiff_t markers = 0;
    } charts[] = {
        {"comparisons", &row::mean_comparisons,
         [&](const row& r) { return r.counted && first_drive(r); }, never, run.logarithmic, size},
        {"time", median, always, spread, true, size},
        {"relative", ratio, always, either_spread, run.logarithmic, size},
        {"layout", layout, built, never, true, size},
        {"bytes", bytes, [&](const row& r) { return built(r) && r.layout_bytes.has_value(); },
         never, false, size},
        {"threads", rate, [&](const row& r) { return several_threads && largest(r); }, never, false,
         threads}};
    for (const auto& [id, marks] : panels_of(velk_lab::html_report(sample_context(), rows))) {
      SCOPED_TRACE(id);
      const std::string& name = id;
      if (name == "distribution-title") {
        continue;  // the keys, not the rows: the next test's
      }
      chart_meaning& chart =
          *std::find_if(std::begin(charts), std::end(charts),
                        [&](const chart_meaning& c) { return name.starts_with(c.chart + "-"); });
      // A page grouped per key set numbers its charts' ids: "time-2-latency-successful".
      const std::string group = name.substr(chart.chart.size() + 1, 1);
      const std::string_view keys =
          std::isdigit(static_cast<unsigned char>(group[0])) != 0
              ? key_sets.at(static_cast<std::size_t>(std::stoi(group)) - 1)
              : std::string_view();
      const drawn_axis across = axis_of(marks, "tick-x", "x", 1);
      const drawn_axis up = axis_of(marks, "tick-y", "y", -1);
      EXPECT_EQ(across.logarithmic, chart.chart != "threads");
      const bool logarithmic = chart.logarithmic;
      EXPECT_EQ(up.logarithmic, logarithmic);
      for (const mark& m : marks) {
        const named n = named_in(m.title);
        if (m.tag == "text" || n.method.empty()) {
          continue;
        }
        // The row a point stands for: the one its title names, in the panel's key set and the
        // drive its name says, at the place its title gives or where it stands across.
        const velk_lab::drive_mode mode = n.said.find("latency") != std::string::npos
                                              ? velk_lab::drive_mode::latency
                                              : plain_mode;
        const std::size_t said_threads = n.said.find(" threads");
        const int drive_threads =
            said_threads != std::string::npos
                ? std::stoi(n.said.substr(n.said.rfind(' ', said_threads - 1) + 1))
                : plain_threads;
        const auto expect_at = [&](double x, double y, const auto& value) -> const row& {
          std::vector<const row*> found;
          for (const row& r : rows) {
            const bool placed = (n.size == 0 || r.size == n.size) &&
                                (n.threads == 0 || r.threads == n.threads) &&
                                std::abs(across.at(chart.across(r)) - x) <= drawn_tolerance;
            const bool keyed = (keys.empty() || r.keys == keys) &&
                               (n.keys.empty() || r.keys == n.keys) &&
                               (n.key_bits == 0 || r.key_bits == n.key_bits);
            if (r.method == n.method && r.which == n.which && keyed && r.mode == mode &&
                (chart.chart == "threads" || r.threads == drive_threads) && placed &&
                chart.drawn(r)) {
              found.push_back(&r);
            }
          }
          EXPECT_EQ(found.size(), 1U) << m.title << " at " << x;
          const row& at = found.empty() ? rows.front() : *found.front();
          EXPECT_NEAR(y, up.at(value(at)), drawn_tolerance) << m.title;
          return at;
        };
        if (m.tag == "path" && n.size > 0) {
          std::istringstream translation(m["transform"].substr(std::strlen("translate(")));
          double x = 0;
          double y = 0;
          EXPECT_TRUE(translation >> x >> y) << m["transform"];
          const row& r = expect_at(x, y, chart.value);
          EXPECT_EQ(m["fill"] == "#ffffff", chart.hollow(r)) << m.title;
          ++chart.markers;
        } else if (m.tag == "polyline" || m.tag == "polygon") {
          std::istringstream text(m["points"]);
          std::vector<std::pair<double, double>> points;
          for (double x = 0, y = 0; text >> x && text.ignore() >> y;) {
            points.emplace_back(x, y);
          }
          // A band: the greatest repetitions rightwards, then the least back.
          for (std::size_t i = 0; i < points.size(); ++i) {
            const bool upper = i < points.size() / 2;
            expect_at(points[i].first, points[i].second,
                      m.tag == "polygon"              ? (upper ? greatest : least)
                      : n.what == "the expected mean" ? expected
                                                      : chart.value);
          }
        }
      }
    }
    for (const chart_meaning& chart : charts) {
      EXPECT_EQ(chart.markers, std::count_if(rows.begin(), rows.end(), chart.drawn)) << chart.chart;
    }
  }
}

// Rows of two modes and two thread counts are four series, named by what sets them apart from
// the plain one; the page groups its charts per key set, in the run's order, with a row of
// panels per way of driving the searches.
TEST(LabHtml, DrivesAreSeriesOfTheirOwnAndKeySetsGroupsOfTheirOwn) {
  const std::vector<row> rows = key_sets_drives_and_layouts();
  std::vector<std::string> names;
  for (const velk_lab::series& s :
       velk_lab::series_of(rows, velk_lab::across::size,
                           [](const row& r) { return r.method == "binary1" && r.keys == "odd"; })) {
    names.push_back(s.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"binary1", "binary1 (2 threads)", "binary1 (latency)",
                                             "binary1 (latency, 2 threads)"}));

  const std::string page = velk_lab::html_report(sample_context(), rows);
  expect_self_contained_and_finite(page);
  EXPECT_LT(page.find("<h2 id=\"set-1\">odd keys (32-bit)</h2>"),
            page.find("<h2 id=\"set-2\">books keys (64-bit)</h2>"));
  // Per key set: comparisons (one drive, the counts being alike), then time and relative (four
  // drives) and threads (two modes), both halves each; the layouts' two once for the run.
  EXPECT_EQ(panels_in(page), 2 * (2 + 8 + 8 + 4) + 2U);
  EXPECT_NE(page.find(">Time per search against list size: unsuccessful searches, latency, 2 "
                      "threads</title>"),
            std::string::npos);
  EXPECT_NE(page.find("Each way of driving the searches has its own row of panels"),
            std::string::npos);
  // The layouts are keyed by width: one series per key set, each told by its keys.
  const std::string bytes = velk_lab::bytes_chart(rows);
  EXPECT_NE(bytes.find(">eytzinger (books 64-bit keys)</li>"), std::string::npos);
  EXPECT_NE(bytes.find("<title>eytzinger (odd 32-bit keys), 1000 entries: the layout takes 4064 "
                       "bytes, 4.06 per key</title>"),
            std::string::npos);
}

// The keys' chart draws each key set's points where the context has them, one line each, its
// markers on them, over the diagonal.
TEST(LabHtml, TheKeysChartDrawsEachKeySetsCumulativeDistribution) {
  velk_lab::run_context context = sample_context();
  context.key_sets = {{"odd", 32, "", {{0, 0}, {0.5, 0.5}, {1, 1}}},
                      {"none", 64, "", {}},
                      {"lognormal", 64, "", {}}};
  for (int i = 0; i <= 16; ++i) {
    const double rank = i / 16.0;
    context.key_sets[2].cumulative.emplace_back(rank * rank * rank, rank);
  }
  const std::string page = velk_lab::html_report(context, several_rows());
  const auto panels = panels_of(page);
  const auto keys = std::find_if(panels.begin(), panels.end(),
                                 [](const auto& p) { return p.first == "distribution-title"; });
  ASSERT_NE(keys, panels.end());
  const std::vector<mark>& marks = keys->second;
  const drawn_axis across = axis_of(marks, "tick-x", "x", 1);
  const drawn_axis up = axis_of(marks, "tick-y", "y", -1);
  EXPECT_FALSE(across.logarithmic || up.logarithmic);
  std::vector<std::string> lines;
  std::size_t markers = 0;
  for (const mark& m : marks) {
    const std::string set = m.title.substr(0, m.title.find(' '));
    const auto of = std::find_if(context.key_sets.begin(), context.key_sets.end(),
                                 [&](const velk_lab::key_set_context& k) { return k.name == set; });
    const auto on_curve = [&](double x, double y) {
      return of != context.key_sets.end() &&
             std::any_of(of->cumulative.begin(), of->cumulative.end(), [&](const auto& p) {
               return std::abs(across.at(p.first) - x) <= drawn_tolerance &&
                      std::abs(up.at(p.second) - y) <= drawn_tolerance;
             });
    };
    if (m.title.starts_with("the diagonal")) {
      EXPECT_EQ(m.tag, "polyline");
      EXPECT_EQ(m["points"], fmt::format("{:.1f},{:.1f} {:.1f},{:.1f}", across.at(0), up.at(0),
                                         across.at(1), up.at(1)));
    } else if (m.tag == "polyline") {
      lines.push_back(m.title);
      std::istringstream text(m["points"]);
      std::size_t count = 0;
      for (double x = 0, y = 0; text >> x && text.ignore() >> y; ++count) {
        EXPECT_TRUE(on_curve(x, y)) << m.title << " at " << x << "," << y;
      }
      EXPECT_EQ(count, of->cumulative.size()) << m.title;
    } else if (m.tag == "path" && !m.title.empty()) {
      std::istringstream translation(m["transform"].substr(std::strlen("translate(")));
      double x = 0;
      double y = 0;
      EXPECT_TRUE(translation >> x >> y);
      EXPECT_TRUE(on_curve(x, y)) << m.title;
      ++markers;
    }
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"odd keys (32-bit): the cumulative distribution",
                                             "lognormal keys (64-bit): the cumulative "
                                             "distribution"}));
  // Every point of a short line; every eighth of a long one, the second set's half a step along.
  EXPECT_EQ(markers, 3U + 8);
  EXPECT_NE(page.find("lognormal keys (64-bit): furthest from the diagonal at key 0.178, rank "
                      "0.562 (0.385 apart)."),
            std::string::npos);
}

TEST(LabHtml, LegendTellsSixteenSeriesApartAndNamesTheOnesThatCoincide) {
  std::vector<std::string> names(16, "method");
  std::vector<row> rows;
  for (std::size_t i = 0; i < names.size(); ++i) {
    names[i] += std::to_string(i);
    rows.push_back(measured_row(names[i], 100, half::successful, true, 700, {50, 51, 49}));
  }
  // Each series entry's look: its marker's outline and colour.
  const std::string chart = velk_lab::time_chart(rows);
  std::vector<std::pair<std::string, std::string>> looks;
  for (std::size_t at = chart.find("</svg>method"); at != std::string::npos;
       at = chart.find("</svg>method", at + 1)) {
    const std::size_t marker = chart.rfind("<path d=\"", at);
    looks.emplace_back(between(chart, "<path d=\"", '"', marker),
                       between(chart, "fill=\"", '"', marker));
  }
  ASSERT_EQ(looks.size(), names.size());
  for (std::size_t i = 0; i < looks.size(); ++i) {
    EXPECT_EQ(std::count(looks.begin(), looks.end(), looks[i]), 1) << names[i];
    EXPECT_TRUE(i == 0 ||
                (looks[i].first != looks[i - 1].first && looks[i].second != looks[i - 1].second))
        << names[i];
  }
  // Equal counts at every size lie on one line, and the legend says so; their times differ.
  const std::vector<row> twins = run_cases()[1].rows;
  EXPECT_NE(velk_lab::comparisons_chart(twins).find(">recbinary1 = binary1</li>"),
            std::string::npos);
  EXPECT_EQ(velk_lab::time_chart(twins).find(" = "), std::string::npos);
}

// A method on two key sets is two series, each named by its keys and each measured against the
// baseline on the same keys.
TEST(LabHtml, AMethodOnEachKeySetIsASeriesOfItsOwn) {
  std::vector<row> rows;
  for (const std::string_view keys : {"odd", "uniform"}) {
    for (const std::int32_t n : {10, 1000}) {
      const double slower = keys == "odd" ? 1 : 4;  // the uniform keys' baseline 4 times slower
      rows.push_back(
          measured_row("binary1", n, half::successful, true, std::int64_t{n} * 4, {30, 30, 30}));
      rows.push_back(measured_row("std-lower-bound", n, half::successful, false, 0,
                                  {15 * slower, 15 * slower, 15 * slower}));
      rows[rows.size() - 2].keys = rows.back().keys = keys;
    }
  }
  const std::string comparisons = velk_lab::comparisons_chart(rows);
  EXPECT_NE(comparisons.find(">binary1 (odd keys)</li>"), std::string::npos);
  EXPECT_NE(comparisons.find(">binary1 (uniform keys) = binary1 (odd keys)</li>"),
            std::string::npos);
  EXPECT_EQ(count_of(comparisons, " comparisons measured"), 4U);  // one marker a row
  const std::string relative = velk_lab::relative_chart(rows);
  EXPECT_NE(relative.find("<title>binary1 (odd keys), 1000 entries, successful: 2"),
            std::string::npos);
  EXPECT_NE(relative.find("<title>binary1 (uniform keys), 1000 entries, successful: 0.5"),
            std::string::npos);
  EXPECT_NE(relative.find(">std-lower-bound (uniform keys, baseline) = std-lower-bound (odd "
                          "keys, baseline)</li>"),
            std::string::npos);
}

}  // namespace
