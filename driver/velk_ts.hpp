// velk_ts: the test procedure and the main procedure that runs the fixed schedule of tests.
#pragma once

#include "../search/velk_sr.hpp"

namespace velk_ts {

// Measures `look` on `l`, whose entry i must hold the key 2i - 1. With n = listsize(l): n
// successful searches (2r - 1) and then n unsuccessful ones (2r), r drawn over 1..n from one new
// generator in its default state, so the targets depend only on n. Each half writes an error line
// for every wrong outcome, then its average number of comparisons and its elapsed time. An empty
// list searches nothing and shows averages of 0. A null `look` raises the constraint failure at
// the first search.
void testsearch(const velk_sr::list& l, velk_sr::searchmethod look);

// Builds the list 1, 3, ..., 19999 and runs sequential and then binary search on the sizes 10,
// 100, 1000 and 10000, writing the report to standard output.
void main_procedure();

}  // namespace velk_ts
