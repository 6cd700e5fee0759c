#include "columns.hpp"

#include <fmt/core.h>

#include <algorithm>
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

// Searches per second as people read them: 12.3M, 812k.
std::string rate_cell(double per_second) {
  constexpr double million = 1e6;
  constexpr double thousand = 1e3;
  if (per_second >= million) {
    return fmt::format("{:.3g}M", per_second / million);
  }
  return per_second >= thousand ? fmt::format("{:.3g}k", per_second / thousand)
                                : fmt::format("{:.3g}", per_second);
}

// The counters' columns are there when the run read counters; a counter that could not be read
// leaves its cells empty, never zero.
bool counters_read(std::span<const row> rows) {
  return std::any_of(rows.begin(), rows.end(),
                     [](const row& r) { return !r.counter_readings.empty(); });
}
template <std::size_t index>
cell_value counter_cell(const row& r) {
  return r.counters[index].has_value() ? cell_value{*r.counters[index]} : cell_value{};
}
template <std::size_t index>
std::string counter_text(const row& r) {
  return r.counters[index].has_value() ? fmt::format("{:.4g}", *r.counters[index]) : "";
}
template <std::size_t index>
std::optional<double> counter_of(const row& r, std::size_t k) {
  return k < r.counter_readings.size() ? r.counter_readings[k][index] : std::nullopt;
}
template <std::size_t index>
constexpr column counter_column(std::string_view name) {
  return {name,
          name,
          true,
          everywhere | for_json,
          counter_cell<index>,
          counter_text<index>,
          counters_read,
          counter_of<index>};
}

// The order of the csv columns, and of those shown to people; the timed searches stand in
// different places for the two.
constexpr std::array<column, 32> table{{
    {"method", "method", false, everywhere | for_json,
     [](const row& r) { return cell_value(std::string(r.method)); },
     [](const row& r) { return std::string(r.method); }},
    {"keys", "keys", false, everywhere | for_json,
     [](const row& r) { return cell_value(std::string(r.keys)); },
     [](const row& r) { return std::string(r.keys); }},
    {"key_bits", "key bits", true, for_csv | for_json,
     [](const row& r) { return cell_value(std::int64_t{r.key_bits}); },
     [](const row& r) { return count_cell(r.key_bits); }},
    {"mode", "mode", false, everywhere | for_json,
     [](const row& r) { return cell_value(std::string(mode_name(r.mode))); },
     [](const row& r) { return std::string(mode_name(r.mode)); }},
    {"threads", "threads", true, everywhere,
     [](const row& r) { return cell_value(std::int64_t{r.threads}); },
     [](const row& r) { return count_cell(r.threads); }},
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
    {"index_bytes", "index bytes", true, everywhere | for_json,
     [](const row& r) {
       return r.layout_bytes.has_value() ? cell_value(static_cast<double>(*r.layout_bytes))
                                         : cell_value();
     },
     [](const row& r) { return r.layout_bytes.has_value() ? count_cell(*r.layout_bytes) : "-"; }},
    {"searches_per_second", "searches/s", true, everywhere | for_json,
     [](const row& r) { return cell_value(r.searches_per_second); },
     [](const row& r) { return rate_cell(r.searches_per_second); }, nullptr,
     [](const row& r, std::size_t k) {
       return k < r.throughputs.size() ? std::optional(r.throughputs[k]) : std::nullopt;
     }},
    counter_column<0>("cycles"),
    counter_column<1>("instructions"),
    counter_column<2>("branch-misses"),
    counter_column<3>("L1-dcache-load-misses"),
    counter_column<4>("LLC-load-misses"),
    counter_column<5>("task-clock"),
    counter_column<6>("page-faults"),
    counter_column<7>("context-switches"),
}};

}  // namespace

std::span<const column> columns() { return table; }

std::vector<const column*> columns_for(audience who, std::span<const row> rows) {
  std::vector<const column*> shown;
  for (const column& c : table) {
    if (shows(c, who) && (c.in_run == nullptr || c.in_run(rows))) {
      shown.push_back(&c);
    }
  }
  return shown;
}

}  // namespace velk_lab
