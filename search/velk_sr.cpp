#include "velk_sr.hpp"

#include <cstddef>
#include <span>

#include "random/random_int.hpp"

namespace velk_sr {

frame::natural cc;
time ct;

namespace {

// Adds the comparisons that one search counted, in one checked store: a total past 2147483647
// fails in that search, just as counting them one at a time would. Searches count in a local,
// so the counter is not read and written at every comparison.
void add_comparisons(std::int32_t counted) { cc = frame::wrapping_add(cc, counted); }

// The probe between two bounds. The sum wraps rather than overflows, as plain 32-bit
// arithmetic; the caller keeps the probe inside the array, by a checked read of the entry or by
// probing only inside a run it has checked.
std::int32_t probe(std::int32_t bottom, std::int32_t top) {
  return frame::wrapping_add(bottom, top) / 2;
}

// The recursive workers, counting into `counted`; the public routines add it to the counter.
search_result recbinary1_counted(const list& l, key_type target, std::int32_t bottom,
                                 std::int32_t top, position location, std::int32_t& counted) {
  if (bottom < top) {
    const std::int32_t mid = probe(bottom, top);
    if (l.data[mid].key < target) {
      ++counted;
      return recbinary1_counted(l, target, mid + 1, top, location, counted);
    }
    return recbinary1_counted(l, target, bottom, mid, location, counted);
  }
  if (bottom > top) {
    return {false, location};
  }
  const bool found = l.data[top].key == target;
  ++counted;
  return {found, found ? position(top) : location};
}

search_result recbinary2_counted(const list& l, key_type target, std::int32_t bottom,
                                 std::int32_t top, bool found, position location,
                                 std::int32_t& counted) {
  if (top < bottom) {
    return {false, location};
  }
  const std::int32_t mid = probe(bottom, top);
  const key_type key = l.data[mid].key;
  ++counted;
  if (key == target) {
    return {true, mid};
  }
  ++counted;
  if (key > target) {
    return recbinary2_counted(l, target, bottom, mid - 1, found, location, counted);
  }
  return recbinary2_counted(l, target, mid + 1, top, found, location, counted);
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

search_result sequentialsearch(const list& l, key_type target, bool /*found*/, position location) {
  const std::span<const list_entry> entries = l.data.run(1, l.count);
  if (entries.empty()) {
    return {false, location};
  }
  // One comparison per entry examined: the position where the key matched, or every entry.
  std::size_t examined = 0;
  while (examined < entries.size() && entries[examined].key != target) {
    ++examined;
  }
  const bool found = examined < entries.size();
  const auto last_examined = static_cast<std::int32_t>(found ? examined + 1 : entries.size());
  add_comparisons(last_examined);
  return {found, last_examined};
}

search_result binary1search(const list& l, key_type target, bool /*found*/, position location) {
  // Every probe lies in bottom..top, inside 1..count, so one check of that run covers them all.
  const std::span<const list_entry> entries = l.data.run(1, l.count);
  if (entries.empty()) {
    return {false, location};
  }
  const auto key_at = [&](std::int32_t p) { return entries[static_cast<std::size_t>(p - 1)].key; };
  std::int32_t top = l.count;
  std::int32_t bottom = 1;
  std::int32_t counted = 0;
  while (bottom < top) {
    const std::int32_t mid = probe(bottom, top);
    // Written without a branch on the outcome, which no predictor can guess.
    const bool smaller = key_at(mid) < target;
    counted += static_cast<std::int32_t>(smaller);
    bottom = smaller ? mid + 1 : bottom;
    top = smaller ? top : mid;
  }
  const bool found = key_at(top) == target;
  add_comparisons(counted + 1);
  return {found, found ? position(top) : location};
}

search_result recbinary1search(const list& l, key_type target, bool /*found*/, position location) {
  return recbinary1(l, target, 1, l.count, location);
}

search_result recbinary1(const list& l, key_type target, std::int32_t bottom, std::int32_t top,
                         position location) {
  std::int32_t counted = 0;
  const search_result result = recbinary1_counted(l, target, bottom, top, location, counted);
  add_comparisons(counted);
  return result;
}

search_result binary2search(const list& l, key_type target, bool /*found*/, position location) {
  if (key_cl::listempty(l)) {
    // Nothing to probe, so there is no last position to give.
    return {false, location};
  }
  std::int32_t top = l.count;
  std::int32_t bottom = 1;
  std::int32_t counted = 0;
  bool found = false;
  std::int32_t mid = 0;
  while (!found && top >= bottom) {
    mid = probe(bottom, top);
    const key_type key = l.data[mid].key;
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
  add_comparisons(counted);
  return {found, mid};
}

search_result recbinary2search(const list& l, key_type target, bool found, position location) {
  return recbinary2(l, target, 1, l.count, found, location);
}

search_result recbinary2(const list& l, key_type target, std::int32_t bottom, std::int32_t top,
                         bool found, position location) {
  std::int32_t counted = 0;
  const search_result result = recbinary2_counted(l, target, bottom, top, found, location, counted);
  add_comparisons(counted);
  return result;
}

void insertorder(const list_entry& x, list& l) {
  if (key_cl::listfull(l)) {
    // Refused by the list itself, with its message. Looking for the place first would step
    // past the last position when every key is smaller.
    key_cl::insertlist(1, x, l);
    return;
  }
  position current = 1;
  while (current <= key_cl::listsize(l)) {
    list_entry currententry;
    key_cl::retrievelist(current, currententry, l);
    if (currententry.key >= x.key) {
      break;
    }
    current = current + 1;
  }
  key_cl::insertlist(current, x, l);
}

void mixup(list& l) {
  const std::int32_t n = key_cl::listsize(l);
  const random_int::range ri_range(n);
  random_int::generator g = ri_range.make_generator();
  for (std::int32_t curposition = 1; curposition <= n - 1; ++curposition) {
    const position newposition = ri_range.random(g);
    list_entry temp1;
    list_entry temp2;
    key_cl::retrievelist(curposition, temp1, l);
    key_cl::retrievelist(newposition, temp2, l);
    key_cl::replacelist(curposition, temp2, l);
    key_cl::replacelist(newposition, temp1, l);
  }
}

}  // namespace velk_sr
