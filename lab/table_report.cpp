#include <fmt/core.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "lab/reports.hpp"
#include "lab/text_cells.hpp"

namespace velk_lab {

std::string table_report(const run_context& context, std::span<const row> rows) {
  const std::span<const text_column> columns = text_columns();
  std::vector<std::vector<std::string>> cells;
  cells.reserve(rows.size());
  std::vector<std::size_t> widths;
  for (const text_column& c : columns) {
    widths.push_back(c.heading.size());
  }
  for (const row& r : rows) {
    cells.push_back(text_cells(r));
    for (std::size_t i = 0; i < columns.size(); ++i) {
      widths[i] = std::max(widths[i], cells.back()[i].size());
    }
  }
  std::string text = context_lines(context) + "\n";
  const auto add_line = [&](auto cell_of) {
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const std::string_view cell = cell_of(i);
      const std::string_view gap = i == 0 ? "" : "  ";
      line += columns[i].numeric ? fmt::format("{}{:>{}}", gap, cell, widths[i])
                                 : fmt::format("{}{:<{}}", gap, cell, widths[i]);
    }
    while (!line.empty() && line.back() == ' ') {
      line.pop_back();
    }
    text += line + "\n";
  };
  add_line([&](std::size_t i) { return columns[i].heading; });
  for (const std::vector<std::string>& row_cells : cells) {
    add_line([&](std::size_t i) { return std::string_view(row_cells[i]); });
  }
  return text;
}

}  // namespace velk_lab
