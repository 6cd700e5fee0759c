#include "velk_sr.hpp"

namespace velk_sr {

frame::natural cc;
time ct;

namespace {

// Adds one counted comparison; past 2147483647 this is the constraint failure.
void count_comparison() { cc = frame::checked_increment(cc); }

// The probe between two bounds. The sum wraps rather than overflows, as plain 32-bit
// arithmetic; the caller's read of the entry checks the probe against the array's bounds.
std::int32_t probe(std::int32_t bottom, std::int32_t top) {
  return frame::wrapping_add(bottom, top) / 2;
}

}  // namespace

void initialize() { ct = frame::monotonic_clock(); }

void reset_counts() {
  cc = 0;
  ct = frame::monotonic_clock();
}

counts get_counts() {
  const frame::natural comparisons = cc;
  return counts{comparisons, frame::monotonic_clock() - ct};
}

search_result sequentialsearch(const list& l, key_type target, bool /*found*/,
                               position location) {
  if (key_cl::listempty(l)) {
    return {false, location};
  }
  const std::int32_t n = l.count;
  std::int32_t examined = 1;
  while (true) {
    count_comparison();
    if (l.data[examined].key == target) {
      return {true, examined};
    }
    if (examined >= n) {
      return {false, examined};
    }
    ++examined;
  }
}

search_result binary1search(const list& l, key_type target, bool /*found*/, position location) {
  std::int32_t top = l.count;
  std::int32_t bottom = 1;
  while (bottom < top) {
    const std::int32_t mid = probe(bottom, top);
    if (l.data[mid].key < target) {
      count_comparison();
      bottom = mid + 1;
    } else {
      top = mid;
    }
  }
  if (top == 0) {
    return {false, location};
  }
  const bool found = l.data[top].key == target;
  count_comparison();
  return {found, found ? position(top) : location};
}

search_result recbinary1search(const list& l, key_type target, bool /*found*/,
                               position location) {
  return recbinary1(l, target, 1, l.count, location);
}

search_result recbinary1(const list& l, key_type target, std::int32_t bottom, std::int32_t top,
                         position location) {
  if (bottom < top) {
    const std::int32_t mid = probe(bottom, top);
    if (l.data[mid].key < target) {
      count_comparison();
      return recbinary1(l, target, mid + 1, top, location);
    }
    return recbinary1(l, target, bottom, mid, location);
  }
  if (bottom > top) {
    return {false, location};
  }
  const bool found = l.data[top].key == target;
  count_comparison();
  return {found, found ? position(top) : location};
}

}  // namespace velk_sr
