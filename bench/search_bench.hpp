// The per-search benchmarks, registered at run time: one for each routine, size and half, named
// like "sequentialsearch/100/unsuccessful".
#pragma once

namespace velk_bench {

void register_search_benchmarks();

}  // namespace velk_bench
