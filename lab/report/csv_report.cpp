#include <fmt/core.h>

#include <string>
#include <variant>

#include "lab/report/columns.hpp"
#include "lab/report/reports.hpp"

namespace velk_lab {

namespace {

// A field as RFC 4180 writes it: in double quotes, its own doubled, when it holds a comma, a
// quote or a line break.
std::string field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    return text;
  }
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  }
  return quoted + "\"";
}

// Numbers as the shortest decimal that reads back as the same value; nothing as an empty field.
std::string field(const cell_value& value) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    return field(*text);
  }
  if (const auto* count = std::get_if<std::int64_t>(&value)) {
    return fmt::format("{}", *count);
  }
  if (const auto* number = std::get_if<double>(&value)) {
    return fmt::format("{}", *number);
  }
  return "";
}

}  // namespace

std::string csv_report(const run_context& /*context*/, std::span<const row> rows) {
  std::string text;
  for (const column& c : columns()) {
    if (shows(c, for_csv)) {
      text += (text.empty() ? "" : ",") + std::string(c.name);
    }
  }
  text += '\n';
  for (const row& r : rows) {
    std::string line;
    bool first = true;
    for (const column& c : columns()) {
      if (shows(c, for_csv)) {
        line += (first ? "" : ",") + field(c.value(r));
        first = false;
      }
    }
    text += line + '\n';
  }
  return text;
}

}  // namespace velk_lab
