#include <fmt/core.h>
#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lab/report/charts.hpp"
#include "lab/report/columns.hpp"
#include "lab/report/reports.hpp"
#include "lab/report/svg.hpp"
#include "lab/report/text_cells.hpp"

namespace velk_lab {

namespace {

// The page carries everything it shows: the policy forbids every load but its own inline
// style, so that a browser fetches nothing even if some text were taken for a reference.
constexpr std::string_view head = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'">
<meta name="viewport" content="width=device-width, initial-scale=1">
)";

constexpr std::string_view style = R"(<style>
:root { color-scheme: light; }
body { margin: 2rem auto; padding: 0 1rem; max-width: 68rem; color: #1a1a1a; background: #ffffff;
  font: 15px/1.45 "DejaVu Sans", Verdana, sans-serif; }
h1 { font-size: 1.6rem; margin-bottom: 0.3rem; }
h2 { font-size: 1.2rem; margin: 2rem 0 0.6rem; border-bottom: 1px solid #cccccc; }
dl { display: grid; grid-template-columns: max-content 1fr; gap: 0.15rem 1.2rem; margin: 0; }
dt { font-weight: bold; }
dd { margin: 0; }
code { font-family: "DejaVu Sans Mono", monospace; font-size: 0.9em; overflow-wrap: anywhere; }
figure { margin: 0; }
.panels { display: flex; flex-wrap: wrap; gap: 0.5rem 1.5rem; }
svg.chart { flex: 1 1 340px; min-width: 0; max-width: 600px; height: auto; }
.legend { list-style: none; margin: 0.6rem 0 0; padding: 0; font-size: 0.9rem; }
.legend.series { display: grid; grid-template-columns: repeat(auto-fill, minmax(14rem, 1fr));
  gap: 0.15rem 1rem; }
.legend.key { display: flex; flex-wrap: wrap; gap: 0.15rem 1.5rem; color: #444444; }
.legend li { display: flex; align-items: center; gap: 0.5rem; }
.legend svg { flex: none; }
figcaption { font-size: 0.9rem; color: #444444; margin-top: 0.4rem; }
.rows { overflow-x: auto; }
table { border-collapse: collapse; font-size: 0.75rem; font-variant-numeric: tabular-nums; }
caption { text-align: left; font-size: 0.9rem; color: #444444; padding-bottom: 0.4rem; }
th, td { padding: 0.15rem 0.35rem; border-bottom: 1px solid #dddddd; white-space: nowrap; }
th { text-align: left; vertical-align: bottom; white-space: normal; border-bottom: 2px solid #888888; }
.n { text-align: right; }
@media print {
  html { font-size: 10pt; }
  body { margin: 0; max-width: none; font-size: 10pt; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  h2 { break-after: avoid; }
  figure, tr { break-inside: avoid; }
  .rows { overflow: visible; }
  table { font-size: 6.3pt; }
  th, td { padding: 0.05rem 0.2rem; }
  thead { display: table-header-group; }
}
</style>
</head>
)";

std::string entry(std::string_view term, const std::string& definition) {
  return fmt::format("<dt>{}</dt><dd>{}</dd>\n", term, definition);
}

std::string context_section(const run_context& context) {
  const std::string seed = context.seed.has_value() ? fmt::format("{}", *context.seed)
                                                    : "none: every generator in its default state";
  std::string out = "<section aria-labelledby=\"run\">\n<h2 id=\"run\">The run</h2>\n<dl>\n";
  out += entry("Date", escaped(context.date));
  out += entry("Host", escaped(context.host));
  out += entry("Processor",
               fmt::format("{} ({} CPUs online)", escaped(context.processor), context.cpus));
  out += entry("Compiler", escaped(context.compiler));
  out += entry("Build", fmt::format("{}, assertions {}", escaped(context.build_type),
                                    context.assertions ? "on" : "off"));
  out += entry("Seed", escaped(seed));
  for (const key_set_context& set : context.key_sets) {
    out += entry("Keys", fmt::format("<code>{}</code>: {}", escaped(set.name), escaped(set.made)));
  }
  if (context.skew.has_value()) {
    out += entry("Targets", fmt::format("Zipf-skewed by {}", *context.skew));
  }
  out +=
      entry("Repetitions", fmt::format("{} timed repetition{} of each row, each of at least {} s",
                                       context.repetitions, context.repetitions == 1 ? "" : "s",
                                       context.min_time));
  out += entry("Command line",
               "<code>" + escaped(command_line_text(context.command_line)) + "</code>");
  out += entry("Version", "velk " + escaped(context.version));
  return out + "</dl>\n</section>\n";
}

// A chart's section: its heading, then the chart's panels and legend in a figure, and the
// caption that says how to read it.
std::string chart_section(std::string_view id, std::string_view heading, const std::string& chart,
                          std::string_view caption) {
  return fmt::format(
      "<section aria-labelledby=\"{0}\">\n<h2 id=\"{0}\">{1}</h2>\n<figure>\n{2}"
      "<figcaption>{3}</figcaption>\n</figure>\n</section>\n",
      id, heading, chart, caption);
}

std::string rows_section(std::span<const row> rows) {
  std::string out =
      "<section aria-labelledby=\"rows\">\n<h2 id=\"rows\">Every row</h2>\n<div class=\"rows\">\n"
      "<table>\n<caption>One row per method, size and half. Comparisons are means per search; "
      "times are nanoseconds per search, the median of the repetitions with the least, the "
      "greatest and the median absolute deviation.</caption>\n<thead><tr>";
  const std::vector<const column*> shown = columns_for(for_people, rows);
  for (const column* c : shown) {
    out += fmt::format("<th scope=\"col\"{}>{}</th>", c->numeric ? " class=\"n\"" : "",
                       escaped(c->heading));
  }
  out += "</tr></thead>\n<tbody>\n";
  for (const row& r : rows) {
    out += "<tr>";
    for (const column* c : shown) {
      out += fmt::format("<td{}>{}</td>", c->numeric ? " class=\"n\"" : "", escaped(c->text(r)));
    }
    out += "</tr>\n";
  }
  return out + "</tbody>\n</table>\n</div>\n</section>\n";
}

// The run's methods and sizes in the order they first appear.
std::pair<std::vector<std::string_view>, std::vector<std::int32_t>> names_and_sizes(
    std::span<const row> rows) {
  std::vector<std::string_view> methods;
  std::vector<std::int32_t> sizes;
  for (const row& r : rows) {
    if (std::find(methods.begin(), methods.end(), r.method) == methods.end()) {
      methods.push_back(r.method);
    }
    if (std::find(sizes.begin(), sizes.end(), r.size) == sizes.end()) {
      sizes.push_back(r.size);
    }
  }
  return {methods, sizes};
}

constexpr std::string_view comparisons_caption =
    "The mean number of key comparisons per search, as each method counts them: measured over "
    "the half's searches (the targets velk_ts would draw) and expected over every target of the "
    "half. Methods whose counts are equal at every size lie on one line: the later one is drawn "
    "over the earlier, and the legend names them together, as in “recbinary1 = "
    "binary1”.";

constexpr std::string_view time_caption =
    "Wall-clock time per search: the median of the repetitions, and a band from the least to "
    "the greatest. Each repetition times many searches on a stream of fresh targets, so this is "
    "the time of a search among many, not of a lone one. A hollow marker says that the "
    "repetitions spread widely (their median absolute deviation is above {}% of the median), so "
    "that the median is less sure.";

constexpr std::string_view relative_caption =
    "Each method's median time per search divided by the baseline's on the same keys, size and "
    "half: "
    "std-lower-bound when the run has it, otherwise the run's first method, whose own line lies "
    "at 1. Below 1 is faster than the baseline. A hollow marker says that the method's or the "
    "baseline's repetitions spread widely (median absolute deviation above {}% of the median).";

constexpr std::string_view layout_caption =
    "The wall-clock time of building a method's own layout of the list, once per size and "
    "outside the timed searches: the median of repeated builds.";

}  // namespace

std::string html_report(const run_context& context, std::span<const row> rows) {
  const auto [methods, sizes] = names_and_sizes(rows);
  const std::string methods_text = fmt::format("{}", fmt::join(methods, ", "));
  const std::string sizes_text = fmt::format("{}", fmt::join(sizes, ", "));
  std::string page(head);
  page += fmt::format("<meta name=\"generator\" content=\"velk {}\">\n", escaped(context.version));
  page += fmt::format("<title>velk: {} at {} entries</title>\n", escaped(methods_text),
                      escaped(sizes_text));
  page += style;
  page += fmt::format(
      "<body>\n<header>\n<h1>Search methods compared</h1>\n<p>{} at list sizes {}: the key "
      "comparisons of each search and the time it takes, measured by velk {} on {}.</p>\n"
      "</header>\n<main>\n",
      escaped(methods_text), escaped(sizes_text), escaped(context.version), escaped(context.date));
  page += context_section(context);
  const std::string comparisons = comparisons_chart(rows);
  page += comparisons.empty()
              ? "<section aria-labelledby=\"comparisons\">\n<h2 id=\"comparisons\">Comparisons "
                "per search</h2>\n<p>No method of this run counts its comparisons.</p>\n"
                "</section>\n"
              : chart_section("comparisons", "Comparisons per search", comparisons,
                              comparisons_caption);
  page += chart_section("time", "Time per search", time_chart(rows),
                        fmt::format(time_caption, widest_spread_percent));
  if (const std::string relative = relative_chart(rows); !relative.empty()) {
    page += chart_section("relative", "Time relative to a baseline", relative,
                          fmt::format(relative_caption, widest_spread_percent));
  }
  if (const std::string layout = layout_chart(rows); !layout.empty()) {
    page += chart_section("layout", "Building the layout", layout, layout_caption);
  }
  page += rows_section(rows);
  return page + "</main>\n</body>\n</html>\n";
}

}  // namespace velk_lab
