// velk_plain: the plain implementation of the schedule as a program of its own, the yardstick of
// bench/whole_process.
#include "plain_schedule.hpp"

int main() {
  velk_bench::plain::run_schedule();
  return 0;
}
