#include "expected.hpp"

#include <fmt/core.h>

#include <limits>

#include "lab/measure/workload.hpp"

namespace velk_lab {

namespace {

// Calls `visit(position, target, answer)` for each target of the half in ascending order, with the
// lowest position whose key is not smaller than the target, and gives how
// many there are; with `visit` doing nothing, only counts them.
template <lab_key Key, class Visitor>
std::int64_t for_each_target(std::span<const Key> keys, half which, Visitor visit) {
  std::int64_t targets = 0;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const Key key = keys[i];
    if (which == half::successful) {
      if (i == 0 || keys[i - 1] != key) {
        ++targets;
        visit(i + 1, key, static_cast<std::int64_t>(i) + 1);
      }
      continue;
    }
    const bool last_of_key = i + 1 == keys.size() || keys[i + 1] != key;
    const bool gap_above =
        i + 1 == keys.size() ? key != std::numeric_limits<Key>::max() : keys[i + 1] - key > 1;
    if (last_of_key && gap_above) {
      ++targets;
      visit(i + 2, static_cast<Key>(key + 1), not_found);
    }
  }
  return targets;
}

}  // namespace

template <lab_key Key>
expected_count expected_comparisons(
    const method_record& m, const prepared<Key>& searched, std::span<const Key> keys, half which,
    progress& shown, std::string_view stage,
    const std::function<void(Key, std::int64_t, const counted_answer&)>& check) {
  expected_count expected;
  expected.targets = for_each_target(keys, which, [](std::size_t, Key, std::int64_t) {});
  const auto n = static_cast<std::int64_t>(keys.size());
  const bool every_position =
      which == half::successful
          ? expected.targets == n
          : expected.targets == n &&
                for_each_target(keys, half::successful, [](std::size_t, Key, std::int64_t) {}) == n;
  if (m.model != nullptr && every_position) {
    const comparison_totals totals = m.model(n);
    expected.comparisons = which == half::successful ? totals.successful : totals.unsuccessful;
    return expected;
  }
  if (m.comparisons_at != nullptr) {
    std::int64_t total = 0;
    for_each_target(keys, which, [&](std::size_t lowest_not_smaller, Key, std::int64_t answer) {
      total +=
          m.comparisons_at(static_cast<std::int64_t>(lowest_not_smaller), n, answer != not_found);
    });
    expected.comparisons = total;
    return expected;
  }
  if (expected.targets > most_targets_searched) {
    return expected;
  }
  std::int64_t total = 0;
  std::int64_t done = 0;
  for_each_target(keys, which, [&](std::size_t, Key target, std::int64_t answer) {
    if (shown.due()) {
      shown.show(fmt::format("{}: expected comparisons of {}, {} of {} targets", stage, m.name,
                             done, expected.targets));
    }
    const counted_answer result = searched.search(target);
    check(target, answer, result);
    total += result.comparisons;
    ++done;
  });
  expected.comparisons = total;
  return expected;
}

template expected_count expected_comparisons(
    const method_record&, const prepared<std::uint32_t>&, std::span<const std::uint32_t>, half,
    progress&, std::string_view,
    const std::function<void(std::uint32_t, std::int64_t, const counted_answer&)>&);
template expected_count expected_comparisons(
    const method_record&, const prepared<std::uint64_t>&, std::span<const std::uint64_t>, half,
    progress&, std::string_view,
    const std::function<void(std::uint64_t, std::int64_t, const counted_answer&)>&);

}  // namespace velk_lab
