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
h3 { font-size: 1.05rem; margin: 1.6rem 0 0.5rem; }
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
  h2, h3 { break-after: avoid; }
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
  if (context.huge_pages.has_value()) {
    out += entry("Huge pages", fmt::format("{} to the lists of 2 MiB or more",
                                           huge_pages_said(*context.huge_pages)));
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

// A chart's section: its heading (of `level`, 2 or 3), then the chart's panels and legend in a
// figure, and the caption that says how to read it.
std::string chart_section(std::string_view id, std::string_view heading, const std::string& chart,
                          std::string_view caption, int level = 2) {
  return fmt::format(
      "<section aria-labelledby=\"{0}\">\n<h{4} id=\"{0}\">{1}</h{4}>\n<figure>\n{2}"
      "<figcaption>{3}</figcaption>\n</figure>\n</section>\n",
      id, heading, chart, caption, level);
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

constexpr std::string_view throughput_words =
    "each repetition times many searches on a stream of fresh targets, which the processor "
    "overlaps, so this is the time of a search among many, not of a lone one";

constexpr std::string_view latency_words =
    "each target waits for the answer to the search before it, so no two searches overlap and "
    "this is the time of a lone search, as a program sees it when each lookup depends on the "
    "last";

// Whether the rows were measured in more than one mode, in latency mode at all, and with more
// than one thread count.
struct drives_of {
  bool both_modes = false;
  bool latency = false;
  bool several_threads = false;

  explicit drives_of(std::span<const row> rows) {
    for (const row& r : rows) {
      both_modes = both_modes || r.mode != rows.front().mode;
      latency = latency || r.mode == drive_mode::latency;
      several_threads = several_threads || r.threads != rows.front().threads;
    }
  }
};

std::string time_caption(const drives_of& drives) {
  std::string out =
      "Wall-clock time per search: the median of the repetitions, and a band from the least to "
      "the greatest. ";
  if (drives.both_modes || drives.several_threads) {
    out += "Each way of driving the searches has its own row of panels, on the same axes. ";
  }
  if (drives.both_modes) {
    out += fmt::format(
        "Throughput: {}. Latency: {}. Where a method's lead is smaller in latency than in "
        "throughput, it came from overlapping its searches. ",
        throughput_words, latency_words);
  } else {
    out += fmt::format("In {} mode, {}. ", drives.latency ? "latency" : "throughput",
                       drives.latency ? latency_words : throughput_words);
  }
  if (drives.several_threads) {
    out +=
        "Where several threads searched at once, each its own stream, the time is that of a "
        "search within one thread. ";
  }
  return out + fmt::format(
                   "A hollow marker says that the repetitions spread widely (their median "
                   "absolute deviation is above {}% of the median), so that the median is less "
                   "sure.",
                   widest_spread_percent);
}

constexpr std::string_view relative_caption =
    "Each method's median time per search divided by the baseline's beside it, measured on the "
    "same keys, in the same mode and with the same threads, at the same size and half: "
    "std-lower-bound when the run has it, otherwise the run's first method, whose own line lies "
    "at 1. Below 1 is faster than the baseline. A hollow marker says that the method's or the "
    "baseline's repetitions spread widely (median absolute deviation above {}% of the median).";

constexpr std::string_view threads_caption =
    "The searches per second of every thread together, at the largest size, against the number "
    "of threads searching at once, each its own stream over the same keys and layout on a "
    "processor of its own where the system allows. A line that rises in proportion to the "
    "threads scales fully; one that flattens has met a limit the threads share, such as the "
    "memory's bandwidth or a core that two threads take turns on.";

constexpr std::string_view layout_caption =
    "The wall-clock time of building a method's own layout of the list, once per size and "
    "outside the timed searches: the median of repeated builds. Every mode and thread count "
    "searches the same layout.";

constexpr std::string_view bytes_caption =
    "The bytes of a method's own layout divided by the keys in the list: what the layout costs "
    "beside the keys themselves, which take 4 bytes each at 32 bits and 8 at 64. A layout that "
    "holds the keys in another order takes at least their width; an index over the keys, such "
    "as a model of where they lie, can take far less.";

constexpr std::string_view distribution_caption =
    "How each key set's keys spread over their range: the rank of each key (0 for the first, 1 "
    "for the last) against its value (0 for the least, 1 for the greatest). A search that "
    "interpolates probes where a target would lie if the keys rose in a straight line from the "
    "least to the greatest: the diagonal. Where a key set's curve stays on the diagonal, as "
    "evenly spaced keys do, its first probe lands on or next to the target; the further the "
    "curve strays from the diagonal, the further the probes fall from the target and the more "
    "of them it needs.";

// The charts of a run's results, or of one key set's: comparisons, time, time relative to the
// baseline and, with several thread counts, searches per second against threads. `suffix` ends
// their ids, unique on the page; `level` is their headings'.
std::string result_sections(std::span<const row> rows, std::string_view suffix, int level) {
  const drives_of drives(rows);
  const auto id = [&](std::string_view name) { return fmt::format("{}{}", name, suffix); };
  std::string out;
  const std::string comparisons = comparisons_chart(rows, id("comparisons"));
  out += comparisons.empty()
             ? fmt::format(
                   "<section aria-labelledby=\"{0}\">\n<h{1} id=\"{0}\">Comparisons per "
                   "search</h{1}>\n<p>No method of this run counts its comparisons.</p>\n"
                   "</section>\n",
                   id("comparisons"), level)
             : chart_section(id("comparisons"), "Comparisons per search", comparisons,
                             comparisons_caption, level);
  out += chart_section(id("time"), "Time per search", time_chart(rows, id("time")),
                       time_caption(drives), level);
  if (const std::string relative = relative_chart(rows, id("relative")); !relative.empty()) {
    out += chart_section(id("relative"), "Time relative to a baseline", relative,
                         fmt::format(relative_caption, widest_spread_percent), level);
  }
  if (const std::string threads = threads_chart(rows, id("threads")); !threads.empty()) {
    out += chart_section(id("threads"), "Searches per second against threads", threads,
                         threads_caption, level);
  }
  return out;
}

// The run's rows of each key set, the key sets in the order of the run.
std::vector<std::vector<row>> rows_by_key_set(std::span<const row> rows) {
  std::vector<std::vector<row>> sets;
  for (const row& r : rows) {
    auto at = std::find_if(sets.begin(), sets.end(), [&](const std::vector<row>& set) {
      return set.front().keys == r.keys && set.front().key_bits == r.key_bits;
    });
    if (at == sets.end()) {
      sets.emplace_back();
      at = sets.end() - 1;
    }
    at->push_back(r);
  }
  return sets;
}

// The results: with one key set, its charts; with several, a section for each key set that
// names it, says how it was made and holds its charts.
std::string results_sections(const run_context& context, std::span<const row> rows) {
  const std::vector<std::vector<row>> sets = rows_by_key_set(rows);
  if (sets.size() < 2) {
    return result_sections(rows, "", 2);
  }
  std::string out;
  for (std::size_t k = 0; k < sets.size(); ++k) {
    const row& first = sets[k].front();
    const auto made = std::find_if(context.key_sets.begin(), context.key_sets.end(),
                                   [&](const key_set_context& set) {
                                     return set.name == first.keys && set.bits == first.key_bits;
                                   });
    const std::string id = fmt::format("set-{}", k + 1);
    out += fmt::format(
        "<section aria-labelledby=\"{0}\">\n<h2 id=\"{0}\">{1} keys ({2}-bit)</h2>\n{3}", id,
        escaped(first.keys), first.key_bits,
        made == context.key_sets.end() ? "" : "<p>" + escaped(made->made) + "</p>\n");
    out += result_sections(sets[k], fmt::format("-{}", k + 1), 3);
    out += "</section>\n";
  }
  return out;
}

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
  if (const std::string keys = distribution_chart(context.key_sets); !keys.empty()) {
    page += chart_section("distribution", "The keys", keys, distribution_caption);
  }
  page += results_sections(context, rows);
  if (const std::string layout = layout_chart(rows); !layout.empty()) {
    page += chart_section("layout", "Building the layout", layout, layout_caption);
  }
  if (const std::string bytes = bytes_chart(rows); !bytes.empty()) {
    page += chart_section("bytes", "The layout's bytes per key", bytes, bytes_caption);
  }
  page += rows_section(rows);
  return page + "</main>\n</body>\n</html>\n";
}

}  // namespace velk_lab
