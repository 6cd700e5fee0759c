#include <fmt/format.h>

#include <iterator>
#include <string>
#include <vector>

#include "lab/report/reports.hpp"
#include "lab/report/text_cells.hpp"

namespace velk_lab {

// The cells hold no character that markdown would read as markup: names, numbers, "-" and "%".
std::string markdown_report(const run_context& /*context*/, std::span<const row> rows) {
  std::string heading = "|";
  std::string alignment = "|";
  for (const text_column& c : text_columns()) {
    fmt::format_to(std::back_inserter(heading), " {} |", c.heading);
    alignment += c.numeric ? "---:|" : "---|";
  }
  std::string text = heading + "\n" + alignment + "\n";
  for (const row& r : rows) {
    std::string line = "|";
    for (const std::string& cell : text_cells(r)) {
      line += " " + cell + " |";
    }
    text += line + "\n";
  }
  return text;
}

}  // namespace velk_lab
