#include "values.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <charconv>
#include <system_error>

#include "lab/errors.hpp"

namespace velk_lab {

namespace {

constexpr std::int64_t thousand = 1000;
constexpr std::int64_t million = 1000000;

}  // namespace

std::vector<std::string_view> items_of(std::string_view list) {
  std::vector<std::string_view> items;
  for (;;) {
    const std::size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    while (!item.empty() && item.front() == ' ') {
      item.remove_prefix(1);
    }
    while (!item.empty() && item.back() == ' ') {
      item.remove_suffix(1);
    }
    items.push_back(item);
    if (comma == std::string_view::npos) {
      return items;
    }
    list.remove_prefix(comma + 1);
  }
}

std::optional<std::int64_t> count_of(std::string_view text, std::int64_t most, bool suffixes) {
  std::int64_t scale = 1;
  if (suffixes && !text.empty() && (text.back() == 'k' || text.back() == 'M')) {
    scale = text.back() == 'k' ? thousand : million;
    text.remove_suffix(1);
  }
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > most / scale) {
    return std::nullopt;
  }
  value *= scale;
  if (value < 1) {
    return std::nullopt;
  }
  return value;
}

void refuse(std::string_view option, std::string_view value, std::string_view why) {
  throw bad_input(fmt::format("{}: '{}' {}", option, value, why));
}

}  // namespace velk_lab
