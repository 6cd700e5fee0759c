#include "clock.hpp"

#include <ctime>

#include "failure.hpp"

namespace frame {

namespace {

constexpr std::int64_t nanoseconds_per_second = 1'000'000'000;
constexpr std::int64_t nanoseconds_per_millisecond = 1'000'000;

time read_in_whole_milliseconds(clockid_t source) {
  timespec now{};
  ::clock_gettime(source, &now);
  const std::int64_t whole_ms = now.tv_nsec / nanoseconds_per_millisecond;
  return time{static_cast<std::int64_t>(now.tv_sec) * nanoseconds_per_second +
              whole_ms * nanoseconds_per_millisecond};
}

}  // namespace

time clock() { return read_in_whole_milliseconds(CLOCK_REALTIME); }

time monotonic_clock() { return read_in_whole_milliseconds(CLOCK_MONOTONIC); }

duration operator-(time later, time earlier) {
  duration difference = 0;
  if (__builtin_sub_overflow(later.nanoseconds, earlier.nanoseconds, &difference)) {
    raise_failure(failure_kind::time_error);
  }
  return difference;
}

}  // namespace frame
