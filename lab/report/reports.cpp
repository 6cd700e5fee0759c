#include "reports.hpp"

#include <algorithm>
#include <array>

namespace velk_lab {

namespace {

constexpr std::array<report_format, 4> formats{{
    {"table", "aligned columns for a terminal", table_report},
    {"csv", "one line per row, for spreadsheets and scripts", csv_report},
    {"json", "Google Benchmark's JSON, which its tools read", json_report},
    {"markdown", "a table for a code-hosting site", markdown_report},
}};

}  // namespace

std::span<const report_format> report_formats() { return formats; }

const report_format* find_format(std::string_view name) {
  const auto* const at = std::find_if(formats.begin(), formats.end(),
                                      [name](const report_format& f) { return f.name == name; });
  return at == formats.end() ? nullptr : at;
}

}  // namespace velk_lab
