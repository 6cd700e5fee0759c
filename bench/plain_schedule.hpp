// The schedule written plainly, as the yardstick for the real one: a plain array of the same
// keys, scalar loops, the comparison counter a global bumped at every comparison, the generator
// written out with constant moduli, no run-time checks, and the report formatted with snprintf.
// It needs nothing of velk's: bench/whole_process builds it on its own as the program velk_plain.
#pragma once

#include <array>
#include <cstdint>

namespace velk_bench::plain {

// The comparison total of each half, in the order the schedule runs them: for sequential and
// then binary search, for each size, the successful half and then the unsuccessful one.
using totals = std::array<std::int32_t, 16>;

// Runs the whole schedule and writes its 42 report lines to descriptor 1, one write each.
totals run_schedule();

// The pieces of the plain program, for the per-search and per-draw benchmarks.

// Sets the keys 1, 3, ..., 19999 that the searches look at.
void fill_keys();

// A search over the first n keys: whether `target` is there, and where (1..n) when it is. Each
// comparison adds one to the plain program's counter.
bool sequential_search(int n, int target, int* location);
bool binary_search(int n, int target, int* location);

// Sets the counter back to 0, so that a long run of searches does not carry it past its limit.
void zero_counter();

// The generator over 1..n in its default state; `draw` gives the same values as random_int.
class generator {
 public:
  explicit generator(int n);
  int draw();

 private:
  std::int64_t x1_;
  std::int64_t x2_;
  int n_;
  double scale_;
};

}  // namespace velk_bench::plain
