#include "velk_sr.hpp"

#include "algorithms.hpp"
#include "random/random_int.hpp"

namespace velk_sr {

frame::natural cc;
time ct;

namespace {

// Adds the comparisons that one search counted, in one checked store: a total past 2147483647
// fails in that search, just as counting them one at a time would. Searches count in a local,
// so the counter is not read and written at every comparison.
void add_comparisons(std::int32_t counted) { cc = frame::wrapping_add(cc, counted); }

// The entries of the list, as the algorithms take them.
algorithms::entries entries_of(const list& l) { return l.data.run(1, l.count); }

// Every slot of the list, for the recursive workers, whose bounds may reach past the count.
algorithms::entries every_slot(const list& l) { return l.data.run(1, key_cl::max_size); }

// The position the caller gets back: the search's own when it found the key, the caller's
// otherwise (or when the search has none to give).
position found_or_passed(const algorithms::counted_search& s, position location) {
  return s.found ? position(s.location) : location;
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
  const algorithms::counted_search s = algorithms::sequential(entries_of(l), target);
  add_comparisons(s.comparisons);
  return {s.found, s.location == 0 ? location : position(s.location)};
}

search_result binary1search(const list& l, key_type target, bool /*found*/, position location) {
  const algorithms::counted_search s = algorithms::binary1(entries_of(l), target);
  add_comparisons(s.comparisons);
  return {s.found, found_or_passed(s, location)};
}

search_result recbinary1search(const list& l, key_type target, bool /*found*/, position location) {
  return recbinary1(l, target, 1, l.count, location);
}

search_result recbinary1(const list& l, key_type target, std::int32_t bottom, std::int32_t top,
                         position location) {
  const algorithms::counted_search s = algorithms::recbinary1(every_slot(l), target, bottom, top);
  add_comparisons(s.comparisons);
  return {s.found, found_or_passed(s, location)};
}

search_result binary2search(const list& l, key_type target, bool /*found*/, position location) {
  const algorithms::counted_search s = algorithms::binary2(entries_of(l), target);
  add_comparisons(s.comparisons);
  // After an unsuccessful search the last position probed; an empty list probes nothing and
  // has no last position to give.
  return {s.found, s.location == 0 ? location : position(s.location)};
}

search_result recbinary2search(const list& l, key_type target, bool found, position location) {
  return recbinary2(l, target, 1, l.count, found, location);
}

search_result recbinary2(const list& l, key_type target, std::int32_t bottom, std::int32_t top,
                         bool /*found*/, position location) {
  const algorithms::counted_search s = algorithms::recbinary2(every_slot(l), target, bottom, top);
  add_comparisons(s.comparisons);
  return {s.found, found_or_passed(s, location)};
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
