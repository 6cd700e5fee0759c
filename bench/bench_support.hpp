// What the benchmarks share: the schedule's list and targets, and a way to send standard output
// elsewhere while the report-writing code runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "search/velk_sr.hpp"

namespace velk_bench {

// The list sizes of the schedule, in the order it runs them.
inline constexpr std::int32_t schedule_sizes[] = {10, 100, 1000, 10000};

// The two halves of a test: keys that are in the list, then keys that are not.
enum class half { successful, unsuccessful };

// The schedule's list: entry i holds the key 2i - 1. Callers set `count` to the size they test.
velk_sr::list& schedule_list();

// The targets of one half of the test on the first n entries, in the order the test procedure
// searches them: r drawn over 1..n from a new generator in its default state, 2r - 1 for the
// first n draws and 2r for the next n.
std::vector<velk_sr::key_type> schedule_targets(std::int32_t n, half which);

// Points descriptor 1 at `target` for the life of the object and back at what it was after.
// Anything the C library and std::cout hold for standard output is flushed first.
class stdout_redirect {
 public:
  explicit stdout_redirect(int target);
  ~stdout_redirect();
  stdout_redirect(const stdout_redirect&) = delete;
  stdout_redirect& operator=(const stdout_redirect&) = delete;

 private:
  int saved_;
};

// A descriptor open for writing on /dev/null, opened once for the whole run.
int dev_null();

// Everything `writer` writes to descriptor 1.
std::string captured_stdout(const std::function<void()>& writer);

// Ends the run with `message` on standard error and status 1. For set-up that cannot go on.
[[noreturn]] void give_up(const std::string& message);

}  // namespace velk_bench
