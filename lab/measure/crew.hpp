// Threads that search at once: each placed on a processor of its own where the system allows,
// all starting together.
#pragma once

#include <functional>

namespace velk_lab {

// The processors this process may run on.
int processors_available();

// Runs `ready(lane)` on each of `lanes` threads, waits until every thread is ready, then runs
// `work(lane)` on each at once and waits for all. Lane k runs on the k-th processor the process
// may use, where the system lets a thread be placed. Whatever a thread throws is thrown again
// here once every thread has ended (the first lane's first).
void run_together(int lanes, const std::function<void(int lane)>& ready,
                  const std::function<void(int lane)>& work);

}  // namespace velk_lab
