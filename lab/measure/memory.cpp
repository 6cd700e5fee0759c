#include "memory.hpp"

#include <fmt/core.h>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <string_view>
#include <utility>

#include "lab/errors.hpp"

namespace velk_lab {

namespace {

constexpr std::size_t kibibyte = 1024;
constexpr double mebibyte = 1024.0 * 1024.0;

// A field of a /proc file in kB, such as "MemAvailable:   1234 kB"; none when it is not there.
std::size_t proc_field(const char* file, std::string_view field) {
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(field, 0) == 0 && line.size() > field.size() && line[field.size()] == ':') {
      return static_cast<std::size_t>(std::stoull(line.substr(field.size() + 1))) * kibibyte;
    }
  }
  return std::numeric_limits<std::size_t>::max();
}

// The room a limit leaves above what the process already uses.
std::size_t room_under(int resource, std::size_t used) {
  rlimit limit{};
  if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return std::numeric_limits<std::size_t>::max();
  }
  const auto cap = static_cast<std::size_t>(limit.rlim_cur);
  return cap > used ? cap - used : 0;
}

std::size_t size_bytes(const key_set& set, std::int32_t n, const plan& measured) {
  const std::size_t width = static_cast<std::size_t>(set.bits) / 8;
  const auto keys = static_cast<std::size_t>(n);
  const bool files_own = set.file != nullptr && std::cmp_equal(set.file->count(), n);
  const auto searches = searches_at(measured, n);
  const auto stream = static_cast<std::size_t>(std::max(searches, least_stream));
  const bool repeats = set.file != nullptr || set.kind->repeats;
  std::size_t bytes = (files_own ? 0 : keys * width) +               // the keys
                      2 * stream * (width + sizeof(std::int64_t)) +  // targets and answers
                      stream * sizeof(std::int64_t) *                // the tallies
                          static_cast<std::size_t>(measured.most_threads()) +
                      (repeats ? keys * sizeof(std::uint32_t) : 0);  // the keys drawn among
  for (const method_record* m : measured.methods) {
    bytes += m->layout_bytes(set.bits, n).value_or(m->builds ? keys * width : 0);
  }
  if (measured.save_keys) {  // the keys of the largest size, kept from when it is measured
    bytes +=
        static_cast<std::size_t>(*std::max_element(set.sizes.begin(), set.sizes.end())) * width;
  }
  return bytes;
}

}  // namespace

memory_peak peak_memory(const plan& measured) {
  std::size_t files = 0;
  for (const key_set& set : measured.key_sets) {
    if (set.file != nullptr) {
      files += static_cast<std::size_t>(set.file->count()) * static_cast<std::size_t>(set.bits / 8);
    }
  }
  memory_peak peak;
  for (const key_set& set : measured.key_sets) {
    for (const std::int32_t n : set.sizes) {
      const std::size_t bytes = files + size_bytes(set, n, measured);
      if (bytes > peak.bytes) {
        peak = {bytes, set.name, n};
      }
    }
  }
  return peak;
}

std::size_t available_memory() {
  const std::size_t address_space = proc_field("/proc/self/status", "VmSize");
  const std::size_t data = proc_field("/proc/self/status", "VmData");
  return std::min(
      {proc_field("/proc/meminfo", "MemAvailable"),
       room_under(RLIMIT_AS,
                  address_space == std::numeric_limits<std::size_t>::max() ? 0 : address_space),
       room_under(RLIMIT_DATA, data == std::numeric_limits<std::size_t>::max() ? 0 : data)});
}

void check_memory(const plan& measured, std::size_t available) {
  const memory_peak peak = peak_memory(measured);
  if (peak.bytes > available) {
    throw run_failure(fmt::format(
        "the {} keys at size {} need about {:.1f} MiB, more than the {:.1f} MiB this run can have",
        peak.keys, peak.size, static_cast<double>(peak.bytes) / mebibyte,
        static_cast<double>(available) / mebibyte));
  }
}

}  // namespace velk_lab
