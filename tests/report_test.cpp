// The whole program: the report, line for line, and how the run ends.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "process.hpp"

namespace {

using velk_test::failure_report;
using velk_test::run_process;
using velk_test::stdout_to;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

std::string golden_report() {
  std::ifstream in(VELK_GOLDEN_REPORT);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Whether `text` is the image of a non-negative whole number of milliseconds, less its leading
// blank: digits, the point, three digits and six zeros.
bool is_whole_milliseconds(const std::string& text) {
  const std::string::size_type point = text.find('.');
  if (point == std::string::npos || point == 0 || text.size() != point + 10 ||
      text.compare(point + 4, 6, "000000") != 0) {
    return false;
  }
  for (std::string::size_type i = 0; i < text.size(); ++i) {
    if (i != point && (text[i] < '0' || text[i] > '9')) {
      return false;
    }
  }
  return true;
}

// Compares a report with the golden one, where "T" at the end of a line stands for the image of
// an elapsed time in whole milliseconds.
void expect_matches_golden(const std::string& report) {
  const std::string golden = golden_report();
  ASSERT_FALSE(golden.empty());
  ASSERT_EQ(report.back(), '\n');
  const std::vector<std::string> expected = lines_of(golden);
  const std::vector<std::string> actual = lines_of(report);
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::string& want = expected[i];
    if (want.size() > 1 && want.compare(want.size() - 2, 2, " T") == 0) {
      const std::string prefix = want.substr(0, want.size() - 1);
      ASSERT_EQ(actual[i].substr(0, prefix.size()), prefix) << "line " << i + 1;
      EXPECT_TRUE(is_whole_milliseconds(actual[i].substr(prefix.size())))
          << "line " << i + 1 << ": " << actual[i];
    } else {
      EXPECT_EQ(actual[i], want) << "line " << i + 1;
    }
  }
}

TEST(Report, IsTheGoldenReportWithOnlyTheTimesVarying) {
  for (const auto& argv :
       {std::vector<std::string>{VELK_TS}, std::vector<std::string>{VELK_TS, "--help", "10", ""}}) {
    const auto result = run_process(argv);
    expect_matches_golden(result.out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 0);
  }
}

// The plain program that bench/whole_process times beside velk_ts must do the same work.
TEST(Report, ThePlainProgramWritesTheSameReport) {
  const auto result = run_process({VELK_PLAIN});
  expect_matches_golden(result.out);
  EXPECT_EQ(result.exit_status, 0);
}

TEST(Report, AFailedWriteEndsTheRunWithTheDeviceError) {
  for (const stdout_to where : {stdout_to::dev_full, stdout_to::closed, stdout_to::broken_pipe}) {
    SCOPED_TRACE(static_cast<int>(where));
    const auto result = run_process({VELK_TS}, where);
    EXPECT_EQ(result.err, failure_report("DEVICE_ERROR"));
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.signal, 0);
  }
}

}  // namespace
