#include "counters.hpp"

#include <fmt/format.h>
#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace velk_lab {

namespace {

constexpr std::uint64_t read_misses(std::uint64_t cache) {
  return cache | (std::uint64_t{PERF_COUNT_HW_CACHE_OP_READ} << 8U) |
         (std::uint64_t{PERF_COUNT_HW_CACHE_RESULT_MISS} << 16U);
}

constexpr std::array<counter, counter_count> counter_table{{
    {"cycles", counter_kind::hardware, PERF_TYPE_HARDWARE, PERF_COUNT_HW_CPU_CYCLES},
    {"instructions", counter_kind::hardware, PERF_TYPE_HARDWARE, PERF_COUNT_HW_INSTRUCTIONS},
    {"branch-misses", counter_kind::hardware, PERF_TYPE_HARDWARE, PERF_COUNT_HW_BRANCH_MISSES},
    {"L1-dcache-load-misses", counter_kind::hardware, PERF_TYPE_HW_CACHE,
     read_misses(PERF_COUNT_HW_CACHE_L1D)},
    {"LLC-load-misses", counter_kind::hardware, PERF_TYPE_HW_CACHE,
     read_misses(PERF_COUNT_HW_CACHE_LL)},
    {"task-clock", counter_kind::software, PERF_TYPE_SOFTWARE, PERF_COUNT_SW_TASK_CLOCK},
    {"page-faults", counter_kind::software, PERF_TYPE_SOFTWARE, PERF_COUNT_SW_PAGE_FAULTS},
    {"context-switches", counter_kind::software, PERF_TYPE_SOFTWARE, PERF_COUNT_SW_CONTEXT_SWITCHES,
     true},
}};

constexpr std::size_t group_of(counter_kind kind) { return kind == counter_kind::hardware ? 0 : 1; }

std::string reason_for(int error, std::optional<int> paranoid) {
  switch (error) {
    case ENOENT:
    case EOPNOTSUPP:
      return "the processor or the virtual machine has no such counter";
    case EACCES:
    case EPERM:
      if (paranoid.has_value()) {
        return fmt::format(
            "perf_event_paranoid is {}; run as root or lower it (sysctl "
            "kernel.perf_event_paranoid=1)",
            *paranoid);
      }
      return "permission denied; run as root";
    case ENOSYS:
      return "this system has no perf_event_open";
    default:
      return std::strerror(error);
  }
}

// The counts may only grow while a group is open; anything else is not a reading to trust.
bool consistent(const group_reading& start, const group_reading& stop, std::size_t members) {
  if (start.members != members || stop.members != members ||
      stop.time_enabled < start.time_enabled || stop.time_running < start.time_running) {
    return false;
  }
  for (std::size_t i = 0; i < members; ++i) {
    if (stop.values.at(i) < start.values.at(i)) {
      return false;
    }
  }
  return true;
}

class perf_events final : public reading_source {
 public:
  std::optional<int> paranoid_level() override {
    std::ifstream setting("/proc/sys/kernel/perf_event_paranoid");
    int level = 0;
    if (setting >> level) {
      return level;
    }
    return std::nullopt;
  }

  opened_counter open(const counter& which, bool exclude_kernel,
                      std::optional<int> leader) override {
    perf_event_attr attr{};
    attr.size = sizeof attr;
    attr.type = which.type;
    attr.config = which.config;
    attr.read_format =
        PERF_FORMAT_GROUP | PERF_FORMAT_TOTAL_TIME_ENABLED | PERF_FORMAT_TOTAL_TIME_RUNNING;
    // Only the leader starts disabled and is switched on and off: a member counts whenever its
    // leader does. Members switched one by one with their leader (PERF_IOC_FLAG_GROUP) were seen
    // to miss page faults and context switches behind a task-clock leader, some repetitions
    // wholly.
    attr.disabled = leader.has_value() ? 0U : 1U;
    attr.exclude_kernel = exclude_kernel ? 1U : 0U;
    attr.exclude_hv = attr.exclude_kernel;
    // The system has no wrapper for perf_event_open; pid 0 and cpu -1 are the calling thread on
    // whichever processor it runs.
    // NOLINTBEGIN(cppcoreguidelines-pro-type-vararg)
    const std::int64_t handle =
        ::syscall(SYS_perf_event_open, &attr, 0, -1, leader.value_or(-1), PERF_FLAG_FD_CLOEXEC);
    // NOLINTEND(cppcoreguidelines-pro-type-vararg)
    if (handle < 0) {
      return {-1, errno};
    }
    return {static_cast<int>(handle), 0};
  }

