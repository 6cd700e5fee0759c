#include <fmt/core.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "lab/report/columns.hpp"
#include "lab/report/reports.hpp"
#include "lab/report/text_cells.hpp"

namespace velk_lab {

std::string table_report(const run_context& context, std::span<const row> rows) {
  const std::vector<const column*> shown = columns_for(for_people, rows);
  std::vector<std::vector<std::string>> lines;
  lines.reserve(rows.size() + 1);
  lines.emplace_back();
  for (const column* c : shown) {
    lines.front().emplace_back(c->heading);
  }
  for (const row& r : rows) {
    std::vector<std::string> cells;
    cells.reserve(shown.size());
    for (const column* c : shown) {
      cells.push_back(c->text(r));
    }
    lines.push_back(std::move(cells));
  }
  std::vector<std::size_t> widths(shown.size(), 0);
  for (const std::vector<std::string>& cells : lines) {
    for (std::size_t i = 0; i < shown.size(); ++i) {
      widths[i] = std::max(widths[i], cells[i].size());
    }
  }
  std::string text = context_lines(context) + "\n";
  for (const std::vector<std::string>& cells : lines) {
    std::string line;
    for (std::size_t i = 0; i < shown.size(); ++i) {
      const char* const gap = i == 0 ? "" : "  ";
      line += shown[i]->numeric ? fmt::format("{}{:>{}}", gap, cells[i], widths[i])
                                : fmt::format("{}{:<{}}", gap, cells[i], widths[i]);
    }
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  return text;
}

}  // namespace velk_lab
