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

template <run_entry Entry>
std::int32_t size_of(std::span<const Entry> run) {
  return static_cast<std::int32_t>(run.size());
}

// The key at a position that the caller knows to lie inside the run.
template <run_entry Entry>
key_type_of<Entry> key_at(std::span<const Entry> run, std::int32_t p) {
  return key_of(run[static_cast<std::size_t>(p - 1)]);
}

// The key at a position that comes from the caller's bounds, checked against the run.
template <run_entry Entry>
key_type_of<Entry> checked_key_at(std::span<const Entry> run, std::int32_t p) {
  frame::check(p >= 1 && p <= size_of(run));
  return key_at(run, p);
}

// A sequential search that would have examined the entries one at a time, from where the first
// match lies (the size of the run when there is none): one comparison per entry up to and
// including the match, or every entry.
counted_search counted_scan(std::size_t size, std::size_t first_match) {
  const bool found = first_match < size;
  const auto last_examined = static_cast<std::int32_t>(found ? first_match + 1 : size);
  return {found, last_examined, last_examined};
}

// The recursive workers count into `counted`, so that the count is added once per search.
template <run_entry Entry>
counted_search recbinary1_counted(std::span<const Entry> run, key_type_of<Entry> target,
                                  std::int32_t bottom, std::int32_t top, std::int32_t& counted) {
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

template <run_entry Entry>
counted_search recbinary2_counted(std::span<const Entry> run, key_type_of<Entry> target,
                                  std::int32_t bottom, std::int32_t top, std::int32_t& counted) {
  if (top < bottom) {
    return {false, 0, counted};
  }
  const std::int32_t mid = probe(bottom, top);
  const key_type_of<Entry> key = checked_key_at(run, mid);
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

template <run_entry Entry>
counted_search sequential(std::span<const Entry> run, key_type_of<Entry> target) {
  return counted_scan(run.size(), kernels::first_match(run, target));
}

template <run_entry Entry>
counted_search sequential(std::span<const Entry> run, key_type_of<Entry> target,
                          const kernels::scan_kernel<Entry>& kernel) {
  return counted_scan(run.size(), kernel.scan(run, target));
}

template <run_entry Entry>
counted_search recbinary1(std::span<const Entry> run, key_type_of<Entry> target,
                          std::int32_t bottom, std::int32_t top) {
  std::int32_t counted = 0;
  return recbinary1_counted(run, target, bottom, top, counted);
}

template <run_entry Entry>
counted_search binary2(std::span<const Entry> run, key_type_of<Entry> target) {
  std::int32_t top = size_of(run);
  std::int32_t bottom = 1;
  std::int32_t counted = 0;
  bool found = false;
  std::int32_t mid = 0;
  while (!found && top >= bottom) {
    mid = probe(bottom, top);
    const key_type_of<Entry> key = key_at(run, mid);
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

template <run_entry Entry>
counted_search recbinary2(std::span<const Entry> run, key_type_of<Entry> target,
                          std::int32_t bottom, std::int32_t top) {
  std::int32_t counted = 0;
  return recbinary2_counted(run, target, bottom, top, counted);
}

template counted_search sequential(std::span<const list_entry>, key_type);
template counted_search sequential(std::span<const std::uint32_t>, std::uint32_t);
template counted_search sequential(std::span<const std::uint64_t>, std::uint64_t);
template counted_search sequential(std::span<const list_entry>, key_type,
                                   const kernels::scan_kernel<list_entry>&);
template counted_search sequential(std::span<const std::uint32_t>, std::uint32_t,
                                   const kernels::scan_kernel<std::uint32_t>&);
template counted_search sequential(std::span<const std::uint64_t>, std::uint64_t,
                                   const kernels::scan_kernel<std::uint64_t>&);
template counted_search recbinary1(std::span<const list_entry>, key_type, std::int32_t,
                                   std::int32_t);
template counted_search recbinary1(std::span<const std::uint32_t>, std::uint32_t, std::int32_t,
                                   std::int32_t);
template counted_search recbinary1(std::span<const std::uint64_t>, std::uint64_t, std::int32_t,
                                   std::int32_t);
template counted_search binary2(std::span<const list_entry>, key_type);
template counted_search binary2(std::span<const std::uint32_t>, std::uint32_t);
template counted_search binary2(std::span<const std::uint64_t>, std::uint64_t);
template counted_search recbinary2(std::span<const list_entry>, key_type, std::int32_t,
                                   std::int32_t);
template counted_search recbinary2(std::span<const std::uint32_t>, std::uint32_t, std::int32_t,
                                   std::int32_t);
template counted_search recbinary2(std::span<const std::uint64_t>, std::uint64_t, std::int32_t,
                                   std::int32_t);

}  // namespace velk_sr::algorithms
