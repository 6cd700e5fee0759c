// What the searches that go in lockstep share: how many go together, and the split of a longer
// stream of targets into groups of that many.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>

#include "entries.hpp"

namespace velk_sr::algorithms {

// The most searches taken together: their state lies on the stack, a few kilobytes.
inline constexpr std::size_t most_in_lockstep = 256;

// Calls `group(targets, results)` on each group of up to most_in_lockstep targets in turn, with
// the results at the same indices; `results` is at least as long as `targets`.
template <class Key, class Group>
void in_groups(std::span<const Key> targets, std::span<counted_search> results, Group group) {
  for (std::size_t from = 0; from < targets.size(); from += most_in_lockstep) {
    const std::size_t count = std::min(most_in_lockstep, targets.size() - from);
    group(targets.subspan(from, count), results.subspan(from, count));
  }
}

}  // namespace velk_sr::algorithms
