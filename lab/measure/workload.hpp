// The workload: for one size, what the list holds, the targets of each half and the known answer
// to each target. The runner measures whatever a workload gives and knows nothing of how it was
// made.
#pragma once

#include <array>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "lab/measure/key_sets.hpp"
#include "lab/measure/results.hpp"
#include "lab/method_record.hpp"

namespace velk_lab {

// The answer that says a target is not among the keys.
inline constexpr std::int64_t not_found = -1;

// One half's targets: the stream the timed searches go through, whose first `searches` targets
// are the half's counted searches, and for each target the position of the lowest key equal to
// it, or not_found.
template <lab_key Key>
struct half_targets {
  std::vector<Key> targets;
  std::vector<std::int64_t> answers;
};

template <lab_key Key>
struct workload {
  velk_sr::memory::aligned_array<Key> owned;  // the keys, unless they are a file's own
  std::span<const Key> keys;                  // ascending
  std::array<half_targets<Key>, 2> halves;

  [[nodiscard]] const half_targets<Key>& of(half which) const {
    return halves[which == half::successful ? 0 : 1];
  }
};

// How the targets are drawn: the searches of each half that are counted, the seed of every
// generator (none: each in its default state, or seed 0 for the lab's own draws) and the
// exponent of a Zipf distribution of the successful targets (none: uniform).
struct target_plan {
  std::int64_t searches = 0;
  std::optional<std::int32_t> seed;
  std::optional<double> skew;
};

// The workload of `set` at size n. Each half has a stream of max(searches, least_stream) targets,
// whose first `searches` are the counted ones.
//
// The odd keys, and a file's keys that are 1, 3, ..., 2n - 1 at size n, get without a skew the
// targets velk_ts draws (draws_as_velk_ts): one generator over 1..n in its default state (or reset
// with the seed) draws r for each of the successful half's searches (key 2r - 1), then for each of
// the unsuccessful half's (2r), then the rest of each stream in the same order.
//
// Any other keys get the lab's own draws: a successful target is a distinct key, chosen
// uniformly, or with the skew by a Zipf rank over the distinct keys taken in a scattered order;
// an unsuccessful one is drawn uniformly from the values between a key and the next one, the key
// chosen in the same way among those that have such values (above the greatest key, the one
// value just above it). Throws run_failure when memory cannot be had, or when no value lies
// between or above the keys.
template <lab_key Key>
workload<Key> make_workload(const key_set& set, std::int32_t n, const target_plan& targets);

// The run failure for memory that could not be had: how much, and what it was for.
[[noreturn]] void cannot_allocate(std::size_t bytes, std::string_view what);

// `count` elements in a vector (value-initialised) or in another array made from its length, or
// the run failure that says how much memory `what` needed.
template <class Element, class Array = std::vector<Element>>
Array allocate(std::size_t count, std::string_view what) {
  try {
    return Array(count);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  cannot_allocate(count * sizeof(Element), what);
}

}  // namespace velk_lab
