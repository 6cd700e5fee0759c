// velk_process_timer: runs whole programs in turn and reports their times. Each round runs every
// program once, standard output going to /dev/null, in an order that alternates from round to
// round, so a busy moment on the machine spreads over all of them. Reports, for each program, the
// median of the wall times (with the least, the greatest and the median absolute deviation) and
// the median of the CPU times (user and system), then the first program's times as ratios of each
// other's: the ratio of the medians, and the median of the ratios within a round.
//
//   velk_process_timer ROUNDS PROGRAM PROGRAM...
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct times {
  double wall_ms = 0;
  double cpu_ms = 0;
};

[[noreturn]] void give_up(const std::string& message) {
  std::cerr << "velk_process_timer: " << message << '\n';
  std::exit(2);
}

double milliseconds(const timespec& t) {
  constexpr double ms_per_s = 1e3;
  constexpr double ms_per_ns = 1e-6;
  return static_cast<double>(t.tv_sec) * ms_per_s + static_cast<double>(t.tv_nsec) * ms_per_ns;
}

double milliseconds(const timeval& t) {
  constexpr double ms_per_s = 1e3;
  constexpr double ms_per_us = 1e-3;
  return static_cast<double>(t.tv_sec) * ms_per_s + static_cast<double>(t.tv_usec) * ms_per_us;
}

// Runs `program` once with no arguments, its standard output on /dev/null; it must exit with 0.
times run_once(const std::string& program, int dev_null) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, dev_null, STDOUT_FILENO);
  std::string path = program;
  std::array<char*, 2> argv{path.data(), nullptr};
  timespec start{};
  timespec end{};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    give_up("cannot run " + program + ": " + std::strerror(spawned));
  }
  int status = 0;
  rusage usage{};
  if (::wait4(child, &status, 0, &usage) != child) {
    give_up("cannot wait for " + program + ": " + std::strerror(errno));
  }
  ::clock_gettime(CLOCK_MONOTONIC, &end);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    give_up(program + " did not exit with status 0");
  }
  return {milliseconds(end) - milliseconds(start),
          milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime)};
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double median_absolute_deviation(const std::vector<double>& values) {
  const double centre = median(values);
  std::vector<double> deviations;
  deviations.reserve(values.size());
  for (const double v : values) {
    deviations.push_back(v > centre ? v - centre : centre - v);
  }
  return median(deviations);
}

int rounds_from(std::string_view text) {
  int rounds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rounds);
  if (error != std::errc() || end != text.data() + text.size() || rounds < 1) {
    give_up("the number of rounds must be a whole number of at least 1, not '" + std::string(text) +
            "'");
  }
  return rounds;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  if (arguments.size() < 3) {
    give_up("usage: velk_process_timer ROUNDS PROGRAM PROGRAM...");
  }
  const int rounds = rounds_from(arguments[0]);
  const std::vector<std::string> programs(arguments.begin() + 1, arguments.end());
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): open takes its mode as a vararg
  const int dev_null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (dev_null < 0) {
    give_up(std::string("cannot open /dev/null: ") + std::strerror(errno));
  }
  // One run of each first, untimed: it brings the programs into the page cache.
  for (const std::string& program : programs) {
    run_once(program, dev_null);
  }
  std::vector<std::vector<times>> measured(programs.size());
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t k = 0; k < programs.size(); ++k) {
      const std::size_t which = round % 2 == 0 ? k : programs.size() - 1 - k;
      measured[which].push_back(run_once(programs[which], dev_null));
    }
  }

  std::cout << rounds << " rounds, each program once a round, the order alternating\n"
            << std::fixed << std::setprecision(2) << std::left << std::setw(36)
            << "program (times in ms)" << std::right;
  for (const char* heading : {"wall", "least", "greatest", "MAD", "cpu"}) {
    std::cout << std::setw(10) << heading;
  }
  std::cout << '\n';
  std::vector<double> wall_medians;
  std::vector<double> cpu_medians;
  for (std::size_t k = 0; k < programs.size(); ++k) {
    std::vector<double> wall;
    std::vector<double> cpu;
    wall.reserve(measured[k].size());
    cpu.reserve(measured[k].size());
    for (const times& t : measured[k]) {
      wall.push_back(t.wall_ms);
      cpu.push_back(t.cpu_ms);
    }
    wall_medians.push_back(median(wall));
    cpu_medians.push_back(median(cpu));
    std::cout << std::left << std::setw(36) << programs[k] << std::right;
    for (const double figure : {wall_medians[k], *std::min_element(wall.begin(), wall.end()),
                                *std::max_element(wall.begin(), wall.end()),
                                median_absolute_deviation(wall), cpu_medians[k]}) {
      std::cout << std::setw(10) << figure;
    }
    std::cout << '\n';
  }
  std::cout << std::setprecision(3);
  for (std::size_t k = 1; k < programs.size(); ++k) {
    std::vector<double> ratios;
    ratios.reserve(measured[0].size());
    for (std::size_t round = 0; round < measured[0].size(); ++round) {
      ratios.push_back(measured[0][round].wall_ms / measured[k][round].wall_ms);
    }
    std::cout << programs[0] << " / " << programs[k] << ": wall "
              << wall_medians[0] / wall_medians[k] << " (ratio of medians), " << median(ratios)
              << " (median of the rounds' ratios, least "
              << *std::min_element(ratios.begin(), ratios.end()) << ", greatest "
              << *std::max_element(ratios.begin(), ratios.end()) << "); cpu "
              << cpu_medians[0] / cpu_medians[k] << '\n';
  }
  return 0;
}
