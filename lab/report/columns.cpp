#include "columns.hpp"

#include <fmt/core.h>

#include <array>

#include "lab/report/text_cells.hpp"

namespace velk_lab {

namespace {

std::string spread_cell(double percent) { return fmt::format("{:.1f}%", percent); }
std::string count_cell(std::int64_t count) { return fmt::format("{}", count); }

// A mean of comparisons, for a row that has it.
cell_value measured(const row& r) {
  return r.counted ? cell_value(r.mean_comparisons()) : cell_value();
}
cell_value expected(const row& r) {
  return r.has_expected() ? cell_value(r.mean_expected_comparisons()) : cell_value();
}
cell_value layout(const row& r) {
  return r.layout_ns.has_value() ? cell_value(*r.layout_ns) : cell_value();
}
// "-" where a row has no such figure.
std::string mean_or_dash(const cell_value& mean) {
  return std::holds_alternative<double>(mean) ? mean_cell(std::get<double>(mean)) : "-";
}

constexpr unsigned everywhere = for_people | for_csv;

// The order of the csv columns, and of those shown to people; the timed searches stand in
// different places for the two.
constexpr std::array<column, 20> table{{
    {"method", "method", false, everywhere | for_json,
     [](const row& r) { return cell_value(std::string(r.method)); },
     [](const row& r) { return std::string(r.method); }},
    {"keys", "keys", false, everywhere | for_json,
     [](const row& r) { return cell_value(std::string(r.keys)); },
     [](const row& r) { return std::string(r.keys); }},
    {"key_bits", "key bits", true, for_csv | for_json,
     [](const row& r) { return cell_value(std::int64_t{r.key_bits}); },
     [](const row& r) { return count_cell(r.key_bits); }},
    {"size", "size", true, everywhere | for_json,
     [](const row& r) { return cell_value(std::int64_t{r.size}); },
     [](const row& r) { return count_cell(r.size); }},
    {"half", "half", false, everywhere | for_json,
     [](const row& r) { return cell_value(std::string(half_name(r.which))); },
     [](const row& r) { return std::string(half_name(r.which)); }},
    {"searches", "searches", true, everywhere, [](const row& r) { return cell_value(r.searches); },
     [](const row& r) { return count_cell(r.searches); }},
    {"comparisons", "comparisons", true, everywhere | for_json, measured,
     [](const row& r) { return mean_or_dash(measured(r)); }},
    {"expected_comparisons", "expected", true, everywhere | for_json, expected,
     [](const row& r) { return mean_or_dash(expected(r)); }},
    {"repetitions", "repetitions", true, for_csv,
     [](const row& r) { return cell_value(static_cast<std::int64_t>(r.wall_ns.size())); },
     [](const row& r) { return count_cell(static_cast<std::int64_t>(r.wall_ns.size())); }},
    {"timed_searches", "timed searches", true, for_csv,
     [](const row& r) { return cell_value(r.timed_searches); },
     [](const row& r) { return count_cell(r.timed_searches); }},
    {"wall_ns_median", "wall ns", true, everywhere,
     [](const row& r) { return cell_value(r.wall.median); },
     [](const row& r) { return time_cell(r.wall.median); }},
    {"wall_ns_min", "wall min", true, everywhere,
     [](const row& r) { return cell_value(r.wall.min); },
     [](const row& r) { return time_cell(r.wall.min); }},
    {"wall_ns_max", "wall max", true, everywhere,
     [](const row& r) { return cell_value(r.wall.max); },
     [](const row& r) { return time_cell(r.wall.max); }},
    {"wall_mad_percent", "wall MAD", true, everywhere,
     [](const row& r) { return cell_value(r.wall.mad_percent); },
     [](const row& r) { return spread_cell(r.wall.mad_percent); }},
    {"cpu_ns_median", "cpu ns", true, everywhere,
     [](const row& r) { return cell_value(r.cpu.median); },
     [](const row& r) { return time_cell(r.cpu.median); }},
    {"cpu_ns_min", "cpu min", true, everywhere, [](const row& r) { return cell_value(r.cpu.min); },
     [](const row& r) { return time_cell(r.cpu.min); }},
    {"cpu_ns_max", "cpu max", true, everywhere, [](const row& r) { return cell_value(r.cpu.max); },
     [](const row& r) { return time_cell(r.cpu.max); }},
    {"cpu_mad_percent", "cpu MAD", true, everywhere,
     [](const row& r) { return cell_value(r.cpu.mad_percent); },
     [](const row& r) { return spread_cell(r.cpu.mad_percent); }},
    {"timed_searches", "timed searches", true, for_people,
     [](const row& r) { return cell_value(r.timed_searches); },
     [](const row& r) { return count_cell(r.timed_searches); }},
    {"layout_ns", "layout ns", true, everywhere | for_json, layout,
     [](const row& r) { return r.layout_ns.has_value() ? time_cell(*r.layout_ns) : "-"; }},
}};

}  // namespace

std::span<const column> columns() { return table; }

}  // namespace velk_lab
