// How the searches are driven: independent of each other (the time of a search among many, its
// reciprocal throughput) or each waiting for the last (the time of a lone search), on one thread
// or on several at once.
#pragma once

#include <string_view>

namespace velk_lab {

enum class drive_mode { throughput, latency };

// "throughput" or "latency".
std::string_view mode_name(drive_mode mode);

struct drive {
  drive_mode mode = drive_mode::throughput;
  int threads = 1;

  friend bool operator==(const drive&, const drive&) = default;
};

}  // namespace velk_lab
