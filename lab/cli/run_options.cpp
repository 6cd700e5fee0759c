#include "run_options.hpp"

#include <fmt/core.h>

#include <optional>

#include "lab/cli/values.hpp"
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

}  // namespace velk_lab
