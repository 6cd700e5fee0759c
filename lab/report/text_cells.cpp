#include "text_cells.hpp"

#include <fmt/core.h>

namespace velk_lab {

std::string mean_cell(double mean) {
  std::string text = fmt::format("{:.4f}", mean);
  while (text.back() == '0') {
    text.pop_back();
  }
  if (text.back() == '.') {
    text.pop_back();
  }
  return text;
}

std::string time_cell(double ns) {
  constexpr double two_digits = 10.0;
  constexpr double three_digits = 100.0;
  const int decimals = ns < two_digits ? 2 : ns < three_digits ? 1 : 0;
  return fmt::format("{:.{}f}", ns, decimals);
}

std::string context_lines(const run_context& context) {
  const std::string seed =
      context.seed.has_value() ? fmt::format("{}", *context.seed) : "none (default state)";
  std::string keys;
  for (const key_set_context& set : context.key_sets) {
    keys += fmt::format("keys {}: {}\n", set.name, set.made);
  }
  if (context.huge_pages.has_value()) {
    keys += fmt::format("huge pages for the lists of 2 MiB or more: {}\n",
                        huge_pages_said(*context.huge_pages));
  }
  const std::string skew =
      context.skew.has_value() ? fmt::format("; targets Zipf-skewed by {}", *context.skew) : "";
  return fmt::format(
      "velk {} on {} ({}, {} CPUs), {}\n{}, {} build; seed {}{}; {} repetition{} of at least {} "
      "s\n{}{}\n",
      context.version, context.host, context.processor, context.cpus, context.date,
      context.compiler, context.build_type, seed, skew, context.repetitions,
      context.repetitions == 1 ? "" : "s", context.min_time, keys,
      command_line_text(context.command_line));
}

}  // namespace velk_lab
