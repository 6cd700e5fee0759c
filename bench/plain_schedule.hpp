// The schedule written plainly, as the yardstick for the real one: scalar loops over a plain
// array of the same keys, the comparison counter in a global bumped at every comparison, no
// run-time checks, and the report formatted with snprintf. It draws its targets with random_int,
// so it searches exactly what the real schedule searches.
#pragma once

#include <array>
#include <cstdint>

namespace velk_bench::plain {

// The comparison total of each half, in the order the schedule runs them: for sequential and
// then binary search, for each size, the successful half and then the unsuccessful one.
using totals = std::array<std::int32_t, 16>;

// Runs the whole schedule and writes its 42 report lines to descriptor 1, one write each.
totals run_schedule();

}  // namespace velk_bench::plain
