#include "run_options.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <optional>
#include <string>

#include "lab/cli/values.hpp"
#include "lab/errors.hpp"
#include "lab/method_record.hpp"

namespace velk_lab {

std::size_t batch_of(std::string_view text) {
  const std::optional<std::int64_t> batch =
      count_of(text, static_cast<std::int64_t>(most_batch), false);
  if (!batch.has_value()) {
    refuse("--batch", text,
           fmt::format("is not a batch (a whole number of targets from 1 to {})", most_batch));
  }
  return static_cast<std::size_t>(*batch);
}

std::int64_t epsilon_of(std::string_view text) {
  const std::optional<std::int64_t> epsilon = count_of(text, most_epsilon, false);
  if (!epsilon.has_value()) {
    refuse("--epsilon", text,
           fmt::format("is not an error bound (a whole number of positions from 1 to {})",
                       most_epsilon));
  }
  return *epsilon;
}

std::vector<drive_mode> modes_of(std::string_view list) {
  std::vector<drive_mode> modes;
  for (const std::string_view item : items_of(list)) {
    const drive_mode mode =
        item == mode_name(drive_mode::latency) ? drive_mode::latency : drive_mode::throughput;
    if (item != mode_name(mode)) {
      refuse("--mode", item, "is not a mode (choose from throughput, latency)");
    }
    if (std::find(modes.begin(), modes.end(), mode) != modes.end()) {
      refuse("--mode", item, "is given twice");
    }
    modes.push_back(mode);
  }
  return modes;
}

std::vector<int> threads_of(std::string_view list, int available) {
  std::vector<int> threads;
  for (const std::string_view item : items_of(list)) {
    const std::optional<std::int64_t> count = count_of(item, available, false);
    if (!count.has_value()) {
      refuse("--threads", item,
             fmt::format("is not a number of threads (a whole number from 1 to {}, the "
                         "processors this process may run on)",
                         available));
    }
    const auto lanes = static_cast<int>(*count);
    if (std::find(threads.begin(), threads.end(), lanes) != threads.end()) {
      refuse("--threads", item, "is given twice");
    }
    threads.push_back(lanes);
  }
  return threads;
}

void check_counters(reading_source& source) {
  if (const std::optional<std::string> why = counters_unsupported(source)) {
    throw bad_input("--counters: " + *why);
  }
}

}  // namespace velk_lab
