#include <fmt/core.h>

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "lab/measure/statistics.hpp"
#include "lab/report/columns.hpp"
#include "lab/report/reports.hpp"

namespace velk_lab {

namespace {

using document = nlohmann::ordered_json;

document context_of(const run_context& context) {
  document out;
  out["date"] = context.date;
  out["host_name"] = context.host;
  out["executable"] = context.command_line.empty() ? "" : context.command_line.front();
  out["num_cpus"] = context.cpus;
  out["processor"] = context.processor;
  out["library_build_type"] = context.assertions ? "debug" : "release";
  out["build_type"] = context.build_type;
  out["compiler"] = context.compiler;
  out["velk_version"] = context.version;
  out["seed"] = context.seed.has_value() ? document(*context.seed) : document(nullptr);
  out["repetitions"] = context.repetitions;
  out["min_time"] = context.min_time;
  out["skew"] = context.skew.has_value() ? document(*context.skew) : document(nullptr);
  document key_sets = document::array();
  for (const key_set_context& set : context.key_sets) {
    key_sets.push_back({{"name", set.name}, {"bits", set.bits}, {"made", set.made}});
  }
  out["key_sets"] = std::move(key_sets);
  out["huge_pages"] = context.huge_pages.has_value()
                          ? document(std::string(huge_pages_said(*context.huge_pages)))
                          : document(nullptr);
  out["command_line"] = command_line_text(context.command_line);
  return out;
}

// What every entry of a row begins with, as Google Benchmark orders it.
document entry_head(const std::string& name, const std::string& run_name, std::size_t family,
                    std::size_t instance, const char* run_type, std::size_t repetitions) {
  document entry;
  entry["name"] = name;
  entry["family_index"] = family;
  entry["per_family_instance_index"] = instance;
  entry["run_name"] = run_name;
  entry["run_type"] = run_type;
  entry["repetitions"] = repetitions;
  return entry;
}

// Which entry of a row: a repetition's, or an aggregate's.
enum class entry_of { repetition, mean, median, stddev };

// A figure kept per repetition, over the repetitions as an aggregate gives it; none when a
// repetition lacks it.
std::optional<double> aggregate_of(const column& c, const row& r, entry_of which) {
  std::vector<double> values;
  for (std::size_t k = 0; k < r.wall_ns.size(); ++k) {
    const std::optional<double> value = c.of_repetition(r, k);
    if (!value.has_value()) {
      return std::nullopt;
    }
    values.push_back(*value);
  }
  if (values.empty()) {
    return std::nullopt;
  }
  const time_summary summary = summarize(values);
  return which == entry_of::mean     ? summary.mean
         : which == entry_of::median ? summary.median
                                     : summary.stddev;
}

// The columns for json as fields of an entry: what names the row (text and whole numbers) as it
// is; a figure kept per repetition as that repetition's, or its aggregate; the other measured
// figures as Google Benchmark's user counters, the same in every repetition, so that their
// standard deviation is 0. A figure a repetition lacks is left out, never written as 0.
void add_columns(document& entry, const row& r, std::span<const column* const> shown,
                 entry_of which, std::size_t k) {
  for (const column* c : shown) {
    const std::string name(c->name);
    if (c->of_repetition != nullptr) {
      const std::optional<double> value =
          which == entry_of::repetition ? c->of_repetition(r, k) : aggregate_of(*c, r, which);
      if (value.has_value()) {
        entry[name] = *value;
      }
      continue;
    }
    const cell_value value = c->value(r);
    if (const auto* text = std::get_if<std::string>(&value)) {
      entry[name] = *text;
    } else if (const auto* count = std::get_if<std::int64_t>(&value)) {
      entry[name] = *count;
    } else if (const auto* number = std::get_if<double>(&value)) {
      entry[name] = which == entry_of::stddev ? 0.0 : *number;
    }
  }
}

// A row's name: method, key set, size and half, then the mode and threads where they are not
// the default ones, as Google Benchmark names its threads.
std::string run_name_of(const row& r) {
  std::string name = fmt::format("{}/{}/{}/{}", r.method, r.keys, r.size, half_name(r.which));
  if (r.mode != drive_mode::throughput) {
    name += fmt::format("/{}", mode_name(r.mode));
  }
  if (r.threads != 1) {
    name += fmt::format("/threads:{}", r.threads);
  }
  return name;
}

}  // namespace

// Google Benchmark's families are the methods, in the order of the run; their instances, the
// sizes and halves. An entry per repetition, then the aggregates of each row.
std::string json_report(const run_context& context, std::span<const row> rows) {
  const std::vector<const column*> shown = columns_for(for_json, rows);
  document benchmarks = document::array();
  std::size_t family = 0;
  std::size_t instance = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const row& r = rows[i];
    if (i > 0 && r.method != rows[i - 1].method) {
      ++family;
      instance = 0;
    }
    const std::string run_name = run_name_of(r);
    const std::size_t repetitions = r.wall_ns.size();
    for (std::size_t k = 0; k < repetitions; ++k) {
      document entry = entry_head(run_name, run_name, family, instance, "iteration", repetitions);
      entry["repetition_index"] = k;
      entry["threads"] = r.threads;
      entry["iterations"] = r.repetition_searches[k];
      entry["real_time"] = r.wall_ns[k];
      entry["cpu_time"] = r.cpu_ns[k];
      entry["time_unit"] = "ns";
      add_columns(entry, r, shown, entry_of::repetition, k);
      benchmarks.push_back(std::move(entry));
    }
    const struct {
      const char* name;
      entry_of which;
      double wall;
      double cpu;
    } aggregates[] = {{"mean", entry_of::mean, r.wall.mean, r.cpu.mean},
                      {"median", entry_of::median, r.wall.median, r.cpu.median},
                      {"stddev", entry_of::stddev, r.wall.stddev, r.cpu.stddev}};
    for (const auto& aggregate : aggregates) {
      document entry = entry_head(run_name + "_" + aggregate.name, run_name, family, instance,
                                  "aggregate", repetitions);
      entry["threads"] = r.threads;
      entry["aggregate_name"] = aggregate.name;
      entry["aggregate_unit"] = "time";
      entry["iterations"] = repetitions;
      entry["real_time"] = aggregate.wall;
      entry["cpu_time"] = aggregate.cpu;
      entry["time_unit"] = "ns";
      add_columns(entry, r, shown, aggregate.which, 0);
      benchmarks.push_back(std::move(entry));
    }
    ++instance;
  }
  document out;
  out["context"] = context_of(context);
  out["benchmarks"] = std::move(benchmarks);
  return out.dump(2) + "\n";
}

}  // namespace velk_lab
