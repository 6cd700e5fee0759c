// velk_sr: the search routines, with the comparison counter and stopwatch that measure them.
#pragma once

#include <cstdint>

#include "../frame/checks.hpp"
#include "../frame/clock.hpp"
#include "../list/gen_cl.hpp"
#include "entries.hpp"

namespace velk_sr {

using key_cl = gen_cl<list_entry>;
using list = key_cl::list;
using position = key_cl::position;

using frame::clock;
using frame::duration;
using frame::time;

// The comparison counter: each search routine adds one for every key comparison it counts.
extern frame::natural cc;
// When the stopwatch was last started (a reading of the monotonic stopwatch clock).
extern time ct;

// What a search gives back. `location` means something only when `found` is true.
struct search_result {
  bool found = false;
  position location;
};

// The form of every search routine: the list (only read), the key sought, and the caller's
// current `found` and `location`, which a routine gives back for any result it leaves unset.
using searchmethod = search_result (*)(const list& l, key_type target, bool found,
                                       position location);

// What get_counts reads.
struct counts {
  frame::natural comparisons;
  duration interval = 0;
};

// Starts the stopwatch at program start; the frame calls it once, before the main procedure.
void initialize();

// Zeroes the counter, then restarts the stopwatch.
void reset_counts();

// Reads the counter, then the interval since the stopwatch was started. Changes nothing. The
// interval is in whole milliseconds and never negative.
counts get_counts();

// Examines the entries from the first until the key matches; counts one comparison per entry
// examined. Not found: `location` is the count (the last position examined). An empty list
// gives `found` false, counts nothing and gives `location` back as passed.
search_result sequentialsearch(const list& l, key_type target, bool found, position location);

// Binary search on an ascending list that narrows the range to one position before testing for
// equality. Counts one for each probe whose key is smaller than the target, plus one for the
// final equality test when the list is not empty. Not found: `location` as passed in.
search_result binary1search(const list& l, key_type target, bool found, position location);

// The recursive form of binary1search: same results, same count.
search_result recbinary1search(const list& l, key_type target, bool found, position location);

// The recursive worker over bottom..top, with the same count. Probing outside 1..max_size
// raises the constraint failure. Not found: `location` is given back as passed in.
search_result recbinary1(const list& l, key_type target, std::int32_t bottom, std::int32_t top,
                         position location = position());

// Binary search on an ascending list that tests the middle entry for equality first and stops
// at the first probe that matches (with duplicates, not always the lowest position). Each probe
// counts one for the equality test and, when that fails, one more for the ordering test. Not
// found: `location` is the last position probed; an empty list probes nothing and gives
// `location` back as passed in.
search_result binary2search(const list& l, key_type target, bool found, position location);

// The recursive form of binary2search: the same probes, results and count, except that when not
// found `location` is given back as passed in.
search_result recbinary2search(const list& l, key_type target, bool found, position location);

// The recursive worker over bottom..top, handing the caller's `found` and `location` down.
// Probing outside 1..max_size raises the constraint failure.
search_result recbinary2(const list& l, key_type target, std::int32_t bottom, std::int32_t top,
                         bool found, position location);

// Puts `x` into an ascending list in front of the first entry whose key is not smaller, or at
// the end. A full list refuses with the list's message and is left unchanged, whatever its keys.
// `x` may be one of the list's own entries: it is stored as it was when passed. Counts nothing.
void insertorder(const list_entry& x, list& l);

// Scrambles the list by swapping each position 1..n-1 in turn with a partner drawn over 1..n
// from a new generator in its default state, so every list of the same size gets the same
// swaps. Entries keep their key and info together; the count is unchanged. Counts nothing.
void mixup(list& l);

}  // namespace velk_sr
