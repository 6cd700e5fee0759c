// How velk drives its searches, as a process: both modes and two threads with every answer
// checked, the counters that this machine gives and the line about those it does not, and the
// bad input of these options.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/process.hpp"

namespace {

using velk_test::lines_of;
using velk_test::run_process;

std::vector<std::string> run_of(std::vector<std::string> more) {
  std::vector<std::string> argv{
      VELK,         "--sizes", "1000",          "--methods", "binary1,eytzinger,std-lower-bound",
      "--min-time", "0.002",   "--repetitions", "2",         "--format",
      "json"};
  argv.insert(argv.end(), more.begin(), more.end());
  return argv;
}

// Every row of both modes on one and two threads, each with its answers checked (a wrong one
// would end the run), its name unique and its counts the same whatever drives it.
TEST(VelkDrives, BothModesOnOneAndTwoThreads) {
  const auto result = run_process(run_of({"--mode", "throughput,latency", "--threads", "1,2"}));
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const auto document = nlohmann::json::parse(result.out);
  std::vector<std::string> names;
  std::map<std::string, double> comparisons;  // per method and half: the same on every drive
  for (const auto& entry : document.at("benchmarks")) {
    if (entry.at("run_type") != "iteration" || entry.at("repetition_index") != 0) {
      continue;
    }
    names.push_back(entry.at("name"));
    EXPECT_GT(entry.at("searches_per_second").get<double>(), 0.0);
    if (entry.contains("comparisons")) {
      const std::string row =
          entry.at("method").get<std::string>() + "/" + entry.at("half").get<std::string>();
      const double counted = entry.at("comparisons");
      EXPECT_EQ(comparisons.emplace(row, counted).first->second, counted) << row;
    }
  }
  EXPECT_EQ(names.size(), 3U * 2 * 2 * 2);  // methods, halves, modes, threads
  for (const char* name : {"binary1/odd/1000/successful", "binary1/odd/1000/successful/latency",
                           "eytzinger/odd/1000/unsuccessful/threads:2",
                           "std-lower-bound/odd/1000/unsuccessful/latency/threads:2"}) {
    EXPECT_EQ(std::count(names.begin(), names.end(), name), 1) << name;
  }
}

// Software counters always; the hardware ones where the machine has them, and otherwise one line
// that says which and why, their fields absent and never zero.
TEST(VelkDrives, CountersAreReadOrSaidToBeMissing) {
  const auto result = run_process(run_of({"--counters"}));
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const auto document = nlohmann::json::parse(result.out);
  const auto& first = document.at("benchmarks").at(0);
  EXPECT_GT(first.at("task-clock").get<double>(), 0.0);
  EXPECT_TRUE(first.contains("page-faults"));
  for (const char* hardware : {"cycles", "instructions", "branch-misses"}) {
    if (first.contains(hardware)) {
      EXPECT_GT(first.at(hardware).get<double>(), 0.0) << hardware;
    } else {
      EXPECT_NE(result.err.find(hardware), std::string::npos) << result.err;
    }
  }
  const std::vector<std::string> said = lines_of(result.err);
  EXPECT_LE(said.size(), 1U) << result.err;
}

TEST(VelkDrives, BadInputIsOneLineAndStatus2) {
  struct bad_case {
    std::vector<std::string> arguments;
    std::string begins;
  };
  const bad_case cases[] = {
      {{"--mode", "fast"}, "velk: --mode: 'fast' is not a mode (choose from throughput, latency)"},
      {{"--mode", "latency,latency"}, "velk: --mode: 'latency' is given twice"},
      {{"--threads", "0"}, "velk: --threads: '0' is not a number of threads"},
      {{"--threads", "two"}, "velk: --threads: 'two' is not a number of threads"},
      {{"--threads", "100000"}, "velk: --threads: '100000' is not a number of threads"},
  };
  for (const bad_case& c : cases) {
    std::vector<std::string> argv{VELK};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    const auto result = run_process(argv);
    EXPECT_EQ(result.exit_status, 2) << c.begins;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind(c.begins, 0), 0U) << result.err;
    EXPECT_EQ(lines_of(result.err).size(), 1U) << result.err;
  }
}

}  // namespace
