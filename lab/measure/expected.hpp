// The expected comparisons of a half: what searching every target of the half once adds up to.
// The successful half's targets are the distinct keys, each found at its lowest position; the
// unsuccessful half's are one value above each key that has a value above it before the next key
// (the least such value, k + 1).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "lab/measure/progress.hpp"
#include "lab/measure/results.hpp"
#include "lab/method_record.hpp"

namespace velk_lab {

// Past this many targets a half's expected comparisons are not worked out by searching each one.
inline constexpr std::int64_t most_targets_searched = std::int64_t{1} << 27;

struct expected_count {
  std::optional<std::int64_t> comparisons;  // none: too many targets to search each once
  std::int64_t targets = 0;
};

// By the method's model where it has one and the half's targets are exactly those the model
// counts (every key distinct; for the unsuccessful half, every key with a value above it too);
// otherwise by searching each target once, in ascending order: `check` is given each target, its
// answer and what the search gave, and throws where that is wrong.
template <lab_key Key>
expected_count expected_comparisons(
    const method_record& m, const prepared<Key>& searched, std::span<const Key> keys, half which,
    progress& shown, std::string_view stage,
    const std::function<void(Key, std::int64_t, const counted_answer&)>& check);

}  // namespace velk_lab
