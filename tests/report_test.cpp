// The whole program: the report, line for line, and how the run ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "process.hpp"

namespace {

using velk_test::failure_report;
using velk_test::run_process;
using velk_test::stdout_to;

using velk_test::contents_of;
using velk_test::lines_of;

std::string golden_report() { return contents_of(VELK_GOLDEN_REPORT); }

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

// A report line with the image of its elapsed time, if it has one, replaced by "T" as the
// golden report has it.
std::string without_time(const std::string& line) {
  const std::string::size_type last_blank = line.rfind(' ');
  if (line.starts_with(" The elapsed time") && last_blank != std::string::npos &&
      is_whole_milliseconds(line.substr(last_blank + 1))) {
    return line.substr(0, last_blank + 1) + "T";
  }
  return line;
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

TEST(Report, ANonBlockingOutputThatKeepsFillingGetsTheWholeReport) {
  velk_test::run_options options;
  options.where = stdout_to::full_nonblocking_pipe;
  const auto result = run_process({VELK_TS}, options);
  expect_matches_golden(result.out);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_status, 0);
}

TEST(Report, RunsAppendingToOneFileGiveWholeLines) {
  constexpr int runs = 50;
  const velk_test::scratch_file file("reports");
  velk_test::run_options options;
  options.where = stdout_to::file;
  options.file = file.path();
  for (const auto& result : velk_test::run_together({VELK_TS}, runs, options)) {
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 0);
  }
  // Every line is a line of the report, each as many times as there were runs.
  const std::vector<std::string> lines = lines_of(file.contents());
  ASSERT_EQ(lines.size(), runs * lines_of(golden_report()).size());
  std::map<std::string, int> times_seen;
  for (const std::string& line : lines) {
    ++times_seen[without_time(line)];
  }
  std::map<std::string, int> expected;
  for (const std::string& line : lines_of(golden_report())) {
    expected[without_time(line)] += runs;
  }
  EXPECT_TRUE(times_seen == expected);
}

TEST(Report, AFileSizeLimitEndsTheRunWithTheDeviceError) {
  const velk_test::scratch_file file("limited");
  velk_test::run_options options;
  options.where = stdout_to::file;
  options.file = file.path();
  options.file_size_limit = 1024;
  const auto result = run_process({VELK_TS}, options);
  EXPECT_EQ(result.err, failure_report("DEVICE_ERROR"));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.signal, 0);
  // What reached the file is the report's beginning, its last line cut at the limit.
  const std::string written = file.contents();
  ASSERT_EQ(written.size(), 1024U);
  const std::vector<std::string> lines = lines_of(written);
  const std::vector<std::string> golden = lines_of(golden_report());
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    EXPECT_EQ(without_time(lines[i]), without_time(golden[i])) << "line " << i + 1;
  }
  // The cut line agrees with its golden line as far as it goes, up to where a time would be.
  std::string cut_golden = golden[lines.size() - 1];
  if (cut_golden.ends_with(" T")) {
    cut_golden.pop_back();
  }
  const std::size_t common = std::min(cut_golden.size(), lines.back().size());
  EXPECT_EQ(lines.back().substr(0, common), cut_golden.substr(0, common));
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
