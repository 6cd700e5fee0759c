// A run's memory, worked out before any work: what its largest moment needs, and what the system
// and the process's limits leave it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "lab/measure/plan.hpp"

namespace velk_lab {

// The moment of a run that needs the most memory, and how much it needs.
struct memory_peak {
  std::size_t bytes = 0;
  std::string keys;  // the key set being measured then
  std::int32_t size = 0;
};

// The keys of every file, which stay for the whole run, and at the size of one key set that
// needs the most: its keys, the targets and answers of both halves and their tally, the keys the
// targets are drawn among, every method's layout (as the method states it, or as large as the
// keys for a method that builds one and does not say), and the keys kept for --save-keys.
memory_peak peak_memory(const plan& measured);

// The bytes this run can still have: the memory the system has available, and the room the
// process's address-space and data limits leave; none when nothing can be read.
std::size_t available_memory();

// Throws run_failure naming the key set, the size and the memory it needs when that is more than
// `available`.
void check_memory(const plan& measured, std::size_t available);

}  // namespace velk_lab
