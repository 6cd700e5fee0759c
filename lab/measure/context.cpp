#include "context.hpp"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <ctime>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velk_lab {

namespace {

// Local time with the UTC offset, as 2024-05-01T14:03:09+02:00.
std::string date_now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) {
    return "";
  }
  std::array<char, 32> text{};
  const std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S%z", &local);
  const std::string_view date(text.data(), length);
  // strftime gives the offset as +0200; ISO 8601's extended form wants +02:00.
  if (date.size() < 5) {
    return std::string(date);
  }
  return fmt::format("{}:{}", date.substr(0, date.size() - 2), date.substr(date.size() - 2));
}

std::string host_name() {
  std::array<char, HOST_NAME_MAX + 1> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) {
    return "";
  }
  return name.data();
}

// The first "model name" of /proc/cpuinfo, or nothing where there is none.
std::string processor_name() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0) {
      const std::size_t colon = line.find(':');
      if (colon != std::string::npos) {
        const std::size_t start = line.find_first_not_of(' ', colon + 1);
        return start == std::string::npos ? "" : line.substr(start);
      }
    }
  }
  return "";
}

// How a key set's keys and targets were made, so that another program could make them again.
std::string key_set_words(const key_set& set, const plan& measured) {
  const std::string seed =
      measured.seed.has_value() ? fmt::format("seed {}", *measured.seed) : "seed 0 (none given)";
  std::vector<std::int32_t> velk_ts_sizes;
  for (const std::int32_t n : set.sizes) {
    if (!measured.skew.has_value() && draws_as_velk_ts(set, n)) {
      velk_ts_sizes.push_back(n);
    }
  }
  std::string targets = "targets drawn from " + seed;
  if (velk_ts_sizes.size() == set.sizes.size()) {
    targets = "targets as velk_ts draws them";
  } else if (!velk_ts_sizes.empty()) {
    targets =
        fmt::format("targets as velk_ts draws them at size{} {}, elsewhere drawn from {}",
                    velk_ts_sizes.size() == 1 ? "" : "s", fmt::join(velk_ts_sizes, ", "), seed);
  }
  if (set.file != nullptr) {
    return fmt::format("{}-bit keys of the {} file '{}', {} keys, FNV-1a {:016x}; {}", set.bits,
                       set.file->text ? "text" : "binary", set.file->path, set.file->count(),
                       set.file->checksum, targets);
  }
  return fmt::format("{}-bit keys, {}{}; {}", set.bits, set.kind->summary,
                     set.kind->drawn ? " from " + seed : "", targets);
}

}  // namespace

std::string_view huge_pages_said(velk_sr::memory::huge_pages given) {
  switch (given) {
    case velk_sr::memory::huge_pages::given:
      return "given";
    case velk_sr::memory::huge_pages::not_given:
      return "not given";
    case velk_sr::memory::huge_pages::unknown:
      break;
  }
  return "unknown";
}

run_context gather_context(int argc, const char* const* argv, const plan& measured) {
  run_context context;
  context.date = date_now();
  context.host = host_name();
  context.processor = processor_name();
  context.cpus = static_cast<int>(std::max(::sysconf(_SC_NPROCESSORS_ONLN), 1L));
  context.compiler = VELK_COMPILER;
  context.build_type = VELK_BUILD_TYPE;
#ifdef NDEBUG
  context.assertions = false;
#else
  context.assertions = true;
#endif
  context.version = VELK_VERSION;
  context.seed = measured.seed;
  context.repetitions = measured.repetitions;
  context.min_time = measured.min_time;
  context.skew = measured.skew;
  for (const key_set& set : measured.key_sets) {
    context.key_sets.push_back({set.name, set.bits, key_set_words(set, measured), {}});
  }
  for (const char* const argument :
       std::span<const char* const>(argv, static_cast<std::size_t>(argc))) {
    context.command_line.emplace_back(argument);
  }
  return context;
}

}  // namespace velk_lab
