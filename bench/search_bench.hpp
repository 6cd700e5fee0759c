// The per-search benchmarks, registered at run time: one for each routine, size and half, named
// like "sequentialsearch/100/unsuccessful".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velk_bench {

void register_search_benchmarks();

// Rounds in which each of the named routines, in turn, searches both halves' streams of fresh
// targets at size n once; prints each routine's median nanoseconds per search and the median
// (10th and 90th percentile) of its ratio to the first routine within the same round. On a
// shared machine whose speed changes from one moment to the next, a ratio taken within a round
// holds where a ratio of separate medians does not. False when a name is unknown here.
bool paired_rounds(const std::vector<std::string>& names, std::int32_t n, int rounds);

}  // namespace velk_bench