  void close(int handle) override { ::close(handle); }

  int enable(int leader) override { return control(leader, true); }
  int disable(int leader) override { return control(leader, false); }

  int read(int leader, group_reading& into) override {
    // PERF_FORMAT_GROUP with both times: the members, the two times, then a count per member.
    constexpr std::size_t header = 3;
    std::array<std::uint64_t, header + counter_count> words{};
    const ssize_t got = ::read(leader, words.data(), sizeof words);
    if (got < 0) {
      return errno;
    }
    const std::uint64_t members = words[0];
    if (members > counter_count ||
        static_cast<std::size_t>(got) != (header + members) * sizeof(std::uint64_t)) {
      return EIO;
    }
    into.members = members;
    into.time_enabled = words[1];
    into.time_running = words[2];
    std::copy_n(words.begin() + header, members, into.values.begin());
    return 0;
  }

 private:
  static int control(int leader, bool on) {
    // ioctl is the system's one way to switch a counter on and off; the leader alone is enough.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
    return ::ioctl(leader, on ? PERF_EVENT_IOC_ENABLE : PERF_EVENT_IOC_DISABLE, 0) == 0 ? 0 : errno;
  }
};

}  // namespace

std::span<const counter, counter_count> all_counters() { return counter_table; }

reading_source& perf_event_source() {
  static perf_events source;
  return source;
}

counter_set::counter_set(reading_source& source) : source_(source) {
  const std::optional<int> paranoid = source_.paranoid_level();
  for (std::size_t index = 0; index < counter_count; ++index) {
    open_counter(index, paranoid);
  }
}

counter_set::~counter_set() {
  for (const member& m : members_) {
    if (m.handle.has_value()) {
      source_.close(*m.handle);
    }
  }
}

void counter_set::open_counter(std::size_t index, std::optional<int> paranoid) {
  const counter& which = counter_table.at(index);
  member& into = members_.at(index);
  into.group = group_of(which.kind);
  group& in = groups_.at(into.group);
  opened_counter opened = source_.open(which, false, in.leader);
  // Counting inside the kernel is the first thing a paranoid level forbids; the searches run in
  // user space, so counting that alone loses nothing of theirs. A counter whose events all
  // happen in the kernel would read zero that way, so it is left out instead.
  if ((opened.error == EACCES || opened.error == EPERM) && !which.kernel_events) {
    opened = source_.open(which, true, in.leader);
  }
  if (opened.error != 0) {
    without_perf_event_open_ = without_perf_event_open_ || opened.error == ENOSYS;
    into.reason = reason_for(opened.error, paranoid);
    return;
  }
  into.handle = opened.handle;
  into.position = in.members++;
  if (!in.leader.has_value()) {
    in.leader = opened.handle;
  }
}

void counter_set::fail_group(std::size_t which, const std::string& reason) {
  groups_.at(which).started = false;
  for (member& m : members_) {
    if (m.handle.has_value() && m.group == which && m.reason.empty()) {
      m.reason = reason;
    }
  }
}

bool counter_set::has(std::size_t index) const { return members_.at(index).handle.has_value(); }

std::string_view counter_set::why_not(std::size_t index) const { return members_.at(index).reason; }

