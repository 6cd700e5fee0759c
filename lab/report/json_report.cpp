#include <fmt/core.h>

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <variant>

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

// The columns for json as fields of an entry: what names the row (text and whole numbers) as it
// is; measured figures as Google Benchmark's user counters, the same in every repetition, so
// that their standard deviation is 0.
void add_columns(document& entry, const row& r, bool deviation) {
  for (const column& c : columns()) {
    if (!shows(c, for_json)) {
      continue;
    }
    const cell_value value = c.value(r);
    if (const auto* text = std::get_if<std::string>(&value)) {
      entry[std::string(c.name)] = *text;
    } else if (const auto* count = std::get_if<std::int64_t>(&value)) {
      entry[std::string(c.name)] = *count;
    } else if (const auto* number = std::get_if<double>(&value)) {
      entry[std::string(c.name)] = deviation ? 0.0 : *number;
    }
  }
}

}  // namespace

// Google Benchmark's families are the methods, in the order of the run; their instances, the
// sizes and halves. An entry per repetition, then the aggregates of each row.
std::string json_report(const run_context& context, std::span<const row> rows) {
  document benchmarks = document::array();
  std::size_t family = 0;
  std::size_t instance = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const row& r = rows[i];
    if (i > 0 && r.method != rows[i - 1].method) {
      ++family;
      instance = 0;
    }
    const std::string run_name =
        fmt::format("{}/{}/{}/{}", r.method, r.keys, r.size, half_name(r.which));
    const std::size_t repetitions = r.wall_ns.size();
    for (std::size_t k = 0; k < repetitions; ++k) {
      document entry = entry_head(run_name, run_name, family, instance, "iteration", repetitions);
      entry["repetition_index"] = k;
      entry["threads"] = 1;
      entry["iterations"] = r.repetition_searches[k];
      entry["real_time"] = r.wall_ns[k];
      entry["cpu_time"] = r.cpu_ns[k];
      entry["time_unit"] = "ns";
      add_columns(entry, r, false);
      benchmarks.push_back(std::move(entry));
    }
    const struct {
      const char* name;
      double wall;
      double cpu;
    } aggregates[] = {{"mean", r.wall.mean, r.cpu.mean},
                      {"median", r.wall.median, r.cpu.median},
                      {"stddev", r.wall.stddev, r.cpu.stddev}};
    for (const auto& aggregate : aggregates) {
      document entry = entry_head(run_name + "_" + aggregate.name, run_name, family, instance,
                                  "aggregate", repetitions);
      entry["threads"] = 1;
      entry["aggregate_name"] = aggregate.name;
      entry["aggregate_unit"] = "time";
      entry["iterations"] = repetitions;
      entry["real_time"] = aggregate.wall;
      entry["cpu_time"] = aggregate.cpu;
      entry["time_unit"] = "ns";
      add_columns(entry, r, std::string_view(aggregate.name) == "stddev");
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
