#include "workload.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <limits>
#include <string>

#include "lab/errors.hpp"
#include "lab/measure/draws.hpp"
#include "lab/measure/plan.hpp"
#include "random/random_int.hpp"

namespace velk_lab {

namespace {

template <lab_key Key>
void allocate_streams(workload<Key>& w, std::size_t length) {
  const std::string what = fmt::format("{} targets", length);
  for (half_targets<Key>& h : w.halves) {
    h.targets = allocate<Key>(length, what);
    h.answers = allocate<std::int64_t>(length, what);
  }
}

// velk_ts's draws: key 2r - 1 is at position r; the even key 2r is not in the list.
template <lab_key Key>
void velk_ts_targets(workload<Key>& w, std::int32_t n, const target_plan& plan) {
  const random_int::range ri_range(n);
  random_int::generator g = ri_range.make_generator();
  if (plan.seed.has_value()) {
    ri_range.reset(g, *plan.seed);
  }
  const auto draw = [&](half which, std::size_t from, std::size_t to) {
    half_targets<Key>& h = w.halves[which == half::successful ? 0 : 1];
    for (std::size_t i = from; i < to; ++i) {
      const std::int32_t r = ri_range.random(g);
      const bool hit = which == half::successful;
      h.targets[i] = static_cast<Key>(hit ? 2 * std::int64_t{r} - 1 : 2 * std::int64_t{r});
      h.answers[i] = hit ? r : not_found;
    }
  };
  const auto counted = static_cast<std::size_t>(plan.searches);
  const std::size_t length = w.halves[0].targets.size();
  draw(half::successful, 0, counted);
  draw(half::unsuccessful, 0, counted);
  draw(half::successful, counted, length);
  draw(half::unsuccessful, counted, length);
}

// The keys a half's targets are chosen among: for the successful half the first position of
// each distinct key, for the unsuccessful half the last position of each key with a value above
// it before the next key. Held only where they are not simply every position.
struct chosen_among {
  std::uint64_t count = 0;
  std::vector<std::uint32_t> positions;  // empty: position i is the i-th

  [[nodiscard]] std::size_t position(std::uint64_t i) const {
    return positions.empty() ? static_cast<std::size_t>(i) : positions[i];
  }
};

template <lab_key Key>
bool has_value_above(std::span<const Key> keys, std::size_t i) {
  return i + 1 == keys.size() ? keys[i] != std::numeric_limits<Key>::max()
                              : keys[i + 1] - keys[i] > 1;
}

template <lab_key Key>
chosen_among among(std::span<const Key> keys, half which) {
  const auto qualifies = [&](std::size_t i) {
    return which == half::successful ? i == 0 || keys[i - 1] != keys[i]
                                     : has_value_above(keys, i);  // only the last of equal keys
  };
  chosen_among chosen;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    chosen.count += qualifies(i) ? 1 : 0;
  }
  if (chosen.count < keys.size()) {
    chosen.positions = allocate<std::uint32_t>(chosen.count, "the keys targets are drawn among");
    std::size_t next = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (qualifies(i)) {
        chosen.positions[next++] = static_cast<std::uint32_t>(i);
      }
    }
  }
  return chosen;
}

// Where no key has a value above it before the next (the keys end at the greatest value of the
// width, each next to the one before), the unsuccessful targets are drawn uniformly below the
// least key instead.
template <lab_key Key>
void below_the_least(workload<Key>& w, const key_set& set, draws& from) {
  if (w.keys.front() == 0) {
    throw run_failure(fmt::format(
        "the {} keys at size {} leave no value free: no unsuccessful search can be drawn", set.name,
        w.keys.size()));
  }
  half_targets<Key>& h = w.halves[1];
  for (std::size_t i = 0; i < h.targets.size(); ++i) {
    h.targets[i] = static_cast<Key>(from.below(w.keys.front()));
    h.answers[i] = not_found;
  }
}

// The lab's own draws, each half from a stream of its own.
template <lab_key Key>
void drawn_targets(workload<Key>& w, const key_set& set, const target_plan& plan) {
  const std::int64_t seed = plan.seed.value_or(0);
  for (const half which : {half::successful, half::unsuccessful}) {
    const chosen_among chosen = among(w.keys, which);
    const bool hit = which == half::successful;
    draws from(seed_state(seed, hit ? draw_stream::successful : draw_stream::unsuccessful), 0);
    if (chosen.count == 0) {
      below_the_least(w, set, from);
      continue;
    }
    const std::optional<zipf_ranks> ranks =
        plan.skew ? std::optional<zipf_ranks>(std::in_place, chosen.count, *plan.skew)
                  : std::nullopt;
    const scattered_order order(chosen.count, seed_state(seed, draw_stream::order) + (hit ? 0 : 1));
    half_targets<Key>& h = w.halves[hit ? 0 : 1];
    for (std::size_t i = 0; i < h.targets.size(); ++i) {
      const std::uint64_t index = ranks ? order((*ranks)(from)-1) : from.below(chosen.count);
      const std::size_t at = chosen.position(index);
      const Key key = w.keys[at];
      if (hit) {
        h.targets[i] = key;
        h.answers[i] = static_cast<std::int64_t>(at) + 1;
      } else {
        const std::uint64_t free = at + 1 == w.keys.size() ? 1 : w.keys[at + 1] - key - 1;
        h.targets[i] = static_cast<Key>(key + 1 + from.below(free));
        h.answers[i] = not_found;
      }
    }
  }
}

}  // namespace

template <lab_key Key>
workload<Key> make_workload(const key_set& set, std::int32_t n, const target_plan& targets) {
  workload<Key> w;
  w.keys = keys_of<Key>(set, n, targets.seed.value_or(0), w.owned);
  allocate_streams(w, static_cast<std::size_t>(std::max(targets.searches, least_stream)));
  if (!targets.skew.has_value() && draws_as_velk_ts(set, n)) {
    velk_ts_targets(w, n, targets);
  } else {
    drawn_targets(w, set, targets);
  }
  return w;
}

template workload<std::uint32_t> make_workload(const key_set&, std::int32_t, const target_plan&);
template workload<std::uint64_t> make_workload(const key_set&, std::int32_t, const target_plan&);

void cannot_allocate(std::size_t bytes, std::string_view what) {
  constexpr double mebibyte = 1024.0 * 1024.0;
  throw run_failure(fmt::format("cannot allocate {:.1f} MiB for {}",
                                static_cast<double>(bytes) / mebibyte, what));
}

}  // namespace velk_lab
