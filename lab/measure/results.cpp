#include "results.hpp"

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
      continue;
    }
    line += '\'';
    for (const char c : argument) {
      line += c == '\'' ? std::string_view("'\\''") : std::string_view(&c, 1);
    }
    line += '\'';
  }
  return line;
}

}  // namespace velk_lab
