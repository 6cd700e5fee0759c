#include <fmt/core.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "lab/report/reports.hpp"
#include "lab/report/text_cells.hpp"

namespace velk_lab {

std::string table_report(const run_context& context, std::span<const row> rows) {
  const std::span<const text_column> columns = text_columns();
  std::vector<std::vector<std::string>> lines;
  lines.reserve(rows.size() + 1);
  lines.emplace_back(columns.size());
  std::transform(columns.begin(), columns.end(), lines.front().begin(),
                 [](const text_column& c) { return std::string(c.heading); });
  for (const row& r : rows) {
    lines.push_back(text_cells(r));
  }
  std::vector<std::size_t> widths(columns.size(), 0);
  for (const std::vector<std::string>& cells : lines) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      widths[i] = std::max(widths[i], cells[i].size());
    }
  }
  std::string text = context_lines(context) + "\n";
  for (const std::vector<std::string>& cells : lines) {
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const char* const gap = i == 0 ? "" : "  ";
      line += columns[i].numeric ? fmt::format("{}{:>{}}", gap, cells[i], widths[i])
                                 : fmt::format("{}{:<{}}", gap, cells[i], widths[i]);
    }
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  return text;
}

}  // namespace velk_lab
