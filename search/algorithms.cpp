#include "algorithms.hpp"

#include <bit>
#include <cstddef>

#include "frame/checks.hpp"

namespace velk_sr::algorithms {

namespace {

// The probe between two bounds. The sum wraps rather than overflows, as plain 32-bit arithmetic
// does; the callers keep the probe inside the run, by construction or by a check.
std::int32_t probe(std::int32_t bottom, std::int32_t top) {
  return frame::wrapping_add(bottom, top) / 2;
}

std::int32_t size_of(entries run) { return static_cast<std::int32_t>(run.size()); }

// The key at a position that the caller knows to lie inside the run.
key_type key_at(entries run, std::int32_t p) { return run[static_cast<std::size_t>(p - 1)].key; }

// The key at a position that comes from the caller's bounds, checked against the run.
key_type checked_key_at(entries run, std::int32_t p) {
  frame::check(p >= 1 && p <= size_of(run));
  return key_at(run, p);
}

// A sequential search that would have examined the entries one at a time, from where the first
// match lies (the size of the run when there is none): one comparison per entry up to and
// including the match, or every entry.
counted_search counted_scan(entries run, std::size_t first_match) {
  const bool found = first_match < run.size();
  const auto last_examined = static_cast<std::int32_t>(found ? first_match + 1 : run.size());
  return {found, last_examined, last_examined};
}

// The recursive workers count into `counted`, so that the count is added once per search.
counted_search recbinary1_counted(entries run, key_type target, std::int32_t bottom,
                                  std::int32_t top, std::int32_t& counted) {
  if (bottom < top) {
    const std::int32_t mid = probe(bottom, top);
    if (checked_key_at(run, mid) < target) {
      ++counted;
      return recbinary1_counted(run, target, mid + 1, top, counted);
    }
    return recbinary1_counted(run, target, bottom, mid, counted);
  }
  if (bottom > top) {
    return {false, 0, counted};
  }
  const bool found = checked_key_at(run, top) == target;
  ++counted;
  return {found, top, counted};
}

counted_search recbinary2_counted(entries run, key_type target, std::int32_t bottom,
                                  std::int32_t top, std::int32_t& counted) {
  if (top < bottom) {
    return {false, 0, counted};
  }
  const std::int32_t mid = probe(bottom, top);
  const key_type key = checked_key_at(run, mid);
  ++counted;
  if (key == target) {
    return {true, mid, counted};
  }
  ++counted;
  if (key > target) {
    return recbinary2_counted(run, target, bottom, mid - 1, counted);
  }
  return recbinary2_counted(run, target, mid + 1, top, counted);
}

}  // namespace

counted_search sequential(entries run, key_type target) {
  return counted_scan(run, kernels::first_match(run, target));
}

counted_search sequential(entries run, key_type target, const kernels::scan_kernel& kernel) {
  return counted_scan(run, kernel.scan(run, target));
}

counted_search recbinary1(entries run, key_type target, std::int32_t bottom, std::int32_t top) {
  std::int32_t counted = 0;
  return recbinary1_counted(run, target, bottom, top, counted);
}

counted_search binary2(entries run, key_type target) {
  std::int32_t top = size_of(run);
  std::int32_t bottom = 1;
  std::int32_t counted = 0;
  bool found = false;
  std::int32_t mid = 0;
  while (!found && top >= bottom) {
    mid = probe(bottom, top);
    const key_type key = key_at(run, mid);
    ++counted;
    if (key == target) {
      found = true;
    } else {
      ++counted;
      if (key > target) {
        top = mid - 1;
      } else {
        bottom = mid + 1;
      }
    }
  }
  return {found, mid, counted};
}

counted_search recbinary2(entries run, key_type target, std::int32_t bottom, std::int32_t top) {
  std::int32_t counted = 0;
  return recbinary2_counted(run, target, bottom, top, counted);
}

}  // namespace velk_sr::algorithms
