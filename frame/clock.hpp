// Points in time and intervals, and the clocks that give them. The platform calls stay here.
#pragma once

#include <cstdint>

namespace frame {

// An interval: a signed count of nanoseconds.
using duration = std::int64_t;

// A point in time: a signed count of nanoseconds from the clock's origin.
struct time {
  std::int64_t nanoseconds = 0;
};

// The calendar clock: nanoseconds since 1970-01-01 00:00:00 UTC, in whole milliseconds.
time clock();

// The stopwatch's clock: a monotonic reading in whole milliseconds (each reading rounded down),
// so that an interval between two readings is never negative, whatever happens to the calendar.
time monotonic_clock();

// The interval from `earlier` to `later`. A difference that does not fit raises the time error.
duration operator-(time later, time earlier);

}  // namespace frame