// A repetition's counts and times are the differences between a read at its start and one at its
// stop. Resetting a group would clear its counts but not its enabled and running times, and the
// scaling needs the times of this repetition alone.
void counter_set::start() {
  // The software group first and the hardware group last, so that the hardware counters' window
  // is the closer one around the repetition; stop() closes them in the opposite order.
  for (std::size_t which = groups_.size(); which-- > 0;) {
    group& g = groups_.at(which);
    if (!g.leader.has_value()) {
      continue;
    }
    g.started = true;
    int error = source_.read(*g.leader, g.at_start);
    if (error == 0) {
      error = source_.enable(*g.leader);
    }
    if (error != 0) {
      fail_group(which, fmt::format("could not be started: {}", std::strerror(error)));
    }
  }
}

void counter_set::stop() {
  totals_.fill(std::nullopt);
  for (std::size_t which = 0; which < groups_.size(); ++which) {
    group& g = groups_.at(which);
    if (!g.leader.has_value()) {
      continue;
    }
    group_reading at_stop;
    int error = source_.disable(*g.leader);
    if (error == 0) {
      error = source_.read(*g.leader, at_stop);
    }
    if (!g.started) {
      continue;
    }
    if (error != 0) {
      fail_group(which, fmt::format("could not be read: {}", std::strerror(error)));
      continue;
    }
    if (!consistent(g.at_start, at_stop, g.members)) {
      fail_group(which, "could not be read: the system gave a reading that does not add up");
      continue;
    }
    const std::uint64_t running = at_stop.time_running - g.at_start.time_running;
    if (running == 0) {
      fail_group(which, "was never counted: other programs held the processor's counters");
      continue;
    }
    const double scale = static_cast<double>(at_stop.time_enabled - g.at_start.time_enabled) /
                         static_cast<double>(running);
    for (std::size_t index = 0; index < counter_count; ++index) {
      const member& m = members_.at(index);
      if (m.handle.has_value() && m.group == which) {
        const std::uint64_t count =
            at_stop.values.at(m.position) - g.at_start.values.at(m.position);
        totals_.at(index) = static_cast<double>(count) * scale;
      }
    }
  }
}

counter_values counter_set::per_search(std::int64_t searches) const {
  counter_values values{};
  if (searches <= 0) {
    return values;
  }
  for (std::size_t index = 0; index < counter_count; ++index) {
    if (totals_.at(index).has_value()) {
      values.at(index) = *totals_.at(index) / static_cast<double>(searches);
    }
  }
  return values;
}

std::optional<std::string> counter_set::missing_line() const {
  std::vector<std::string_view> reasons;
  for (const member& m : members_) {
    if (!m.reason.empty() && std::find(reasons.begin(), reasons.end(), m.reason) == reasons.end()) {
      reasons.push_back(m.reason);
    }
  }
  if (reasons.empty()) {
    return std::nullopt;
  }
  std::string line;
  for (const std::string_view reason : reasons) {
    std::vector<std::string_view> names;
    bool hardware = false;
    bool software = false;
    for (std::size_t index = 0; index < counter_count; ++index) {
      if (members_.at(index).reason == reason) {
        names.push_back(counter_table.at(index).name);
        (counter_table.at(index).kind == counter_kind::hardware ? hardware : software) = true;
      }
    }
    const std::string_view kind = hardware && software ? "" : hardware ? "hardware " : "software ";
    line += fmt::format("{}no {}counter{} ({}): {}", line.empty() ? "" : "; ", kind,
                        names.size() == 1 ? "" : "s", fmt::join(names, ", "), reason);
  }
  return line;
}

std::optional<std::string> counters_unsupported(reading_source& source) {
  if (!source.paranoid_level().has_value()) {
    return "--counters: this system has no perf_event_open (there is no "
           "/proc/sys/kernel/perf_event_paranoid)";
  }
  const counter_set probe(source);
  if (probe.without_perf_event_open()) {
    return "--counters: this system has no perf_event_open";
  }
  return std::nullopt;
}

}  // namespace velk_lab
