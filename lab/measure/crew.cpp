#include "crew.hpp"

#include <pthread.h>
#include <sched.h>

#include <barrier>
#include <exception>
#include <thread>
#include <vector>

namespace velk_lab {

namespace {

// The processors the process may use, in order.
std::vector<int> allowed_processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  std::vector<int> processors;
  if (::sched_getaffinity(0, sizeof(set), &set) == 0) {
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (CPU_ISSET(cpu, &set)) {
        processors.push_back(cpu);
      }
    }
  }
  return processors;
}

// Places the calling thread on `cpu`; where the system refuses, it runs wherever it is put.
void place_on(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  static_cast<void>(::pthread_setaffinity_np(::pthread_self(), sizeof(set), &set));
}

}  // namespace

int processors_available() {
  const auto processors = static_cast<int>(allowed_processors().size());
  return processors > 0 ? processors : 1;
}

void run_together(int lanes, const std::function<void(int lane)>& ready,
                  const std::function<void(int lane)>& work) {
  const std::vector<int> processors = allowed_processors();
  std::vector<std::exception_ptr> thrown(static_cast<std::size_t>(lanes));
  std::barrier start(lanes);
  {
    std::vector<std::jthread> crew;
    crew.reserve(static_cast<std::size_t>(lanes));
    for (int lane = 0; lane < lanes; ++lane) {
      crew.emplace_back([&, lane] {
        if (!processors.empty()) {
          place_on(processors[static_cast<std::size_t>(lane) % processors.size()]);
        }
        auto& caught = thrown[static_cast<std::size_t>(lane)];
        try {
          ready(lane);
        } catch (...) {
          caught = std::current_exception();
        }
        start.arrive_and_wait();
        if (caught == nullptr) {
          try {
            work(lane);
          } catch (...) {
            caught = std::current_exception();
          }
        }
      });
    }
  }
  for (const std::exception_ptr& caught : thrown) {
    if (caught != nullptr) {
      std::rethrow_exception(caught);
    }
  }
}

}  // namespace velk_lab
