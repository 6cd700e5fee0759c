#include "results.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <string_view>

namespace velk_lab {

namespace {

bool plain_word(std::string_view word) {
  constexpr std::string_view punctuation = "_./=,:+-";
  return !word.empty() && std::all_of(word.begin(), word.end(), [&](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           punctuation.find(c) != std::string_view::npos;
  });
}

bool is_control(char c) {
  const auto byte = static_cast<unsigned char>(c);
  constexpr unsigned char first_printable = 0x20;
  constexpr unsigned char delete_byte = 0x7f;
  return byte < first_printable || byte == delete_byte;
}

// `argument` in single quotes, each quote in it closed, escaped and opened again.
std::string single_quoted(std::string_view argument) {
  std::string quoted = "'";
  for (const char c : argument) {
    quoted += c == '\'' ? std::string_view("'\\''") : std::string_view(&c, 1);
  }
  return quoted + "'";
}

// `argument` in $'...', where escapes spell the control bytes on one line.
std::string escaped_quoted(std::string_view argument) {
  std::string quoted = "$'";
  for (const char c : argument) {
    if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (c == '\\' || c == '\'') {
      quoted += '\\';
      quoted += c;
    } else if (is_control(c)) {
      quoted += fmt::format("\\x{:02x}", static_cast<unsigned char>(c));
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace

std::string_view half_name(half which) {
  return which == half::successful ? "successful" : "unsuccessful";
}

std::string command_line_text(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) {
      line += ' ';
    }
    if (plain_word(argument)) {
      line += argument;
    } else if (std::any_of(argument.begin(), argument.end(), is_control)) {
      line += escaped_quoted(argument);
    } else {
      line += single_quoted(argument);
    }
  }
  return line;
}

}  // namespace velk_lab
