// The counting models: for each counting rule, the exact number of comparisons that searching
// every target of a half once adds up to, on the list of n entries with keys 1, 3, ..., 2n - 1.
// The successful half's targets are the n keys; the unsuccessful half's are 2, 4, ..., 2n, one
// above each key. Divided by n, a total is the expected mean of a half.
#pragma once

#include <cstdint>

#include "lab/method_record.hpp"

namespace velk_lab {

// Each model takes n from 1 to 2^30 - 1. The totals hold for any n distinct keys with a gap above
// each, since each of these methods compares the target only by order and equality, so that its
// count depends on nothing but the position where the target's key lies or would lie.

// One comparison per entry examined: the key at position r costs r; a missing key costs n.
comparison_totals sequential_model(std::int64_t n);

// binary1 and recbinary1: one for each probe whose key is smaller than the target, and one for
// the final equality test.
comparison_totals binary1_model(std::int64_t n);

// binary2 and recbinary2: one for the equality test of each probe and one more for the ordering
// test when it fails.
comparison_totals binary2_model(std::int64_t n);

// The methods below count one for each ordering test of the target against a key and one for
// each equality test.

// branchless: ceil(log2 n) halving steps and the final test, whatever the target.
comparison_totals branchless_model(std::int64_t n);

// eytzinger: one per level descended, and the final test unless the target is above every key.
comparison_totals eytzinger_model(std::int64_t n);

// exponential: the galloping tests, the halving steps in the bracket, and the final test.
comparison_totals exponential_model(std::int64_t n);

}  // namespace velk_lab
