#include <fmt/format.h>

#include <iterator>
#include <string>

#include "lab/report/columns.hpp"
#include "lab/report/reports.hpp"

namespace velk_lab {

// The cells hold no character that markdown would read as markup: names, numbers, "-" and "%".
std::string markdown_report(const run_context& /*context*/, std::span<const row> rows) {
  std::string heading = "|";
  std::string alignment = "|";
  for (const column& c : columns()) {
    if (shows(c, for_people)) {
      fmt::format_to(std::back_inserter(heading), " {} |", c.heading);
      alignment += c.numeric ? "---:|" : "---|";
    }
  }
  std::string text = heading + "\n" + alignment + "\n";
  for (const row& r : rows) {
    std::string line = "|";
    for (const column& c : columns()) {
      if (shows(c, for_people)) {
        line += " " + c.text(r) + " |";
      }
    }
    text += line + "\n";
  }
  return text;
}

}  // namespace velk_lab
