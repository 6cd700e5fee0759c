// A small program for the process-level tests. It runs under the frame like any program of the
// system; its first argument picks a case, and each case writes some output and then ends in its
// own way, so that a test can check the output, the failure report and the exit status.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <stdexcept>
#include <string_view>

#include "driver/number_images.hpp"
#include "frame/checks.hpp"
#include "frame/clock.hpp"
#include "frame/failure.hpp"
#include "frame/fixed_text.hpp"
#include "frame/frame.hpp"
#include "frame/integer_image.hpp"
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

void natural_past_its_limit() {
  frame::put_line("adding");
  volatile std::int32_t most = std::numeric_limits<std::int32_t>::max();
  frame::natural n = most;
  n = n + 1;
  frame::put_line(frame::join<32>("stored", frame::integer_image(n)).view());
}

// Inserts the list's own second entry at the front and shows the keys.
void insert_an_entry_of_the_list() {
  fill(3);
  velk_sr::key_cl::insertlist(1, probe_list.data[2], probe_list);
  frame::fixed_text<32> keys;
  for (std::int32_t i = 1; i <= probe_list.count; ++i) {
    keys.append(frame::integer_image(probe_list.data[i].key));
  }
  frame::put_line(keys.view());
}

// Writes many short lines as fast as it can.
void write_many_lines() {
  for (std::int32_t i = 1; i <= 2000; ++i) {
    frame::put_line(frame::join<32>("line", frame::integer_image(i), " of many").view());
  }
}

// A line refused by the device (descriptor 1 closed for the moment) leaves no line open, so
// the normal end writes nothing more once the descriptor is back.
void refused_then_end() {
  const int saved = ::dup(STDOUT_FILENO);
  ::close(STDOUT_FILENO);
  const auto raised = frame::handled([] { frame::put_line("refused"); });
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  if (raised != frame::failure_kind::device_error) {
    frame::put_line("the refused line raised no device error");
  }
}

void wait_for_a_signal() {
  frame::put_line("waiting");
  for (int second = 0; second < 20; ++second) {
    ::sleep(1);
  }
  frame::put_line("no signal came");
}

void call_abort() {
  frame::put("about to abort");
  std::abort();
}

[[noreturn, gnu::noinline]] void throw_an_exception() {
  throw std::runtime_error("out of a noexcept function");
}

// cppcheck-suppress throwInNoexceptFunction
void leave_noexcept() noexcept { throw_an_exception(); }  // NOLINT(bugprone-exception-escape)

void throw_through_noexcept() {
  frame::put_line("throwing");
  leave_noexcept();
}

void throw_bad_alloc() {
  frame::put_line("allocating");
  throw std::bad_alloc();
}

// A clean-up that faults, in place of the one the frame records.
__attribute__((no_sanitize("undefined", "address"))) void faulting_cleanup() {
  volatile int* volatile nowhere = nullptr;
  // cppcheck-suppress nullPointer
  *nowhere = 1;  // NOLINT(clang-analyzer-core.NullDereference)
}

void failing_cleanup() { frame::raise_failure(frame::failure_kind::device_error); }

void fault_in_cleanup_after_a_check() {
  frame::put_line("checking");
  frame::record_cleanup(faulting_cleanup);
  frame::raise_constraint_error();
}

void failure_in_cleanup_after_a_check() {
  frame::put_line("checking");
  frame::record_cleanup(failing_cleanup);
  frame::raise_constraint_error();
}

void fault_in_cleanup_after_a_fault() {
  frame::record_cleanup(faulting_cleanup);
  divide_by_zero();
}

// Reads a page of a shared memory file beyond its end.
__attribute__((no_sanitize("address"))) void bus_error() {
  frame::put_line("reading past the end of a file");
  const int file = ::memfd_create("empty", 0);
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const auto* volatile mapped =
      static_cast<const volatile char*>(::mmap(nullptr, page, PROT_READ, MAP_SHARED, file, 0));
  static_cast<void>(mapped[0]);
}

void illegal_instruction() {
  frame::put_line("trapping");
  __builtin_trap();
}

void breakpoint() {
  frame::put_line("breaking");
  asm volatile("int3");
}

// A frame of 48 MiB, more than the 32 MiB the stack may have, touched 8 MiB above its bottom:
// far from the stack pointer, beyond the stack's limit.
__attribute__((noinline)) void touch(volatile char* byte) { *byte = 1; }

__attribute__((noinline)) void touch_a_huge_frame() {
  char bytes[std::size_t{48} * 1024 * 1024];
  // cppcheck-suppress legacyUninitvar
  touch(&bytes[std::size_t{8} * 1024 * 1024]);
}

void huge_frame() {
  frame::put_line("making a huge frame");
  touch_a_huge_frame();
  frame::put_line("came back");
}

// Reads from a page 64 MiB below the stack, where the stack may never grow.
__attribute__((no_sanitize("address"))) void read_far_below_the_stack() {
  frame::put_line("reading below the stack");
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const std::uintptr_t far_below =
      // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
      reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) -
      std::uintptr_t{64} * 1024 * 1024;
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast,performance-no-int-to-ptr)
  void* const wanted = reinterpret_cast<void*>(far_below - far_below % page);
  if (::mmap(wanted, page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0) !=
      wanted) {
    frame::put_line("that page is taken");
    return;
  }
  static_cast<void>(*static_cast<const volatile char*>(wanted));
}

// The largest extended value: an emulator that computes in double precision takes it for an
// infinity once it is loaded, although the check for one looked at its bits.
void image_a_huge_value() {
  frame::put_line("imaging");
  volatile long double huge = std::numeric_limits<long double>::max();
  frame::put_line(velk_ts::float_image(huge, 6).view());
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
    {"natural-past-limit", natural_past_its_limit},
    {"own-entry", insert_an_entry_of_the_list},
    {"many-lines", write_many_lines},
    {"refused-then-end", refused_then_end},
    {"wait-for-signal", wait_for_a_signal},
    {"abort", call_abort},
    {"throw-through-noexcept", throw_through_noexcept},
    {"bad-alloc", throw_bad_alloc},
    {"fault-in-cleanup", fault_in_cleanup_after_a_check},
    {"failure-in-cleanup", failure_in_cleanup_after_a_check},
    {"fault-in-cleanup-after-fault", fault_in_cleanup_after_a_fault},
    {"bus-error", bus_error},
    {"illegal-instruction", illegal_instruction},
    {"breakpoint", breakpoint},
    {"huge-frame", huge_frame},
    {"far-below-stack", read_far_below_the_stack},
    {"huge-image", image_a_huge_value},
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
