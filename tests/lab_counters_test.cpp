// The counters around a timed repetition: the hardware path through a scripted source of
// readings, since a machine may have none, and this system's software counters for real.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include "lab/measure/counters.hpp"

namespace {

using velk_lab::counter_set;
using velk_lab::counter_values;
using velk_lab::group_reading;

constexpr std::size_t cycles = 0;      // the hardware group's leader
constexpr std::size_t task_clock = 5;  // the software group's leader
constexpr std::size_t page_faults = 6;
constexpr std::size_t context_switches = 7;
constexpr auto none = std::nullopt;

// Hands out scripted openings, readings and failures (errno values); a counter's handle is its
// index in the table.
class scripted_source final : public velk_lab::reading_source {
 public:
  std::optional<int> paranoid = 2;
  std::map<std::string_view, int> open_errors;        // by counter, for every opening
  std::map<velk_lab::counter_kind, int> kind_errors;  // by kind, for every opening
  bool kernel_denied = false;                         // EACCES unless the kernel is excluded
  std::map<int, int> enable_errors;                   // by leader
  std::map<int, std::deque<std::pair<int, group_reading>>> reads;  // by leader, in turn
  int open_count = 0;
  int close_count = 0;

  std::optional<int> paranoid_level() override { return paranoid; }
  velk_lab::opened_counter open(const velk_lab::counter& which, bool exclude_kernel,
                                std::optional<int> /*leader*/) override {
    if (open_errors.contains(which.name)) {
      return {-1, open_errors[which.name]};
    }
    if (kind_errors.contains(which.kind)) {
      return {-1, kind_errors[which.kind]};
    }
    if (kernel_denied && !exclude_kernel) {
      return {-1, EACCES};
    }
    ++open_count;
    return {static_cast<int>(&which - velk_lab::all_counters().data()), 0};
  }
  void close(int /*handle*/) override { ++close_count; }
  int enable(int leader) override { return enable_errors[leader]; }
  int disable(int /*leader*/) override { return 0; }
  int read(int leader, group_reading& into) override {
    if (reads[leader].empty()) {
      return ENODATA;
    }
    int error = 0;
    std::tie(error, into) = reads[leader].front();
    reads[leader].pop_front();
    return error;
  }
};

constexpr auto hardware = velk_lab::counter_kind::hardware;
std::string all_hardware(std::string_view reason) {
  return std::string(
             "no hardware counters (cycles, instructions, branch-misses, L1-dcache-load-misses, "
             "LLC-load-misses): ")
      .append(reason);
}

// Denied the kernel, a counter falls back to user space, unless its events all happen in the
// kernel: then it would read zero, so it is left out with the paranoid level as its reason.
TEST(Counters, EachFailureToOpenIsNamedWithItsReasonOnOneLine) {
  const std::string none_such = "the processor or the virtual machine has no such counter";
  const std::string paranoid =
      "perf_event_paranoid is 2; run as root or lower it (sysctl kernel.perf_event_paranoid=1)";
  const struct {
    std::map<std::string_view, int> errors;
    std::map<velk_lab::counter_kind, int> kind_errors;
    bool kernel_denied;
    std::optional<std::string> line;
  } cases[] = {
      {{}, {{hardware, ENOENT}}, false, all_hardware(none_such)},
      {{}, {{hardware, EOPNOTSUPP}}, false, all_hardware(none_such)},
      {{}, {{hardware, EACCES}}, false, all_hardware(paranoid)},
      {{}, {{hardware, EPERM}}, false, all_hardware(paranoid)},
      {{}, {{hardware, EBUSY}}, false, all_hardware("Device or resource busy")},
      {{{"cycles", ENOENT}, {"LLC-load-misses", EINVAL}},
       {},
       false,
       "no hardware counter (cycles): " + none_such +
           "; no hardware counter (LLC-load-misses): Invalid argument"},
      {{},
       {{hardware, ENOENT}},
       true,
       all_hardware(none_such) + "; no software counter (context-switches): " + paranoid},
      {{},
       {{hardware, ENOSYS}, {velk_lab::counter_kind::software, ENOSYS}},
       false,
       "no counters (cycles, instructions, branch-misses, L1-dcache-load-misses, "
       "LLC-load-misses, task-clock, page-faults, context-switches): this system has no "
       "perf_event_open"},
      {{}, {}, false, none},
  };
  for (const auto& c : cases) {
    scripted_source source;
    source.open_errors = c.errors;
    source.kind_errors = c.kind_errors;
    source.kernel_denied = c.kernel_denied;
    EXPECT_EQ(counter_set(source).missing_line(), c.line);
  }
}

TEST(Counters, ReadingsAreScaledWhenSharedAndDividedBySearches) {
  scripted_source source;
  {
    counter_set set(source);
    // The hardware group ran half the time it was enabled; the software group all of it.
    source.reads[cycles] = {{0, group_reading{100, 100, 5, {1, 2, 3, 4, 5}}},
                            {0, group_reading{2100, 1100, 5, {1001, 2002, 33, 44, 55}}}};
    source.reads[task_clock] = {{0, group_reading{50, 50, 3, {50, 7, 0}}},
                                {0, group_reading{1050, 1050, 3, {1050, 17, 2}}}};
    set.start();
    set.stop();
    EXPECT_EQ(set.per_search(10), (counter_values{200.0, 400.0, 6.0, 8.0, 10.0, 100.0, 1.0, 0.2}));
    EXPECT_EQ(set.missing_line(), none);
  }
  EXPECT_EQ(source.close_count, source.open_count);
}

// A group that fails to start, to read, or never runs reads none for that repetition; the line
// names it; the next repetition reads it again.
TEST(Counters, AFailureAfterStartEmptiesThatGroupForThatRepetition) {
  scripted_source source;
  counter_set set(source);
  const group_reading hardware_zero = group_reading{0, 0, 5, {0, 0, 0, 0, 0}};
  const group_reading software_zero = group_reading{0, 0, 3, {0, 0, 0}};
  source.reads[cycles] = {{0, hardware_zero}, {EIO, {}}, {0, hardware_zero}, {0, hardware_zero}};
  source.reads[task_clock] = {{0, software_zero},
                              {0, software_zero},
                              {0, software_zero},
                              {0, group_reading{10, 10, 3, {10, 10, 10}}}};
  source.enable_errors[task_clock] = EBADF;
  set.start();
  set.stop();
  EXPECT_EQ(set.per_search(1), counter_values{});
  EXPECT_EQ(set.missing_line(),
            all_hardware("could not be read: Input/output error; no software counters "
                         "(task-clock, page-faults, context-switches): could not be "
                         "started: Bad file descriptor"));
  source.enable_errors.erase(task_clock);
  set.start();
  set.stop();
  EXPECT_EQ(set.per_search(10), (counter_values{none, none, none, none, none, 1.0, 1.0, 1.0}));
}

TEST(Counters, WithoutPerfEventOpenTheOptionIsBadInput) {
  const auto unsupported = [](std::optional<int> paranoid, int error) {
    scripted_source source;
    source.paranoid = paranoid;
    source.kind_errors = {{hardware, error}};
    return velk_lab::counters_unsupported(source);
  };
  EXPECT_EQ(unsupported(none, 0),
            "--counters: this system has no perf_event_open (there is no "
            "/proc/sys/kernel/perf_event_paranoid)");
  EXPECT_EQ(unsupported(2, ENOSYS), "--counters: this system has no perf_event_open");
  EXPECT_EQ(unsupported(2, ENOENT), none);
}

// The software counters need no processor support. A repetition that touches new pages (one
// fault each: no larger pages) and sleeps reads what it did, the second as fully as the first.
TEST(CountersOnThisSystem, SoftwareCountersReadWhatEachRepetitionDid) {
  velk_lab::reading_source& system = velk_lab::perf_event_source();
  ASSERT_EQ(velk_lab::counters_unsupported(system), none);
  counter_set set(system);
  ASSERT_TRUE(set.has(task_clock) && set.has(page_faults)) << set.missing_line().value_or("");
  constexpr std::size_t pages = 256;
  const auto bytes = pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  for (int repetition = 1; repetition <= 2; ++repetition) {
    void* memory =
        ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    ::madvise(memory, bytes, MADV_NOHUGEPAGE);
    set.start();
    for (std::size_t at = 0; at < bytes; at += bytes / pages) {
      static_cast<volatile char*>(memory)[at] = 1;
    }
    ::usleep(1000);
    set.stop();
    ::munmap(memory, bytes);
    const counter_values per_page = set.per_search(pages);
    EXPECT_GE(per_page[page_faults].value_or(0.0), 1.0) << repetition;
    EXPECT_GT(per_page[task_clock].value_or(0.0), 0.0) << repetition;
    if (set.has(context_switches)) {
      EXPECT_GE(per_page[context_switches].value_or(0.0) * pages, 1.0) << repetition;
    } else {
      EXPECT_NE(set.why_not(context_switches).find("perf_event_paranoid"), std::string::npos);
    }
  }
}

}  // namespace
