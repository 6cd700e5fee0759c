// A small program for the process-level tests. It runs under the frame like any program of the
// system; its first argument picks a case, and each case writes some output and then ends in its
// own way, so that a test can check the output, the failure report and the exit status.
#include <cstdint>
#include <limits>
#include <string_view>

#include "frame/checks.hpp"
#include "frame/clock.hpp"
#include "frame/frame.hpp"
#include "frame/text_output.hpp"
#include "search/velk_sr.hpp"

namespace {

velk_sr::list probe_list;

void fill(std::int32_t n) {
  for (std::int32_t i = 1; i <= n; ++i) {
    probe_list.data[i].key = 2 * i - 1;
  }
  probe_list.count = n;
}

void recbinary1_on_empty_bounds() {
  fill(10);
  frame::put_line("first line");
  frame::put_line("second line");
  velk_sr::recbinary1(probe_list, 5, 0, 0);
}

void count_past_the_limit() {
  fill(1);
  frame::put_line("before the count");
  velk_sr::cc = std::numeric_limits<std::int32_t>::max();
  velk_sr::sequentialsearch(probe_list, 1, false, 1);
}

void index_outside_the_array() {
  frame::put_line("indexing");
  probe_list.data[0].key = 1;
}

void store_outside_the_range() {
  frame::put_line("storing");
  volatile std::int32_t size = 10001;
  probe_list.count = size;
}

void call_through_a_null_reference() {
  fill(3);
  frame::put_line("visiting");
  velk_sr::key_cl::traverselist(probe_list, nullptr);
}

// The faults below are made on purpose, so the sanitizers must not catch them first.
__attribute__((no_sanitize("undefined"))) void divide_by_zero() {
  frame::put_line("dividing");
  volatile int dividend = 7;
  volatile int zero = 0;
  // cppcheck-suppress zerodiv
  volatile int quotient = dividend / zero;  // NOLINT(clang-analyzer-core.DivideZero)
  static_cast<void>(quotient);
}

__attribute__((no_sanitize("undefined", "address"))) void dereference_null() {
  frame::put_line("dereferencing");
  volatile int* volatile nowhere = nullptr;
  // cppcheck-suppress nullPointer
  *nowhere = 1;  // NOLINT(clang-analyzer-core.NullDereference)
}

// Each level keeps a kilobyte of its own, so the depth tells how much stack was used.
__attribute__((noinline)) std::int32_t descend(std::int32_t depth) {
  volatile char frame_bytes[1024];
  frame_bytes[0] = static_cast<char>(depth);
  if (depth == 0) {
    return frame_bytes[0];
  }
  return descend(depth - 1) + frame_bytes[0];
}

void recurse_without_end() {
  frame::put_line("recursing");
  descend(std::numeric_limits<std::int32_t>::max());
}

// About 24 MiB of stack: more than the usual default, less than the frame reserves.
void recurse_deeply() {
  descend(24 * 1024);
  frame::put_line("came back");
}

void fail_in_mid_line() {
  frame::put_line("whole line");
  frame::put("part of a line");
  frame::raise_constraint_error();
}

void leave_a_line_open() { frame::put("unfinished"); }

void succeed() { frame::put_line("all well"); }

// What the frame had done by the time the last unit was initialised.
int later_units_initialised = 0;
velk_sr::time stopwatch_at_later_unit;

void initialize_later_unit() {
  ++later_units_initialised;
  stopwatch_at_later_unit = velk_sr::ct;
}

void report_start_up() {
  const bool once = later_units_initialised == 1;
  const bool stopwatch_set_first = stopwatch_at_later_unit.nanoseconds != 0 &&
                                   stopwatch_at_later_unit.nanoseconds == velk_sr::ct.nanoseconds &&
                                   velk_sr::ct.nanoseconds <= frame::monotonic_clock().nanoseconds;
  frame::put_line(once ? "each unit initialised once" : "a unit initialised more than once");
  frame::put_line(stopwatch_set_first ? "stopwatch started before the main procedure"
                                      : "stopwatch not started in order");
  frame::put_line(velk_sr::get_counts().comparisons == 0 ? "no comparisons yet"
                                                         : "comparisons before any search");
}

struct probe_case {
  std::string_view name;
  void (*run)();
};

constexpr probe_case cases[] = {
    {"recbinary1-zero", recbinary1_on_empty_bounds},
    {"count-overflow", count_past_the_limit},
    {"index", index_outside_the_array},
    {"range", store_outside_the_range},
    {"null-routine", call_through_a_null_reference},
    {"divide-by-zero", divide_by_zero},
    {"null-pointer", dereference_null},
    {"unbounded-recursion", recurse_without_end},
    {"deep-recursion", recurse_deeply},
    {"mid-line", fail_in_mid_line},
    {"open-line", leave_a_line_open},
    {"none", succeed},
    {"start-up", report_start_up},
};

void run_chosen_case() {
  const std::string_view chosen =
      frame::argument_count() > 1 ? frame::argument_vector()[1] : std::string_view();
  for (const probe_case& c : cases) {
    if (c.name == chosen) {
      c.run();
      return;
    }
  }
  frame::put_line("no such case");
}

}  // namespace

int main(int argc, char** argv) {
  frame::run(argc, argv, {velk_sr::initialize, initialize_later_unit}, run_chosen_case);
}
