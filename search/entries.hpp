// What the search algorithms run over and what they give back: the entries of an ascending run
// (the list's entries, or plain unsigned keys of 32 or 64 bits), the key of each, and the result
// of one counted search. Knows nothing of the list, the counter or the stopwatch.
#pragma once

#include <bit>
#include <concepts>
#include <cstdint>
#include <span>
#include <utility>

#include "../frame/checks.hpp"

namespace velk_sr {

// The key of a list entry: signed, 32 bits.
using key_type = std::int32_t;

struct list_entry {
  key_type key = 0;
  frame::natural info;  // carried with the key; nothing here looks at it
};

namespace algorithms {

// The key of an entry: a list entry's key, or a plain key itself.
constexpr key_type key_of(const list_entry& entry) { return entry.key; }
constexpr std::uint32_t key_of(std::uint32_t key) { return key; }
constexpr std::uint64_t key_of(std::uint64_t key) { return key; }

// The entries that an algorithm searches: list entries, or plain unsigned keys of 32 or 64 bits.
template <class Entry>
concept run_entry = std::same_as<Entry, list_entry> || std::same_as<Entry, std::uint32_t> ||
    std::same_as<Entry, std::uint64_t>;

// The key type of an entry type. As a parameter's type it is not deduced from the argument, so
// that a target may be any integer that converts to the run's key type, an int literal included.
template <run_entry Entry>
using key_type_of = decltype(key_of(std::declval<const Entry&>()));

// The keys of the entries above.
template <class Key>
concept run_key = std::same_as<Key, key_type> || std::same_as<Key, std::uint32_t> ||
    std::same_as<Key, std::uint64_t>;

// The list entries searched, as the list's routines hand them over: position 1 is the first
// entry of the run. Every run is shorter than 2^30 entries, so that the sum of two positions
// never leaves 32 bits.
using entries = std::span<const list_entry>;

// What one search of a run finds. `location` is a position in the run (1..size), or 0 when the
// algorithm has none to give; what it holds after an unsuccessful search is stated for each
// algorithm. `comparisons` is what the search counted under the algorithm's rule.
struct counted_search {
  bool found = false;
  std::int32_t location = 0;
  std::int32_t comparisons = 0;

  friend bool operator==(const counted_search&, const counted_search&) = default;
};

// floor(log2 n) and ceil(log2 n), for n from 1 to 2^31 - 1; the bounds of the algorithms' counts
// are stated with them.
constexpr std::int32_t floor_log2(std::int32_t n) {
  return static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(n))) - 1;
}
constexpr std::int32_t ceil_log2(std::int32_t n) {
  return static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(n) - 1));
}

}  // namespace algorithms
}  // namespace velk_sr
