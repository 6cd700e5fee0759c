// The reporters: each writes the finished rows and their context in one format, whole, as text.
// One file each; none of them measures anything.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "lab/measure/results.hpp"

namespace velk_lab {

// Aligned columns for a terminal, with the context above them.
std::string table_report(const run_context& context, std::span<const row> rows);

// One header line, then one line per row.
std::string csv_report(const run_context& context, std::span<const row> rows);

// The document Google Benchmark writes: the context, then one entry per row and repetition and
// the mean, median and standard deviation of each row, so that its tools read it.
std::string json_report(const run_context& context, std::span<const row> rows);

// A table that renders on a code-hosting site.
std::string markdown_report(const run_context& context, std::span<const row> rows);

// A page for a browser, whole in itself (nothing loaded from elsewhere, no script), that prints:
// the context, a chart of the comparisons and one of the time per search against list size,
// and every row as the table shows it.
std::string html_report(const run_context& context, std::span<const row> rows);

// The format table: each format of --format, its name, what it is for and its reporter. The
// options, the help and the errors read it.
struct report_format {
  std::string_view name;
  std::string_view summary;
  std::string (*write)(const run_context& context, std::span<const row> rows);
};

std::span<const report_format> report_formats();

// The format of that name, or none.
const report_format* find_format(std::string_view name);

}  // namespace velk_lab
