// The options that say how the methods are run: --batch and --epsilon, which the methods are
// told, and how the searches are driven.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "lab/measure/counters.hpp"
#include "lab/measure/drive.hpp"

namespace velk_lab {

// --batch: the targets a batch form searches at once, 1 to most_batch.
std::size_t batch_of(std::string_view text);

// --epsilon: the largest error of a learned model's position, 1 to most_epsilon.
std::int64_t epsilon_of(std::string_view text);

inline constexpr std::int64_t most_epsilon = std::int64_t{1} << 20;

// --mode: a comma-separated list of throughput and latency, each once.
std::vector<drive_mode> modes_of(std::string_view list);

// --threads: a comma-separated list of thread counts, each from 1 to the processors this process
// may run on (`available`), each once.
std::vector<int> threads_of(std::string_view list, int available);

// --counters: throws bad_input where the system has no perf_event_open.
void check_counters(reading_source& source);

}  // namespace velk_lab
