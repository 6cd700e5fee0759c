// Timed runs of one method through one half's stream of targets, every result checked once the
// clock has stopped, and the calibration that sizes a repetition.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "lab/measure/workload.hpp"
#include "lab/method_record.hpp"

namespace velk_lab {

struct timing {
  double wall = 0.0;  // seconds
  double cpu = 0.0;   // seconds of this thread
};

// What a timed run needs besides the method: the half's targets, a tally per target, and the
// check of a target's tally after `visits` searches of it, which throws when a result was wrong.
template <lab_key Key>
struct timed_half {
  std::span<const Key> targets;
  std::span<std::int64_t> tally;
  std::function<void(std::size_t index, std::int64_t tally, std::int64_t visits)> check;
};

// Calls `visit` with each index of a stream of `length` targets that `count` searches from
// `start` reach, and how often they reach it.
template <class Visitor>
void for_each_reached(std::size_t start, std::int64_t count, std::size_t length, Visitor visit) {
  const auto rounds = static_cast<std::int64_t>(static_cast<std::uint64_t>(count) / length);
  const auto extra = static_cast<std::size_t>(static_cast<std::uint64_t>(count) % length);
  const std::size_t reached = rounds > 0 ? length : extra;
  std::size_t at = start;
  for (std::size_t k = 0; k < reached; ++k) {
    visit(at, rounds + (k < extra ? 1 : 0));
    at = at + 1 == length ? 0 : at + 1;
  }
}

// One timed run of `count` searches from `cursor`, which it moves on. The tally of every target
// reached is cleared before and checked after, off the clock.
template <lab_key Key>
timing timed_run(const timed_half<Key>& job, const prepared<Key>& method, std::size_t& cursor,
                 std::int64_t count);

// Times runs of growing length (warming the method up on the way) until two take a tenth of
// `min_time`; gives the searches that a repetition of `min_time` needs at the faster of the two.
// A run that the system interrupts only ever looks slower, so the faster one is the better
// estimate, and one interruption cannot make every repetition short.
template <lab_key Key>
std::int64_t calibrate(const timed_half<Key>& job, const prepared<Key>& method, std::size_t& cursor,
                       double min_time);

// The searches a repetition that took `seconds` for `count` searches needs to last `min_time`,
// with a margin: it is run again with these when it fell short.
std::int64_t lengthened(std::int64_t count, double seconds, double min_time);

// No run is longer than this, whatever the clock says.
inline constexpr std::int64_t most_searches = std::int64_t{1} << 40;

}  // namespace velk_lab
