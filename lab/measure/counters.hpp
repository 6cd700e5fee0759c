// Hardware and software counters read around each timed repetition, per thread, through a
// source of readings: the system's perf_event_open(2), or a scripted one in tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velk_lab {

enum class counter_kind { hardware, software };

// A counter the lab can read: its name as the reports show it, and what perf_event_open calls it.
struct counter {
  std::string_view name;
  counter_kind kind = counter_kind::software;
  std::uint32_t type = 0;    // perf_event_attr.type
  std::uint64_t config = 0;  // perf_event_attr.config
  // Whether its events happen only inside the kernel (a context switch). With the kernel
  // excluded it would read zero whatever happened, so it is counted with the kernel or not at all.
  bool kernel_events = false;
};

inline constexpr std::size_t counter_count = 8;

// Every counter, in the order the reports show them: the hardware ones first.
std::span<const counter, counter_count> all_counters();

// One value per counter, in the order of all_counters(); none where a counter could not be read.
using counter_values = std::array<std::optional<double>, counter_count>;

// A read of a whole group: the nanoseconds it has been enabled and running on the processor's
// counters since it was opened, and each member's count, in the order the members were opened.
// Enabled exceeds running when the counters were shared out among more groups than fit at once.
struct group_reading {
  std::uint64_t time_enabled = 0;
  std::uint64_t time_running = 0;
  std::size_t members = 0;
  std::array<std::uint64_t, counter_count> values{};
};

// A counter that was opened (its handle), or the errno that says why not.
struct opened_counter {
  int handle = -1;
  int error = 0;
};

// Where the readings come from. Every counter is opened for the calling thread and counts
// nothing until its group is enabled; a group is enabled, disabled and read as one.
class reading_source {
 public:
  reading_source() = default;
  reading_source(const reading_source&) = delete;
  reading_source& operator=(const reading_source&) = delete;
  reading_source(reading_source&&) = delete;
  reading_source& operator=(reading_source&&) = delete;
  virtual ~reading_source() = default;

  // The system's perf_event_paranoid level; none when the system has no such setting.
  virtual std::optional<int> paranoid_level() = 0;

  // Opens `which`, disabled, as the leader of a new group (no `leader`) or as a member of the
  // group that `leader` leads; with `exclude_kernel`, it counts only what happens in user space.
  virtual opened_counter open(const counter& which, bool exclude_kernel,
                              std::optional<int> leader) = 0;
  virtual void close(int handle) = 0;

  // Enable, disable and read the group that `leader` leads: 0, or the errno.
  virtual int enable(int leader) = 0;
  virtual int disable(int leader) = 0;
  virtual int read(int leader, group_reading& into) = 0;
};

// The system's source, over perf_event_open(2). It holds no state of its own: any thread may use
// it, and each counter it opens counts the thread that opened it.
reading_source& perf_event_source();

// The counters of the thread that makes it, opened once from a source and read around each timed
// repetition: start() before it, stop() after it, then per_search() with its searches.
//
// The hardware counters form one group and the software ones another, so that hardware
// counters the processor cannot schedule never keep the software ones from counting. Where the
// paranoid level forbids counting the kernel, a counter is opened for user space alone, unless
// its events happen only in the kernel. A counter that cannot be opened is left out, with the
// reason; it reads none, never zero.
class counter_set {
 public:
  explicit counter_set(reading_source& source);
  counter_set(const counter_set&) = delete;
  counter_set& operator=(const counter_set&) = delete;
  counter_set(counter_set&&) = delete;
  counter_set& operator=(counter_set&&) = delete;
  ~counter_set();

  // Whether the counter at `index` of all_counters() was opened.
  [[nodiscard]] bool has(std::size_t index) const;

  // Why the counter at `index` cannot be read, in words: it could not be opened, or a reading of
  // it failed. Empty when nothing went wrong.
  [[nodiscard]] std::string_view why_not(std::size_t index) const;

  // Whether opening failed because the system has no perf_event_open at all.
  [[nodiscard]] bool without_perf_event_open() const { return without_perf_event_open_; }

  // Starts every group counting. A group that fails to start reads none until the next start.
  void start();

  // Stops every group and takes its readings: the counts since start(), scaled up by the time
  // the group was enabled over the time it ran where the processor's counters were shared. A
  // group that fails to stop or to read, or never ran, reads none.
  void stop();

  // Each counter's reading between the last start() and stop(), divided by `searches`; none for
  // every counter when `searches` is not positive.
  [[nodiscard]] counter_values per_search(std::int64_t searches) const;

  // The line for standard error, without the program's name, that names the counters that
  // cannot be read and why, grouped by reason: e.g. "no hardware counters (cycles, ...): the
  // processor or the virtual machine has no such counter". None when every counter is read.
  // After the timed repetitions it also names the counters whose reading failed.
  [[nodiscard]] std::optional<std::string> missing_line() const;

 private:
  struct group {
    std::optional<int> leader;
    std::size_t members = 0;
    bool started = false;  // whether it started counting for this repetition
    group_reading at_start;
  };
  struct member {
    std::optional<int> handle;
    std::size_t group = 0;
    std::size_t position = 0;  // in its group's reading
    std::string reason;
  };

  void open_counter(std::size_t index, std::optional<int> paranoid);
  void fail_group(std::size_t which, const std::string& reason);

  reading_source& source_;
  std::array<group, 2> groups_{};
  std::array<member, counter_count> members_{};
  counter_values totals_{};
  bool without_perf_event_open_ = false;
};

// The bad-input line for --counters on a system without perf_event_open at all (it fails with
// ENOSYS, or there is no /proc/sys/kernel/perf_event_paranoid); none where the system has it.
std::optional<std::string> counters_unsupported(reading_source& source);

}  // namespace velk_lab
