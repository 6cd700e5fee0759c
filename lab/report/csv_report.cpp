#include <fmt/core.h>

#include <string>

#include "lab/report/reports.hpp"

namespace velk_lab {

namespace {

constexpr std::string_view header =
    "method,size,half,searches,comparisons,expected_comparisons,repetitions,timed_searches,"
    "wall_ns_median,wall_ns_min,wall_ns_max,wall_mad_percent,"
    "cpu_ns_median,cpu_ns_min,cpu_ns_max,cpu_mad_percent,layout_ns\n";

// The shortest decimal that reads back as the same double.
std::string exact(double value) { return fmt::format("{}", value); }

}  // namespace

// Names hold no comma or quote, so no field is quoted. A baseline's comparison fields are empty,
// and so is the layout time of a method that builds no layout.
std::string csv_report(const run_context& /*context*/, std::span<const row> rows) {
  std::string text(header);
  for (const row& r : rows) {
    text += fmt::format(
        "{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{}\n", r.method, r.size,
        half_name(r.which), r.searches, r.counted ? exact(r.mean_comparisons()) : "",
        r.counted ? exact(r.mean_expected_comparisons()) : "", r.wall_ns.size(), r.timed_searches,
        exact(r.wall.median), exact(r.wall.min), exact(r.wall.max), exact(r.wall.mad_percent),
        exact(r.cpu.median), exact(r.cpu.min), exact(r.cpu.max), exact(r.cpu.mad_percent),
        r.layout_ns.has_value() ? exact(*r.layout_ns) : "");
  }
  return text;
}

}  // namespace velk_lab
