#include "text_cells.hpp"

#include <fmt/core.h>

#include <array>

namespace velk_lab {

namespace {

constexpr std::array<text_column, 16> columns{{
    {"method", false},
    {"size", true},
    {"half", false},
    {"searches", true},
    {"comparisons", true},
    {"expected", true},
    {"wall ns", true},
    {"wall min", true},
    {"wall max", true},
    {"wall MAD", true},
    {"cpu ns", true},
    {"cpu min", true},
    {"cpu max", true},
    {"cpu MAD", true},
    {"timed searches", true},
    {"layout ns", true},
}};

std::string spread_cell(double percent) { return fmt::format("{:.1f}%", percent); }

}  // namespace

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

std::span<const text_column> text_columns() { return columns; }

std::vector<std::string> text_cells(const row& r) {
  return {std::string(r.method),
          fmt::format("{}", r.size),
          std::string(half_name(r.which)),
          fmt::format("{}", r.searches),
          r.counted ? mean_cell(r.mean_comparisons()) : "-",
          r.counted ? mean_cell(r.mean_expected_comparisons()) : "-",
          time_cell(r.wall.median),
          time_cell(r.wall.min),
          time_cell(r.wall.max),
          spread_cell(r.wall.mad_percent),
          time_cell(r.cpu.median),
          time_cell(r.cpu.min),
          time_cell(r.cpu.max),
          spread_cell(r.cpu.mad_percent),
          fmt::format("{}", r.timed_searches),
          r.layout_ns.has_value() ? time_cell(*r.layout_ns) : "-"};
}

std::string context_lines(const run_context& context) {
  const std::string seed =
      context.seed.has_value() ? fmt::format("{}", *context.seed) : "none (default state)";
  return fmt::format(
      "velk {} on {} ({}, {} CPUs), {}\n{}, {} build; seed {}; {} repetition{} of at least {} s\n"
      "{}\n",
      context.version, context.host, context.processor, context.cpus, context.date,
      context.compiler, context.build_type, seed, context.repetitions,
      context.repetitions == 1 ? "" : "s", context.min_time,
      command_line_text(context.command_line));
}

}  // namespace velk_lab
